// RenderDateTime's result as a string, for the tests that compare it.
#pragma once

#include <string>
#include <string_view>

#include "datetime/format.h"

namespace clockcast::datetime {

inline std::string RenderText(std::string_view format, DateTimeValue value) {
  char text[kRenderCapacity];
  return std::string(text, RenderDateTime(format, value, text));
}

}  // namespace clockcast::datetime
