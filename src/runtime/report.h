// The failure report and the runtime-error line: the texts a user sees when
// a failure ends the program. Both are built in fixed buffers, so a report
// can be given when no memory is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/failures.h"

namespace clockcast::runtime {

// The room for a module's path: 260 characters and the terminating zero.
inline constexpr int kModulePathSize = 261;
// The file name at the end of a module's path of the given length (at most
// kModulePathSize - 1 bytes count): what follows the last backslash or
// slash. The separator is found by stepping characters of the code page, so
// a trail byte that equals a backslash never counts as one.
std::string_view FileNameOf(const char* path, int length);

// "Exception <class> in module <module> at <location>.\n<message><end mark>",
// cut to capacity - 1 bytes. Returns the count written to out.
std::size_t BuildFailureReport(const Exception& failure, CodeLocation where, char* out,
                               std::size_t capacity);
// Flushes the buffered output, then writes the report and the line break to
// the standard output handle in two writes. Results are ignored: a report
// that cannot be written is lost.
void ShowFailure(const Exception& failure, CodeLocation where);
// ShowFailure, and the program ends with exit code 1.
void HandleUncaughtFailure(const Exception& failure, CodeLocation where);

inline constexpr std::size_t kRuntimeErrorLineLength = 29;
// "Runtime error NNN at XXXXXXXX": the code right-aligned to column 17, the
// location as eight hexadecimal digits.
void FormatRuntimeErrorLine(int exitCode, CodeLocation where,
                            char (&line)[kRuntimeErrorLineLength]);
void WriteRuntimeErrorLine(int exitCode, CodeLocation where);

}  // namespace clockcast::runtime
