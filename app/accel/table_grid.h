#pragma once
// The acceleration table on the page "Таблица". Row 0 and column 0
// are its header cells; a cell is addressed (column, row) as in the design.
// Column 0, the band labels, stays in place while the runs scroll
// horizontally. Whole run columns are selected (several with Ctrl or Shift).
// User-interface thread.

#include <QString>
#include <QTableView>
#include <QTableWidget>
#include <vector>

class QAbstractItemDelegate;

class TAccelTableGrid : public QTableWidget {
 public:
  static constexpr int kRows = 13;  // header, 11 bands, total
  // Designed sizes; the real ones grow with the font (HeaderWidth() ...).
  static constexpr int kHeaderWidth = 71;
  static constexpr int kColumnWidth = 50;
  static constexpr int kRowHeight = 18;

  explicit TAccelTableGrid(QWidget* parent);

  QString Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  // Columns including the header column (ColCount).
  int ColCount() const { return columnCount(); }
  void SetColCount(int count);
  // Row labels "2000 - 2500" .. "7000 - 7500" and "Всего" in column 0, and
  // the same as the rows' headers (what screen readers read).
  void LabelRows();
  // The run columns selected, in order; the current one when none is.
  std::vector<int> SelectedRuns() const;
  // Paints the cells of both the runs and the fixed column.
  void SetCellPainter(QAbstractItemDelegate* painter);

  int HeaderWidth() const { return headerWidth_; }
  int RunColumnWidth() const { return columnWidth_; }
  int RowHeight() const { return rowHeight_; }
  // The view that shows column 0 beside the scrolling runs.
  QTableView* FixedColumn() const { return fixed_; }

 protected:
  void updateGeometries() override;
  void showEvent(QShowEvent* event) override;

 private:
  void PlaceFixedColumn();

  int headerWidth_ = kHeaderWidth;
  int columnWidth_ = kColumnWidth;
  int rowHeight_ = kRowHeight;
  QTableView* fixed_ = nullptr;
};
