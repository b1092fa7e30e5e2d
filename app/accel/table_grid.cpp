#include "app/accel/table_grid.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>

#include "app/accel/table_model.h"
#include "app/accel/table_paint.h"
#include "app/widgets/font_fit.h"

static_assert(TAccelTableGrid::kRows == AccelTableModel::kRows);

namespace {

void SetUpHeaders(QTableView* view, int rowHeight) {
  view->horizontalHeader()->hide();
  view->verticalHeader()->hide();
  view->verticalHeader()->setMinimumSectionSize(1);
  view->verticalHeader()->setDefaultSectionSize(rowHeight);
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->horizontalHeader()->setMinimumSectionSize(1);
  view->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setShowGrid(true);
  view->setWordWrap(false);
}

}  // namespace

TAccelTableGrid::TAccelTableGrid(QWidget* parent) : QTableWidget(kRows, 1, parent) {
  setObjectName("grdSpinup");  // the name tests and screenshots find it by
  // The designed widths held the texts at a small font; they grow with the
  // window's font instead of the font shrinking.
  const QFontMetrics fm(font());
  const int pad = kCellTextRightGap + fm.horizontalAdvance(QLatin1Char('x'));
  const double scale = FitScale(fm, {{"7000 - 7500", kHeaderWidth, pad}, {"99.999", kColumnWidth, pad}});
  headerWidth_ = Scaled(kHeaderWidth, scale);
  columnWidth_ = Scaled(kColumnWidth, scale);
  rowHeight_ = std::max(kRowHeight, kCellTextTopGap + fm.height() + kCellTextTopGap);

  SetUpHeaders(this, rowHeight_);
  horizontalHeader()->setDefaultSectionSize(columnWidth_);
  setColumnWidth(0, headerWidth_);
  // Whole runs are chosen, several at a time, to be drawn on the chart.
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectColumns);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // A scroll step is a whole run column, as a grid scrolls.
  setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);

  // Column 0 lives in a view of its own in the left margin; here it is
  // hidden, so the runs scroll without passing under it.
  fixed_ = new QTableView(this);
  fixed_->setObjectName("grdSpinupFixed");
  fixed_->setModel(model());
  SetUpHeaders(fixed_, rowHeight_);
  fixed_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  fixed_->setFocusPolicy(Qt::NoFocus);
  fixed_->setSelectionMode(QAbstractItemView::NoSelection);
  fixed_->setFrameShape(QFrame::NoFrame);
  fixed_->setColumnWidth(0, headerWidth_);
  setColumnHidden(0, true);
  // The labels are also the rows' headers, so that screen readers find them
  // (the fixed view is no part of the table's accessible cells); the header
  // lies under the fixed view, which paints them.
  verticalHeader()->show();
  fixed_->raise();
  connect(verticalScrollBar(), &QScrollBar::valueChanged, fixed_->verticalScrollBar(), &QScrollBar::setValue);
  connect(model(), &QAbstractItemModel::columnsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            for (int c = std::max(first, 1); c <= last; ++c) fixed_->setColumnHidden(c, true);
          });
  PlaceFixedColumn();
}

void TAccelTableGrid::SetCellPainter(QAbstractItemDelegate* painter) {
  setItemDelegate(painter);
  fixed_->setItemDelegate(painter);
}

void TAccelTableGrid::updateGeometries() {
  QTableWidget::updateGeometries();
  // The table's own header layout resets the margins; the fixed column keeps its room.
  setViewportMargins(headerWidth_, 0, 0, 0);
  PlaceFixedColumn();
}

void TAccelTableGrid::showEvent(QShowEvent* event) {
  QTableWidget::showEvent(event);
  // Runs added while the page was not shown: the newest one comes into view.
  if (currentIndex().isValid()) scrollTo(currentIndex());
}

void TAccelTableGrid::PlaceFixedColumn() {
  const QRect vp = viewport()->geometry();
  const QRect column(vp.left() - headerWidth_, vp.top(), headerWidth_, vp.height());
  fixed_->setGeometry(column);
  verticalHeader()->setGeometry(column);
}

QString TAccelTableGrid::Cell(int column, int row) const {
  const QTableWidgetItem* it = item(row, column);
  return it ? it->text() : QString();
}

void TAccelTableGrid::SetCell(int column, int row, const QString& text) {
  QTableWidgetItem* it = item(row, column);
  if (!it) {
    it = new QTableWidgetItem;
    it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setItem(row, column, it);
  }
  it->setText(text);
}

void TAccelTableGrid::SetColCount(int count) {
  const int old = columnCount();
  setColumnCount(count);
  for (int c = old; c < count; ++c) setColumnWidth(c, c == 0 ? headerWidth_ : columnWidth_);
}

void TAccelTableGrid::LabelRows() {
  for (int r = 0; r < kRows; ++r) {
    const QString label = QString::fromStdString(AccelTableModel::RowLabel(r));
    if (r > 0) SetCell(0, r, label);
    setVerticalHeaderItem(r, new QTableWidgetItem(label));
  }
}

std::vector<int> TAccelTableGrid::SelectedRuns() const {
  std::vector<int> runs;
  for (int c = 1; c < columnCount(); ++c)
    if (selectionModel()->isColumnSelected(c, QModelIndex())) runs.push_back(c);
  if (runs.empty() && currentColumn() >= 1) runs.push_back(currentColumn());
  return runs;
}
