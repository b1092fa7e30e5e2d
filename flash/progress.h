#pragma once
// What a firmware command tells the user while it runs and when it ends, in
// the command's own terms. The window shows it on its progress panel and in
// its message boxes; tests and benchmarks record it. User-interface thread.

#include <string>

class FlashProgress {
 public:
  virtual ~FlashProgress() = default;

  // A stage begins (loader file, upload, identifier, erase, blocks): its
  // caption and how many steps it has, none of them done yet.
  virtual void BeginStage(const std::string& caption, int steps) = 0;
  // Step `done` of the stage's `steps` is through (block n of N).
  virtual void StepDone(int done, int steps) = 0;
  // A failure struck: the caption now says at which stage, the bar stays
  // where it stopped while the message is read.
  virtual void StageFailed(const std::string& caption) = 0;
  // The command is over: its progress is no longer shown.
  virtual void EndProgress() = 0;
  // An error box (caption kAppCaption, error icon, OK) and a plain box.
  virtual void ShowError(const std::string& text) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};
