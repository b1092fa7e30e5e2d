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
  Chart1 = new QCustomPlot(this);
  Chart1->setObjectName("Chart1");
  layout->addWidget(Chart1);

  Chart1->setBackground(Qt::white);
  Chart1->legend->setVisible(false);
  // No zooming with the mouse; horizontal panning only.
  Chart1->setInteractions(QCP::iRangeDrag);
  Chart1->axisRect()->setRangeDrag(Qt::Horizontal);
  Chart1->axisRect()->setRangeDragAxes(Chart1->xAxis, nullptr);
  Chart1->axisRect()->setRangeZoom(Qt::Orientations());

  const AxisRange bottom = InitialBottomAxis();
  Chart1->xAxis->setRange(bottom.min, bottom.max);
  const ChartAxes axes = ChartAxesFor(kChartAcceleration);
  SetAxis(Chart1->yAxis, axes.left);
  Chart1->yAxis2->setVisible(true);
  CustomAxis = Chart1->axisRect()->addAxis(QCPAxis::atRight);
  SetAxis(CustomAxis, axes.custom);
  CustomAxis->setOffset(0);

  Series1 = AddSeries(Chart1, Chart1->yAxis, QColor(0, 0, 255));
  Series2 = AddSeries(Chart1, Chart1->yAxis2, QColor(255, 0, 0));
  Series3 = AddSeries(Chart1, Chart1->yAxis, QColor(64, 128, 128));
  Series4 = AddSeries(Chart1, Chart1->yAxis2, QColor(255, 0, 255));
  Series5 = AddSeries(Chart1, CustomAxis, QColor(0, 128, 0));

  connect(Chart1->xAxis, qOverload<const QCPRange&, const QCPRange&>(&QCPAxis::rangeChanged), this,
          [this](const QCPRange& n, const QCPRange& o) { BottomRangeChanged(n, o); });

  Panel3 = new QWidget(Chart1);
  Panel3->setObjectName("Panel3");
  auto* zoom = new QVBoxLayout(Panel3);
  zoom->setContentsMargins(2, 2, 2, 2);
  zoom->setSpacing(2);
  btnZoomIn = new QPushButton("+", Panel3);
  btnZoomOut = new QPushButton("-", Panel3);
  const int buttonSize = std::max(22, fontMetrics().height() + 6);
  for (QPushButton* b : {btnZoomIn, btnZoomOut}) {
    b->setFixedSize(buttonSize, buttonSize);
    b->setFocusPolicy(Qt::NoFocus);
    zoom->addWidget(b);
  }
  btnZoomIn->setToolTip("Увеличить");
  btnZoomOut->setToolTip("Уменьшить");
  Panel3->adjustSize();
  connect(btnZoomIn, &QPushButton::clicked, this, [this] { btnZoomInClick(); });
  connect(btnZoomOut, &QPushButton::clicked, this, [this] { btnZoomOutClick(); });
  Chart1->installEventFilter(this);
  // The buttons sit in the lower left corner: the left axis keeps its labels
  // clear of them.
  Chart1->yAxis->setPadding(Panel3->width() + Chart1->yAxis->padding());
  // Every label of the left axis (0 to 10200 in steps of 500) needs its own
  // line, or the labels are drawn over each other.
  const QFontMetrics labels(Chart1->yAxis->tickLabelFont());
  const int leftLabels = static_cast<int>(axes.left.max / axes.left.increment) + 1;
  Chart1->setMinimumHeight(std::max((leftLabels + 3) * labels.height(), Panel3->height() * 2));
  PlaceZoomPanel();
}

void TChartPage::SetupChart(int chartMode) {
  const ChartAxes axes = ChartAxesFor(chartMode);
  // No right margin: the custom axis lies outside the chart.
  CustomAxis->setVisible(axes.rightMarginPercent > 0);
  SetAxis(Chart1->yAxis2, axes.right, axes.rightMinorTicks > 0 ? axes.rightMinorTicks : -1);
  for (QCPGraph* s : {Series1, Series2, Series3, Series4, Series5}) s->data()->clear();
  ClearRunCurves();
  Chart1->replot();
}

void TChartPage::ShowRunCurves(const RunCurves& runs) {
  ClearRunCurves();
  // Only the chosen runs are named in the legend.
  for (QCPGraph* s : {Series1, Series2, Series3, Series4, Series5}) s->removeFromLegend();
  double longest = 0;
  for (const RunCurve& c : runs.curves) {
    QCPGraph* g = AddSeries(Chart1, Chart1->yAxis, QColor(c.colour.r, c.colour.g, c.colour.b));
    g->setPen(QPen(g->pen().color(), 2));
    g->setName(QString::fromStdString(c.label));
    g->addToLegend();
    g->setData(QVector<double>(c.x.begin(), c.x.end()), QVector<double>(c.y.begin(), c.y.end()), true);
    if (!c.x.empty()) longest = std::max(longest, c.x.back());
    runGraphs_.push_back(g);
  }
  Chart1->legend->setVisible(!runGraphs_.empty());
  if (!runGraphs_.empty()) SetBottomAxis({0, std::max(1.0, std::ceil(longest)), 0});
  Chart1->replot();
}

void TChartPage::ClearRunCurves() {
  for (QCPGraph* g : runGraphs_) Chart1->removeGraph(g);
  runGraphs_.clear();
  Chart1->legend->setVisible(false);
  Chart1->replot();
}

void TChartPage::SetBottomIncrement(double step) {
  bottomIncrement_ = step;
  if (step > 0)
    Chart1->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new TFixedTicker(step, -1)));
  else
    Chart1->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
}

void TChartPage::btnZoomInClick() { SetBottomAxis(ZoomIn(BottomAxis())); }

void TChartPage::btnZoomOutClick() { SetBottomAxis(ZoomOut(BottomAxis())); }

AxisRange TChartPage::BottomAxis() const {
  const QCPRange r = Chart1->xAxis->range();
  return {r.lower, r.upper, bottomIncrement_};
}

void TChartPage::SetBottomAxis(const AxisRange& r) {
  Chart1->xAxis->setRange(r.min, r.max);
  SetBottomIncrement(r.increment);
  Chart1->replot();
}

void TChartPage::BottomRangeChanged(const QCPRange& newRange, const QCPRange& oldRange) {
  if (!PanAllowed(true, newRange.lower) && PanAllowed(true, oldRange.lower))
    Chart1->xAxis->setRange(oldRange);
}

bool TChartPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Chart1 && event->type() == QEvent::Resize) PlaceZoomPanel();
  return QWidget::eventFilter(watched, event);
}

void TChartPage::PlaceZoomPanel() { Panel3->move(0, Chart1->height() - Panel3->height()); }
