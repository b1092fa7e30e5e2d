#pragma once
// The page "Таблица": the acceleration table and beside it the summary by
// correction, with the measurement that fills them, the runs file, the
// table's Delete key, copying and context menu. Each completed speed sample
// steps the measurement; the chart's share of a step goes back to the caller,
// and the runs' curves to the chart the window hands in. User-interface thread
// only.

#include <QObject>
#include <string>

#include "app/accel/measurement.h"
#include "app/accel/runs_journal.h"
#include "app/accel/table_model.h"
#include "app/widgets/chart_update.h"
#include "app/widgets/user_dialogs.h"

class QSplitter;
class QWidget;
class TAccelTableGrid;
class TSummaryPanel;

class AccelView : public QObject {
 public:
  // The page is made for parent (the pages); chart shows the chosen runs;
  // dialogs take its messages (the window's).
  AccelView(QWidget* parent, RunCurvesView& chart, UserDialogs& dialogs);

  QSplitter* Page() const { return page_; }
  TAccelTableGrid* Grid() const { return grid_; }
  TSummaryPanel* Summary() const { return summary_; }

  // One completed speed sample: the table's cells follow; the chart's share
  // is returned.
  ChartUpdate Step(const AccelSample& s, int rpmLimit, bool paused);
  // Unidirectional mode requested: the moving average restarts.
  void ResetFilter(int filterLength) { accel_.ResetFilter(filterLength); }
  // Connect command: forget the highlights; ElapsedTime := 0.
  void ResetBest();
  // The unidirectional mode has ended: a run in progress is over (and saved).
  void EndRun() { accel_.EndRun(); }
  // Delete key in the table: removes the current run column (marked deleted
  // in the runs file).
  bool DeleteSelectedRun();
  // "Файл → Открыть замеры...": the table becomes the file's runs, and later
  // runs go on in that file. A run in progress ends first. A file that is not
  // one is refused with a message and the table stays.
  bool OpenRuns(const std::string& path);
  // "Копировать" and Ctrl+C: the table as tab-separated text.
  void CopyTable();
  // The runs selected in the table drawn together on the chart.
  void ShowChosenRuns();

  const AccelTableModel& Table() const { return model_; }
  const AccelMeasurement& Acceleration() const { return accel_; }
  const AccelRunsJournal& Journal() const { return journal_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SyncGrid();
  // The total row and the summary by correction after the band times changed.
  void RefreshTotals();
  void ShowTableMenu();

  RunCurvesView& chart_;
  UserDialogs& dialogs_;
  QSplitter* page_ = nullptr;
  TAccelTableGrid* grid_ = nullptr;
  TSummaryPanel* summary_ = nullptr;
  AccelTableModel model_;
  AccelMeasurement accel_{model_};
  AccelRunsJournal journal_{dialogs_};
};
