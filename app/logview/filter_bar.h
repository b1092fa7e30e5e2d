#pragma once
// The filters of the analysis pages, shown under them: which rows the cell
// table, the scatter plot and the histogram leave out. User-interface thread.

#include "app/logview/analysis_page.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

class TLogFilterBar : public QWidget {
 public:
  TLogFilterBar(TLogAnalysis& data, QWidget* parent);
  // Refills the transient variable's choice (the channels changed).
  void ChannelsChanged();

 private:
  void Edited();
  TLogAnalysis& data_;
  QCheckBox *cbIdle_ = nullptr, *cbFuelCut_ = nullptr, *cbNoLambda_ = nullptr, *cbTransients_ = nullptr;
  QComboBox *cbTransientVariable_ = nullptr, *cbTime_ = nullptr;
  QDoubleSpinBox* seTransientLimit_ = nullptr;
};
