#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

#include "common/error.h"

QString QtFileFilter(const std::string& filter) {
  const QString f = QString::fromStdString(filter);
  if (!f.contains('|')) return f;
  const QStringList parts = f.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString patterns = QString(parts[i + 1]).replace(';', ' ');
    out << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + patterns + ")");
  }
  return out.join(";;");
}

void TMessageBoxes::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, kAppCaption, QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.exec();
}

void TMessageBoxes::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kAppCaption, QString::fromStdString(text), QMessageBox::Ok, parent_);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // folders and names to copy into a question
  box.exec();
}

std::optional<std::string> TMessageBoxes::AskOpenFileName(const std::string& filter) {
  return AskOpenFileNameAt({}, filter);
}

std::optional<std::string> TMessageBoxes::AskSaveFileName(const std::string& filter) {
  return AskSaveFileNameAt({}, filter);
}

std::optional<std::string> TMessageBoxes::AskOpenFileNameAt(const std::string& start,
                                                            const std::string& filter) {
  const QString name =
      QFileDialog::getOpenFileName(parent_, QString(), QString::fromStdString(start), QtFileFilter(filter));
  if (name.isEmpty()) return std::nullopt;
  return name.toStdString();
}

std::optional<std::string> TMessageBoxes::AskSaveFileNameAt(const std::string& start,
                                                            const std::string& filter) {
  const QString name =
      QFileDialog::getSaveFileName(parent_, QString(), QString::fromStdString(start), QtFileFilter(filter));
  if (name.isEmpty()) return std::nullopt;
  return name.toStdString();
}
