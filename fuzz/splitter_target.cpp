// The command-line splitter and the text operations over arbitrary bytes.
//
// Input: the command line up to the first zero byte. What follows the zero
// byte, if anything, is read thus: its first byte chooses the lead bytes of
// a two-byte code page (0: none; otherwise every byte from 0x81 to 0x80 + the
// value, wrapping below 0xFF), and the rest feeds the text operations.
//
// The line is held in a heap block of exactly its length plus the zero, so
// that AddressSanitizer catches a read past the terminator. Properties:
//  - the parameters taken one after another with NextParam, after the
//    program-name token, are exactly those of a reference splitter written
//    here from the splitting rules, and so is their count;
//  - no parameter is empty, except the one that ends the command line,
//    which leaves the position at the terminating zero;
//  - no parameter holds a double-quote byte, other than as the second byte
//    of a two-byte character;
//  - the position after a parameter lies on a separator or the terminator;
//  - AsciiLowerEquals matches the text with exactly the bytes A to Z
//    lowered, and TextsEqual is plain equality; CopyRange gives the range a
//    plain slice with the clamping rules gives.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/parameters.h"
#include "fake_platform.h"
#include "fuzz_check.h"

using namespace clockcast;

namespace {

bool IsLead(unsigned char c) {
  return testing::Fake().leadBytes.test(c);
}

// The splitting rules read directly: outside quotes a byte from 1 to 32 ends
// a parameter, a quote switches the quoted state and is dropped, and a
// two-byte character is always taken whole. Before a parameter, separators
// and empty quote pairs are passed over. Returns every token, the
// program-name token first; the list ends before the first empty token.
std::vector<std::string> ReferenceSplit(const std::string& line) {
  std::vector<std::string> tokens;
  const std::size_t n = line.size();
  std::size_t i = 0;
  for (;;) {
    for (;;) {
      if (i < n && static_cast<unsigned char>(line[i]) <= 32) {
        ++i;
      } else if (i + 1 < n && line[i] == '"' && line[i + 1] == '"') {
        i += 2;
      } else {
        break;
      }
    }
    std::string token;
    bool quoted = false;
    while (i < n) {
      const char c = line[i];
      if (!quoted && static_cast<unsigned char>(c) <= 32) break;
      if (c == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      const std::size_t length = IsLead(static_cast<unsigned char>(c)) && i + 1 < n ? 2 : 1;
      token.append(line, i, length);
      i += length;
    }
    if (token.empty()) return tokens;
    tokens.push_back(token);
  }
}

void CheckParameterBytes(const std::string& parameter) {
  for (std::size_t i = 0; i < parameter.size();) {
    const auto c = static_cast<unsigned char>(parameter[i]);
    if (IsLead(c) && i + 1 < parameter.size()) {
      i += 2;
      continue;
    }
    FUZZ_CHECK(c != '"');
    ++i;
  }
}

void CheckTextOperations(std::string_view text, std::int32_t start, std::int32_t count) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  FUZZ_CHECK(cli::AsciiLowerEquals(text, lower));
  if (!lower.empty()) {
    std::string other = lower;
    other.back() = other.back() == 'a' ? 'b' : 'a';
    FUZZ_CHECK(!cli::AsciiLowerEquals(text, other));
  }
  // Only A to Z fold: any other byte differs from its twin in the case bit
  // (@ and `, [ and {, bytes above 127). The first 64 bytes are enough.
  for (std::size_t i = 0; i < std::min<std::size_t>(lower.size(), 64); ++i) {
    if (lower[i] >= 'a' && lower[i] <= 'z') continue;
    std::string twin = lower;
    twin[i] = static_cast<char>(twin[i] ^ 0x20);
    FUZZ_CHECK(!cli::AsciiLowerEquals(text, twin));
  }
  FUZZ_CHECK(cli::TextsEqual(text, text));
  FUZZ_CHECK(cli::TextsEqual(lower, text) == (std::string(text) == lower));

  // The range from a 1-based start, clamped: a start of 0 or less reads as
  // 1 without shortening the count.
  std::string expected;
  if (!text.empty() && count > 0) {
    const std::int64_t from = start < 1 ? 0 : std::int64_t{start} - 1;
    if (from < static_cast<std::int64_t>(text.size())) {
      expected =
          std::string(text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(count)));
    }
  }
  FUZZ_CHECK(cli::CopyRange(text, start, count) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing::ResetFake();
  const std::vector<std::string_view> fields = fuzzing::SplitFields(data, size);
  const std::string line(fields[0]);
  std::string_view extra;
  if (fields.size() > 1) {
    extra = std::string_view(reinterpret_cast<const char*>(data) + line.size() + 1,
                             size - line.size() - 1);
  }
  if (!extra.empty()) {
    const auto span = static_cast<unsigned char>(extra[0]);
    for (unsigned k = 0; k < span % 0x7F; ++k) testing::Fake().leadBytes.set(0x81 + k);
    extra.remove_prefix(1);
  }

  const std::unique_ptr<char[]> block(new char[line.size() + 1]);
  std::memcpy(block.get(), line.c_str(), line.size() + 1);
  const char* const begin = block.get();
  const char* const end = begin + line.size();

  const std::vector<std::string> expected = ReferenceSplit(line);
  std::vector<std::string> parameters;
  cli::NextParamResult token = cli::NextParam(begin);
  bool first = true;
  for (;;) {
    FUZZ_CHECK(token.next >= begin && token.next <= end);
    FUZZ_CHECK(static_cast<unsigned char>(*token.next) <= 32);
    if (token.parameter.empty()) {
      FUZZ_CHECK(token.next == end);
      // The end stays the end.
      FUZZ_CHECK(cli::NextParam(token.next).parameter.empty());
      break;
    }
    CheckParameterBytes(token.parameter);
    if (first) {
      FUZZ_CHECK(!expected.empty() && token.parameter == expected[0]);
    } else {
      parameters.push_back(token.parameter);
    }
    first = false;
    FUZZ_CHECK(parameters.size() < expected.size());
    token = cli::NextParam(token.next);
  }
  const std::size_t expectedCount = expected.empty() ? 0 : expected.size() - 1;
  FUZZ_CHECK(parameters.size() == expectedCount);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    FUZZ_CHECK(parameters[i] == expected[i + 1]);
  }

  // The text operations, over each parameter and over the remaining bytes.
  std::int32_t start = 0;
  std::int32_t count = 0;
  if (extra.size() >= 8) {
    std::memcpy(&start, extra.data(), 4);
    std::memcpy(&count, extra.data() + 4, 4);
    extra.remove_prefix(8);
  }
  CheckTextOperations(extra, start, count);
  for (const std::string& p : parameters) {
    CheckTextOperations(p, start, count);
    CheckTextOperations(p, 6, static_cast<std::int32_t>(p.size()) - 5);
  }
  return 0;
}
