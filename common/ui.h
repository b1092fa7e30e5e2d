#pragma once
// The one interface through which the core (link, ecu, lambda, flash) reaches
// the main window. The window registers its implementation at start; tests
// register their own. Every method runs on the user-interface thread only,
// except PostToUiThread: worker threads get there through it (directly, or
// waiting, with WorkerThread::Synchronize).
//
// Defaults do nothing, so a core test overrides only what it observes.

#include <cstdint>
#include <functional>
#include <string>

class UiTimer;

// The status bar's panels, as the core and the window address them.
enum StatusPanel : int {
  kPanelLink = 0,             // the ECU link's state
  kPanelLambda = 1,           // the LC-1 reader's state
  kPanelResponseTime = 2,     // the last reply's response time
  kPanelMode = 3,             // request/reply or unidirectional: drawn by the window
  kPanelResets = 4,           // receiver resets
  kPanelBadReplies = 5,       // replies dropped for their checksum or length
  kPanelNegativeReplies = 6,  // negative replies
  kPanelLambdaAfr = 7,        // the LC-1's air-fuel ratio
  kPanelReplyRate = 8,        // replies per second
};

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

  // Main window operations offered to the core.
  virtual void RefreshControls() {}
  virtual void ShowResponseTime(int /*ms*/) {}
  // A status bar panel's text (the core writes kPanelMode to kPanelNegativeReplies).
  virtual void SetStatusText(StatusPanel /*panel*/, const std::string& /*text*/) {}
  virtual void CountReply() {}
  virtual void ResetReplyCount() {}
  // Polling on or off: the window's data timer runs at DataInterval while on.
  virtual void SetMsgTimerEnabled(bool /*on*/) {}
  virtual bool CloseDeferred() { return false; }
  virtual void CloseMainWindow() {}
  virtual void ClearPause() {}
  // Current values of the bottom strip's spin editors.
  virtual int AvgAngle() { return 360; }

  // Message boxes (modal in the window, intercepted in tests).
  // Error box: caption kAppCaption, error icon, OK.
  virtual void ShowError(const std::string& /*text*/) {}
  // Plain box without icon.
  virtual void ShowMessage(const std::string& /*text*/) {}
  // The K-line link has ended with text (a reply time-out, a port error);
  // sessionLost when a running diagnostic session ended so. The window may
  // reconnect instead of showing the box.
  virtual void LinkEnded(const std::string& text, bool /*sessionLost*/) { ShowError(text); }
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
