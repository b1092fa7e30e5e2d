// The counter and sleeps on Linux: the monotonic clock in nanoseconds.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/timing.h"
#include "common/timing_os.h"

std::int64_t PerfCounter() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t PerfFrequency() { return 1'000'000'000; }

void timing_os::SleepOneMs() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

void LowerTimerSlack() { ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

// Linux nice values are per thread; -1 is one step up and needs CAP_SYS_NICE.
void RaiseThreadPriority() { (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -1); }

std::tm LocalCalendarTime(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}
