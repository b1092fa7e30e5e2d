#include "app/application.h"

#include <exception>

#include "common/ui.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Ui().ShowError(e.what());
  } catch (...) {
    Ui().ShowError("Неизвестная ошибка");
  }
  return false;
}
