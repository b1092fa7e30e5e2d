#include "app/spintable.h"

#include <QHeaderView>

TSpinTable::TSpinTable(QWidget* parent) : QTableWidget(kRows, 1, parent) {
  setObjectName("grdSpinup");
  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(1);
  horizontalHeader()->setDefaultSectionSize(kColumnWidth);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  setColumnWidth(0, kHeaderWidth);
  setShowGrid(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setWordWrap(false);
  // The designed widths (71 and 50 pixels) hold the texts at this size.
  QFont f = font();
  f.setPointSizeF(7.5);
  setFont(f);
}

QString TSpinTable::Cell(int column, int row) const {
  const QTableWidgetItem* it = item(row, column);
  return it ? it->text() : QString();
}

void TSpinTable::SetCell(int column, int row, const QString& text) {
  QTableWidgetItem* it = item(row, column);
  if (!it) {
    it = new QTableWidgetItem;
    it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setItem(row, column, it);
  }
  it->setText(text);
}

void TSpinTable::SetColCount(int count) {
  const int old = columnCount();
  setColumnCount(count);
  for (int c = old; c < count; ++c) setColumnWidth(c, c == 0 ? kHeaderWidth : kColumnWidth);
}

void TSpinTable::LabelRows() {
  for (int r = 1; r < kRows; ++r)
    SetCell(0, r, QStringLiteral("%1 - %2").arg(2000 + 500 * (r - 1)).arg(2000 + 500 * r));
}
