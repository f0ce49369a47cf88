// Era names in a UTF-8 locale: the one-letter era specifier keeps the first
// character whole rather than its first byte.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "datetime/format.h"
#include "datetime/settings.h"
#include "fake_platform.h"

namespace clockcast::datetime {
namespace {

class Utf8EraText : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetFake();
    ReleaseFormatSettings();
    Profile.IsMultiByte = false;
    LeadBytes.reset();
    testing::Fake().altCalendar = [](int, int, int, const std::string& picture) {
      return std::optional<std::string>(picture == "gg" ? "\xE4\xBB\xA4\xE5\x92\x8C" : "08");
    };
  }
  void TearDown() override {
    ReleaseFormatSettings();
    testing::ResetFake();
  }
};

TEST_F(Utf8EraText, JapaneseOneLetterEraIsTheFirstWholeCharacter) {
  Profile.PrimaryLanguageId = 0x11;
  EXPECT_EQ(RenderDateTime("g|gg|e", 46000.0), "\xE4\xBB\xA4|\xE4\xBB\xA4\xE5\x92\x8C|8");
}

TEST_F(Utf8EraText, TraditionalChineseCountsCharactersNotBytes) {
  Profile.PrimaryLanguageId = 0x04;
  Profile.SubLanguageId = 0x01;
  // Two characters in six bytes: not the four-character form, kept whole.
  EXPECT_EQ(RenderDateTime("g", 46000.0), "\xE4\xBB\xA4\xE5\x92\x8C");
}

}  // namespace
}  // namespace clockcast::datetime
