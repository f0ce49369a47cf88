// The format interpreter's own mechanics against properties that need no
// table of outputs: a format ends at its first zero byte wherever that
// stands, a number that meets the end of the 256-byte result is cut exactly
// where the same text rendered without the limit would be, and the caller's
// buffer receives the result and nothing more.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"

namespace clockcast::datetime {
namespace {

constexpr double kSample = 28'531 + 50'709'007 / 86'400'000.0;  // 1978-02-10 14:05:09.007

TEST(FormatEngine, AFormatEndsAtItsFirstZeroByte) {
  ReleaseFormatSettings();
  const std::string format = "yyyy-mm-dd hh:nn:ss.zzz 'quoted' dddd h am/pm a/p ampm aaaa aaa";
  // A zero first leaves an empty format, which renders nothing; the empty
  // format itself stands for "c".
  EXPECT_EQ(RenderDateTime(std::string_view("\0yy", 3), kSample), "");
  for (std::size_t at = 1; at <= format.size(); ++at) {
    std::string cut = format;
    cut.insert(at, 1, '\0');
    cut += "yy";  // never rendered
    EXPECT_EQ(RenderDateTime(cut, kSample), RenderDateTime(format.substr(0, at), kSample)) << at;
  }
}

TEST(FormatEngine, NumbersAreCutAtTheEndOfTheResult) {
  ReleaseFormatSettings();
  const std::string_view numbers[] = {"d", "dd", "m", "mm", "yy", "yyyy", "h",  "hh",
                                      "n", "nn", "s", "ss", "z",  "zz",   "zzz"};
  for (const double value : {kSample, 2'958'465.999, 1.0, 36'526.5}) {
    for (const std::string_view number : numbers) {
      const std::string whole(RenderDateTime(number, value));
      for (std::size_t pad = 248; pad <= kRenderCapacity; ++pad) {
        const std::string format = std::string(pad, 'x') + std::string(number);
        const std::string expected = (std::string(pad, 'x') + whole).substr(0, kRenderCapacity);
        EXPECT_EQ(RenderDateTime(format, value), expected) << number << " after " << pad;
      }
    }
  }
}

TEST(FormatEngine, TheCallersBufferGetsTheResultAndNothingMore) {
  ReleaseFormatSettings();
  const std::string longFormat = std::string(300, '-') + "yyyy";
  for (const std::string_view format :
       {std::string_view(), std::string_view("d"), std::string_view("yyyy-mm-dd hh:nn:ss am/pm"),
        std::string_view(longFormat)}) {
    char text[kRenderCapacity];
    std::memset(text, '#', sizeof text);
    const std::size_t length = RenderDateTime(format, kSample, text);
    ASSERT_LE(length, kRenderCapacity);
    EXPECT_EQ(std::string_view(text, length), RenderDateTime(format, kSample)) << format;
    EXPECT_EQ(std::string_view(text + length, kRenderCapacity - length),
              std::string(kRenderCapacity - length, '#'))
        << format;
  }
}

}  // namespace
}  // namespace clockcast::datetime
