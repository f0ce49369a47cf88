// What posix.cpp gives the other POSIX platform files: the environment the
// process started with, and room for the C library's own allocations.
#pragma once

#include <cstddef>

namespace clockcast::platform::posix {

// The environment as the process was started with it; nullptr before
// StartUp, as in the tests that link the platform layer without main.
char** StartEnvironment();

// Some C-library calls load data on first use: the locale (setlocale), the
// time zone (the first localtime_r) and a locale's era table (the first
// strftime with %EC or %Ey). When an allocation or a mapping fails inside
// them they do not fail: they go on with what they have built in, the C
// locale, UTC or the Gregorian century, and the run would print that.
//
// So the memory such a call needs is made sure of before it runs: a block
// of the heap that the C library allocates from, and `mapped` bytes of
// address space (over a common margin) for the files it maps. Both are
// given back before the call, for the call to use. When either cannot be
// had, the run ends out of memory through the new handler, as a failed
// allocation does.
void MakeRoomForCLibrary(std::size_t mapped);

}  // namespace clockcast::platform::posix
