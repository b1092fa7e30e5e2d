#pragma once
// The high-resolution counter and the millisecond waits built on it.
// All timing of the program uses this monotonic counter.

#include <cstdint>
#include <ctime>
#include <functional>

// Counter now, in counter units (monotonic). Any thread.
std::int64_t PerfCounter();
// Counter units per second.
std::int64_t PerfFrequency();

// Waits ms milliseconds from now: 1 ms sleeps, spinning only for the last few
// counter units. Any thread.
void DelayMs(std::uint16_t ms);
// Waits until ms milliseconds have passed since the counter value start; the
// first pass always runs when ms > 0. Any thread.
void DelayUntilMs(std::uint16_t ms, std::int64_t start);
// The same wait with sleepOneMs() in place of each 1 ms sleep; that step ends
// the wait at once by returning false (a stop), and so does this call.
bool DelayUntilMs(std::uint16_t ms, std::int64_t start, const std::function<bool()>& sleepOneMs);
// Lowers the calling thread's timer slack (on Windows the system timer
// period) so 1 ms sleeps and 1 ms waits stay near 1 ms.
void LowerTimerSlack();
// Runs the calling thread one step above normal priority where the system
// allows it; otherwise it stays at normal priority.
void RaiseThreadPriority();
// The local calendar time of t (wall clock, for names and stamps only). Any thread.
std::tm LocalCalendarTime(std::time_t t);
