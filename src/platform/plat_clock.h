#pragma once
// The microsecond counter of the frame clock and of every time-out: monotonic, so a
// change of the wall clock never stretches or cuts a wait.
#include <cstdint>

// Microseconds of the monotonic clock since an arbitrary fixed point.
uint64_t PLAT_microseconds();
