#pragma once
// The test's own thread as the user-interface thread. Hooks derived from
// TestUiLoop take the core's hand-offs and timers; they run on the test
// thread while the test waits in WaitFor or Pump. The core's tests get a plain
// loop (ui_loop_plain.cpp), the window's tests Qt's (ui_loop_qt.cpp): each
// test program links one of the two.

#include <functional>

#include "common/ui.h"

class TestUiLoop : public UiHooks {
 public:
  // Drops hand-offs not yet run and stops the timers started here.
  ~TestUiLoop() override;
  bool PostToUiThread(std::function<void()> step) override;
  void StartTimer(UiTimer& timer, int intervalMs) override;
  void StopTimer(UiTimer& timer) override;
};

// Runs hand-offs and timers until pred holds or ms have passed; pred's value
// then. The bound is never reached when the code under test works, however
// busy the machine.
bool WaitFor(const std::function<bool()>& pred, int ms);
// Runs hand-offs and timers for ms.
void Pump(int ms);
