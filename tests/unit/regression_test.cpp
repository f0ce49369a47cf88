// Faults found by the fuzz targets (fuzz/), each pinned by the smallest input
// that showed it. Some of them show only under the sanitizer build
// (.ci/test-sanitizers), which runs these tests too.
#include <gtest/gtest.h>

#include <string>

#include "datetime/format.h"
#include "fake_platform.h"

namespace clockcast {
namespace {

// 10 February 1978, 12:00.
constexpr datetime::DateTimeValue kNoon = 28531.5;

// An era text that the platform formatter cannot give is an empty text with
// no storage behind it. Emitting it copied zero bytes from a null pointer,
// which UndefinedBehaviorSanitizer reports (fuzz_format, input "g e eee").
TEST(Regression, EraSpecifiersWithAFailingFormatterEmitNothing) {
  testing::ResetFake();  // no alternate-calendar formatter: every call fails
  EXPECT_EQ(datetime::RenderDateTime("g e eee", kNoon), "  ");
  EXPECT_EQ(datetime::RenderDateTime("gg'x'ee", kNoon), "x");
}

}  // namespace
}  // namespace clockcast
