#include "app/accel/accel_view.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QSplitter>

#include "app/accel/run_curves.h"
#include "app/accel/runs_file.h"
#include "app/accel/summary_panel.h"
#include "app/accel/table_delegate.h"
#include "app/accel/table_grid.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

AccelView::AccelView(QWidget* parent, RunCurvesView& chart, UserDialogs& dialogs)
    : chart_(chart), dialogs_(dialogs) {
  page_ = new QSplitter(parent);
  page_->setObjectName("pgTable");
  grid_ = new TAccelTableGrid(page_);
  summary_ = new TSummaryPanel(page_);
  page_->setStretchFactor(0, 1);
  page_->setStretchFactor(1, 0);
  page_->setCollapsible(0, false);
  grid_->SetCellPainter(new TAccelTableDelegate(model_, grid_));
  grid_->installEventFilter(this);
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid_, &QWidget::customContextMenuRequested, this, [this] { ShowTableMenu(); });
  // Each run is in the runs file as soon as it has ended.
  accel_.OnRunEnd([this] { journal_.WritePending(model_); });
}

ChartUpdate AccelView::Step(const AccelSample& s, int rpmLimit, bool paused) {
  const AccelStepResult r = accel_.Step(s, rpmLimit, paused);
  TAccelTableGrid& g = *grid_;
  const int run = model_.RunCount();
  if (r.newColumn) {
    g.SetColCount(run + 1);
    for (int row = 0; row < AccelTableModel::kRows; ++row) g.SetCell(run, row, Q(model_.Cell(run, row)));
    g.setCurrentCell(std::max(g.currentRow(), 1), run);
  }
  if (r.writtenRow > 0) {
    g.SetCell(run, r.writtenRow, Q(model_.Cell(run, r.writtenRow)));
    // The old best's cell repaints without its highlight.
    if (r.unhighlightColumn > 0)
      g.viewport()->update(g.visualRect(g.model()->index(r.writtenRow, r.unhighlightColumn)));
    RefreshTotals();
  }
  return r.chart;
}

void AccelView::ResetBest() {
  accel_.ResetBest();
  grid_->viewport()->update();
}

bool AccelView::DeleteSelectedRun() {
  TAccelTableGrid& g = *grid_;
  const int k = g.currentColumn();
  const int row = g.currentRow();
  const int inFile = k >= 1 && k <= model_.RunCount() ? model_.Run(k).fileNumber : 0;
  if (!accel_.DeleteRun(k)) return false;
  if (inFile) journal_.MarkDeleted(inFile);
  SyncGrid();
  if (model_.RunCount() > 0) g.setCurrentCell(std::max(row, 1), std::min(k, model_.RunCount()));
  return true;
}

void AccelView::SyncGrid() {
  TAccelTableGrid& g = *grid_;
  g.SetColCount(model_.ColumnCount());
  for (int c = 1; c <= model_.RunCount(); ++c)
    for (int r = 0; r < AccelTableModel::kRows; ++r) g.SetCell(c, r, Q(model_.Cell(c, r)));
  RefreshTotals();
}

void AccelView::RefreshTotals() {
  TAccelTableGrid& g = *grid_;
  for (int c = 1; c <= model_.RunCount(); ++c)
    g.SetCell(c, AccelTableModel::kTotalRow, Q(model_.Cell(c, AccelTableModel::kTotalRow)));
  g.viewport()->update();
  summary_->ShowSummary(SummarizeByCorrection(model_.ComparedRuns()), model_.ComparedRange(),
                        model_.LeftOutOfComparison());
}

bool AccelView::OpenRuns(const std::string& path) {
  // What the table holds is in its own file before anything is read: the file
  // opened may be that very one. A run in progress ends here.
  accel_.Interrupt();
  journal_.WritePending(model_);
  OpenedRuns opened = ReadRunsFiles(path);
  if (!opened.error.empty()) {
    dialogs_.ShowError(opened.error);
    return false;
  }
  const bool goesOn = journal_.Continue(opened);
  model_.Load(opened.runs.runs, std::move(opened.samples.runs));
  // Not carried on: the next run starts a new file, and these runs go into it.
  if (!goesOn)
    for (int c = 1; c <= model_.RunCount(); ++c) model_.Run(c).fileNumber = 0;
  chart_.ClearRunCurves();
  SyncGrid();
  grid_->setCurrentCell(1, model_.RunCount());
  if (!opened.note.empty()) dialogs_.ShowMessage(opened.note);
  return true;
}

void AccelView::CopyTable() {
  // A spreadsheet reads numbers with the system's decimal point.
  const QString point = QLocale::system().decimalPoint();
  const char p = point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode()) : '.';
  QGuiApplication::clipboard()->setText(Q(AccelTableTsv(model_, p)));
}

void AccelView::ShowChosenRuns() {
  const RunCurves runs = CurvesOfRuns(model_, grid_->SelectedRuns());
  if (!runs.withoutSamples.empty()) {
    std::string list;
    for (int c : runs.withoutSamples) list += (list.empty() ? "" : ", ") + std::to_string(c);
    dialogs_.ShowMessage("У замеров " + list + " нет записанных точек: их кривые не показать.");
  }
  if (runs.curves.empty()) return;
  chart_.ShowRunCurves(runs);
}

void AccelView::ShowTableMenu() {
  QMenu menu(grid_);
  QAction* copy = menu.addAction("Копировать", [this] { CopyTable(); });
  copy->setShortcut(QKeySequence::Copy);
  QAction* show = menu.addAction("Показать на графике", [this] { ShowChosenRuns(); });
  show->setEnabled(model_.RunCount() > 0);
  QAction* clear = menu.addAction("Убрать замеры с графика", [this] { chart_.ClearRunCurves(); });
  clear->setEnabled(chart_.RunCurvesShown());
  // At the mouse: the click may come from the band column's own view.
  menu.exec(QCursor::pos());
}

bool AccelView::eventFilter(QObject* watched, QEvent* event) {
  if (watched != grid_ || event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() == Qt::Key_Delete && model_.RunCount() > 0) {
    DeleteSelectedRun();
    return true;
  }
  if (key->matches(QKeySequence::Copy)) {
    CopyTable();
    return true;
  }
  return false;
}
