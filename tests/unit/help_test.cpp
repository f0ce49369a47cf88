// The three screens, captured from the recorded writes of the fake platform,
// compared byte for byte with the expected files that the end-to-end suite
// checks the real program against.
#include "cli/help.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "fake_platform.h"
#include "runtime/output.h"

namespace clockcast {
namespace {

std::string ReadExpected(const char* name) {
  const auto path =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "e2e" / "expected" / name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Capture(void (*show)(), platform::DeviceType device) {
  testing::ResetFake();
  testing::Fake().deviceType = device;
  runtime::InitOutput();
  show();
  EXPECT_TRUE(runtime::CloseOutput());
  EXPECT_EQ(runtime::TakeIoError(), 0);
  return testing::Fake().Written();
}

struct Screen {
  const char* file;
  void (*show)();
  int lineCount;
};

constexpr Screen kScreens[] = {
    {"usage.txt", cli::ShowUsage, 25},
    {"formats.txt", cli::ShowFormatReference, 33},
    {"advanced.txt", cli::ShowAdvancedUsage, 19},
};

TEST(HelpScreens, MatchExpectedFilesOnEveryDevice) {
  for (const Screen& screen : kScreens) {
    SCOPED_TRACE(screen.file);
    const std::string expected = ReadExpected(screen.file);
    ASSERT_FALSE(expected.empty());
    for (const auto device : {platform::DeviceType::Disk, platform::DeviceType::Pipe,
                              platform::DeviceType::Character}) {
      EXPECT_EQ(Capture(screen.show, device), expected);
    }
  }
}

TEST(HelpScreens, LineCounts) {
  for (const Screen& screen : kScreens) {
    const std::string text = Capture(screen.show, platform::DeviceType::Disk);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), screen.lineCount) << screen.file;
    EXPECT_EQ(text.back(), '\n') << screen.file;
  }
}

// Every row of the format reference is a specifier, one tab and a
// description that starts with a blank; only the dddddd row has no tab.
TEST(HelpScreens, FormatReferenceColumns) {
  std::istringstream lines(Capture(cli::ShowFormatReference, platform::DeviceType::Disk));
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    SCOPED_TRACE(line);
    const auto tabs = std::count(line.begin(), line.end(), '\t');
    if (number == 8) {
      EXPECT_EQ(tabs, 0);
      EXPECT_EQ(line.rfind("dddddd Displays ", 0), 0u);
      continue;
    }
    ASSERT_EQ(tabs, 1);
    const auto tab = line.find('\t');
    EXPECT_GT(tab, 0u);
    if (number > 1) {
      EXPECT_EQ(line[tab + 1], ' ');
    }
    EXPECT_NE(line.back(), ' ');
  }
}

// The framing rows: 72 asterisks around the usage screen, 75 around the
// advanced one; advanced line 11 keeps its trailing blank.
TEST(HelpScreens, RulesAndTrailingBlank) {
  const auto lineAt = [](const std::string& text, int number) {
    std::istringstream lines(text);
    std::string line;
    for (int i = 0; i < number; ++i) std::getline(lines, line);
    return line;
  };
  const std::string usage = Capture(cli::ShowUsage, platform::DeviceType::Disk);
  for (int n : {1, 4, 25}) EXPECT_EQ(lineAt(usage, n), std::string(72, '*')) << n;
  const std::string advanced = Capture(cli::ShowAdvancedUsage, platform::DeviceType::Disk);
  for (int n : {2, 19}) EXPECT_EQ(lineAt(advanced, n), std::string(75, '*')) << n;
  EXPECT_EQ(lineAt(advanced, 11),
            "If you wish, you can place that line inside batch file to make a ");
}

// On a console every line is handed over at its end, so no write ever mixes
// two lines and none exceeds the 128-byte buffer.
TEST(HelpScreens, ConsoleWritesEndAtLineEnds) {
  Capture(cli::ShowFormatReference, platform::DeviceType::Character);
  const auto& writes = testing::Fake().writes;
  ASSERT_FALSE(writes.empty());
  for (const std::string& w : writes) {
    EXPECT_LE(w.size(), 128u);
    EXPECT_EQ(std::count(w.begin(), w.end(), '\n'), w.back() == '\n' ? 1 : 0);
  }
}

}  // namespace
}  // namespace clockcast
