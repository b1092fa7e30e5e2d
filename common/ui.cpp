#include "common/ui.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {
// Never destroyed: a timer stopped while the program exits may still ask for it.
UiHooks& NullHooks() {
  static UiHooks* const hooks = new UiHooks;
  return *hooks;
}
struct UiLoop {
  std::atomic<UiHooks*> hooks{nullptr};
  std::atomic<std::thread::id> thread{};
  // Held while a worker posts, when a posted step starts, and while hooks are
  // registered or unregistered.
  std::mutex postMutex;
};
// Process-wide: the process has one user-interface thread and event loop, and
// any thread, a worker started anywhere, posts to it without being handed it.
UiLoop g_ui;
}  // namespace

UiHooks& Ui() {
  UiHooks* hooks = g_ui.hooks.load(std::memory_order_acquire);
  return hooks ? *hooks : NullHooks();
}

void SetUiHooks(UiHooks* hooks) {
  std::lock_guard<std::mutex> lock(g_ui.postMutex);
  g_ui.hooks.store(hooks, std::memory_order_release);
  g_ui.thread.store(hooks ? std::this_thread::get_id() : std::thread::id{});
}

bool PostToUiThread(std::function<void()> step) {
  std::lock_guard<std::mutex> lock(g_ui.postMutex);
  // The step was made by the posting thread; taking the same lock before it
  // runs shows ThreadSanitizer the hand-over, which the loop that carries it
  // (Qt's event queue in the window) does not.
  return Ui().PostToUiThread([step = std::move(step)] {
    { std::lock_guard<std::mutex> seen(g_ui.postMutex); }
    step();
  });
}

bool OnUiThread() { return g_ui.thread.load() == std::this_thread::get_id(); }

void UiTimer::Start(int intervalMs) {
  active_ = true;
  Ui().StartTimer(*this, intervalMs);
}

void UiTimer::Stop() {
  if (!active_) return;
  active_ = false;
  Ui().StopTimer(*this);
}
