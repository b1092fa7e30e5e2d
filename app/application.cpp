#include "app/application.h"

#include <QLibraryInfo>
#include <exception>

QTranslator* InstallQtTranslation(QApplication& app) {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* translator = new QTranslator(&app);
  if (!translator->load("qtbase_ru", folder) || !app.installTranslator(translator)) {
    qWarning("qtbase_ru not found in %s: Qt's own dialogs stay in English", qPrintable(folder));
    delete translator;
    return nullptr;
  }
  return translator;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { InstallQtTranslation(*this); }

bool RunGuarded(UserDialogs& dialogs, const std::function<bool()>& step) {
  try {
    return step();
  } catch (const std::exception& e) {
    dialogs.ShowError(e.what());
  } catch (...) {
    dialogs.ShowError("Неизвестная ошибка");
  }
  return false;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  return RunGuarded(*dialogs_, [&] { return QApplication::notify(receiver, event); });
}
