#include "app/logview/analysis_page.h"

#include <QComboBox>
#include <QSignalBlocker>

void FillVariableChoice(QComboBox* box, const LogChannels& channels, const std::string& name) {
  const QSignalBlocker block(box);
  box->clear();
  for (const std::string& n : channels.Names()) box->addItem(QString::fromStdString(n));
  box->setCurrentIndex(std::max(0, box->findText(QString::fromStdString(name))));
}

std::string ChosenVariable(const QComboBox* box) { return box->currentText().toStdString(); }

QString RowsCaption(const TLogAnalysis& data) {
  const std::size_t all = data.table ? data.table->RowCount() : 0;
  return "Строк после фильтров: " + QString::number(data.rows.size()) + " из " + QString::number(all);
}
