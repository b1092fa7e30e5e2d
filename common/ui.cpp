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
std::atomic<UiHooks*> g_hooks{nullptr};
std::atomic<std::thread::id> g_uiThread{};
// Held while a worker posts, when a posted step starts, and while hooks are
// registered or unregistered.
std::mutex g_postMutex;
}  // namespace

UiHooks& Ui() {
  UiHooks* hooks = g_hooks.load(std::memory_order_acquire);
  return hooks ? *hooks : NullHooks();
}

void SetUiHooks(UiHooks* hooks) {
  std::lock_guard<std::mutex> lock(g_postMutex);
  g_hooks.store(hooks, std::memory_order_release);
  g_uiThread.store(hooks ? std::this_thread::get_id() : std::thread::id{});
}

bool PostToUiThread(std::function<void()> step) {
  std::lock_guard<std::mutex> lock(g_postMutex);
  // The step was made by the posting thread; taking the same lock before it
  // runs shows ThreadSanitizer the hand-over, which the loop that carries it
  // (Qt's event queue in the window) does not.
  return Ui().PostToUiThread([step = std::move(step)] {
    { std::lock_guard<std::mutex> seen(g_postMutex); }
    step();
  });
}

bool OnUiThread() { return g_uiThread.load() == std::this_thread::get_id(); }

void UiTimer::Start(int intervalMs) {
  active_ = true;
  Ui().StartTimer(*this, intervalMs);
}

void UiTimer::Stop() {
  if (!active_) return;
  active_ = false;
  Ui().StopTimer(*this);
}
