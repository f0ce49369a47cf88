// The three screens, byte for byte against the files the end-to-end suite checks the real
// program with, to a console and to a file.
#include "cli/help.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fake_platform.h"
#include "runtime/output.h"

namespace clockcast {
namespace {

TEST(HelpScreens, MatchTheExpectedFiles) {
  const char* files[] = {"usage.txt", "formats.txt", "advanced.txt"};
  void (*shows[])() = {cli::ShowUsage, cli::ShowFormatReference, cli::ShowAdvancedUsage};
  const long lines[] = {25, 33, 19};
  const auto dir = std::filesystem::path(__FILE__).parent_path().parent_path() / "e2e/expected";
  for (int i = 0; i < 3; ++i) {
    std::ifstream in(dir / files[i], std::ios::binary);
    const std::string expected{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), lines[i]) << files[i];
    for (const auto device : {platform::DeviceType::Disk, platform::DeviceType::Character}) {
      testing::ResetFake();
      testing::Fake().deviceType = device;
      runtime::InitOutput();
      shows[i]();
      EXPECT_TRUE(runtime::CloseOutput());
      EXPECT_EQ(testing::Fake().Written(), expected) << files[i];
    }
  }
}

}  // namespace
}  // namespace clockcast
