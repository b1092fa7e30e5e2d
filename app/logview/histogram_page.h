#pragma once
// "Гистограмма": how many rows that passed the filters fall in each of equal
// bins of one variable. User-interface thread.

#include "app/logview/analysis_page.h"

class QComboBox;
class QCPBars;
class QCustomPlot;
class QLabel;
class QSpinBox;

class TLogHistogramPage : public TLogAnalysisPage {
 public:
  TLogHistogramPage(TLogAnalysis& data, QWidget* parent);
  const Histogram& Bins() const { return histogram_; }

 protected:
  void ChannelsChanged() override;
  void Refresh() override;

 private:
  void ChoiceChanged();

  QComboBox* cbVariable_ = nullptr;
  QSpinBox* seBins_ = nullptr;
  QCustomPlot* plot_ = nullptr;
  QLabel* lblCaption_ = nullptr;
  QCPBars* bars_ = nullptr;
  Histogram histogram_;
};
