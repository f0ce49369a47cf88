// Failure objects, the message formatter, the failure report, the
// runtime-error line, and whole runs through start-up and shutdown.

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <regex>
#include <source_location>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "runtime/checked.h"
#include "runtime/failures.h"
#include "runtime/integer.h"
#include "runtime/message_format.h"
#include "runtime/output.h"
#include "runtime/report.h"
#include "runtime/shutdown.h"

namespace clockcast::runtime {
namespace {

using testing::Fake;

template <class Base, class Derived>
constexpr bool kIs = std::is_base_of_v<Base, Derived>;
static_assert(kIs<EIntError, ERangeError> && kIs<EExternal, EIntError> &&
              kIs<EMathError, EOverflow> && kIs<EExternal, EMathError> &&
              kIs<EHeapException, EOutOfMemory> && !kIs<EExternal, EConvertError> &&
              !kIs<EExternal, EInOutError>);

std::string journal;      // what the modules did, in order
const char* programLine;  // the program writes this line, then runs its body
void (*programBody)();
constexpr Module kA{[] { journal += "a"; }, [] { journal += "A"; }};
constexpr Module kB{[] { journal += "b"; }, [] { journal += "B"; }};
constexpr Module kLayer{InstallFailureLayer, RemoveFailureLayer};
constexpr Module kFailing{[] { RaiseFailure(EConvertError("early"), 0x99); }, nullptr};
using enum platform::DeviceType;

TEST(Failures, ClassesAndTexts) {
  // The class and text by reason, with the failure layer installed; 0 and
  // those above 24 take the pending I/O code. Memory (1) is reported below.
  const std::string made =
      "0 EInOutError File access denied 5|2 EInvalidPointer Invalid pointer operation|"
      "3 EDivByZero Division by zero|4 ERangeError Range check error|5 EIntOverflow Integer "
      "overflow|6 EInvalidOp Invalid floating point operation|7 EZeroDivide Floating point "
      "division by zero|8 EOverflow Floating point overflow|9 EUnderflow Floating point "
      "underflow|10 EInvalidCast Invalid class typecast|11 EAccessViolation Access violation at "
      "address %p. %s of address %p|12 EPrivilege Privileged instruction|13 EControlC Control-C "
      "hit|14 EStackOverflow Stack overflow|15 EVariantError Invalid variant type conversion|16 "
      "EVariantError Invalid variant operation|17 EVariantError Variant method calls not "
      "supported|18 EVariantError Error creating variant array|19 EVariantError Variant is not an "
      "array|20 EVariantError Variant array index out of bounds|21 EAssertionFailed Assertion "
      "failed|22 EExternalException External exception %x|23 EIntfCastError Interface not "
      "supported|24 ESafecallException Exception in safecall method|25 EInOutError I/O error 112 "
      "112|";
  std::string text;
  InstallFailureLayer();
  for (int reason = 0; reason <= 25; reason += reason == 0 ? 2 : 1) {
    PendingIoError = reason == 0 ? 5 : 112;
    try {
      RaiseRuntimeFailure(reason, 0x400);
    } catch (const Exception& f) {
      text += std::to_string(reason) + " " + std::string(f.ClassName()) + " " +
              std::string(f.Message());
      if (const auto* io = dynamic_cast<const EInOutError*>(&f))
        text += " " + std::to_string(io->IoCode);
      text += f.Location() == 0x400u ? "|" : "?";
    }
  }
  EXPECT_EQ(text, made);
  const std::source_location site = std::source_location::current();
  EXPECT_EQ(LocationOf(site), LocationOf(std::source_location(site)));  // stable per site
  RemoveFailureLayer();
  // Without the layer: the reason's exit code (the low 7 bits count; reason
  // 0 takes the low byte of the pending I/O code).
  PendingIoError = 0x1234;
  const int reasons[] = {1, 2, 4, 5, 17, 24, 132, 100, 0};
  const int codes[] = {203, 204, 201, 215, 222, 229, 201, 100, 0x34};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(RuntimeErrorCode(reasons[i]), codes[i]) << reasons[i];
  PendingIoError = 0;
}

TEST(Failures, MessageFormat) {
  EXPECT_EQ(FormatText("%s|%d|%d|%x|%x|%p|%q%%|%S%D%X%P",
                       {"%d%s", -42, -2147483647 - 1, 255, -1, FormatArg::Address(0x1A), "t", 7, 26,
                        FormatArg::Address(0xDEADBEEF)}),
            "%d%s|-42|-2147483648|FF|FFFFFFFF|0000001A|%q%%|t71ADEADBEEF");
  char out[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(FormatInto(out, 5, "%s!", {"abcdefgh"}), 5u);
  EXPECT_EQ(std::string(out, 8), "abcde###");
}

TEST(Failures, Report) {
  const std::size_t room = 1023 - 61;  // after the first line with "clockcast.exe"
  const struct {
    std::string message, tail, module = "clockcast.exe";
    const char* path = "C:\\Tools\\clockcast.exe";
  } rows[] = {{"Range check error", "Range check error."},
              {"Ends.", "Ends."},
              {"", ""},
              {"a. ", "a. ."},
              {std::string(room - 1, 'x'), std::string(room - 1, 'x') + "."},  // just fits
              {std::string(room, 'x'), std::string(room, 'x')},  // the end mark is cut
              {std::string(2000, 'x'), std::string(room, 'x')},
              {"m", "m.", "clockcast.exe", "clockcast.exe"},
              {"m", "m.", "", "C:\\a\\"},
              {"m", "m.", "clockcast", "/usr/bin/clockcast"},
              // A trail byte equal to a backslash is part of its character.
              {"m", "m.", "\x81\\x.exe", "C:\\T\\\x81\\x.exe"}};
  for (const auto& row : rows) {
    testing::ResetFake();
    Fake().modulePath = row.path;
    Fake().leadBytes.set(0x81);
    char out[1100];
    const std::size_t n = BuildFailureReport(EConvertError(row.message), 0xABCDEF, out, 1024);
    EXPECT_EQ(std::string(out, n),
              "Exception EConvertError in module " + row.module + " at 00ABCDEF.\n" + row.tail);
  }
  char out[16];
  EXPECT_EQ(std::string(out, BuildFailureReport(EConvertError("m"), 0, out, 11)), "Exception ");
  char line[kRuntimeErrorLineLength];  // codes of one, two and three digits
  for (const auto& [code, where, text] :
       {std::tuple{5, 0x1Au, "Runtime error   5 at 0000001A"},
        std::tuple{42, 0u, "Runtime error  42 at 00000000"},
        std::tuple{217, 0xDEADBEEFu, "Runtime error 217 at DEADBEEF"}}) {
    FormatRuntimeErrorLine(code, where, line);
    EXPECT_EQ(std::string(line, sizeof line), text);
  }
}

TEST(Failures, PlatformExceptions) {
  // The failure for each platform exception code, and the exit code without
  // the failure layer. An access violation names the module that holds the
  // fault address, by its file name after the last backslash or colon.
  testing::ResetFake();
  Fake().modulesAt = {{0x400000, "C:\\Tools\\clockcast.exe"}, {0x770000, "C:ntdll.dll"}};
  std::vector<platform::ExceptionRecord> records = {{0xC0000005, 0x401000, {0, 0x10}},
                                                    {0xC0000005, 0x770010, {1, 0xABCD}},
                                                    {0xC0000005, 0x1234, {8, 0x1234}}};
  for (const std::uint32_t code :
       {0xC000008Cu, 0xC000008Du, 0xC000008Eu, 0xC000008Fu, 0xC0000090u, 0xC0000091u, 0xC0000092u,
        0xC0000093u, 0xC0000094u, 0xC0000095u, 0xC0000096u, 0xC00000FDu, 0xC000013Au, 0x80000003u,
        0x0EEDFADEu}) {
    records.push_back({code, 0x401000, {0, 0x10}});
  }
  std::string text;
  for (const platform::ExceptionRecord& record : records) {
    const auto& failure = dynamic_cast<const EExternal&>(MakePlatformFailure(record));
    text += std::string(failure.ClassName()) + " " + std::string(failure.Message()) + " " +
            std::to_string(PlatformExitCode(record.code)) +
            (failure.PlatformRecord == &record ? "|\n" : "?\n");
  }
  EXPECT_EQ(
      text,
      "EAccessViolation Access violation at address 00401000 in module 'clockcast.exe'. Read "
      "of address 00000010 216|\n"
      "EAccessViolation Access violation at address 00770010 in module 'ntdll.dll'. Write of "
      "address 0000ABCD 216|\n"
      "EAccessViolation Access violation at address 00001234. Write of address 00001234 216|\n"
      "ERangeError Range check error 201|\nEUnderflow Floating point underflow 206|\n"
      "EZeroDivide Floating point division by zero 200|\n"
      "EInvalidOp Invalid floating point operation 207|\n"
      "EInvalidOp Invalid floating point operation 207|\n"
      "EOverflow Floating point overflow 205|\n"
      "EInvalidOp Invalid floating point operation 207|\n"
      "EUnderflow Floating point underflow 206|\nEDivByZero Division by zero 200|\n"
      "EIntOverflow Integer overflow 215|\nEPrivilege Privileged instruction 218|\n"
      "EStackOverflow Stack overflow 202|\nEControlC Control-C hit 217|\n"
      "EExternalException External exception 80000003 255|\n"
      "EExternalException External exception EEDFADE 255|\n");
}

// What the platform's filter does with an access violation at 0x401000 in
// the executable. There the process then ends; here the program body returns
// and RunProgram ends the run once more, which finds nothing left to do.
void RaiseAccessViolation() {
  static const platform::ExceptionRecord record{0xC0000005, 0x401000, {0, 0x10}};
  Fake().modulesAt = {{0x400000, "C:\\Tools\\clockcast.exe"}};
  Fake().exceptionHandler(record);
}

TEST(Failures, WholeRuns) {
  auto rep = [](const char* cls, const std::string& message) {
    return "Exception " + std::string(cls) + " in module clockcast.exe at @.\n" + message +
           "|\n|=1 aA";
  };
  // Every write followed by "|" (a location shown as "@"), "=", the exit
  // code and the journal. The program writes its line, then runs its body.
  const struct {
    std::string expected;
    void (*body)();
    const char* line = "";
    platform::DeviceType device = Disk;
    int failWith = 0;
    platform::Handle handle = 1;
    std::vector<Module> modules = {kLayer, kA};
  } rows[] = {
      {"x\n|=0 abBA", [] {}, "x", Disk, 0, 1, {kA, kLayer, kB}},
      {"1\n|" + rep("ERangeError", "Range check error."), [] { CharAt("", 1); }, "1"},
      {rep("EIntOverflow", "Integer overflow."), [] { CheckedAdd(0x7FFFFFFF, 1); }},
      {rep("EOutOfMemory", "Out of memory."), [] { throw std::bad_alloc(); }},
      {rep("EOutOfMemory", "Out of memory."), [] { RaiseRuntimeFailure(1, 0); }},
      {rep("EConvertError", "'' is not a valid integer value."), [] { TextToInt(""); }},
      {"x\n|" + rep("EInOutError", "File access denied."), [] {}, "x", Character, 5},
      {"=1 aA", [] {}, "x", Disk, 0, platform::kInvalidHandle},  // unusable output
      {"x\n|=1 aA", [] {}, "x", Disk, 28},                       // the final write-out failed
      // Before the failure layer, or without it: the runtime-error line.
      {"Runtime error 217 at @|\n|=217 aA", [] {}, "", Disk, 0, 1, {kA, kLayer, kFailing, kB}},
      {"x\n|Runtime error 201 at @|\n|=201 ", [] { RangeCheckFailed(); }, "x", Disk, 0, 1, {}},
      {"Runtime error 203 at @|\n|=203 ", [] { throw std::bad_alloc(); }, "", Disk, 0, 1, {}},
      // A platform exception, with the layer and without it.
      {rep("EAccessViolation",
           "Access violation at address 00401000 in module 'clockcast.exe'. "
           "Read of address 00000010."),
       RaiseAccessViolation},
      {"x\n|Runtime error 216 at @|\n|=216 ", RaiseAccessViolation, "x", Disk, 0, 1, {}}};
  for (const auto& row : rows) {
    testing::ResetFake();
    Fake().deviceType = row.device;
    Fake().failWritesWith = row.failWith;
    Fake().stdOutput = row.handle;
    PendingIoError = ProcessExitCode = 0;
    journal.clear();
    programLine = row.line;
    programBody = row.body;
    const int code = RunProgram(row.modules, [] {
      if (*programLine != '\0') WriteLine(programLine);
      programBody();
    });
    std::string out;
    for (const std::string& w : Fake().writes) {
      // The location is stable but free: masked as "@".
      out += std::regex_replace(w, std::regex(" at [0-9A-F]{8}"), " at @") + "|";
    }
    EXPECT_EQ(out + "=" + std::to_string(code) + " " + journal, row.expected);
    EXPECT_EQ(RuntimeFailureHook, nullptr);
    EXPECT_EQ(PlatformFailureHook, nullptr);
    EXPECT_EQ(Fake().exceptionHandler, nullptr);  // removed at the end
  }
}

// Runs the whole program with `allowed` allocations; the output and the exit
// code, 256 added when an allocation was refused.
std::pair<std::string, int> RunAllowing(const std::vector<std::string>& arguments, int allowed) {
  testing::ResetFake();
  Fake().arguments = arguments;
  static constexpr Module kModules[] = {
      {InstallFailureLayer, RemoveFailureLayer},
      {datetime::LoadFormatSettings, datetime::ReleaseFormatSettings},
      {cli::CreateLineStore, cli::ReleaseLineStore}};
  PendingIoError = ProcessExitCode = testing::allocationsRefused = 0;
  testing::allocationsLeft = allowed;
  const int code = RunProgram(kModules, cli::SelectMode);
  testing::allocationsLeft = -1;
  return {Fake().Written(), code + (testing::allocationsRefused != 0 ? 256 : 0)};
}

TEST(Failures, EveryAllocationRefusedInTurn) {
  // The allocations of a run are refused from the first on, then from the
  // second on, and so forth, until a run gets all it asks for. Each run ends
  // with the out-of-memory report, or the runtime-error line for 203, after
  // a part of the whole output from its start.
  const std::regex ending(std::string("(Exception EOutOfMemory in module clockcast.exe at "
                                      "[0-9A-F]{8}\\.\nOut of memory\\.|Runtime error 203 at "
                                      "[0-9A-F]{8})") +
                          std::string(platform::kLineBreak));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"Date:dd", "th", " of", "date: mmmm, yyyy"},
        {"/formats"},
        {"addtime:", "addtime:hh+::0"}}) {
    SCOPED_TRACE(arguments[0]);
    const auto [whole, wholeCode] = RunAllowing(arguments, -1);
    int allowed = 0;
    for (;; ++allowed) {
      const auto [out, code] = RunAllowing(arguments, allowed);
      if (code < 256) {
        EXPECT_EQ(out, whole);
        EXPECT_EQ(code, wholeCode);
        break;
      }
      const std::size_t cut = std::min(out.find("Exception EOutOfMemory"), out.find("Runtime"));
      EXPECT_TRUE(cut != std::string::npos && whole.starts_with(out.substr(0, cut)) &&
                  std::regex_match(out.substr(cut), ending))
          << allowed << " allocations: " << out;
    }
    EXPECT_GT(allowed, 0);
  }
}

}  // namespace
}  // namespace clockcast::runtime
