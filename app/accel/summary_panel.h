#pragma once
// Beside the acceleration table: the runs summed up by the correction they
// were made at (count, mean total, spread), fastest first, with what the
// numbers allow to say. User-interface thread.

#include <QLabel>
#include <QTableWidget>
#include <QWidget>

#include "app/accel/summary.h"

class TSummaryPanel : public QWidget {
 public:
  explicit TSummaryPanel(QWidget* parent);

  void ShowSummary(const CorrectionSummary& summary, const BandRange& range, int leftOut);

 private:
  QLabel* lblRange_;          // which bands the totals cover
  QTableWidget* grdSummary_;  // one row per correction
  QLabel* lblVerdict_;
};
