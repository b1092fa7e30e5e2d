// The core's tests: a plain loop of hand-offs and timers on the test thread.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "tests/support/ui_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Loop {
  std::mutex mutex;  // guards steps; timers belong to the test thread
  std::condition_variable posted;
  std::deque<std::function<void()>> steps;
  struct Timer {
    UiTimer* timer;
    Clock::duration interval;
    Clock::time_point due;
  };
  std::vector<Timer> timers;
};

// Never destroyed: a worker may still post while the program exits.
Loop& TheLoop() {
  static Loop* const loop = new Loop;
  return *loop;
}

// Runs the steps posted so far, in order (not those they lead to: a stream of
// hand-offs must not starve the timers), then every timer that is due, once.
void RunDue() {
  Loop& loop = TheLoop();
  std::deque<std::function<void()>> steps;
  {
    std::lock_guard<std::mutex> lock(loop.mutex);
    steps.swap(loop.steps);
  }
  for (std::function<void()>& step : steps) step();
  // A tick may start or stop timers: go by a copy, ticking those still there.
  std::vector<UiTimer*> due;
  const Clock::time_point now = Clock::now();
  for (Loop::Timer& t : loop.timers) {
    if (t.due > now) continue;
    t.due = std::max(t.due + t.interval, now);
    due.push_back(t.timer);
  }
  for (UiTimer* timer : due) {
    const bool running = std::any_of(loop.timers.begin(), loop.timers.end(),
                                     [timer](const Loop::Timer& t) { return t.timer == timer; });
    if (running) timer->Tick();
  }
}

Clock::time_point NextDue(Clock::time_point limit) {
  for (const Loop::Timer& t : TheLoop().timers) limit = std::min(limit, t.due);
  return limit;
}

}  // namespace

TestUiLoop::~TestUiLoop() {
  Loop& loop = TheLoop();
  std::lock_guard<std::mutex> lock(loop.mutex);
  loop.steps.clear();
  loop.timers.clear();
}

bool TestUiLoop::PostToUiThread(std::function<void()> step) {
  Loop& loop = TheLoop();
  {
    std::lock_guard<std::mutex> lock(loop.mutex);
    loop.steps.push_back(std::move(step));
  }
  loop.posted.notify_all();
  return true;
}

void TestUiLoop::StartTimer(UiTimer& timer, int intervalMs) {
  StopTimer(timer);
  const auto interval = std::chrono::milliseconds(std::max(intervalMs, 1));
  TheLoop().timers.push_back({&timer, interval, Clock::now() + interval});
}

void TestUiLoop::StopTimer(UiTimer& timer) {
  auto& timers = TheLoop().timers;
  std::erase_if(timers, [&timer](const Loop::Timer& t) { return t.timer == &timer; });
}

namespace {

// Runs the loop until pred holds (looked at every 10 ms, as what it reads may
// change on other threads too; never without pred) or ms have passed.
bool RunUntil(const std::function<bool()>* pred, int ms) {
  Loop& loop = TheLoop();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    RunDue();
    if (pred && (*pred)()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return pred && (*pred)();
    const Clock::time_point wake =
        NextDue(pred ? std::min(deadline, now + std::chrono::milliseconds(10)) : deadline);
    std::unique_lock<std::mutex> lock(loop.mutex);
    loop.posted.wait_until(lock, wake, [&loop] { return !loop.steps.empty(); });
  }
}

}  // namespace

bool WaitFor(const std::function<bool()>& pred, int ms) { return RunUntil(&pred, ms); }

void Pump(int ms) { RunUntil(nullptr, ms); }
