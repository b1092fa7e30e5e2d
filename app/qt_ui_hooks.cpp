#include "app/qt_ui_hooks.h"

#include <QCoreApplication>

bool QtUiHooks::PostToUiThread(std::function<void()> step) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return false;
  // To the application rather than to a window: a hand-off posted while a
  // window goes still runs, with whatever hooks are registered then.
  QMetaObject::invokeMethod(app, std::move(step), Qt::QueuedConnection);
  return true;
}

void QtUiHooks::StartTimer(UiTimer& timer, int intervalMs) {
  std::unique_ptr<QTimer>& t = timers_[&timer];
  if (!t) {
    t = std::make_unique<QTimer>();
    // The link timer counts reply time-outs in its ticks.
    t->setTimerType(Qt::PreciseTimer);
    QObject::connect(t.get(), &QTimer::timeout, [&timer] { timer.Tick(); });
  }
  t->start(intervalMs);
}

// Stopped, not deleted: a tick may stop its own timer.
void QtUiHooks::StopTimer(UiTimer& timer) {
  if (auto it = timers_.find(&timer); it != timers_.end()) it->second->stop();
}

void QtUiHooks::StopAllTimers() {
  for (auto& [timer, qtimer] : timers_) qtimer->stop();
}
