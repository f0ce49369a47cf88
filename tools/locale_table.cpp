// Writes the table that the POSIX program reads its locale identifiers and
// long date formats from: for every locale of the C library's list of
// supported locales, the Windows locale identifier ICU gives it, and its
// CLDR full date pattern translated into the format language; and the C
// library's locale aliases with the locale each stands for. ICU is needed
// here only; the program carries the table and depends on the C library
// alone.
//
//   clockcast_locale_table SUPPORTED ALIASES OUTPUT           writes the table
//   clockcast_locale_table --check SUPPORTED ALIASES OUTPUT   fails when OUTPUT differs
//
// SUPPORTED is the C library's list (/usr/share/i18n/SUPPORTED): a locale
// name and its codeset on each line. The table is keyed by the name without
// its codeset (language_TERRITORY[@modifier]). A long date whose literal
// text is not ASCII is also written in each other codeset the locale comes
// in, converted by the C library's iconv as the locale's own names are.
//
// ALIASES is the C library's alias file (/usr/share/locale/locale.alias): an
// alias and the locale name it stands for on each line. setlocale loads the
// locale but answers with the alias, so the program finds the alias here,
// in lower case, as the C library matches it without regard to case.
#include <gnu/libc-version.h>
#include <unicode/udat.h>
#include <unicode/uloc.h>
#include <unicode/ulocdata.h>
#include <unicode/ustring.h>
#include <unicode/uversion.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "date_pattern.h"
#include "platform/posix_locale_table.h"

namespace {

using clockcast::platform::posix::kLocaleCustomUnspecified;

struct NameParts {
  std::string language, territory, modifier;
};

NameParts Split(const std::string& key) {
  NameParts parts;
  const std::size_t at = key.find('@');
  const std::string base = key.substr(0, at);
  if (at != std::string::npos) parts.modifier = key.substr(at + 1);
  const std::size_t underscore = base.find('_');
  parts.language = base.substr(0, underscore);
  if (underscore != std::string::npos) parts.territory = base.substr(underscore + 1);
  return parts;
}

// The ICU locale of a C-library locale name: its modifier names a script or
// a variant, or only the codeset (@euro) and other things ICU has no word for.
std::string IcuLocaleOf(const std::string& key) {
  const NameParts parts = Split(key);
  static const std::map<std::string, std::string> kScripts = {
      {"latin", "Latn"}, {"cyrillic", "Cyrl"}, {"devanagari", "Deva"}};
  std::string id = parts.language;
  if (const auto script = kScripts.find(parts.modifier); script != kScripts.end()) {
    id += "_" + script->second;
  }
  if (!parts.territory.empty()) id += "_" + parts.territory;
  if (parts.modifier == "valencia") id += "_VALENCIA";
  return id;
}

std::string Maximized(const char* id) {
  char out[ULOC_FULLNAME_CAPACITY];
  UErrorCode error = U_ZERO_ERROR;
  uloc_addLikelySubtags(id, out, sizeof out, &error);
  return U_SUCCESS(error) ? out : id;
}

std::string ScriptOf(const std::string& id) {
  char script[ULOC_SCRIPT_CAPACITY] = {};
  UErrorCode error = U_ZERO_ERROR;
  uloc_getScript(id.c_str(), script, sizeof script, &error);
  return script;
}

// ICU's identifier. Where it knows only the language (sub-language 0) or a
// script-wide one (0x1F), the locale with its likely script may have one of
// its own: sr_RS is Serbian in Cyrillic, 0x281A. None at all is the custom
// locale identifier, as Windows gives a locale it has no identifier for.
std::uint32_t LocaleIdOf(const std::string& id) {
  auto general = [](std::uint32_t lcid) {
    const std::uint32_t sub = (lcid >> 10) & 0x3F;
    return sub == 0 || sub == 0x1F;
  };
  std::uint32_t lcid = uloc_getLCID(id.c_str());
  if (lcid == 0 || general(lcid)) {
    const std::uint32_t likely = uloc_getLCID(Maximized(id.c_str()).c_str());
    if (likely != 0 && !general(likely)) lcid = likely;
  }
  return lcid == 0 ? kLocaleCustomUnspecified : lcid;
}

// The full date pattern of the Gregorian calendar (the one the program
// counts in) in UTF-8; nullopt when CLDR has no data for the language, or
// has it in another script only.
std::optional<std::string> FullDatePatternOf(const std::string& id) {
  UErrorCode error = U_ZERO_ERROR;
  const std::string gregorian = id + "@calendar=gregorian";
  UDateFormat* format =
      udat_open(UDAT_NONE, UDAT_FULL, gregorian.c_str(), nullptr, 0, nullptr, 0, &error);
  if (U_FAILURE(error)) return std::nullopt;
  const std::string valid = udat_getLocaleByType(format, ULOC_VALID_LOCALE, &error);
  UChar pattern[256];
  const int32_t length = udat_toPattern(format, false, pattern, 256, &error);
  udat_close(format);
  char utf8[1024];
  int32_t utf8Length = 0;
  u_strToUTF8(utf8, sizeof utf8, &utf8Length, pattern, length, &error);
  if (U_FAILURE(error) || valid.empty() || valid == "root") return std::nullopt;
  if (ScriptOf(Maximized(id.c_str())) != ScriptOf(Maximized(valid.c_str()))) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(utf8Length));
}

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The strings of the table, each once, in one block addressed by offsets;
// the empty string is at 0.
class Strings {
 public:
  Strings() { blob_.push_back('\0'); }
  std::size_t Add(const std::string& text) {
    if (text.empty()) return 0;
    const auto [it, added] = offsets_.try_emplace(text, blob_.size());
    if (added) blob_.append(text).push_back('\0');
    return it->second;
  }
  const std::string& Blob() const { return blob_; }

 private:
  std::string blob_;
  std::map<std::string, std::size_t> offsets_;
};

// A C string literal of the block, in lines of about 100 columns. Bytes
// outside printable ASCII are written as three-digit octal escapes, which
// no following digit can extend.
std::string Literal(const std::string& blob) {
  std::string out = "    \"";
  std::size_t column = 5;
  for (const char c : blob) {
    const auto b = static_cast<unsigned char>(c);
    char piece[8];
    if (b == '"' || b == '\\') {
      std::snprintf(piece, sizeof piece, "\\%c", c);
    } else if (b >= 0x20 && b < 0x7F && b != '?') {  // no trigraphs
      std::snprintf(piece, sizeof piece, "%c", c);
    } else {
      std::snprintf(piece, sizeof piece, "\\%03o", b);
    }
    out += piece;
    column += std::strlen(piece);
    if (column >= 96) {
      out += "\"\n    \"";
      column = 5;
    }
  }
  return out + "\"";
}

// "ICU 72.1 (CLDR 42.0)", as the documents name the data the table holds.
std::string Versions() {
  UVersionInfo cldr;
  UErrorCode error = U_ZERO_ERROR;
  ulocdata_getCLDRVersion(cldr, &error);
  char cldrText[U_MAX_VERSION_STRING_LENGTH];
  u_versionToString(cldr, cldrText);
  return std::string("ICU ") + U_ICU_VERSION + " (CLDR " + cldrText + ")";
}

std::string ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The keys of the table, each with the codesets its locale comes in.
using Keys = std::map<std::string, std::set<std::string>>;

// The key of the table that a locale name falls back to, as the C library
// looks for it: the name without its codeset, then without its modifier,
// then without its territory; empty when none is a key.
std::string KeyOf(const std::string& name, const Keys& keys) {
  const std::size_t dot = name.find_first_of(".@");
  const std::size_t at = name.find('@');
  const std::string base = name.substr(0, dot);
  const std::string modifier = at == std::string::npos ? "" : name.substr(at);
  const std::string language = base.substr(0, base.find('_'));
  for (const std::string& key : {base + modifier, language + modifier, base, language}) {
    if (keys.count(key) != 0) return key;
  }
  return {};
}

// The aliases of the alias file, in lower case, with the key each stands
// for; an alias whose locale the table lacks is left out.
std::map<std::string, std::string> ReadAliases(const char* aliasPath, const Keys& keys) {
  std::ifstream file(aliasPath);
  if (!file) throw std::runtime_error(std::string("cannot read ") + aliasPath);
  std::map<std::string, std::string> aliases;
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string alias, name;
    if (!(fields >> alias >> name) || alias[0] == '#') continue;
    for (char& c : alias) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    // Of two spellings that differ in case only, the first is kept.
    if (std::string key = KeyOf(name, keys); !key.empty()) aliases.try_emplace(alias, key);
  }
  return aliases;
}

std::string Generate(const char* supportedPath, const char* aliasPath) {
  std::ifstream supported(supportedPath);
  if (!supported) throw std::runtime_error(std::string("cannot read ") + supportedPath);
  // Each key with the codesets it comes in.
  Keys keys;
  std::string line;
  while (std::getline(supported, line)) {
    std::istringstream fields(line);
    std::string name, codeset;
    if (!(fields >> name >> codeset) || name[0] == '#') continue;
    const std::size_t dot = name.find('.');
    const std::size_t at = name.find('@');
    std::string key = name;
    if (dot != std::string::npos) {
      key = name.substr(0, dot) + (at != std::string::npos ? name.substr(at) : "");
    }
    if (key == "C" || key == "POSIX") continue;  // the built-in defaults
    keys[key].insert(codeset);
  }

  const std::map<std::string, std::string> aliases = ReadAliases(aliasPath, keys);

  Strings strings;
  struct Entry {
    std::size_t key, longDate;
    std::uint32_t id;
  };
  struct Variant {
    std::size_t entry, codeset, longDate;
  };
  std::vector<Entry> entries;
  std::vector<Variant> variants;
  for (const auto& [key, codesets] : keys) {
    const std::string id = IcuLocaleOf(key);
    const std::optional<std::string> pattern = FullDatePatternOf(id);
    std::string longDate;
    if (pattern) longDate = clockcast::tools::TranslateDatePattern(*pattern).value_or("");
    const std::uint32_t lcid = LocaleIdOf(id);
    if (lcid > 0xFFFF) throw std::runtime_error(key + ": an identifier with a sort order");
    entries.push_back({strings.Add(key), strings.Add(longDate), lcid});
    if (IsAscii(longDate)) continue;
    for (const std::string& codeset : codesets) {
      if (codeset == "UTF-8") continue;
      // A long date that the codeset cannot write is left to the default.
      const std::string converted =
          clockcast::tools::TranslateDatePattern(*pattern, codeset.c_str()).value_or("");
      variants.push_back({entries.size() - 1, strings.Add(codeset), strings.Add(converted)});
    }
  }
  std::vector<std::pair<std::size_t, std::size_t>> aliasRows;  // name, entry
  for (const auto& [alias, key] : aliases) {
    const auto entry = static_cast<std::size_t>(std::distance(keys.begin(), keys.find(key)));
    aliasRows.emplace_back(strings.Add(alias), entry);
  }
  if (strings.Blob().size() > 0xFFFF || entries.size() > 0xFFFF) {
    throw std::runtime_error("the table has outgrown its 16-bit offsets");
  }

  std::ostringstream out;
  out << "// Generated by tools/locale_table.cpp from " << Versions()
      << " and the locales\n// of the GNU C library " << gnu_get_libc_version()
      << ". Do not edit; regenerate with the update_locale_table target.\n"
      << "//\n// " << entries.size() << " locales, sorted by name: the name without its codeset, "
      << "its Windows locale\n// identifier (0x1000 where Windows has none) and its long date "
      << "format, in UTF-8;\n// the long dates in the other codesets where their text "
      << "is not ASCII; and the\n// " << aliasRows.size()
      << " aliases of the C library's alias file, in lower case and sorted, with the\n"
      << "// entry of the locale each stands for.\n\n"
      << "constexpr char kLocaleText[] =\n"
      << Literal(strings.Blob()) << ";\n\n"
      << "constexpr LocaleTableEntry kLocaleTable[] = {\n";
  char row[64];
  for (const Entry& e : entries) {
    std::snprintf(row, sizeof row, "    {%zu, %zu, 0x%04X},\n", e.key, e.longDate,
                  static_cast<unsigned>(e.id));
    out << row;
  }
  out << "};\n\nconstexpr LocaleTableVariant kLocaleTableVariants[] = {\n";
  for (const Variant& v : variants) {
    std::snprintf(row, sizeof row, "    {%zu, %zu, %zu},\n", v.entry, v.codeset, v.longDate);
    out << row;
  }
  out << "};\n\nconstexpr LocaleTableAlias kLocaleAliases[] = {\n";
  for (const auto& [name, entry] : aliasRows) {
    std::snprintf(row, sizeof row, "    {%zu, %zu},\n", name, entry);
    out << row;
  }
  out << "};\n";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  const bool check = argc >= 5 && std::string(argv[1]) == "--check";
  if (argc != 4 && !check) {
    std::fprintf(stderr, "usage: %s [--check] SUPPORTED ALIASES OUTPUT [DOCUMENT...]\n", argv[0]);
    return 2;
  }
  const char* supported = argv[check ? 2 : 1];
  const char* aliases = argv[check ? 3 : 2];
  const char* output = argv[check ? 4 : 3];
  // A language CLDR lacks must fall back to the root locale, not to the
  // locale this tool happens to run in.
  UErrorCode error = U_ZERO_ERROR;
  uloc_setDefault("root", &error);
  std::string table;
  try {
    table = Generate(supported, aliases);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  if (!check) {
    std::ofstream(output, std::ios::binary) << table;
    return 0;
  }
  int status = 0;
  if (ReadFile(output) != table) {
    std::fprintf(stderr,
                 "%s differs from a fresh generation from %s; regenerate it with the "
                 "update_locale_table target and commit it\n",
                 output, Versions().c_str());
    status = 1;
  }
  // The documents say which data the table holds.
  for (int i = 5; i < argc; ++i) {
    if (ReadFile(argv[i]).find(Versions()) == std::string::npos) {
      std::fprintf(stderr, "%s does not name %s, the data of the locale table\n", argv[i],
                   Versions().c_str());
      status = 1;
    }
  }
  return status;
}
