#pragma once
// Paints every cell of the acceleration table: header cells with a raised bevel, run cells
// with the background of their state (current cell, row's fastest run).
// User-interface thread.

#include <QStyledItemDelegate>
#include <QTableWidget>

class AccelTableModel;

class TAccelTableDelegate : public QStyledItemDelegate {
 public:
  TAccelTableDelegate(const AccelTableModel& table, QTableWidget* grid);

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  // DrawHeaderCell: face, white top and left edges, grey bottom and right
  // edges; pressed swaps the edges.
  void DrawHeaderCell(QPainter* painter, const QRect& rect, bool pressed = false) const;
  void DrawText(QPainter* painter, const QRect& rect, const QString& text, const QColor& color) const;

  const AccelTableModel& table_;
  QTableWidget* grid_;
};
