#include "app/accel/summary_panel.h"

#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/accel/table_paint.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TSummaryPanel::TSummaryPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("pnlSummary");
  auto* col = new QVBoxLayout(this);
  col->setContentsMargins(4, 0, 0, 0);
  auto* title = new QLabel("Сводка по коррекции", this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  col->addWidget(title);
  lblRange_ = new QLabel(this);
  lblRange_->setObjectName("lblRange");
  lblRange_->setWordWrap(true);
  col->addWidget(lblRange_);

  grdSummary_ = new QTableWidget(0, 4, this);
  grdSummary_->setObjectName("grdSummary");
  grdSummary_->setHorizontalHeaderLabels({"Коррекция", "Замеров", "Среднее, с", "Разброс, с"});
  grdSummary_->verticalHeader()->hide();
  grdSummary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdSummary_->setSelectionMode(QAbstractItemView::NoSelection);
  grdSummary_->setFocusPolicy(Qt::NoFocus);
  grdSummary_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Every column as wide as its longest text, and the panel as wide as the table.
  const QFontMetrics fm(grdSummary_->font());
  const QFontMetrics header(grdSummary_->horizontalHeader()->font());
  const char* const widest[] = {"-15.5", "999", "99.999", "99.999 - 99.999"};
  const int pad = 2 * fm.horizontalAdvance(QLatin1Char('x'));
  int width = 2 * grdSummary_->frameWidth();
  for (int c = 0; c < 4; ++c) {
    const int w = std::max(header.horizontalAdvance(grdSummary_->horizontalHeaderItem(c)->text()),
                           fm.horizontalAdvance(QString(widest[c]))) +
                  pad;
    grdSummary_->setColumnWidth(c, w);
    width += w;
  }
  grdSummary_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grdSummary_->setMinimumWidth(width);
  col->addWidget(grdSummary_, 1);

  lblVerdict_ = new QLabel(this);
  lblVerdict_->setObjectName("lblVerdict");
  lblVerdict_->setWordWrap(true);
  col->addWidget(lblVerdict_);
  ShowSummary({}, {}, 0);
}

void TSummaryPanel::ShowSummary(const CorrectionSummary& summary, const BandRange& range, int leftOut) {
  lblRange_->setText(Q(ComparedBandsText(range, leftOut)));
  grdSummary_->setRowCount(static_cast<int>(summary.groups.size()));
  // The fastest correction carries the table's highlight, bold once certain;
  // on a tie every correction sharing first place does.
  const Rgb mark = CellBackground(false, true);
  const int leading = summary.groups.size() > 1 ? summary.Leading() : 0;
  for (int r = 0; r < grdSummary_->rowCount(); ++r) {
    const CorrectionGroup& g = summary.groups[static_cast<std::size_t>(r)];
    const QString texts[4] = {Q(CorrectionText(g.corrUOZ)), QString::number(g.count), Q(MeanText(g)),
                              Q(SpreadText(g))};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(texts[c]);
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r < leading) {
        item->setBackground(QColor(mark.r, mark.g, mark.b));
        QFont f = grdSummary_->font();
        f.setBold(summary.verdict == SummaryVerdict::Certain);
        item->setFont(f);
      }
      grdSummary_->setItem(r, c, item);
    }
  }
  lblVerdict_->setText(Q(VerdictText(summary)));
}
