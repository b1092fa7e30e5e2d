#pragma once
// The user-interface thread's loop as the core (link, ecu, lambda, flash)
// sees it: the hand-off to that thread and its timers. The window registers
// its implementation (Qt's event loop) at start; tests register their own.
// Every method runs on the user-interface thread only, except PostToUiThread:
// worker threads get there through it (directly, or waiting, with
// WorkerThread::Synchronize).

#include <cstdint>
#include <functional>
#include <string>

class UiTimer;

class UiHooks {
 public:
  virtual ~UiHooks() = default;

  // --- The user-interface thread's loop (the window's is Qt's). ---
  // Any thread. Runs step on the user-interface thread, later, in the order
  // posted. False when there is no such loop: the caller runs step itself.
  virtual bool PostToUiThread(std::function<void()> /*step*/) { return false; }
  // Runs timer.Tick() every intervalMs on the user-interface thread until
  // StopTimer; starting a running timer restarts it. Without a loop nothing
  // ticks.
  virtual void StartTimer(UiTimer& /*timer*/, int /*intervalMs*/) {}
  virtual void StopTimer(UiTimer& /*timer*/) {}
};

// Never null: a do-nothing implementation stands in until one is registered.
UiHooks& Ui();
// Registers hooks (nullptr restores the do-nothing one) and makes the calling
// thread the user-interface thread. Waits for posts in progress, so hooks
// that unregister themselves are never posted to afterwards.
void SetUiHooks(UiHooks* hooks);
// Any thread. The asynchronous hand-off: step runs later on the
// user-interface thread. False when no loop runs one (see PostToUiThread).
bool PostToUiThread(std::function<void()> step);
// True on the thread that registered the hooks.
bool OnUiThread();

// A periodic timer of the core (the link timer, the LC-1 silence timer),
// ticked on the user-interface thread by whoever registered the hooks.
// User-interface thread.
class UiTimer {
 public:
  explicit UiTimer(std::function<void()> tick) : tick_(std::move(tick)) {}
  ~UiTimer() { Stop(); }
  UiTimer(const UiTimer&) = delete;
  UiTimer& operator=(const UiTimer&) = delete;

  // Starts, or restarts, ticking every intervalMs.
  void Start(int intervalMs);
  void Stop();
  bool Active() const { return active_; }
  // Called by the loop.
  void Tick() { tick_(); }

 private:
  std::function<void()> tick_;
  bool active_ = false;
};
