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

  QCheckBox *cbIdle = nullptr, *cbFuelCut = nullptr, *cbNoLambda = nullptr, *cbTransients = nullptr;
  QComboBox *cbTransientVariable = nullptr, *cbTime = nullptr;
  QDoubleSpinBox* seTransientLimit = nullptr;

 private:
  void Edited();
  TLogAnalysis& data_;
};
