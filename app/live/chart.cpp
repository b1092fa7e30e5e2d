#include "app/live/chart.h"

#include <qcustomplot.h>

#include <QEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/live/chart_logic.h"
#include "app/widgets/chart_update.h"

namespace {

// A fixed tick step with a given number of minor ticks between labels.
class TFixedTicker : public QCPAxisTickerFixed {
 public:
  TFixedTicker(double step, int subTicks) : subTicks_(subTicks) {
    setTickStep(step);
    setScaleStrategy(ssNone);
  }

 protected:
  int getSubTickCount(double tickStep) override {
    return subTicks_ >= 0 ? subTicks_ : QCPAxisTickerFixed::getSubTickCount(tickStep);
  }

 private:
  int subTicks_;
};

void SetAxis(QCPAxis* axis, const AxisRange& r, int subTicks = -1) {
  const double min = r.min, max = r.max, step = r.increment;
  axis->setRange(min, max);
  axis->setTicker(QSharedPointer<QCPAxisTicker>(new TFixedTicker(step, subTicks)));
}

QCPGraph* AddSeries(QCustomPlot* chart, QCPAxis* valueAxis, const QColor& color) {
  QCPGraph* g = chart->addGraph(chart->xAxis, valueAxis);
  g->setPen(QPen(color, 1));
  g->setLineStyle(QCPGraph::lsLine);
  g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
  g->setAdaptiveSampling(true);
  return g;
}

}  // namespace

TChartPage::TChartPage(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  plot_ = new QCustomPlot(this);
  plot_->setObjectName("Chart1");
  layout->addWidget(plot_);

  plot_->setBackground(Qt::white);
  plot_->legend->setVisible(false);
  // No zooming with the mouse; horizontal panning only.
  plot_->setInteractions(QCP::iRangeDrag);
  plot_->axisRect()->setRangeDrag(Qt::Horizontal);
  plot_->axisRect()->setRangeDragAxes(plot_->xAxis, nullptr);
  plot_->axisRect()->setRangeZoom(Qt::Orientations());

  const AxisRange bottom = InitialBottomAxis();
  plot_->xAxis->setRange(bottom.min, bottom.max);
  const ChartAxes axes = ChartAxesFor(kChartAcceleration);
  SetAxis(plot_->yAxis, axes.left);
  plot_->yAxis2->setVisible(true);
  customAxis_ = plot_->axisRect()->addAxis(QCPAxis::atRight);
  SetAxis(customAxis_, axes.custom);
  customAxis_->setOffset(0);

  series_[kSeries1] = AddSeries(plot_, plot_->yAxis, QColor(0, 0, 255));
  series_[kSeries2] = AddSeries(plot_, plot_->yAxis2, QColor(255, 0, 0));
  series_[kSeries3] = AddSeries(plot_, plot_->yAxis, QColor(64, 128, 128));
  series_[kSeries4] = AddSeries(plot_, plot_->yAxis2, QColor(255, 0, 255));
  series_[kSeries5] = AddSeries(plot_, customAxis_, QColor(0, 128, 0));

  connect(plot_->xAxis, qOverload<const QCPRange&, const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange& n, const QCPRange& o) { BottomRangeChanged(n, o); });

  zoomPanel_ = new QWidget(plot_);
  zoomPanel_->setObjectName("Panel3");
  auto* zoom = new QVBoxLayout(zoomPanel_);
  zoom->setContentsMargins(2, 2, 2, 2);
  zoom->setSpacing(2);
  zoomInButton_ = new QPushButton("+", zoomPanel_);
  zoomOutButton_ = new QPushButton("-", zoomPanel_);
  const int buttonSize = std::max(22, fontMetrics().height() + 6);
  for (QPushButton* b : {zoomInButton_, zoomOutButton_}) {
    b->setFixedSize(buttonSize, buttonSize);
    b->setFocusPolicy(Qt::NoFocus);
    zoom->addWidget(b);
  }
  zoomInButton_->setToolTip("Увеличить");
  zoomOutButton_->setToolTip("Уменьшить");
  zoomPanel_->adjustSize();
  connect(zoomInButton_, &QPushButton::clicked, this, [this] { OnZoomIn(); });
  connect(zoomOutButton_, &QPushButton::clicked, this, [this] { OnZoomOut(); });
  plot_->installEventFilter(this);
  // The buttons sit in the lower left corner: the left axis keeps its labels
  // clear of them.
  plot_->yAxis->setPadding(zoomPanel_->width() + plot_->yAxis->padding());
  // Every label of the left axis (0 to 10200 in steps of 500) needs its own
  // line, or the labels are drawn over each other.
  const QFontMetrics labels(plot_->yAxis->tickLabelFont());
  const int leftLabels = static_cast<int>(axes.left.max / axes.left.increment) + 1;
  plot_->setMinimumHeight(std::max((leftLabels + 3) * labels.height(), zoomPanel_->height() * 2));
  PlaceZoomPanel();
}

void TChartPage::SetupChart(int chartMode) {
  const ChartAxes axes = ChartAxesFor(chartMode);
  // No right margin: the custom axis lies outside the chart.
  customAxis_->setVisible(axes.rightMarginPercent > 0);
  SetAxis(plot_->yAxis2, axes.right, axes.rightMinorTicks > 0 ? axes.rightMinorTicks : -1);
  for (int i = kSeries1; i <= kSeries5; ++i) series_[i]->data()->clear();
  ClearRunCurves();
  plot_->replot();
}

void TChartPage::ShowRunCurves(const RunCurves& runs) {
  ClearRunCurves();
  // Only the chosen runs are named in the legend.
  for (int i = kSeries1; i <= kSeries5; ++i) series_[i]->removeFromLegend();
  double longest = 0;
  for (const RunCurve& c : runs.curves) {
    QCPGraph* g = AddSeries(plot_, plot_->yAxis, QColor(c.colour.r, c.colour.g, c.colour.b));
    g->setPen(QPen(g->pen().color(), 2));
    g->setName(QString::fromStdString(c.label));
    g->addToLegend();
    g->setData(QVector<double>(c.x.begin(), c.x.end()), QVector<double>(c.y.begin(), c.y.end()), true);
    if (!c.x.empty()) longest = std::max(longest, c.x.back());
    runGraphs_.push_back(g);
  }
  plot_->legend->setVisible(!runGraphs_.empty());
  if (!runGraphs_.empty()) SetBottomAxis({0, std::max(1.0, std::ceil(longest)), 0});
  plot_->replot();
}

void TChartPage::ClearRunCurves() {
  for (QCPGraph* g : runGraphs_) plot_->removeGraph(g);
  runGraphs_.clear();
  plot_->legend->setVisible(false);
  plot_->replot();
}

void TChartPage::SetBottomIncrement(double step) {
  bottomIncrement_ = step;
  if (step > 0)
    plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TFixedTicker(step, -1)));
  else
    plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
}

void TChartPage::OnZoomIn() { SetBottomAxis(ZoomIn(BottomAxis())); }

void TChartPage::OnZoomOut() { SetBottomAxis(ZoomOut(BottomAxis())); }

AxisRange TChartPage::BottomAxis() const {
  const QCPRange r = plot_->xAxis->range();
  return {r.lower, r.upper, bottomIncrement_};
}

void TChartPage::SetBottomAxis(const AxisRange& r) {
  plot_->xAxis->setRange(r.min, r.max);
  SetBottomIncrement(r.increment);
  plot_->replot();
}

void TChartPage::BottomRangeChanged(const QCPRange& newRange, const QCPRange& oldRange) {
  if (!PanAllowed(true, newRange.lower) && PanAllowed(true, oldRange.lower)) plot_->xAxis->setRange(oldRange);
}

bool TChartPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == plot_ && event->type() == QEvent::Resize) PlaceZoomPanel();
  return QWidget::eventFilter(watched, event);
}

void TChartPage::PlaceZoomPanel() { zoomPanel_->move(0, plot_->height() - zoomPanel_->height()); }
