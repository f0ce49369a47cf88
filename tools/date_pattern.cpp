#include "date_pattern.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "datetime/format_quoting.h"

namespace clockcast::tools {

namespace {

struct Item {
  bool field = false;
  char letter = 0;   // a field's pattern letter
  int count = 0;     // and how often it stands
  std::string text;  // a literal's UTF-8 text
};

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The length of the UTF-8 character that starts with `lead`.
std::size_t Utf8Length(unsigned char lead) {
  return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Splits a pattern into its fields and literal texts. Quoted text ('...')
// is literal, and two apostrophes stand for one, in quotes or not.
std::vector<Item> Parse(std::string_view pattern) {
  std::vector<Item> items;
  auto literal = [&](std::string_view text) {
    if (items.empty() || items.back().field) items.push_back({});
    items.back().text += text;
  };
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (IsAsciiLetter(c)) {
      std::size_t end = i + 1;
      while (end < pattern.size() && pattern[end] == c) ++end;
      items.push_back({true, c, static_cast<int>(end - i), {}});
      i = end;
    } else if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        literal("'");
        i += 2;
        continue;
      }
      for (++i; i < pattern.size(); ++i) {
        if (pattern[i] != '\'') {
          literal(pattern.substr(i, 1));
        } else if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
          literal("'");
          ++i;
        } else {
          break;
        }
      }
      ++i;  // past the closing apostrophe
    } else {
      const std::size_t n = std::min(Utf8Length(static_cast<unsigned char>(c)), pattern.size() - i);
      literal(pattern.substr(i, n));
      i += n;
    }
  }
  return items;
}

// The format language's specifier for a field; empty when it has none.
std::string_view SpecifierOf(char letter, int count) {
  switch (letter) {
    case 'E': return count <= 3 ? "ddd" : count == 4 ? "dddd" : "";
    case 'c': return count == 3 ? "ddd" : count == 4 ? "dddd" : "";
    case 'M':
    case 'L': {
      constexpr std::string_view kMonths[] = {"m", "mm", "mmm", "mmmm"};
      return count <= 4 ? kMonths[count - 1] : "";
    }
    case 'd': return count == 1 ? "d" : count == 2 ? "dd" : "";
    case 'y': return count == 2 ? "yy" : "yyyy";
    default: return "";
  }
}

// The no-break space, the thin spaces and the narrow no-break space.
bool IsUnicodeSpace(std::string_view character) {
  return character == "\u00A0" || character == "\u2009" || character == "\u200A" ||
         character == "\u202F";
}

// One character of UTF-8 in the codeset, through iconv.
class Encoder {
 public:
  explicit Encoder(const char* codeset) : utf8_(std::strcmp(codeset, "UTF-8") == 0) {
    if (!utf8_) cd_ = iconv_open(codeset, "UTF-8");
    // iconv_open fails with (iconv_t)-1.
    open_ = !utf8_ && reinterpret_cast<std::intptr_t>(cd_) != -1;
  }
  ~Encoder() {
    if (open_) iconv_close(cd_);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  std::optional<std::string> operator()(std::string_view character) {
    if (utf8_ || static_cast<unsigned char>(character[0]) < 0x80) return std::string(character);
    if (!open_) return std::nullopt;
    std::string in(character);
    char out[16];
    char* inPointer = in.data();
    char* outPointer = out;
    std::size_t inLeft = in.size();
    std::size_t outLeft = sizeof out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
      // A space the codeset lacks (CLDR puts a narrow no-break space before
      // some abbreviations) is written as a blank.
      return IsUnicodeSpace(character) ? std::optional<std::string>(" ") : std::nullopt;
    }
    // Some codesets shift state: the character must end in the initial one.
    if (iconv(cd_, nullptr, nullptr, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    return std::string(out, static_cast<std::size_t>(outPointer - out));
  }

 private:
  bool utf8_;
  bool open_ = false;
  iconv_t cd_ = nullptr;
};

}  // namespace

std::optional<std::string> TranslateDatePattern(std::string_view pattern, const char* codeset) {
  std::vector<Item> items = Parse(pattern);

  // Leave out the fields with no specifier, each with its adjoining literal.
  std::vector<Item> kept;
  bool dropNextLiteral = false;
  for (Item& item : items) {
    if (!item.field) {
      if (!dropNextLiteral) kept.push_back(std::move(item));
      dropNextLiteral = false;
      continue;
    }
    if (!SpecifierOf(item.letter, item.count).empty()) {
      kept.push_back(std::move(item));
      continue;
    }
    bool fieldBefore = false;
    for (const Item& k : kept) fieldBefore = fieldBefore || k.field;
    if (fieldBefore) {
      if (!kept.back().field) kept.pop_back();
    } else {
      dropNextLiteral = true;
    }
  }

  Encoder encode(codeset);
  datetime::FormatText out;
  for (const Item& item : kept) {
    if (item.field) {
      datetime::AppendSpecifier(out, SpecifierOf(item.letter, item.count));
      continue;
    }
    for (std::size_t i = 0; i < item.text.size();) {
      const std::size_t n =
          std::min(Utf8Length(static_cast<unsigned char>(item.text[i])), item.text.size() - i);
      const std::optional<std::string> bytes = encode(std::string_view(item.text).substr(i, n));
      if (!bytes || bytes->empty()) return std::nullopt;
      i += n;
      // The separators are quoted too: what they render depends on the locale.
      bool special = false;
      for (const char b : *bytes) special = special || datetime::IsFormatSpecial(b);
      // A quote byte of the codeset's own inside a character would end the
      // literal early; the codesets of the C library have none.
      if (bytes->size() > 1 && bytes->find_first_of("'\"") != std::string::npos) {
        return std::nullopt;
      }
      datetime::AppendLiteral(out, *bytes, special);
    }
  }
  datetime::CloseLiteral(out);
  return std::move(out.text);
}

}  // namespace clockcast::tools
