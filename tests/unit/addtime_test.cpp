// The time-offset command: its four shape messages, the split of the body,
// the conversion of the three fields and the moved time of day.
//
// The fake clock stands at 14:05:09.007. Expected values are worked out by
// hand in milliseconds of the day: 14:05:09.007 is 50,709,007 ms.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/interpreter.h"
#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"

namespace clockcast::cli {
namespace {

using platform::kLineBreak;
using testing::Fake;
using testing::ResetFake;

constexpr std::int64_t kNowMs = ((14 * 60 + 5) * 60 + 9) * 1000 + 7;
constexpr std::int64_t kHourMs = 3'600'000;
constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kDayMs = 86'400'000;

constexpr std::string_view kNoPlus = "Formating Error in ADDTIME: Command. No + Found";
constexpr std::string_view kNoNumbers = "Formating Error in ADDTIME: Command. Need More Numbers.";
constexpr std::string_view kColons =
    "Formating Error in ADDTIME: Command. Need More Or Less Numbers.";
constexpr std::string_view kNotNumbers =
    "Formating Error in ADDTIME: Command. Items other then numbers do not add well..";

class AddTime : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    Fake().clock = {1978, 2, 10, 14, 5, 9, 7};
    // Every line reaches the fake at its end, so each message is one write.
    Fake().deviceType = platform::DeviceType::Character;
    runtime::InitOutput();
    runtime::PendingIoError = 0;
    datetime::ReleaseFormatSettings();
    CreateLineStore();
  }
  void TearDown() override {
    runtime::InitOutput();
    runtime::PendingIoError = 0;
    CreateLineStore();
  }
};

// The value as whole milliseconds, rounded to nearest.
std::int64_t Millis(datetime::DateTimeValue value) {
  return std::llround(static_cast<long double>(value) * 86'400'000.0L);
}

TEST_F(AddTime, ShapeMessagesInTheOrderOfTheChecks) {
  const struct {
    std::string_view parameter;
    std::string_view message;
  } rows[] = {
      {"addtime:", kNoPlus},
      {"addtime:hh:nn", kNoPlus},
      {"addtime:1:2:3", kNoPlus},
      {"addtime:hh:nn+", kNoNumbers},
      {"addtime:+", kNoNumbers},
      {"ADDTIME:hh+", kNoNumbers},
      // The first plus decides; a plus sign at the very end comes later.
      {"addtime:hh:nn+1:30", kColons},
      {"addtime:+1:2:3:4", kColons},
      {"addtime:++", kColons},
      {"addtime:a+b", kColons},
      // Colons of the format part do not count.
      {"addtime:h:n:s+1", kColons},
      {"addtime:hh:nn:ss+1:2", kColons},
      {"addtime:hh:nn+ 1:00:00", kNotNumbers},
      {"addtime:hh:nn+1:+2:3", kNotNumbers},
      {"addtime:hh+1:2:3+", kNotNumbers},
      {"addtime:+1:2:x", kNotNumbers},
      {"addtime:+1:2:3 ", kNotNumbers},
      {"addtime:+1.5:0:0", kNotNumbers},
      {"addtime:+$1:0:0", kNotNumbers},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.parameter));
    ResetFake();
    Fake().deviceType = platform::DeviceType::Character;
    runtime::InitOutput();
    CreateLineStore();
    RunTimeOffsetCommand(row.parameter);
    EXPECT_EQ(Fake().writes,
              (std::vector<std::string>{std::string(row.message) + std::string(kLineBreak)}));
    EXPECT_EQ(OutputLines, (std::vector<std::string>{""}));
    EXPECT_EQ(runtime::PendingIoError, 0);
  }
}

// The message of the conversion failure the parameter ends with.
std::string ConversionFailure(std::string_view parameter) {
  try {
    RunTimeOffsetCommand(parameter);
  } catch (const runtime::EConvertError& failure) {
    return failure.Message();
  }
  ADD_FAILURE() << "no EConvertError for " << parameter;
  return {};
}

TEST_F(AddTime, FieldsAreConvertedInOrderAndTheFirstBadOneFails) {
  const struct {
    std::string_view parameter;
    std::string_view message;
  } rows[] = {
      {"addtime:hh+::", "'' is not a valid integer value"},
      {"addtime:hh+::0", "'' is not a valid integer value"},
      {"addtime:+1-2:0:0", "'1-2' is not a valid integer value"},
      {"addtime:+-:1-2:", "'-' is not a valid integer value"},
      {"addtime:+1:1-2:", "'1-2' is not a valid integer value"},
      {"addtime:+1:2:", "'' is not a valid integer value"},
      {"addtime:+1:2:3-", "'3-' is not a valid integer value"},
      {"addtime:+1:--2:3", "'--2' is not a valid integer value"},
      {"addtime:+99999999999:0:0", "'99999999999' is not a valid integer value"},
      {"addtime:+0:0:2147483648", "'2147483648' is not a valid integer value"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.parameter));
    ResetFake();
    CreateLineStore();
    EXPECT_EQ(ConversionFailure(row.parameter), row.message);
    // Nothing was written and nothing appended.
    EXPECT_TRUE(Fake().writes.empty());
    EXPECT_EQ(OutputLines, (std::vector<std::string>{""}));
  }
}

TEST_F(AddTime, OffsetTimeOfDayAddsToTheClock) {
  const struct {
    std::int32_t h, m, s;
    std::int64_t expectedMs;
  } rows[] = {
      {0, 0, 0, kNowMs},
      {1, 0, 0, kNowMs + kHourMs},
      {-1, 0, 0, kNowMs - kHourMs},
      {0, 90, 0, kNowMs + 90 * kMinuteMs},
      {0, -30, 0, kNowMs - 30 * kMinuteMs},
      {1, -30, 0, kNowMs + 30 * kMinuteMs},
      {0, 0, 3600, kNowMs + kHourMs},
      {0, 0, -9, kNowMs - 9000},
      {48, 0, 0, kNowMs + 48 * kHourMs},
      {10, 0, 0, kNowMs + 10 * kHourMs},   // past midnight: day 1
      {-15, 0, 0, kNowMs - 15 * kHourMs},  // before day 0: negative
      {-24, 0, 0, kNowMs - kDayMs},
      {0, 1440, 0, kNowMs + kDayMs},
      {0, 0, 86400, kNowMs + kDayMs},
      {100000, 0, 0, kNowMs + 100000 * kHourMs},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.h << ":" << row.m << ":" << row.s);
    EXPECT_EQ(Millis(OffsetTimeOfDay(row.h, row.m, row.s)), row.expectedMs);
  }
}

TEST_F(AddTime, ResultIsNotNormalised) {
  EXPECT_GE(OffsetTimeOfDay(10, 0, 0), 1.0);
  EXPECT_LT(OffsetTimeOfDay(10, 0, 0), 2.0);
  EXPECT_LT(OffsetTimeOfDay(-15, 0, 0), 0.0);
  EXPECT_GT(OffsetTimeOfDay(-15, 0, 0), -1.0);
  EXPECT_GE(OffsetTimeOfDay(48, 0, 0), 2.0);
}

TEST_F(AddTime, NoOffsetIsExactlyTheTimeOfDay) {
  EXPECT_EQ(OffsetTimeOfDay(0, 0, 0), datetime::CurrentTimeOfDay());
}

TEST_F(AddTime, ExtremeOffsetsStayFinite) {
  const std::int32_t big = 2147483647;
  const std::int32_t small = -2147483647 - 1;
  for (const auto v : {OffsetTimeOfDay(big, big, big), OffsetTimeOfDay(small, small, small)}) {
    EXPECT_TRUE(std::isfinite(v));
  }
  // About 89,478,485 days from the hours alone.
  EXPECT_NEAR(OffsetTimeOfDay(big, 0, 0), big / 24.0 + static_cast<double>(kNowMs) / kDayMs, 1e-6);
}

TEST_F(AddTime, RendersTheFormatPartWithTheMovedTime) {
  const struct {
    std::string_view parameter;
    std::string_view text;
  } rows[] = {
      {"addtime:hhnnss+1:00:00", "150509"},
      {"addtime:hhnn+-1:0:0", "1305"},
      {"addtime:hhnn+1:-30:0", "1435"},
      {"addtime:hhnnss+0:0:51", "140600"},
      {"AddTime:hhnn+0:90:0", "1535"},
      {"addtime:hhnn+00:000:0000", "1405"},
      // The date part moves with the offset: day 1 is 31 December 1899.
      {"addtime:ddmmyyyyhhnn+25:0:0", "311218991505"},
      {"addtime:ddmmyyyyhhnn+0:0:0", "301218991405"},
      // The format keeps its case and its blanks.
      {"addtime: hh nn +1:0:0", " 15 05 "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.parameter));
    ResetFake();
    Fake().clock = {1978, 2, 10, 14, 5, 9, 7};
    CreateLineStore();
    RunTimeOffsetCommand(row.parameter);
    EXPECT_EQ(OutputLines, (std::vector<std::string>{std::string(row.text)}));
    EXPECT_TRUE(Fake().writes.empty());
  }
}

TEST_F(AddTime, EmptyFormatPartRendersAsTheEmptyFormat) {
  RunTimeOffsetCommand("addtime:+1:0:0");
  EXPECT_EQ(OutputLines,
            (std::vector<std::string>{datetime::RenderDateTime("", OffsetTimeOfDay(1, 0, 0))}));
}

TEST_F(AddTime, AppendsToTheCurrentLine) {
  AppendToCurrentLine("at ");
  RunTimeOffsetCommand("addtime:hh+2:0:0");
  EXPECT_EQ(OutputLines, (std::vector<std::string>{"at 16"}));
  EXPECT_EQ(LineCount, 1);
}

}  // namespace
}  // namespace clockcast::cli
