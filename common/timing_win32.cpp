// The counter and sleeps on Windows: the performance counter, and 1 ms sleeps
// made possible by raising the system timer resolution.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include "common/timing.h"
#include "common/timing_os.h"

std::int64_t PerfCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

std::int64_t PerfFrequency() {
  static const std::int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  return frequency;
}

void timing_os::SleepOneMs() {
  // The default timer period (15.6 ms) would turn every 1 ms sleep into 16.
  // Raised once for the life of the process.
  static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)raised;
  Sleep(1);
}

// The timer resolution is the whole process's, raised at the first sleep.
void LowerTimerSlack() {}

void RaiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

std::tm LocalCalendarTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}
