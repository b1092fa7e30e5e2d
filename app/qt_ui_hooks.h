#pragma once
// The user-interface thread's loop that the core asks for (UiHooks), on Qt's
// event loop: hand-offs as queued calls, the core's timers as QTimers. The
// main window registers itself through it; benchmarks and the window's tests
// use it too. User-interface thread, except PostToUiThread.

#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "common/ui.h"

class QtUiHooks : public UiHooks {
 public:
  bool PostToUiThread(std::function<void()> step) override;
  void StartTimer(UiTimer& timer, int intervalMs) override;
  void StopTimer(UiTimer& timer) override;
  // Stops every timer started here.
  void StopAllTimers();

 private:
  std::map<UiTimer*, std::unique_ptr<QTimer>> timers_;
};
