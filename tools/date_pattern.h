// The translation of a CLDR date pattern (as ICU gives it) into the
// program's date-time format language. It needs no ICU: the locale table
// generator hands it the pattern as UTF-8 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace clockcast::tools {

// Translates `pattern`: EEEE dddd, E to EEE ddd, cccc dddd, ccc ddd, MMMM
// and LLLL mmmm, MMM mmm, MM mm, M m (L alike), dd dd, d d, yy yy, any other
// run of y yyyy. A field with no counterpart (an era, a quarter, a week...)
// is left out with the literal text that joins it to the fields before it,
// or after it when it comes first. Literal text is written in `codeset` (a
// name iconv knows), and quoted wherever the format language would read its
// bytes as something other than themselves. nullopt when a literal
// character has no encoding in the codeset.
std::optional<std::string> TranslateDatePattern(std::string_view pattern,
                                                const char* codeset = "UTF-8");

}  // namespace clockcast::tools
