#include "app/display.h"

#include <qcustomplot.h>

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QWindow>

#include "app/accel/run_curves.h"
#include "app/accel/runs_file.h"
#include "app/accel/summary_panel.h"
#include "app/accel/table_delegate.h"
#include "app/live/chart_logic.h"
#include "app/live/display_texts.h"
#include "app/mainwindow.h"
#include "common/config.h"
#include "common/timing.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "lambda/lc1_reader.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TDisplay::TDisplay(TfrmMain& w) : QObject(&w), w_(w), rate_([] { return PerfCounter(); }, PerfFrequency()) {
  replot_.setSingleShot(true);
  replot_.setInterval(kReplotMs);
  connect(&replot_, &QTimer::timeout, this, [this] { ReplotIfShown(); });
  w_.ChartPage->Chart1->installEventFilter(this);
  w_.grdSpinup->SetCellPainter(new TAccelTableDelegate(table_, w_.grdSpinup));
  w_.grdSpinup->installEventFilter(this);
  w_.grdSpinup->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(w_.grdSpinup, &QWidget::customContextMenuRequested, this, [this] { ShowTableMenu(); });
  // Each run is in the runs file as soon as it has ended.
  accel_.OnRunEnd([this] { journal_.WritePending(table_); });
  // Key preview: the window's platform window sees every key press once,
  // before the focused control does.
  w_.installEventFilter(this);
  WatchWindowKeys();
}

void TDisplay::WatchWindowKeys() {
  if (QWindow* h = w_.windowHandle()) h->installEventFilter(this);
}

void TDisplay::UpdateDisplay(DisplayCause cause) {
  const DisplayPlan p = PlanDisplay(cause, w_.Session().LinkState() == 1, w_.Session().UnidirMode(),
                                    w_.ChartMode, w_.Lc1().Active());
  if (p.topStrip) {
    w_.lblRPM->setText(Q(RpmText(w_.Session().Data())));
    w_.lblCorrUOZ->setText(Q(CorrUozText(w_.Session().Data())));
  }
  if (p.acceleration) StepAcceleration();
  if (p.additionalFuel) StepFuel();
  if (p.diagnostics) ShowDiagnostics();
  if (p.lambdaPanel) w_.StatusBar1->SetText(kPanelLambdaAfr, Q(LambdaPanelText(w_.Session().Data().AFR_LC1)));
}

void TDisplay::ShowDiagnostics() {
  TDiagPage& d = *w_.DiagPage;
  QLabel* const boxes[kDiagBoxCount] = {d.lblRPM2, d.lblTHR, d.lblAFR, d.lblTWAT, d.lblTAIR,  d.lblUOZ,
                                        d.lblAIR,  d.lblGBC, d.lblINJ, d.lblSSM,  d.lblPress, d.lblErrCnt};
  QCheckBox* const flags[kDiagFlagCount] = {d.cbfSTOP, d.cbfXX,     d.cbfFUELOFF, d.cbfDETZONE,
                                            d.cbfDET,  d.cbfLAMREG, d.cbfLEARN};
  const auto texts = DiagnosticsTexts(w_.Session().Data());
  for (int i = 0; i < kDiagBoxCount; ++i) boxes[i]->setText(Q(texts[i]));
  const auto on = DiagnosticsFlags(w_.Session().Data());
  for (int i = 0; i < kDiagFlagCount; ++i) flags[i]->setChecked(on[i]);
}

void TDisplay::StepAcceleration() {
  const AccelSample s{w_.Session().Data().RPM, w_.Session().Data().SpinAccel, w_.Session().Data().SpinDt,
                      w_.Session().Data().CorrUOZ.load(), w_.edAvgAngle->value()};
  const AccelStepResult r = accel_.Step(s, w_.edRPMLimit->value(), w_.Paused);
  ApplyChart(r.chart);
  TAccelTableGrid& g = *w_.grdSpinup;
  const int run = table_.RunCount();
  if (r.newColumn) {
    g.SetColCount(run + 1);
    for (int row = 0; row < AccelTableModel::kRows; ++row) g.SetCell(run, row, Q(table_.Cell(run, row)));
    g.setCurrentCell(std::max(g.currentRow(), 1), run);
  }
  if (r.writtenRow > 0) {
    g.SetCell(run, r.writtenRow, Q(table_.Cell(run, r.writtenRow)));
    // The old best's cell repaints without its highlight.
    if (r.unhighlightColumn > 0)
      g.viewport()->update(g.visualRect(g.model()->index(r.writtenRow, r.unhighlightColumn)));
    RefreshTotals();
  }
}

void TDisplay::StepFuel() {
  const FuelSample s{static_cast<double>(w_.Session().Data().RPM), w_.Session().Data().AFR,
                     w_.Session().Data().AFR_LC1, w_.Session().Data().DGTC_RICH, w_.Session().Data().SpinDt};
  const QCPRange x = w_.ChartPage->Chart1->xAxis->range();
  const ChartUpdate u =
      fuel_.Step(s, w_.Paused, AxisRange{x.lower, x.upper, w_.ChartPage->BottomIncrement()});
  ApplyChart(u);
}

void TDisplay::ApplyChart(const ChartUpdate& u) {
  if (u.Empty()) return;
  TChartPage& c = *w_.ChartPage;
  QCPGraph* const series[] = {nullptr, c.Series1, c.Series2, c.Series3, c.Series4, c.Series5};
  if (u.clearAll)
    for (int i = kSeries1; i <= kSeries5; ++i) series[i]->data()->clear();
  if (u.currentToPrevious) {
    // The containers change hands: no copy, however long the run was.
    c.Series3->setData(c.Series1->data());
    c.Series4->setData(c.Series2->data());
    c.Series1->setData(QSharedPointer<QCPGraphDataContainer>::create());
    c.Series2->setData(QSharedPointer<QCPGraphDataContainer>::create());
  }
  if (u.setBottom) c.Chart1->xAxis->setRange(u.bottom.min, u.bottom.max);
  // x grows within a series, so each point is appended at the end.
  for (std::size_t i = 0; i < u.pointCount; ++i)
    series[u.points[i].series]->addData(u.points[i].x, u.points[i].y);
  ScheduleReplot();
}

void TDisplay::ScheduleReplot() {
  if (!replot_.isActive()) replot_.start();
}

void TDisplay::ReplotNow() {
  replot_.stop();
  hiddenChanges_ = false;
  w_.ChartPage->Chart1->replot();
}

void TDisplay::ReplotIfShown() {
  // A chart on a page not shown is drawn when its page comes up.
  if (w_.ChartPage->Chart1->isVisible())
    ReplotNow();
  else
    hiddenChanges_ = true;
}

void TDisplay::CountReply() {
  if (w_.Session().LinkState() == 0) return;
  if (auto text = rate_.Count()) w_.StatusBar1->SetText(kPanelReplyRate, Q(*text));
}

void TDisplay::ResetReplyCount() {
  rate_.Reset();
  // Entering unidirectional mode restarts the time; at session start no run
  // or recording can be in progress, so this costs nothing there.
  accel_.EndRun();
  fuel_.Reset();
}

void TDisplay::ScreenTick() {
  const ScreenTickPlan p =
      PlanScreenTick(w_.Lc1().Active(), w_.Session().LinkState() == 1, TCfg.ScreenInterval);
  if (p.copyLambda) w_.Session().CopyLc1Reading();
  if (p.display) UpdateDisplay(DisplayCause::ScreenTick);
}

void TDisplay::ResetFilter(int filterLength) { accel_.ResetFilter(filterLength); }

void TDisplay::ResetBest() {
  accel_.ResetBest();
  fuel_.Reset();
  w_.grdSpinup->viewport()->update();
}

void TDisplay::TogglePause() {
  w_.Paused = !w_.Paused;
  w_.lblPause->setVisible(w_.Paused);
}

bool TDisplay::DeleteSelectedRun() {
  TAccelTableGrid& g = *w_.grdSpinup;
  const int k = g.currentColumn();
  const int row = g.currentRow();
  const int inFile = k >= 1 && k <= table_.RunCount() ? table_.Run(k).fileNumber : 0;
  if (!accel_.DeleteRun(k)) return false;
  if (inFile) journal_.MarkDeleted(inFile);
  SyncGrid();
  if (table_.RunCount() > 0) g.setCurrentCell(std::max(row, 1), std::min(k, table_.RunCount()));
  return true;
}

void TDisplay::SyncGrid() {
  TAccelTableGrid& g = *w_.grdSpinup;
  g.SetColCount(table_.ColumnCount());
  for (int c = 1; c <= table_.RunCount(); ++c)
    for (int r = 0; r < AccelTableModel::kRows; ++r) g.SetCell(c, r, Q(table_.Cell(c, r)));
  RefreshTotals();
}

void TDisplay::RefreshTotals() {
  TAccelTableGrid& g = *w_.grdSpinup;
  for (int c = 1; c <= table_.RunCount(); ++c)
    g.SetCell(c, AccelTableModel::kTotalRow, Q(table_.Cell(c, AccelTableModel::kTotalRow)));
  g.viewport()->update();
  w_.pnlSummary->ShowSummary(SummarizeByCorrection(table_.ComparedRuns()), table_.ComparedRange(),
                             table_.LeftOutOfComparison());
}

void TDisplay::EndRun() { accel_.EndRun(); }

bool TDisplay::OpenRuns(const std::string& path) {
  // What the table holds is in its own file before anything is read: the file
  // opened may be that very one. A run in progress ends here.
  accel_.Interrupt();
  journal_.WritePending(table_);
  OpenedRuns opened = ReadRunsFiles(path);
  if (!opened.error.empty()) {
    Ui().ShowError(opened.error);
    return false;
  }
  const bool goesOn = journal_.Continue(opened);
  table_.Load(opened.runs.runs, std::move(opened.samples.runs));
  // Not carried on: the next run starts a new file, and these runs go into it.
  if (!goesOn)
    for (int c = 1; c <= table_.RunCount(); ++c) table_.Run(c).fileNumber = 0;
  w_.ChartPage->ClearRunCurves();
  SyncGrid();
  w_.grdSpinup->setCurrentCell(1, table_.RunCount());
  if (!opened.note.empty()) Ui().ShowMessage(opened.note);
  return true;
}

void TDisplay::CopyTable() {
  // A spreadsheet reads numbers with the system's decimal point.
  const QString point = QLocale::system().decimalPoint();
  const char p = point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode()) : '.';
  QGuiApplication::clipboard()->setText(Q(AccelTableTsv(table_, p)));
}

void TDisplay::ShowChosenRuns() {
  const RunCurves runs = CurvesOfRuns(table_, w_.grdSpinup->SelectedRuns());
  if (!runs.withoutSamples.empty()) {
    std::string list;
    for (int c : runs.withoutSamples) list += (list.empty() ? "" : ", ") + std::to_string(c);
    Ui().ShowMessage("У замеров " + list + " нет записанных точек: их кривые не показать.");
  }
  if (runs.curves.empty()) return;
  w_.ChartPage->ShowRunCurves(runs);
  w_.PageControl1->setCurrentWidget(w_.ChartPage);
}

void TDisplay::ShowTableMenu() {
  TAccelTableGrid& g = *w_.grdSpinup;
  QMenu menu(&g);
  QAction* copy = menu.addAction("Копировать", [this] { CopyTable(); });
  copy->setShortcut(QKeySequence::Copy);
  QAction* show = menu.addAction("Показать на графике", [this] { ShowChosenRuns(); });
  show->setEnabled(table_.RunCount() > 0);
  QAction* clear = menu.addAction("Убрать замеры с графика", [this] { w_.ChartPage->ClearRunCurves(); });
  clear->setEnabled(!w_.ChartPage->RunGraphs().empty());
  // At the mouse: the click may come from the band column's own view.
  menu.exec(QCursor::pos());
}

bool TDisplay::eventFilter(QObject* watched, QEvent* event) {
  if (watched == w_.ChartPage->Chart1) {
    if (event->type() == QEvent::Show && hiddenChanges_) ReplotNow();
    return false;
  }
  if (watched == &w_) {
    // The platform window exists only once the window is shown.
    if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) WatchWindowKeys();
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (watched == w_.grdSpinup) {
    if (key->key() == Qt::Key_Delete && table_.RunCount() > 0) {
      DeleteSelectedRun();
      return true;
    }
    if (key->matches(QKeySequence::Copy)) {
      CopyTable();
      return true;
    }
    return false;
  }
  if (watched == w_.windowHandle() && key->text() == QStringLiteral(" ") && w_.Session().LinkState() == 1 &&
      w_.Session().UnidirMode())
    TogglePause();
  return false;  // the key goes on to the focused control
}
