#pragma once
// The operating system's half of the timing helpers (timing_posix.cpp,
// timing_win32.cpp); the counter itself is declared in timing.h.

namespace timing_os {

// Sleeps about one millisecond. Any thread.
void SleepOneMs();

}  // namespace timing_os
