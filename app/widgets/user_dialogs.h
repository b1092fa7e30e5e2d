#pragma once
// The program's message boxes and file dialogs. The main window makes the real
// modal ones (TMessageBoxes) and hands them to whatever tells the user
// something; tests hand their own, so nothing modal ever opens in a test.
// Defaults do nothing and cancel. User-interface thread.

#include <optional>
#include <string>

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;

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
