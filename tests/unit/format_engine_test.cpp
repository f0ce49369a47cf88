// The format interpreter's own mechanics against properties that need no
// table of outputs: a format ends at its first zero byte wherever that
// stands, and a number that meets the end of the 256-byte result is cut
// exactly where the same text rendered without the limit would be.

#include <gtest/gtest.h>

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
  const std::string format = "yyyy-mm-dd hh:nn:ss.zzz 'quoted' dddd";
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

}  // namespace
}  // namespace clockcast::datetime
