// Command-line parameters and the text operations that match them.
//
// Parameters are numbered from 1 and are never empty. Where the system hands
// over one command-line string (Win32), NextParam splits it: separators are
// the bytes 1 to 32 outside double-quoted stretches, quoted stretches may
// stand anywhere inside a parameter and lose their quotes, and there is no
// escape character. Where the system has already split the line (POSIX
// argv), its arguments are the parameters. Either way the split happens
// once, on first use, and is kept: the command line cannot change during a
// run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace clockcast::cli {

struct NextParamResult {
  std::string parameter;  // empty only at the end of the command line
  const char* next;       // just after the parameter: a separator or the zero
};
NextParamResult NextParam(const char* position);

std::int32_t ParameterCount();
// Forgets the split: the next use splits the command line again. For the
// tests, which run the program many times in one process.
void ResetParameters();
// Parameter n for 1 <= n <= count; the program's own file path for n = 0;
// the empty text otherwise.
std::string_view ParameterAt(std::int32_t n);

// Every byte from A to Z made a to z; all other bytes unchanged.
std::string AsciiLower(std::string_view text);
bool TextsEqual(std::string_view a, std::string_view b);
// TextsEqual(AsciiLower(text), lower) without making the lowered copy.
bool AsciiLowerEquals(std::string_view text, std::string_view lower);
// count bytes from the 1-based position start, clamped to the text: a start
// of 0 or less reads as 1 (the count is not reduced), a negative count or a
// start past the end gives the empty text.
std::string_view CopyRange(std::string_view text, std::int32_t start, std::int32_t count);

// Chooses the mode from the parameters: the usage screen, the format
// reference, the advanced usage screen or the argument interpreter.
void SelectMode();

}  // namespace clockcast::cli
