// What the fuzz targets share besides the platform, which is the unit tests'
// fake (tests/unit/fake_platform.h): the property check, the input cut into
// fields and an era formatter that answers by picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clockcast::fuzzing {

// A property that must hold; a violation aborts, which libFuzzer records as a
// crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                  \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (0)

// The input cut into fields at zero bytes.
inline std::vector<std::string_view> SplitFields(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> fields;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (;;) {
    const std::size_t zero = all.find('\0', start);
    if (zero == std::string_view::npos) {
      fields.push_back(all.substr(start));
      return fields;
    }
    fields.push_back(all.substr(start, zero - start));
    start = zero + 1;
  }
}

// The era formatter's answer for each picture ("gg", "yy", "yyyy"), whatever
// the date; an absent picture makes it fail.
inline auto AnswerByPicture(std::map<std::string, std::string> answers) {
  return [answers = std::move(answers)](int, int, int,
                                        const std::string& picture) -> std::optional<std::string> {
    const auto it = answers.find(picture);
    if (it == answers.end()) return std::nullopt;
    return it->second;
  };
}

}  // namespace clockcast::fuzzing
