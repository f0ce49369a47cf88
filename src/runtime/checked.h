// Checked indexing and integer arithmetic for the program's own command
// logic: an index outside a text raises ERangeError, an overflow raises
// EIntOverflow. The runtime routines below the command logic compute
// unchecked and keep their values in range by construction.
#pragma once

#include <cstdint>
#include <source_location>
#include <string_view>

#include "runtime/failures.h"

namespace clockcast::runtime {

inline std::int32_t CheckedAdd(std::int32_t a, std::int32_t b,
                               std::source_location where = std::source_location::current()) {
  std::int32_t sum;
  if (__builtin_add_overflow(a, b, &sum)) OverflowCheckFailed(where);
  return sum;
}

inline std::int32_t CheckedSub(std::int32_t a, std::int32_t b,
                               std::source_location where = std::source_location::current()) {
  std::int32_t difference;
  if (__builtin_sub_overflow(a, b, &difference)) OverflowCheckFailed(where);
  return difference;
}

// The length of a text as the 32-bit count the command logic works with.
inline std::int32_t LengthOf(std::string_view text,
                             std::source_location where = std::source_location::current()) {
  if (text.size() > 0x7FFFFFFFu) RangeCheckFailed(where);
  return static_cast<std::int32_t>(text.size());
}

// The byte at a 1-based position of a text.
inline char CharAt(std::string_view text, std::int32_t position,
                   std::source_location where = std::source_location::current()) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) RangeCheckFailed(where);
  return text[static_cast<std::size_t>(position) - 1];
}

}  // namespace clockcast::runtime
