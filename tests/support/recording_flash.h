#pragma once
// FlashProgress for tests: records the stages, steps and messages of a
// firmware command, and keeps the answers a window's file dialogs would give.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flash/progress.h"

class RecordingFlash : public FlashProgress {
 public:
  void BeginStage(const std::string& caption, int steps) override {
    progressVisible = true;
    progress.push_back({caption, steps});
    lastDone_ = 0;
  }
  // The window sets its bar to `done`: each step must count one on from the
  // last, within the stage's own number.
  void StepDone(int done, int steps) override {
    ++progressSteps;
    if (progress.empty() || steps != progress.back().second || done != lastDone_ + 1 || done > steps)
      ++stepsOutOfOrder;
    lastDone_ = done;
  }
  void StageFailed(const std::string& caption) override { progressCaption = caption; }
  void EndProgress() override { progressVisible = false; }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  int progressSteps = 0, stepsOutOfOrder = 0;
  bool progressVisible = false;
  std::vector<std::pair<std::string, int>> progress;
  std::string progressCaption;  // the last one set after a failure
  std::vector<std::string> errors, messages;
  // Answers for the file dialogs the window shows, taken in order; nullopt
  // means "cancel".
  std::deque<std::optional<std::string>> openAnswers, saveAnswers;

  std::optional<std::string> TakeOpenAnswer() { return Take(openAnswers); }
  std::optional<std::string> TakeSaveAnswer() { return Take(saveAnswers); }

 private:
  int lastDone_ = 0;
  static std::optional<std::string> Take(std::deque<std::optional<std::string>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};
