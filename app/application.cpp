#include "app/application.h"

#include <exception>

#include "common/ui.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RunGuarded(const std::function<bool()>& step) {
  try {
    return step();
  } catch (const std::exception& e) {
    Ui().ShowError(e.what());
  } catch (...) {
    Ui().ShowError("Неизвестная ошибка");
  }
  return false;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  return RunGuarded([&] { return QApplication::notify(receiver, event); });
}
