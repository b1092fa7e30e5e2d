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

namespace {

// The default timer period (15.6 ms) would turn every 1 ms sleep or wait into
// 16. Raised once for the life of the process.
void RaiseTimerResolution() {
  static const bool raised = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)raised;
}

}  // namespace

void timing_os::SleepOneMs() {
  RaiseTimerResolution();
  Sleep(1);
}

// The timer resolution is the whole process's; the link threads' 1 ms waits
// on their stop need it as much as the sleeps.
void LowerTimerSlack() { RaiseTimerResolution(); }

void RaiseThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

std::tm LocalCalendarTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}
