// The date-time format interpreter: turns a DateTimeValue into text under a
// format string. Every byte sequence renders; the result holds at most 256
// bytes, and what does not fit is dropped without a sign.
#pragma once

#include <cstddef>
#include <string_view>

#include "datetime/calendar.h"

namespace clockcast::datetime {

inline constexpr std::size_t kRenderCapacity = 256;

// Renders into the caller's `text` and returns the length of the result. No
// terminator is written: the result is text[0] to text[length - 1].
std::size_t RenderDateTime(std::string_view format, DateTimeValue value,
                           char (&text)[kRenderCapacity]);

}  // namespace clockcast::datetime
