// The window's tests: hand-offs and timers on Qt's event loop, as in the program.
#include <QTest>

#include "app/qt_ui_hooks.h"
#include "tests/support/ui_loop.h"

namespace {
// Never destroyed: its timers may outlive the test that started them.
QtUiHooks& QtLoop() {
  static QtUiHooks* const hooks = new QtUiHooks;
  return *hooks;
}
}  // namespace

TestUiLoop::~TestUiLoop() { QtLoop().StopAllTimers(); }

bool TestUiLoop::PostToUiThread(std::function<void()> step) {
  return QtLoop().PostToUiThread(std::move(step));
}

void TestUiLoop::StartTimer(UiTimer& timer, int intervalMs) { QtLoop().StartTimer(timer, intervalMs); }

void TestUiLoop::StopTimer(UiTimer& timer) { QtLoop().StopTimer(timer); }

bool WaitFor(const std::function<bool()>& pred, int ms) { return QTest::qWaitFor(pred, ms); }

void Pump(int ms) { QTest::qWait(ms); }
