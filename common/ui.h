#pragma once
// The one interface through which the core (link, ecu, lambda, flash) reaches
// the main window. The window registers its implementation at start; tests
// register their own. Every method runs on the user-interface thread only;
// worker threads get there through WorkerThread::Synchronize.
//
// Defaults do nothing, so a core test overrides only what it observes.

#include <cstdint>
#include <optional>
#include <string>

class UiHooks {
 public:
  virtual ~UiHooks() = default;

  // Main window operations offered to the core.
  virtual void RefreshControls() {}
  virtual void ShowResponseTime(int /*ms*/) {}
  // Status bar panel 0..8 text (panels 3..6 and 7 are written by the core).
  virtual void SetStatusText(int /*panel*/, const std::string& /*text*/) {}
  virtual void ShowProgress(const std::string& /*caption*/, std::uint16_t /*steps*/) {}
  virtual void StepProgress() {}
  // Replaces the progress panel's caption, leaving the bar where it is (so a
  // failure can say on the panel at which stage it struck).
  virtual void SetProgressCaption(const std::string& /*caption*/) {}
  virtual void HideProgress() {}
  virtual void UpdateDisplay() {}
  virtual void CountReply() {}
  virtual void ResetReplyCount() {}
  virtual bool MsgTimerEnabled() { return false; }
  virtual void SetMsgTimerEnabled(bool /*on*/) {}
  virtual bool CloseDeferred() { return false; }
  virtual void CloseMainWindow() {}
  virtual void ClearPause() {}
  // Current values of the bottom strip's spin editors.
  virtual int AvgAngle() { return 360; }

  // Message boxes and file dialogs (modal in the window, intercepted in tests).
  // Error box: caption kAppCaption, error icon, OK.
  virtual void ShowError(const std::string& /*text*/) {}
  // Plain box without icon.
  virtual void ShowMessage(const std::string& /*text*/) {}
  // The K-line link has ended with text (a reply time-out, a port error);
  // sessionLost when a running diagnostic session ended so. The window may
  // reconnect instead of showing the box.
  virtual void LinkEnded(const std::string& text, bool /*sessionLost*/) { ShowError(text); }
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
// Registers hooks (nullptr restores the do-nothing one). User-interface thread.
void SetUiHooks(UiHooks* hooks);
