#pragma once
// The application object with the general error handler: an error that no
// command caught and that escapes an event handler is shown to the user in
// the error box instead of ending the program. User-interface thread.

#include <QApplication>
#include <QTranslator>
#include <functional>

#include "app/dialogs.h"
#include "app/widgets/user_dialogs.h"

// Runs one dispatch step; an error escaping it is shown in dialogs' error box
// and the step counts as not handled.
bool RunGuarded(UserDialogs& dialogs, const std::function<bool()>& step);

// Loads Qt's Russian translation (qtbase_ru) from the system's Qt translations
// folder, so Qt's own dialogs, buttons and context menus speak Russian too.
// Returns the installed translator (owned by app); nullptr when the file is
// not there (Debian: qt6-translations-l10n).
QTranslator* InstallQtTranslation(QApplication& app);

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
  // Where the general error handler shows errors: the main window's dialogs
  // while it lives; nullptr (before and after it) a box of no window, so an
  // error while the window is being made is still shown.
  void SetDialogs(UserDialogs* dialogs) { dialogs_ = dialogs ? dialogs : &windowless_; }

 private:
  TMessageBoxes windowless_{nullptr};
  UserDialogs* dialogs_ = &windowless_;
};
