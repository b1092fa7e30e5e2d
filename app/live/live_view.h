#pragma once
// The live view of the main window: the top strip (rpm, correction, pause),
// the chart in both chart modes, the diagnostics page, the status bar with the
// LC-1 panel and the reply rate, and the pause key. It shows what it is handed
// (decoded records, status texts) and drives no link; the acceleration runs
// reach the chart through the step the window connects. User-interface thread
// only.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "app/live/display_plan.h"
#include "app/live/fuel_recording.h"
#include "app/live/reply_rate.h"
#include "app/widgets/chart_update.h"

class QLabel;
class QTabWidget;
class QWidget;
class TChartPage;
class TDiagPage;
class TStatusBar;
struct EcuDataRecord;

// The state of the link and of the LC-1 as the live view needs it.
struct LiveStatus {
  int linkState = 0;  // 0 not connected, 1 connected
  bool unidirMode = false;
  bool lambdaActive = false;
};

class LiveView : public QObject, public RunCurvesView {
 public:
  // Replots are coalesced: at most one per this many milliseconds.
  static constexpr int kReplotMs = 40;
  // One acceleration step for a completed speed sample: the chart's changes.
  using AccelStep = std::function<ChartUpdate(const EcuDataRecord&, bool paused)>;

  // Makes the top strip, the chart and diagnostics pages (for pages) and the
  // status bar; the window places them. status tells the link's state.
  LiveView(QWidget& window, QTabWidget& pages, std::function<LiveStatus()> status);

  QWidget* TopStrip() const { return topStrip_; }
  TChartPage* Chart() const { return chart_; }
  TDiagPage* Diagnostics() const { return diag_; }
  TStatusBar* StatusBar() const { return statusBar_; }
  QLabel* RpmLabel() const { return rpm_; }
  QLabel* CorrectionLabel() const { return corr_; }
  QLabel* PauseLabel() const { return pause_; }

  void SetAccelStep(AccelStep step) { accelStep_ = std::move(step); }
  // A decoded data frame or completed speed sample (NewData), or the
  // screen-update timer's tick (ScreenTick).
  void Show(const EcuDataRecord& d, DisplayCause cause);
  // ChartMode 0 (acceleration) or 1 (additional fuel): the chart is set up anew.
  void SetChartMode(int mode);
  int ChartMode() const { return chartMode_; }

  void CountReply();
  // Session start and entry into unidirectional mode: a new rate window; a
  // recording ends (ElapsedTime := 0).
  void ResetReplyCount();
  // Connect command: the next sample starts a new recording.
  void ClearRecording() { fuel_.Reset(); }

  // The pause key's toggle (space in a session in unidirectional mode).
  void TogglePause();
  bool Paused() const { return paused_; }
  // The flag only; the label follows at ShowPause.
  void SetPaused(bool on) { paused_ = on; }
  void ShowPause();

  // Status bar texts.
  void SetLinkText(const QString& text);
  void SetLambdaText(const QString& text);
  void ShowResponseTime(int ms);
  void SetPanelText(int panel, const QString& text);
  QString PanelText(int panel) const;

  // RunCurvesView: the chosen runs over the live series, their page shown.
  void ShowRunCurves(const RunCurves& runs) override;
  void ClearRunCurves() override;
  bool RunCurvesShown() const override;

  // Draws what is pending now instead of at the next coalesced replot.
  void ReplotNow();
  bool ReplotPending() const { return replot_.isActive(); }
  const FuelRecording& Fuel() const { return fuel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateTopStrip(QWidget& window);
  void CreateStatusBar(QWidget& window);
  void StepFuel(const EcuDataRecord& d);
  void ApplyChart(const ChartUpdate& u);
  void ScheduleReplot();
  void ReplotIfShown();
  void WatchWindowKeys();

  QWidget& window_;
  QTabWidget& pages_;
  std::function<LiveStatus()> status_;
  AccelStep accelStep_;
  QWidget* topStrip_ = nullptr;
  QLabel* rpm_ = nullptr;
  QLabel* corr_ = nullptr;
  QLabel* pause_ = nullptr;
  TChartPage* chart_ = nullptr;
  TDiagPage* diag_ = nullptr;
  TStatusBar* statusBar_ = nullptr;
  FuelRecording fuel_;
  ReplyRateCounter rate_;
  QTimer replot_;
  int chartMode_ = 0;
  bool paused_ = false;
  bool hiddenChanges_ = false;  // points added while the chart was not shown
};
