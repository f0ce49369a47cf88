// The commands that turn the clock into text: date:, time:, th and addtime:.
#pragma once

#include <cstdint>
#include <string_view>

#include "datetime/calendar.h"

namespace clockcast::cli {

void RunDateCommand(std::string_view parameter);
void RunTimeCommand(std::string_view parameter);
void RunDaySuffixCommand();
void RunTimeOffsetCommand(std::string_view parameter);

// The current time of day moved by an offset, in extended precision. The
// result is not normalised: it leaves the day 0 when the offset crosses
// midnight.
datetime::DateTimeValue OffsetTimeOfDay(std::int32_t hours, std::int32_t minutes,
                                        std::int32_t seconds);

}  // namespace clockcast::cli
