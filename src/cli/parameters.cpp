#include "cli/parameters.h"

#include <algorithm>
#include <vector>

#include "cli/help.h"
#include "cli/interpreter.h"
#include "platform/platform.h"
#include "runtime/checked.h"
#include "runtime/lasting.h"

namespace clockcast::cli {

namespace {

constexpr char kQuote = '"';

bool IsSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte != 0 && byte <= 32;
}

// Walks one parameter from `p` and hands each of its characters to `take`;
// returns where the parameter ends. The quotes that open and close stretches
// are stepped over and never taken.
template <class Take>
const char* WalkParameter(const char* p, Take take) {
  while (static_cast<unsigned char>(*p) > 32) {
    if (*p == kQuote) {
      ++p;
      while (*p != '\0' && *p != kQuote) {
        const char* next = platform::CharNext(p);
        take(p, next);
        p = next;
      }
      if (*p == kQuote) ++p;
    } else {
      const char* next = platform::CharNext(p);
      take(p, next);
      p = next;
    }
  }
  return p;
}

// The parameters, split once. Argument vectors are referred to in place; a
// split command line is kept in one text that the views point into.
struct ParameterList {
  std::string storage;
  std::vector<std::string_view> items;
};

// Fills the list in place: the views may point into its own storage.
void SplitParameters(ParameterList& result) {
  const platform::CommandLineSource source = platform::CommandLine();
  if (source.line == nullptr) {
    result.items.reserve(static_cast<std::size_t>(source.count > 0 ? source.count : 0));
    for (int i = 0; i < source.count; ++i) {
      const std::string_view argument(source.arguments[i]);
      // An empty argument cannot be spelt on a split command line; it is
      // passed over the same way here.
      if (!argument.empty()) result.items.push_back(argument);
    }
    return;
  }
  std::vector<std::size_t> ends;
  NextParamResult token = NextParam(source.line);  // the program-name token
  for (token = NextParam(token.next); !token.parameter.empty(); token = NextParam(token.next)) {
    result.storage += token.parameter;
    ends.push_back(result.storage.size());
  }
  std::size_t start = 0;
  for (const std::size_t end : ends) {
    result.items.emplace_back(result.storage.data() + start, end - start);
    start = end;
  }
}

// Split on first use and kept until the process ends.
runtime::Lasting<ParameterList> parameterStore;
bool parametersSplit = false;

const ParameterList& Parameters() {
  if (!parametersSplit) {
    SplitParameters(*parameterStore);
    parametersSplit = true;
  }
  return *parameterStore;
}

}  // namespace

NextParamResult NextParam(const char* position) {
  const char* p = position;
  for (;;) {
    if (IsSeparator(*p)) {
      p = platform::CharNext(p);
    } else if (p[0] == kQuote && p[1] == kQuote) {
      p += 2;
    } else {
      break;
    }
  }
  std::size_t length = 0;
  WalkParameter(p, [&](const char* from, const char* to) { length += to - from; });
  NextParamResult result{std::string(), nullptr};
  result.parameter.reserve(length);
  result.next = WalkParameter(
      p, [&](const char* from, const char* to) { result.parameter.append(from, to); });
  return result;
}

void ResetParameters() {
  *parameterStore = {};
  parametersSplit = false;
}

std::int32_t ParameterCount() {
  return static_cast<std::int32_t>(Parameters().items.size());
}

std::string_view ParameterAt(std::int32_t n) {
  if (n == 0) {
    static char path[261];
    const int length = platform::ModuleFileName(path, sizeof path);
    return std::string_view(path, length > 0 ? static_cast<std::size_t>(length) : 0);
  }
  const auto& items = Parameters().items;
  if (n < 0 || static_cast<std::size_t>(n) > items.size()) return {};
  return items[static_cast<std::size_t>(n) - 1];
}

std::string AsciiLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return result;
}

// Compared byte by byte, not with ==, which calls memcmp: an import the
// dynamic linker would resolve at every start for texts of a few bytes.
bool TextsEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool AsciiLowerEquals(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != lower[i]) return false;
  }
  return true;
}

std::string_view CopyRange(std::string_view text, std::int32_t start, std::int32_t count) {
  if (text.empty() || count <= 0) return {};
  // In 64 bits, so that the lowest start reads as 1 like every other one.
  const std::int64_t s = std::max<std::int64_t>(std::int64_t{start} - 1, 0);
  if (static_cast<std::uint64_t>(s) >= text.size()) return {};
  const std::int64_t available = static_cast<std::int64_t>(text.size()) - s;
  const std::int64_t n = count > available ? available : count;
  return text.substr(static_cast<std::size_t>(s), static_cast<std::size_t>(n));
}

void SelectMode() {
  if (ParameterCount() == 0) {
    ShowUsage();
    return;
  }
  // The first parameter without its first character, whatever that is.
  const std::string_view first = ParameterAt(1);
  const std::string_view key =
      CopyRange(first, 2, runtime::CheckedSub(runtime::LengthOf(first), 1));
  if (AsciiLowerEquals(key, "formats")) {
    ShowFormatReference();
  } else if (AsciiLowerEquals(key, "advanced")) {
    ShowAdvancedUsage();
  } else {
    ProcessArguments();
  }
}

}  // namespace clockcast::cli
