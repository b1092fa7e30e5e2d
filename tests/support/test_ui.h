#pragma once
// UiHooks, SessionEvents and the window's UserDialogs for tests: records what
// the core told the window and its boxes, and answers its file dialogs from
// prepared values, so no test ever blocks on a modal box. The test thread is
// the user-interface thread (see ui_loop.h).

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/widgets/user_dialogs.h"
#include "common/ui.h"
#include "ecu/ecu_data.h"
#include "ecu/session_events.h"
#include "tests/support/ui_loop.h"

// Also a sink of the session's decoded frames (displayUpdates counts them).
// status holds what the window's status bar would show, by its panel number
// (3 the mode, 4 the resets, 5 the bad replies, 6 the negative replies).
// closeDeferred stands for a window that closes once the link is down.
class RecordingUi : public TestUiLoop, public UserDialogs, public SessionEvents, public EcuDataSink {
 public:
  RecordingUi() { SetUiHooks(this); }
  ~RecordingUi() override { SetUiHooks(nullptr); }

  void OnConnected() override { ++refreshCount; }
  void OnDisconnected() override {
    ++pauseClears;
    ++refreshCount;
    if (closeDeferred) ++closeRequests;
  }
  void OnUnidirMode(bool on) override {
    if (!on) ++pauseClears;
    ++refreshCount;
    status[3] = on ? "1" : "0";
  }
  void OnLinkEnded(const std::string& reason) override {
    if (!closeDeferred) errors.push_back(reason);
  }
  void OnResponseTime(int ms) override { responseTimes.push_back(ms); }
  void OnLinkCounters(int resets, int badReplies) override {
    status[4] = std::to_string(resets);
    status[5] = std::to_string(badReplies);
  }
  void OnNegativeReplies(std::uint32_t count) override { status[6] = std::to_string(count); }
  void OnEcuData(const EcuDataRecord&) override { ++displayUpdates; }
  void OnReply() override { ++replyCount; }
  void OnReplyCountRestart() override { ++replyCountResets; }
  void OnMessage(const std::string& text) override { ShowMessage(text); }
  void OnError(const std::string& text) override { ShowError(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> AskOpenFileName(const std::string&) override { return take(openAnswers); }
  std::optional<std::string> AskSaveFileName(const std::string&) override { return take(saveAnswers); }

  int refreshCount = 0, displayUpdates = 0, replyCount = 0, replyCountResets = 0, closeRequests = 0,
      pauseClears = 0;
  bool closeDeferred = false;
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
