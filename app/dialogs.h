#pragma once
// The real, modal message boxes and file dialogs over a parent window; tests
// hand the window their own UserDialogs instead. User-interface thread.

#include <QWidget>

#include "app/widgets/user_dialogs.h"

class TMessageBoxes : public UserDialogs {
 public:
  explicit TMessageBoxes(QWidget* parent) : parent_(parent) {}
  void ShowError(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  std::optional<std::string> AskOpenFileName(const std::string& filter) override;
  std::optional<std::string> AskSaveFileName(const std::string& filter) override;
  std::optional<std::string> AskOpenFileNameAt(const std::string& start, const std::string& filter) override;
  std::optional<std::string> AskSaveFileNameAt(const std::string& start, const std::string& filter) override;

 private:
  QWidget* parent_;
};

// A filter in the Windows form "Описание|*.bin|Все|*.*" becomes Qt's
// "Описание (*.bin);;Все (*.*)"; a Qt filter is returned as it is.
QString QtFileFilter(const std::string& filter);
