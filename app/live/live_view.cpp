#include "app/live/live_view.h"

#include <qcustomplot.h>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTabWidget>
#include <QWindow>

#include "app/live/chart.h"
#include "app/live/chart_logic.h"
#include "app/live/diagpage.h"
#include "app/live/display_texts.h"
#include "app/live/statusbar.h"
#include "app/widgets/font_fit.h"
#include "app/widgets/images.h"
#include "common/timing.h"
#include "common/ui.h"
#include "ecu/ecu_data.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

LiveView::LiveView(QWidget& window, QTabWidget& pages, std::function<LiveStatus()> status)
    : window_(window),
      pages_(pages),
      status_(std::move(status)),
      rate_([] { return PerfCounter(); }, PerfFrequency()) {
  CreateTopStrip(window);
  chart_ = new TChartPage(&pages);
  diag_ = new TDiagPage(&pages);
  CreateStatusBar(window);
  replot_.setSingleShot(true);
  replot_.setInterval(kReplotMs);
  connect(&replot_, &QTimer::timeout, this, [this] { ReplotIfShown(); });
  chart_->Plot()->installEventFilter(this);
  // Key preview: the window's platform window sees every key press once,
  // before the focused control does.
  window_.installEventFilter(this);
  WatchWindowKeys();
}

void LiveView::CreateTopStrip(QWidget& window) {
  topStrip_ = new QWidget(&window);
  auto* row = new QHBoxLayout(topStrip_);
  row->setContentsMargins(0, 0, 0, 0);
  QFont big = topStrip_->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  const QFontMetrics bigMetrics(big);
  const int pad = 2 + bigMetrics.horizontalAdvance(QLatin1Char('x'));
  const double scale = FitScale(bigMetrics, {{"10200", 90, pad}, {"-15.5", 70, pad}});
  auto box = [&](const char* name, int width) {
    auto* l = new QLabel(topStrip_);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(big);
    l->setFixedWidth(Scaled(width, scale));
    return l;
  };
  row->addWidget(new QLabel("RPM", topStrip_));
  rpm_ = box("lblRPM", 90);
  row->addWidget(rpm_);
  corr_ = box("lblCorrUOZ", 70);
  row->addWidget(corr_);
  row->addStretch(1);
  pause_ = new QLabel("Пауза", topStrip_);
  pause_->setObjectName("lblPause");
  pause_->setFont(big);
  pause_->setAlignment(Qt::AlignCenter);
  pause_->setAutoFillBackground(true);
  pause_->setStyleSheet("QLabel { color: white; background-color: red; font-weight: bold; padding: 0 8px; }");
  pause_->setVisible(false);
  row->addWidget(pause_);
}

void LiveView::CreateStatusBar(QWidget& window) {
  statusBar_ = new TStatusBar(&window);
  statusBar_->SetDrawPanel([this](QPainter& painter, const QRect& rect) {
    painter.drawPixmap(rect.left() + 7, rect.top(), ImageList1::Pixmap(3 + (status_().unidirMode ? 1 : 0)));
  });
}

void LiveView::WatchWindowKeys() {
  if (QWindow* h = window_.windowHandle()) h->installEventFilter(this);
}

void LiveView::Show(const EcuDataRecord& d, DisplayCause cause) {
  const LiveStatus s = status_();
  const DisplayPlan p = PlanDisplay(cause, s.linkState == 1, s.unidirMode, chartMode_, s.lambdaActive);
  if (p.topStrip) {
    rpm_->setText(Q(RpmText(d)));
    corr_->setText(Q(CorrUozText(d)));
  }
  if (p.acceleration && accelStep_) ApplyChart(accelStep_(d, paused_));
  if (p.additionalFuel) StepFuel(d);
  if (p.diagnostics) diag_->Show(DiagnosticsTexts(d), DiagnosticsFlags(d));
  if (p.lambdaPanel) statusBar_->SetText(kPanelLambdaAfr, Q(LambdaPanelText(d.AFR_LC1)));
}

void LiveView::StepFuel(const EcuDataRecord& d) {
  const FuelSample s{static_cast<double>(d.RPM), d.AFR, d.AFR_LC1, d.DGTC_RICH, d.SpinDt};
  const QCPRange x = chart_->Plot()->xAxis->range();
  ApplyChart(fuel_.Step(s, paused_, AxisRange{x.lower, x.upper, chart_->BottomIncrement()}));
}

void LiveView::ApplyChart(const ChartUpdate& u) {
  if (u.Empty()) return;
  TChartPage& c = *chart_;
  if (u.clearAll)
    for (int i = kSeries1; i <= kSeries5; ++i) c.Series(i)->data()->clear();
  if (u.currentToPrevious) {
    // The containers change hands: no copy, however long the run was.
    c.Series(kSeries3)->setData(c.Series(kSeries1)->data());
    c.Series(kSeries4)->setData(c.Series(kSeries2)->data());
    c.Series(kSeries1)->setData(QSharedPointer<QCPGraphDataContainer>::create());
    c.Series(kSeries2)->setData(QSharedPointer<QCPGraphDataContainer>::create());
  }
  if (u.setBottom) c.Plot()->xAxis->setRange(u.bottom.min, u.bottom.max);
  // x grows within a series, so each point is appended at the end.
  for (std::size_t i = 0; i < u.pointCount; ++i)
    c.Series(u.points[i].series)->addData(u.points[i].x, u.points[i].y);
  ScheduleReplot();
}

void LiveView::SetChartMode(int mode) {
  chartMode_ = mode;
  chart_->SetupChart(mode);
}

void LiveView::ScheduleReplot() {
  if (!replot_.isActive()) replot_.start();
}

void LiveView::ReplotNow() {
  replot_.stop();
  hiddenChanges_ = false;
  chart_->Plot()->replot();
}

void LiveView::ReplotIfShown() {
  // A chart on a page not shown is drawn when its page comes up.
  if (chart_->Plot()->isVisible())
    ReplotNow();
  else
    hiddenChanges_ = true;
}

void LiveView::CountReply() {
  if (status_().linkState == 0) return;
  if (auto text = rate_.Count()) statusBar_->SetText(kPanelReplyRate, Q(*text));
}

void LiveView::ResetReplyCount() {
  rate_.Reset();
  fuel_.Reset();
}

void LiveView::TogglePause() {
  paused_ = !paused_;
  ShowPause();
}

void LiveView::ShowPause() { pause_->setVisible(paused_); }

void LiveView::SetLinkText(const QString& text) { statusBar_->SetText(kPanelLink, text); }

void LiveView::SetLambdaText(const QString& text) { statusBar_->SetText(kPanelLambda, text); }

void LiveView::ShowResponseTime(int ms) {
  statusBar_->SetText(kPanelResponseTime, QString::number(ms) + " мс");
}

void LiveView::SetPanelText(int panel, const QString& text) { statusBar_->SetText(panel, text); }

QString LiveView::PanelText(int panel) const { return statusBar_->Text(panel); }

void LiveView::ShowRunCurves(const RunCurves& runs) {
  chart_->ShowRunCurves(runs);
  pages_.setCurrentWidget(chart_);
}

void LiveView::ClearRunCurves() { chart_->ClearRunCurves(); }

bool LiveView::RunCurvesShown() const { return !chart_->RunGraphs().empty(); }

bool LiveView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == chart_->Plot()) {
    if (event->type() == QEvent::Show && hiddenChanges_) ReplotNow();
    return false;
  }
  if (watched == &window_) {
    // The platform window exists only once the window is shown.
    if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) WatchWindowKeys();
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  const LiveStatus s = status_();
  if (watched == window_.windowHandle() && key->text() == QStringLiteral(" ") && s.linkState == 1 &&
      s.unidirMode)
    TogglePause();
  return false;  // the key goes on to the focused control
}
