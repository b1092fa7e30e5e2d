#pragma once
// grdSpinup on the page "Таблица": the acceleration table. Row 0 and column 0
// are its header cells; a cell is addressed (column, row) as in the design.
// User-interface thread.

#include <QString>
#include <QTableWidget>

class TSpinTable : public QTableWidget {
 public:
  static constexpr int kRows = 12;
  static constexpr int kHeaderWidth = 71;
  static constexpr int kColumnWidth = 50;
  static constexpr int kRowHeight = 18;

  explicit TSpinTable(QWidget* parent);

  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  // Columns including the header column (ColCount).
  int ColCount() const { return columnCount(); }
  void SetColCount(int count);
  // Row labels "2000 - 2500" .. "7000 - 7500" in column 0.
  void LabelRows();
};
