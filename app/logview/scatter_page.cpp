#include "app/logview/scatter_page.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <cmath>

namespace {

// Colour bands: the points of each drawn as one graph.
constexpr int kBands = 24;

}  // namespace

TLogScatterPage::TLogScatterPage(TLogAnalysis& data, QWidget* parent) : TLogAnalysisPage(data, parent) {
  auto* layout = new QGridLayout(this);
  cbX_ = new QComboBox(this);
  cbY_ = new QComboBox(this);
  cbColour_ = new QComboBox(this);
  int c = 0;
  for (auto [text, box] : std::initializer_list<std::pair<const char*, QComboBox*>>{
           {"X:", cbX_}, {"Y:", cbY_}, {"Цвет:", cbColour_}}) {
    box->setMinimumContentsLength(10);
    layout->addWidget(new QLabel(QString::fromUtf8(text), this), 0, c++);
    layout->addWidget(box, 0, c++);
    connect(box, &QComboBox::currentIndexChanged, this, [this] { ChoiceChanged(); });
  }
  layout->setColumnStretch(c, 1);
  lblCaption_ = new QLabel(this);
  lblPoint_ = new QLabel(this);
  lblPoint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  plot = new QCustomPlot(this);
  plot->setObjectName("ScatterPlot");
  plot->setMinimumSize(200, 150);  // never drawn at zero size while its tab is hidden
  plot->setBackground(Qt::white);
  plot->setNoAntialiasingOnDrag(true);
  plot->setNotAntialiasedElements(QCP::aeAll);
  plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot->setMouseTracking(true);
  scale_ = new QCPColorScale(plot);
  scale_->setType(QCPAxis::atRight);
  scale_->setGradient(QCPColorGradient(QCPColorGradient::gpJet));
  plot->plotLayout()->addElement(0, 1, scale_);
  auto* group = new QCPMarginGroup(plot);
  plot->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, group);
  scale_->setMarginGroup(QCP::msBottom | QCP::msTop, group);
  for (int i = 0; i <= kBands; ++i) {
    QCPGraph* g = plot->addGraph();
    g->setLineStyle(QCPGraph::lsNone);
    g->setAdaptiveSampling(true);
    bands_.push_back(g);
  }
  marker_ = plot->addGraph();
  marker_->setLineStyle(QCPGraph::lsNone);
  marker_->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(Qt::black, 2), Qt::NoBrush, 11));
  layout->addWidget(lblCaption_, 1, 0, 1, c + 1);
  layout->addWidget(plot, 2, 0, 1, c + 1);
  layout->addWidget(lblPoint_, 3, 0, 1, c + 1);
  layout->setRowStretch(2, 1);
  connect(plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { ShowPointAt(e->position()); });
}

void TLogScatterPage::ChannelsChanged() {
  const LogViewOptions& o = data_.options;
  FillVariableChoice(cbX_, data_.channels, o.scatterX);
  FillVariableChoice(cbY_, data_.channels, o.scatterY);
  FillVariableChoice(cbColour_, data_.channels, o.scatterColour);
}

void TLogScatterPage::ChoiceChanged() {
  LogViewOptions& o = data_.options;
  o.scatterX = ChosenVariable(cbX_);
  o.scatterY = ChosenVariable(cbY_);
  o.scatterColour = ChosenVariable(cbColour_);
  data_.optionsChanged(false);
  Refresh();
}

void TLogScatterPage::Refresh() {
  const LogViewOptions& o = data_.options;
  const LogChannels& ch = data_.channels;
  x_ = ch.IndexOf(o.scatterX);
  y_ = ch.IndexOf(o.scatterY);
  colour_ = ch.IndexOf(o.scatterColour);
  lblCaption_->setText(RowsCaption(data_));
  lblPoint_->clear();
  marker_->data()->clear();
  std::vector<QVector<QCPGraphData>> points(bands_.size());
  double lo = 0, hi = 1;
  if (data_.table && x_ && y_ && colour_) {
    const ChannelValues xv = ch.Values(*x_), yv = ch.Values(*y_), cv = ch.Values(*colour_);
    bool any = false;
    for (const std::uint32_t r : data_.rows) {
      const double c = cv.At(r);
      if (std::isnan(c)) continue;
      lo = any ? std::min(lo, c) : c;
      hi = any ? std::max(hi, c) : c;
      any = true;
    }
    if (hi <= lo) hi = lo + 1;
    for (auto& p : points) p.reserve(static_cast<qsizetype>(data_.rows.size() / kBands));
    for (const std::uint32_t r : data_.rows) {
      const double x = xv.At(r), y = yv.At(r), c = cv.At(r);
      if (std::isnan(x) || std::isnan(y)) continue;
      const int band =
          std::isnan(c) ? kBands : std::min(static_cast<int>((c - lo) / (hi - lo) * kBands), kBands - 1);
      points[static_cast<std::size_t>(band)].append(QCPGraphData(x, y));
    }
  }
  QCPColorGradient gradient(QCPColorGradient::gpJet);  // color() is not const
  for (std::size_t i = 0; i < bands_.size(); ++i) {
    const QColor colour = i == static_cast<std::size_t>(kBands)
                              ? QColor(170, 170, 170)
                              : gradient.color((i + 0.5) / kBands, QCPRange(0, 1));
    bands_[i]->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, colour, colour, 3));
    bands_[i]->data()->set(points[i], false);
  }
  scale_->setDataRange(QCPRange(lo, hi));
  scale_->axis()->setLabel(QString::fromStdString(o.scatterColour));
  plot->xAxis->setLabel(QString::fromStdString(o.scatterX));
  plot->yAxis->setLabel(QString::fromStdString(o.scatterY));
  plot->rescaleAxes();
  for (QCPAxis* a : {plot->xAxis, plot->yAxis}) {
    const QCPRange r = a->range();
    const double pad = r.size() > 0 ? r.size() * 0.03 : 1;
    a->setRange(r.lower - pad, r.upper + pad);
  }
  plot->replot();
}

std::optional<std::size_t> TLogScatterPage::NearestRow(QPointF pixel) const {
  if (!data_.table || !x_ || !y_) return std::nullopt;
  const ChannelValues xv = data_.channels.Values(*x_), yv = data_.channels.Values(*y_);
  const QCPAxis *xa = plot->xAxis, *ya = plot->yAxis;
  // Compared in plot coordinates scaled to pixels: no pixel conversion per point.
  const double kx = xa->axisRect()->width() / xa->range().size();
  const double ky = ya->axisRect()->height() / ya->range().size();
  const double px = xa->pixelToCoord(pixel.x()), py = ya->pixelToCoord(pixel.y());
  std::optional<std::size_t> best;
  double bestDistance = 0;
  for (const std::uint32_t r : data_.rows) {
    const double dx = (xv.At(r) - px) * kx, dy = (yv.At(r) - py) * ky;
    const double d = dx * dx + dy * dy;
    if (std::isnan(d) || (best && d >= bestDistance)) continue;
    best = r;
    bestDistance = d;
  }
  return best;
}

void TLogScatterPage::ShowPointAt(QPointF pixel) {
  const auto row = NearestRow(pixel);
  marker_->data()->clear();
  if (!row) {
    lblPoint_->clear();
    return;
  }
  const LogChannels& ch = data_.channels;
  QString text = "Время " + QString::number(data_.table->Times()[*row], 'f', 3) + " с";
  for (const auto var : {*x_, *y_, *colour_})
    text += ";  " + QString::fromStdString(ch.Names()[var]) + " = " +
            QString::fromStdString(ch.FormatValue(var, *row));
  lblPoint_->setText(text);
  marker_->addData(ch.Value(*x_, *row), ch.Value(*y_, *row));
  plot->replot(QCustomPlot::rpQueuedReplot);
}

QString TLogScatterPage::PointText() const { return lblPoint_->text(); }
