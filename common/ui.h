#pragma once
// The user-interface thread's loop as the core (link, ecu, lambda, flash)
// sees it, and the message boxes and file dialogs. The window registers its
// implementation at start; tests register their own. Every method runs on the user-interface thread only,
// except PostToUiThread: worker threads get there through it (directly, or
// waiting, with WorkerThread::Synchronize).
//
// Defaults do nothing, so a core test overrides only what it observes.

#include <cstdint>
#include <functional>
#include <optional>
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

  // Message boxes and file dialogs (modal in the window, intercepted in tests).
  // Error box: caption kAppCaption, error icon, OK.
  virtual void ShowError(const std::string& /*text*/) {}
  // Plain box without icon.
  virtual void ShowMessage(const std::string& /*text*/) {}
  // Empty optional when the user cancels.
  virtual std::optional<std::string> AskOpenFileName(const std::string& /*filter*/) { return std::nullopt; }
  virtual std::optional<std::string> AskSaveFileName(const std::string& /*filter*/) { return std::nullopt; }
  // The same, starting at `start`: a folder, or for saving a suggested file.
  virtual std::optional<std::string> AskOpenFileNameAt(const std::string& /*start*/,
                                                       const std::string& filter) {
    return AskOpenFileName(filter);
  }
  virtual std::optional<std::string> AskSaveFileNameAt(const std::string& /*start*/,
                                                       const std::string& filter) {
    return AskSaveFileName(filter);
  }
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
