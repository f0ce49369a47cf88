// The date-time format interpreter: turns a DateTimeValue into text under a
// format string. Every byte sequence renders; the result holds at most 256
// bytes, and what does not fit is dropped without a sign.
#pragma once

#include <string>
#include <string_view>

#include "datetime/calendar.h"

namespace clockcast::datetime {

inline constexpr std::size_t kRenderCapacity = 256;

std::string RenderDateTime(std::string_view format, DateTimeValue value);

}  // namespace clockcast::datetime
