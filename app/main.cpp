#include <QApplication>
#include <QMainWindow>

#include "common/worker.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Varnek Test");
  QMainWindow w;
  w.setWindowTitle("tufeka Varnek test v 1.0");
  w.show();
  int rc = app.exec();
  TerminateAllWorkers(std::chrono::milliseconds(2000));
  return rc;
}
