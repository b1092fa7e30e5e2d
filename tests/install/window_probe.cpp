// Loaded into the installed program with LD_PRELOAD, so the program itself
// needs no test hook: once a window is shown it prints the window's name,
// caption and whether it has an icon, then closes it as a user would, so the
// program saves its settings and ends.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void WatchForWindow() {
  auto* timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, [timer] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible()) continue;
      timer->stop();
      std::printf("window: %s %s\nicon: %s\n", qPrintable(w->objectName()), qPrintable(w->windowTitle()),
                  w->windowIcon().isNull() ? "none" : "yes");
      std::fflush(stdout);
      w->close();
      return;
    }
  });
  timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchForWindow)
