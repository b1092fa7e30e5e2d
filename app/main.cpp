#include <QIcon>
#include <chrono>
#include <memory>

#include "app/application.h"
#include "app/mainwindow.h"
#include "common/worker.h"
#include "ecu/session.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  // The application's title. Not the display name: Qt would append that to
  // every window caption.
  QApplication::setApplicationName("Varnek Test");
  // The window shows the menu entry's icon; desktops match the two by this name.
  QApplication::setDesktopFileName("varnek-test");
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/icons/%1/varnek-test.png").arg(size));
  QApplication::setWindowIcon(icon);
  auto mainWindow = std::make_unique<TfrmMain>();
  app.SetDialogs(&mainWindow->Dialogs());
  mainWindow->show();
  const int rc = app.exec();
  // A link still running (closed mid-handshake) and the LC-1 reader are ended
  // so their waits end; workers still running are asked to stop; their
  // hand-offs are abandoned.
  mainWindow->Session().Shutdown();
  TerminateAllWorkers(std::chrono::milliseconds(2000));
  app.SetDialogs(nullptr);  // the window's boxes go with the window
  return rc;
}
