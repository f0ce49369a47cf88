// Failure objects, the failure report, the runtime-error line, the message
// formatter, and whole runs through start-up and shutdown with the exit code
// each way of ending gives.

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fake_platform.h"
#include "platform/platform.h"
#include "runtime/checked.h"
#include "runtime/failures.h"
#include "runtime/integer.h"
#include "runtime/message_format.h"
#include "runtime/output.h"
#include "runtime/report.h"
#include "runtime/shutdown.h"

namespace clockcast::runtime {
namespace {

using platform::DeviceType;
using platform::kLineBreak;
using testing::Fake;
using testing::ResetFake;

class Failures : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    RemoveFailureLayer();
    ResetFake();
    InitOutput();
    PendingIoError = 0;
    ProcessExitCode = 0;
  }
};

// True when the text is exactly eight digits 0-9, A-F.
bool IsLocation(std::string_view text) {
  if (text.size() != 8) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) return false;
  }
  return true;
}

// Checks a report against "Exception <cls> in module <module> at XXXXXXXX.\n<second>".
void ExpectReport(std::string_view report, std::string_view cls, std::string_view module,
                  std::string_view second) {
  const std::string head =
      "Exception " + std::string(cls) + " in module " + std::string(module) + " at ";
  ASSERT_GE(report.size(), head.size() + 10) << report;
  EXPECT_EQ(report.substr(0, head.size()), head);
  EXPECT_TRUE(IsLocation(report.substr(head.size(), 8))) << report;
  EXPECT_EQ(report.substr(head.size() + 8, 2), ".\n");
  EXPECT_EQ(report.substr(head.size() + 10), second);
}

std::string Report(const Exception& failure, CodeLocation where = 0x1234ABCD,
                   std::size_t capacity = 1024) {
  std::vector<char> out(capacity + 16, '#');
  const std::size_t n = BuildFailureReport(failure, where, out.data(), capacity);
  EXPECT_LT(n, capacity == 0 ? 1 : capacity);
  return std::string(out.data(), n);
}

// --- The class tree -----------------------------------------------------------

TEST(FailureClasses, NamesAreTheClassNames) {
  const struct {
    std::string_view actual;
    std::string_view expected;
  } rows[] = {
      {Exception("").ClassName(), "Exception"},
      {EHeapException("").ClassName(), "EHeapException"},
      {EOutOfMemory("").ClassName(), "EOutOfMemory"},
      {EInvalidPointer("").ClassName(), "EInvalidPointer"},
      {EInOutError("", 0).ClassName(), "EInOutError"},
      {EExternal("").ClassName(), "EExternal"},
      {EExternalException("").ClassName(), "EExternalException"},
      {EIntError("").ClassName(), "EIntError"},
      {EDivByZero("").ClassName(), "EDivByZero"},
      {ERangeError("").ClassName(), "ERangeError"},
      {EIntOverflow("").ClassName(), "EIntOverflow"},
      {EMathError("").ClassName(), "EMathError"},
      {EInvalidOp("").ClassName(), "EInvalidOp"},
      {EZeroDivide("").ClassName(), "EZeroDivide"},
      {EOverflow("").ClassName(), "EOverflow"},
      {EUnderflow("").ClassName(), "EUnderflow"},
      {EInvalidCast("").ClassName(), "EInvalidCast"},
      {EAccessViolation("").ClassName(), "EAccessViolation"},
      {EPrivilege("").ClassName(), "EPrivilege"},
      {EControlC("").ClassName(), "EControlC"},
      {EStackOverflow("").ClassName(), "EStackOverflow"},
      {EVariantError("").ClassName(), "EVariantError"},
      {EAssertionFailed("").ClassName(), "EAssertionFailed"},
      {EIntfCastError("").ClassName(), "EIntfCastError"},
      {ESafecallException("").ClassName(), "ESafecallException"},
      {EConvertError("").ClassName(), "EConvertError"},
      {EAbstractError("").ClassName(), "EAbstractError"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.actual, row.expected);
}

// Child and parent of each class of the tree.
template <class Child, class Parent>
constexpr bool kDerives = std::is_base_of_v<Parent, Child> && !std::is_same_v<Parent, Child>;

static_assert(kDerives<EHeapException, Exception>);
static_assert(kDerives<EOutOfMemory, EHeapException>);
static_assert(kDerives<EInvalidPointer, EHeapException>);
static_assert(kDerives<EInOutError, Exception> && !kDerives<EInOutError, EExternal>);
static_assert(kDerives<EExternal, Exception>);
static_assert(kDerives<EExternalException, EExternal>);
static_assert(kDerives<EIntError, EExternal>);
static_assert(kDerives<EDivByZero, EIntError>);
static_assert(kDerives<ERangeError, EIntError>);
static_assert(kDerives<EIntOverflow, EIntError>);
static_assert(kDerives<EMathError, EExternal> && !kDerives<EMathError, EIntError>);
static_assert(kDerives<EInvalidOp, EMathError>);
static_assert(kDerives<EZeroDivide, EMathError>);
static_assert(kDerives<EOverflow, EMathError>);
static_assert(kDerives<EUnderflow, EMathError>);
static_assert(kDerives<EInvalidCast, Exception> && !kDerives<EInvalidCast, EExternal>);
static_assert(kDerives<EAccessViolation, EExternal>);
static_assert(kDerives<EPrivilege, EExternal>);
static_assert(kDerives<EControlC, EExternal>);
static_assert(kDerives<EStackOverflow, EExternal>);
static_assert(kDerives<EVariantError, Exception> && !kDerives<EVariantError, EExternal>);
static_assert(kDerives<EAssertionFailed, Exception> && !kDerives<EAssertionFailed, EExternal>);
static_assert(kDerives<EIntfCastError, Exception> && !kDerives<EIntfCastError, EExternal>);
static_assert(kDerives<ESafecallException, Exception> && !kDerives<ESafecallException, EExternal>);
static_assert(kDerives<EConvertError, Exception> && !kDerives<EConvertError, EExternal>);
static_assert(kDerives<EAbstractError, Exception> && !kDerives<EAbstractError, EExternal>);

// --- Runtime failures ---------------------------------------------------------

struct Made {
  std::string cls;
  std::string message;
};

Made MakeFor(int reason) {
  try {
    MakeRuntimeFailure(reason, 0x400);
  } catch (const Exception& failure) {
    EXPECT_EQ(failure.Location(), 0x400u);
    return {std::string(failure.ClassName()), failure.Message()};
  }
  return {};
}

TEST_F(Failures, RuntimeFailureMapGivesClassAndUnformattedText) {
  const struct {
    int reason;
    std::string_view cls;
    std::string_view message;
  } rows[] = {
      {3, "EDivByZero", "Division by zero"},
      {4, "ERangeError", "Range check error"},
      {5, "EIntOverflow", "Integer overflow"},
      {6, "EInvalidOp", "Invalid floating point operation"},
      {7, "EZeroDivide", "Floating point division by zero"},
      {8, "EOverflow", "Floating point overflow"},
      {9, "EUnderflow", "Floating point underflow"},
      {10, "EInvalidCast", "Invalid class typecast"},
      {12, "EPrivilege", "Privileged instruction"},
      {13, "EControlC", "Control-C hit"},
      {14, "EStackOverflow", "Stack overflow"},
      {15, "EVariantError", "Invalid variant type conversion"},
      {16, "EVariantError", "Invalid variant operation"},
      {17, "EVariantError", "Variant method calls not supported"},
      {18, "EVariantError", "Error creating variant array"},
      {19, "EVariantError", "Variant is not an array"},
      {20, "EVariantError", "Variant array index out of bounds"},
      {21, "EAssertionFailed", "Assertion failed"},
      {22, "EExternalException", "External exception %x"},
      {23, "EIntfCastError", "Interface not supported"},
      {24, "ESafecallException", "Exception in safecall method"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reason);
    const Made made = MakeFor(row.reason);
    EXPECT_EQ(made.cls, row.cls);
    EXPECT_EQ(made.message, row.message);
  }
}

TEST_F(Failures, IoFailureTextsByCode) {
  const struct {
    std::int32_t code;
    std::string_view message;
  } rows[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {112, "I/O error 112"},
      {105, "I/O error 105"},
      {1, "I/O error 1"},
      {-7, "I/O error -7"},
      {0x12345678, "I/O error 305419896"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    PendingIoError = row.code;
    const EInOutError failure = MakeIoFailure();
    EXPECT_EQ(failure.ClassName(), "EInOutError");
    EXPECT_EQ(failure.IoCode, row.code);
    EXPECT_EQ(failure.Message(), row.message);
    EXPECT_EQ(PendingIoError, 0);
  }
}

TEST_F(Failures, ReasonZeroAndReasonsAbove24AreIoFailures) {
  PendingIoError = 5;
  EXPECT_EQ(MakeFor(0).message, "File access denied");
  PendingIoError = 112;
  const Made made = MakeFor(30);
  EXPECT_EQ(made.cls, "EInOutError");
  EXPECT_EQ(made.message, "I/O error 112");
}

TEST_F(Failures, ChecksRaiseTheirFailuresWithTheLayerInstalled) {
  InstallFailureLayer();
  EXPECT_THROW(RangeCheckFailed(), ERangeError);
  EXPECT_THROW(OverflowCheckFailed(), EIntOverflow);
  EXPECT_THROW(CheckedAdd(0x7FFFFFFF, 1), EIntOverflow);
  EXPECT_THROW(CheckedSub(-0x7FFFFFFF - 1, 1), EIntOverflow);
  EXPECT_THROW(CharAt("abc", 4), ERangeError);
  EXPECT_THROW(CharAt("abc", 0), ERangeError);
  EXPECT_EQ(CharAt("abc", 3), 'c');
  PendingIoError = 112;
  try {
    CheckIo();
    ADD_FAILURE() << "CheckIo returned";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.IoCode, 112);
    EXPECT_EQ(failure.Message(), "I/O error 112");
  }
}

TEST_F(Failures, SameSiteGivesTheSameLocation) {
  InstallFailureLayer();
  CodeLocation first = 0;
  CodeLocation second = 0;
  for (int i = 0; i < 2; ++i) {
    try {
      RangeCheckFailed();
    } catch (const Exception& failure) {
      (i == 0 ? first : second) = failure.Location();
    }
  }
  EXPECT_EQ(first, second);
}

TEST_F(Failures, BaseLayerEndsWithTheReasonsErrorCode) {
  const struct {
    int reason;
    int code;
  } rows[] = {
      {1, 203},
      {2, 204},
      {4, 201},
      {5, 215},
      {16, 221},
      {17, 222},
      // Only the low seven bits of a reason count.
      {128 + 4, 201},
      // A reason above the table is its own code.
      {100, 100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.reason);
    try {
      RaiseRuntimeFailure(row.reason, 0x777);
    } catch (const RuntimeErrorEnd& end) {
      EXPECT_EQ(end.exitCode, row.code);
      EXPECT_EQ(end.location, 0x777u);
    }
  }
  // Reason 0: the low eight bits of the pending I/O code.
  PendingIoError = 0x1234;
  try {
    RaiseRuntimeFailure(0, 1);
  } catch (const RuntimeErrorEnd& end) {
    EXPECT_EQ(end.exitCode, 0x34);
  }
}

TEST_F(Failures, LayerInstalledAndRemoved) {
  EXPECT_EQ(RuntimeFailureHook, nullptr);
  EXPECT_EQ(UncaughtFailureHook, nullptr);
  InstallFailureLayer();
  EXPECT_NE(RuntimeFailureHook, nullptr);
  EXPECT_NE(UncaughtFailureHook, nullptr);
  EXPECT_EQ(OutOfMemoryFailure().ClassName(), "EOutOfMemory");
  EXPECT_EQ(OutOfMemoryFailure().Message(), "Out of memory");
  EXPECT_FALSE(OutOfMemoryFailure().MayRelease);
  RemoveFailureLayer();
  EXPECT_EQ(RuntimeFailureHook, nullptr);
  EXPECT_EQ(UncaughtFailureHook, nullptr);
  EXPECT_THROW(RangeCheckFailed(), RuntimeErrorEnd);
}

TEST_F(Failures, ConvertErrorInPlainForm) {
  try {
    RaiseConvertError(MessageId::kInvalidDateEncode);
  } catch (const EConvertError& failure) {
    EXPECT_EQ(failure.Message(), "Invalid argument to date encode");
  }
}

// --- Message formatter ----------------------------------------------------------

TEST(MessageFormat, Conversions) {
  const struct {
    std::string actual;
    std::string_view expected;
  } rows[] = {
      {FormatText("%s", {"abc"}), "abc"},
      {FormatText("[%s]", {""}), "[]"},
      {FormatText("%d", {0}), "0"},
      {FormatText("%d", {-42}), "-42"},
      {FormatText("%d", {2147483647}), "2147483647"},
      {FormatText("%d", {-2147483647 - 1}), "-2147483648"},
      {FormatText("%x", {0}), "0"},
      {FormatText("%x", {255}), "FF"},
      {FormatText("%x", {-1}), "FFFFFFFF"},
      {FormatText("%x", {0x0EEDFADE}), "EEDFADE"},
      {FormatText("%p", {FormatArg::Address(0)}), "00000000"},
      {FormatText("%p", {FormatArg::Address(0x1A)}), "0000001A"},
      {FormatText("%p", {FormatArg::Address(0xDEADBEEF)}), "DEADBEEF"},
      // The conversion letter in either case.
      {FormatText("%S %D %X %P", {"t", -1, 26, FormatArg::Address(26)}), "t -1 1A 0000001A"},
      {FormatText("I/O error %d", {112}), "I/O error 112"},
      {FormatText("%s and %s", {"one", "two"}), "one and two"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.actual, row.expected);
}

TEST(MessageFormat, ArgumentTextIsNeverReadAsAFormat) {
  EXPECT_EQ(FormatText("'%s' is not a valid integer value", {"%s%n%d%p%x%%"}),
            "'%s%n%d%p%x%%' is not a valid integer value");
  EXPECT_EQ(FormatText("%s|%d", {"%d", 7}), "%d|7");
  const std::string zero("a\0b", 3);
  EXPECT_EQ(FormatText("<%s>", {std::string_view(zero)}), "<" + zero + ">");
}

TEST(MessageFormat, FixedAreaDropsWhatDoesNotFit) {
  char out[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(FormatInto(out, 5, "%s!", {"abcdefgh"}), 5u);
  EXPECT_EQ(std::string_view(out, 8), "abcde###");
}

// --- The failure report ---------------------------------------------------------

TEST_F(Failures, ReportEndMarkForEveryCase) {
  const struct {
    std::string_view message;
    std::string_view second;
  } rows[] = {
      {"Range check error", "Range check error."},
      {"Ends with a stop.", "Ends with a stop."},
      {"", ""},
      {".", "."},
      {"Two..", "Two.."},
      {"a.b", "a.b."},
      {"trailing blank ", "trailing blank ."},
      {"line\n", "line\n."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.message));
    ExpectReport(Report(ERangeError(std::string(row.message))), "ERangeError", "clockcast.exe",
                 row.second);
  }
}

TEST_F(Failures, ReportLayoutByteForByte) {
  EXPECT_EQ(Report(EConvertError("'' is not a valid integer value"), 0x00ABCDEF),
            "Exception EConvertError in module clockcast.exe at 00ABCDEF.\n"
            "'' is not a valid integer value.");
}

TEST_F(Failures, ReportNamesTheModuleAfterItsLastBackslash) {
  const struct {
    std::string path;
    std::string_view module;
    std::vector<std::uint8_t> leadBytes;
  } rows[] = {
      {"C:\\Tools\\clockcast.exe", "clockcast.exe", {}},
      {"clockcast.exe", "clockcast.exe", {}},
      {"C:\\a\\b\\c\\", "", {}},
      {"/usr/local/bin/clockcast", "clockcast", {}},
      // A trail byte that equals a backslash is part of its character.
      {"C:\\Tools\\\x81\\name.exe", "\x81\\name.exe", {0x81}},
      // Without the lead byte it is a separator like any other.
      {"C:\\Tools\\\x81\\name.exe", "name.exe", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    ResetFake();
    Fake().modulePath = row.path;
    Fake().charNextLeadBytes = row.leadBytes;
    ExpectReport(Report(EConvertError("m")), "EConvertError", row.module, "m.");
  }
}

TEST_F(Failures, ReportIsCutAfter1023Characters) {
  const std::string head = "Exception EConvertError in module clockcast.exe at 00000000.\n";
  const std::size_t room = 1023 - head.size();
  const struct {
    std::size_t messageLength;
    std::string_view tail;  // the last bytes of the report
  } rows[] = {
      {room - 1, "x."},  // just fits with the end mark
      {room, "xx"},      // the end mark is cut
      {room + 1, "xx"},
      {2000, "xx"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.messageLength);
    const std::string report = Report(EConvertError(std::string(row.messageLength, 'x')), 0);
    EXPECT_EQ(report.size(), 1023u);
    EXPECT_EQ(report.substr(0, head.size()), head);
    EXPECT_EQ(report.substr(report.size() - 2), row.tail);
  }
}

TEST_F(Failures, ReportTakesAtMostCapacityLessOne) {
  EXPECT_EQ(Report(EConvertError("message"), 0, 11), "Exception ");
  EXPECT_EQ(Report(EConvertError("message"), 0, 1), "");
}

TEST_F(Failures, ShowFailureFlushesFirstThenWritesReportAndLineBreak) {
  Fake().deviceType = DeviceType::Disk;
  WriteLine("earlier");
  ShowFailure(EIntOverflow("Integer overflow"), 0xFEDCBA98);
  const std::string br(kLineBreak);
  ASSERT_EQ(Fake().writes.size(), 3u);
  EXPECT_EQ(Fake().writes[0], "earlier" + br);
  EXPECT_EQ(Fake().writes[1],
            "Exception EIntOverflow in module clockcast.exe at FEDCBA98.\nInteger overflow.");
  EXPECT_EQ(Fake().writes[2], br);
}

TEST_F(Failures, ShowFailureAlwaysEndsTheCutReportWithALineBreak) {
  ShowFailure(EConvertError(std::string(1100, '9')), 0);
  ASSERT_EQ(Fake().writes.size(), 2u);
  EXPECT_EQ(Fake().writes[0].size(), 1023u);
  EXPECT_EQ(Fake().writes[1], kLineBreak);
}

// --- The runtime-error line -------------------------------------------------------

TEST(RuntimeErrorLine, CodesStandRightAlignedAndLocationHasEightDigits) {
  const struct {
    int code;
    CodeLocation where;
    std::string_view line;
  } rows[] = {
      {5, 0x1A, "Runtime error   5 at 0000001A"},
      {42, 0, "Runtime error  42 at 00000000"},
      {217, 0xDEADBEEF, "Runtime error 217 at DEADBEEF"},
      {203, 0x00401000, "Runtime error 203 at 00401000"},
      {0, 0x10, "Runtime error   0 at 00000010"},
      {255, 0xFFFFFFFF, "Runtime error 255 at FFFFFFFF"},
  };
  for (const auto& row : rows) {
    char line[kRuntimeErrorLineLength];
    FormatRuntimeErrorLine(row.code, row.where, line);
    EXPECT_EQ(std::string_view(line, sizeof line), row.line);
  }
}

// --- Whole runs -----------------------------------------------------------------

// What the modules of a run did, in order.
std::vector<std::string> journal;

void InitA() {
  journal.push_back("init A");
}
void FinalA() {
  journal.push_back("final A");
}
void InitB() {
  journal.push_back("init B");
}
void FinalB() {
  journal.push_back("final B");
}
void InitFailingWithObject() {
  journal.push_back("init failing");
  RaiseFailure(EConvertError("early"), 0x99);
}
void InitFailingWithRangeCheck() {
  journal.push_back("init range");
  RangeCheckFailed();
}
void InitOutOfMemory() {
  throw std::bad_alloc();
}

constexpr Module kLayer{InstallFailureLayer, RemoveFailureLayer};

class Run : public Failures {
 protected:
  void SetUp() override {
    Failures::SetUp();
    journal.clear();
  }
  // The whole output of the run as one text.
  static std::string Out() { return Fake().Written(); }
};

TEST_F(Run, NormalEndWritesTheOutputLastAndExitsWith0) {
  const Module modules[] = {{InitA, FinalA}, kLayer, {InitB, FinalB}};
  const int code = RunProgram(modules, [] {
    journal.push_back("program");
    WriteLine("x");
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(journal,
            (std::vector<std::string>{"init A", "init B", "program", "final B", "final A"}));
  EXPECT_EQ(Out(), "x" + std::string(kLineBreak));
  EXPECT_EQ(RuntimeFailureHook, nullptr);
}

struct FailingBody {
  std::string_view name;
  void (*body)();
  std::string_view cls;
  std::string_view second;
};

const FailingBody kFailingBodies[] = {
    {"range check", [] { RangeCheckFailed(); }, "ERangeError", "Range check error."},
    {"checked index", [] { CharAt("", 1); }, "ERangeError", "Range check error."},
    {"overflow", [] { OverflowCheckFailed(); }, "EIntOverflow", "Integer overflow."},
    {"checked sum", [] { CheckedAdd(0x7FFFFFFF, 1); }, "EIntOverflow", "Integer overflow."},
    {"conversion", [] { TextToInt(""); }, "EConvertError", "'' is not a valid integer value."},
    {"conversion 1-2", [] { TextToInt("1-2"); }, "EConvertError",
     "'1-2' is not a valid integer value."},
    {"out of memory", [] { throw std::bad_alloc(); }, "EOutOfMemory", "Out of memory."},
    {"io 112",
     [] {
       PendingIoError = 112;
       CheckIo();
     },
     "EInOutError", "I/O error 112."},
};

TEST_F(Run, UncaughtFailureIsReportedWithExitCode1) {
  for (const FailingBody& row : kFailingBodies) {
    SCOPED_TRACE(std::string(row.name));
    Reset();
    journal.clear();
    const Module modules[] = {kLayer, {InitA, FinalA}};
    EXPECT_EQ(RunProgram(modules, row.body), 1);
    const std::string out = Out();
    ASSERT_GE(out.size(), kLineBreak.size());
    EXPECT_EQ(out.substr(out.size() - kLineBreak.size()), kLineBreak);
    ExpectReport(std::string_view(out).substr(0, out.size() - kLineBreak.size()), row.cls,
                 "clockcast.exe", row.second);
    EXPECT_EQ(journal, (std::vector<std::string>{"init A", "final A"}));
    EXPECT_EQ(RuntimeFailureHook, nullptr);
  }
}

TEST_F(Run, OutputWrittenBeforeTheFailureStandsBeforeTheReport) {
  Fake().deviceType = DeviceType::Disk;
  const Module modules[] = {kLayer};
  const int code = RunProgram(modules, [] {
    WriteLine("first");
    WriteLine("second");
    TextToInt("");
  });
  EXPECT_EQ(code, 1);
  const std::string br(kLineBreak);
  ASSERT_EQ(Fake().writes.size(), 3u);
  EXPECT_EQ(Fake().writes[0], "first" + br + "second" + br);
  ExpectReport(Fake().writes[1], "EConvertError", "clockcast.exe",
               "'' is not a valid integer value.");
  EXPECT_EQ(Fake().writes[2], br);
}

TEST_F(Run, RefusedWriteIsReportedAsIoFailure) {
  Fake().deviceType = DeviceType::Character;
  Fake().failWritesWith = 5;
  const Module modules[] = {kLayer};
  EXPECT_EQ(RunProgram(modules, [] { WriteLine("x"); }), 1);
  // The report is attempted even though the handle refuses it.
  ASSERT_EQ(Fake().writes.size(), 3u);
  ExpectReport(Fake().writes[1], "EInOutError", "clockcast.exe", "File access denied.");
}

TEST_F(Run, UnusableOutputEndsWithExitCode1AndWritesNothing) {
  Fake().stdOutput = platform::kInvalidHandle;
  const Module modules[] = {kLayer};
  EXPECT_EQ(RunProgram(modules, [] { WriteLine("x"); }), 1);
  EXPECT_TRUE(Fake().writes.empty());
}

TEST_F(Run, FailedFinalWriteOutEndsWithExitCode1AndNoReport) {
  Fake().deviceType = DeviceType::Disk;
  Fake().failWritesWith = 28;
  const Module modules[] = {kLayer};
  EXPECT_EQ(RunProgram(modules, [] { WriteLine("short"); }), 1);
  EXPECT_EQ(Fake().writes.size(), 1u);
}

TEST_F(Run, FailureObjectDuringStartUpEndsWithRuntimeError217) {
  const Module modules[] = {
      {InitA, FinalA}, kLayer, {InitFailingWithObject, nullptr}, {InitB, FinalB}};
  const int code = RunProgram(modules, [] { journal.push_back("program"); });
  EXPECT_EQ(code, 217);
  // The modules initialised so far are finalised, the failing one included;
  // the rest never started and the program body never ran.
  EXPECT_EQ(journal, (std::vector<std::string>{"init A", "init failing", "final A"}));
  const std::string out = Out();
  ASSERT_EQ(out.size(), kRuntimeErrorLineLength + kLineBreak.size()) << out;
  EXPECT_EQ(out.substr(0, 21), "Runtime error 217 at ");
  EXPECT_TRUE(IsLocation(std::string_view(out).substr(21, 8)));
  EXPECT_EQ(out.substr(29), kLineBreak);
  EXPECT_EQ(RuntimeFailureHook, nullptr);
}

TEST_F(Run, RuntimeFailureBeforeTheLayerEndsWithItsBaseCode) {
  const Module modules[] = {{InitFailingWithRangeCheck, nullptr}, kLayer};
  EXPECT_EQ(RunProgram(modules, [] { journal.push_back("program"); }), 201);
  EXPECT_EQ(Out().substr(0, 21), "Runtime error 201 at ");
  EXPECT_EQ(journal, (std::vector<std::string>{"init range"}));
}

TEST_F(Run, MemoryExhaustedBeforeTheLayerEndsWith203) {
  const Module modules[] = {{InitOutOfMemory, nullptr}, kLayer};
  EXPECT_EQ(RunProgram(modules, [] {}), 203);
  EXPECT_EQ(Out().substr(0, 21), "Runtime error 203 at ");
}

TEST_F(Run, BufferedOutputPrecedesTheRuntimeErrorLine) {
  Fake().deviceType = DeviceType::Disk;
  // No failure layer at all: the program's failure object gets the 217 line.
  const int code = RunProgram({}, [] {
    WriteLine("before");
    RaiseFailure(EConvertError("x"), 0x2A);
  });
  EXPECT_EQ(code, 217);
  const std::string br(kLineBreak);
  EXPECT_EQ(Out(), "before" + br + "Runtime error 217 at 0000002A" + br);
}

}  // namespace
}  // namespace clockcast::runtime
