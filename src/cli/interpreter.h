// The working mode: the argument interpreter and its output lines.
//
// Each parameter is matched against the commands in a fixed order (the first
// match decides) or taken as literal text, and what it produces is appended
// to the current line. Lines are kept in OutputLines and written only after
// the last parameter, so a failure on the way loses all of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace clockcast::cli {

// The line store. Invariant: LineCount == OutputLines.size() >= 1, and the
// current line is the last entry.
extern std::vector<std::string>& OutputLines;
extern std::int32_t LineCount;

void CreateLineStore();
void ReleaseLineStore();

void AppendToCurrentLine(std::string_view text);
void ProcessArguments();

}  // namespace clockcast::cli
