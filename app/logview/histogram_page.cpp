#include "app/logview/histogram_page.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

TLogHistogramPage::TLogHistogramPage(TLogAnalysis& data, QWidget* parent) : TLogAnalysisPage(data, parent) {
  auto* layout = new QGridLayout(this);
  cbVariable_ = new QComboBox(this);
  cbVariable_->setMinimumContentsLength(10);
  seBins_ = new QSpinBox(this);
  seBins_->setRange(1, 1000);
  seBins_->setValue(data_.options.histogramBins);
  layout->addWidget(new QLabel("Переменная:", this), 0, 0);
  layout->addWidget(cbVariable_, 0, 1);
  layout->addWidget(new QLabel("Столбиков:", this), 0, 2);
  layout->addWidget(seBins_, 0, 3);
  layout->setColumnStretch(4, 1);
  lblCaption_ = new QLabel(this);
  plot_ = new QCustomPlot(this);
  plot_->setObjectName("HistogramPlot");
  plot_->setMinimumSize(200, 150);  // never drawn at zero size while its tab is hidden
  plot_->setBackground(Qt::white);
  plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  plot_->yAxis->setLabel("Строк");
  bars_ = new QCPBars(plot_->xAxis, plot_->yAxis);
  bars_->setPen(QPen(QColor(40, 70, 160)));
  bars_->setBrush(QColor(90, 130, 230));
  layout->addWidget(lblCaption_, 1, 0, 1, 5);
  layout->addWidget(plot_, 2, 0, 1, 5);
  layout->setRowStretch(2, 1);
  connect(cbVariable_, &QComboBox::currentIndexChanged, this, [this] { ChoiceChanged(); });
  connect(seBins_, &QSpinBox::valueChanged, this, [this] { ChoiceChanged(); });
}

void TLogHistogramPage::ChannelsChanged() {
  FillVariableChoice(cbVariable_, data_.channels, data_.options.histogramVariable);
}

void TLogHistogramPage::ChoiceChanged() {
  data_.options.histogramVariable = ChosenVariable(cbVariable_);
  data_.options.histogramBins = seBins_->value();
  data_.optionsChanged(false);
  Refresh();
}

void TLogHistogramPage::Refresh() {
  const LogViewOptions& o = data_.options;
  const auto var = data_.channels.IndexOf(o.histogramVariable);
  histogram_ = data_.table && var ? ComputeHistogram(data_.rows, data_.channels.Values(*var), o.histogramBins)
                                  : Histogram();
  lblCaption_->setText(RowsCaption(data_));
  QVector<double> keys, values;
  std::uint32_t top = 0;
  for (std::size_t i = 0; i < histogram_.counts.size(); ++i) {
    keys << histogram_.lo + (static_cast<double>(i) + 0.5) * histogram_.width;
    values << histogram_.counts[i];
    top = std::max(top, histogram_.counts[i]);
  }
  bars_->setWidth(histogram_.width);
  bars_->setData(keys, values, true);
  plot_->xAxis->setLabel(QString::fromStdString(o.histogramVariable));
  const double span = histogram_.width * static_cast<double>(histogram_.counts.size());
  plot_->xAxis->setRange(histogram_.lo - span * 0.02, histogram_.lo + span * 1.02 + (span > 0 ? 0 : 1));
  plot_->yAxis->setRange(0, std::max<double>(top, 1) * 1.05);
  plot_->replot();
}
