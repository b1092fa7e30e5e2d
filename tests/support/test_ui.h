#pragma once
// UiHooks for tests: records what the core asked of the window. Also the
// window's UserDialogs in tests: records its boxes and answers its file
// dialogs from prepared values, so no test ever blocks on a modal box. The
// test thread is the user-interface thread (see ui_loop.h).

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/widgets/user_dialogs.h"
#include "common/ui.h"
#include "ecu/ecu_data.h"
#include "tests/support/ui_loop.h"

// Also a sink of the session's decoded frames (displayUpdates counts them).
class RecordingUi : public TestUiLoop, public UserDialogs, public EcuDataSink {
 public:
  RecordingUi() { SetUiHooks(this); }
  ~RecordingUi() override { SetUiHooks(nullptr); }

  void RefreshControls() override { ++refreshCount; }
  void ShowResponseTime(int ms) override { responseTimes.push_back(ms); }
  void SetStatusText(StatusPanel panel, const std::string& text) override { status[panel] = text; }
  void OnEcuData(const EcuDataRecord&) override { ++displayUpdates; }
  void CountReply() override { ++replyCount; }
  void ResetReplyCount() override { ++replyCountResets; }
  void SetMsgTimerEnabled(bool on) override { msgTimer = on; }
  bool CloseDeferred() override { return closeDeferred; }
  void CloseMainWindow() override { ++closeRequests; }
  void ClearPause() override { ++pauseClears; }
  int AvgAngle() override { return avgAngle; }
  // Both the core's boxes and the window's.
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> AskOpenFileName(const std::string&) override { return take(openAnswers); }
  std::optional<std::string> AskSaveFileName(const std::string&) override { return take(saveAnswers); }

  int refreshCount = 0, displayUpdates = 0, replyCount = 0, replyCountResets = 0, closeRequests = 0,
      pauseClears = 0, avgAngle = 360;
  bool msgTimer = false, closeDeferred = false;
  std::vector<int> responseTimes;
  std::map<int, std::string> status;
  std::vector<std::string> errors, messages;
  // Answers for the file dialogs, taken in order; nullopt means "cancel".
  std::deque<std::optional<std::string>> openAnswers, saveAnswers;

 private:
  static std::optional<std::string> take(std::deque<std::optional<std::string>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};
