#pragma once
// The live display of the main window: the top strip, the diagnostics page,
// the LC-1 panel, the reply rate, the chart in both chart modes, the
// acceleration table with its Delete key, painting, context menu and runs
// file, the summary by correction, and the pause key. The measurement itself
// lives in the widget-free classes it owns; this class applies their results
// to the widgets. User-interface thread only.

#include <QObject>
#include <QTimer>

#include "app/accel/measurement.h"
#include "app/accel/runs_journal.h"
#include "app/accel/table_model.h"
#include "app/live/display_plan.h"
#include "app/live/fuel_recording.h"
#include "app/live/reply_rate.h"

class TfrmMain;

class TDisplay : public QObject {
 public:
  // Replots are coalesced: at most one per this many milliseconds.
  static constexpr int kReplotMs = 40;

  explicit TDisplay(TfrmMain& w);

  // UpdateDisplay: NewData after a decoded data frame or a completed speed
  // sample, ScreenTick from the screen-update timer.
  void UpdateDisplay(DisplayCause cause);
  void CountReply();
  // Session start and entry into unidirectional mode: a new rate window; any
  // run or recording ends (ElapsedTime := 0).
  void ResetReplyCount();
  // The ScreenUpdateTimer tick.
  void ScreenTick();
  // Unidirectional mode requested: the moving average restarts.
  void ResetFilter(int filterLength);
  // Connect command: forget the highlights; ElapsedTime := 0.
  void ResetBest();
  // The pause key's toggle (space in a session in unidirectional mode).
  void TogglePause();
  // Delete key in grdSpinup: removes the current run column (marked deleted
  // in the runs file).
  bool DeleteSelectedRun();
  // The unidirectional mode has ended: a run in progress is over (and saved).
  void EndRun();
  // "Файл → Открыть замеры...": the table becomes the file's runs, and later
  // runs go on in that file. A run in progress ends first. A file that is not
  // one is refused with a message and the table stays.
  bool OpenRuns(const std::string& path);
  // "Копировать" and Ctrl+C: the table as tab-separated text.
  void CopyTable();
  // The runs selected in the table drawn together on the chart.
  void ShowChosenRuns();
  // Draws what is pending now instead of at the next coalesced replot.
  void ReplotNow();

  const AccelTableModel& Table() const { return table_; }
  const AccelMeasurement& Acceleration() const { return accel_; }
  const FuelRecording& Fuel() const { return fuel_; }
  const AccelRunsJournal& Journal() const { return journal_; }
  bool ReplotPending() const { return replot_.isActive(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowDiagnostics();
  void StepAcceleration();
  void StepFuel();
  void ApplyChart(const ChartUpdate& u);
  void SyncGrid();
  // The total row and the summary by correction after the band times changed.
  void RefreshTotals();
  void ShowTableMenu();
  void ScheduleReplot();
  void ReplotIfShown();
  void WatchWindowKeys();
  // Copies the measurement's state into the window's fields of the same
  // names, which show it (the logic lives in the classes above).

  TfrmMain& w_;
  AccelTableModel table_;
  AccelMeasurement accel_{table_};
  AccelRunsJournal journal_;
  FuelRecording fuel_;
  ReplyRateCounter rate_;
  QTimer replot_;
  bool hiddenChanges_ = false;  // points added while the chart was not shown
};
