#pragma once
// The application object with the general error handler: an error that no
// command caught and that escapes an event handler is shown to the user in
// the error box instead of ending the program. User-interface thread.

#include <QApplication>

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
