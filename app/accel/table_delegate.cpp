#include "app/accel/table_delegate.h"

#include <QApplication>
#include <QPainter>

#include "app/accel/table_model.h"
#include "app/accel/table_paint.h"

namespace {

QColor ToColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

}  // namespace

TAccelTableDelegate::TAccelTableDelegate(const AccelTableModel& table, QTableWidget* grid)
    : QStyledItemDelegate(grid), table_(table), grid_(grid) {}

void TAccelTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const int c = index.column();
  const int r = index.row();
  const QRect rect = option.rect;
  const QString text = index.data(Qt::DisplayRole).toString();
  painter->save();
  painter->setFont(option.font);
  if (c == 0 || r == 0) {
    // A run chosen for the chart shows its header pressed in.
    DrawHeaderCell(painter, rect, r == 0 && (option.state & QStyle::State_Selected));
    DrawText(painter, rect, text, QApplication::palette().color(QPalette::ButtonText));
  } else {
    const bool selected = grid_->currentIndex() == index;
    painter->fillRect(rect, ToColor(CellBackground(selected, table_.IsBest(c, r))));
    DrawText(painter, rect, text, ToColor(kCellText));
  }
  painter->restore();
}

void TAccelTableDelegate::DrawHeaderCell(QPainter* painter, const QRect& rect, bool pressed) const {
  painter->fillRect(rect, ToColor(kHeaderFace));
  const int left = rect.left(), top = rect.top(), right = rect.right(), bottom = rect.bottom();
  painter->setPen(ToColor(pressed ? kHeaderShadow : kHeaderLight));
  painter->drawLine(left, top, right, top);
  painter->drawLine(left, top, left, bottom);
  painter->setPen(ToColor(pressed ? kHeaderLight : kHeaderShadow));
  painter->drawLine(right, bottom, left - 1, bottom);
  painter->drawLine(right, bottom, right, top - 1);
}

void TAccelTableDelegate::DrawText(QPainter* painter, const QRect& rect, const QString& text,
                                   const QColor& color) const {
  if (text.isEmpty()) return;
  const QFontMetrics fm(painter->font());
  // Right end 7 pixels left of the cell's right edge, top 3 below its top.
  const int width = fm.horizontalAdvance(text);
  const int x = CellTextLeft(rect.left() + rect.width(), width);
  painter->setPen(color);
  painter->drawText(QPoint(x, rect.top() + kCellTextTopGap + fm.ascent()), text);
}
