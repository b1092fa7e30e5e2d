#pragma once
// TfrmMain: the main window. It wires every user command to the core, sets
// the commands' enabled states from the link flags (RefreshControls), owns
// the progress panel, the screen timer and the LC-1 reader (which it lends
// the session), hands the live view (app/live/) and the acceleration table
// (app/accel/) what they show and connects the two, and is the core's UiHooks
// (with the core's hand-offs and timers on Qt's event loop), its session's
// SessionEvents and the firmware commands' FlashProgress.
// User-interface thread only.

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/accel/accel_view.h"
#include "app/accel/summary_panel.h"
#include "app/accel/table_grid.h"
#include "app/live/chart.h"
#include "app/live/diagpage.h"
#include "app/live/live_view.h"
#include "app/live/statusbar.h"
#include "app/qt_ui_hooks.h"
#include "app/widgets/spinedit.h"
#include "app/widgets/user_dialogs.h"
#include "common/config.h"
#include "common/portlist.h"
#include "common/ui.h"
#include "ecu/session.h"
#include "ecu/session_events.h"
#include "flash/progress.h"
#include "lambda/lc1_reader.h"

class TfrmLogView;
class TfrmEcuTrace;

class TfrmMain : public QMainWindow,
                 public QtUiHooks,
                 public FlashProgress,
                 public SessionEvents,
                 private Lc1Events,
                 private EcuDataSink {
 public:
  // dialogs: where message boxes and file dialogs go; nullptr for the real
  // modal ones (tests pass their own).
  explicit TfrmMain(UserDialogs* dialogs = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The commands' enabled states and the link panels from the session's state.
  void RefreshControls();
  void SetStatusText(StatusPanel panel, const std::string& text);
  // The display of the session's record after a new frame or speed sample.
  void UpdateDisplay();
  // Message boxes, for the window's own commands and the firmware commands.
  void ShowError(const std::string& text) { dialogs_->ShowError(text); }
  void ShowMessage(const std::string& text) { dialogs_->ShowMessage(text); }
  // The window's message boxes and file dialogs, lent to what it owns.
  UserDialogs& Dialogs() { return *dialogs_; }
  // A close asked for while the session was still ending waits for its end.
  bool CloseDeferred() const { return closeDeferred_; }

  // --- FlashProgress: the firmware commands on the progress panel. ---
  void BeginStage(const std::string& caption, int steps) override;
  void StepDone(int done, int steps) override;
  void StageFailed(const std::string& caption) override;
  void EndProgress() override;

  // --- Command handlers. ---
  void btnConnectClick();
  void btnDisconnectClick();
  void btnConnectLambdaClick();
  void btnDisconnectLambdaClick();
  void btnUnidirectionalModeClick();
  void btnSettingsClick();
  void btnShowEcuTraceClick();
  void btnFlashReadClick();
  void btnFlashWriteClick();
  void btnOpenLogClick();
  void btnOpenRunsClick();
  // "О программе": the version, the licence and where this copy keeps its
  // files (for users asking for help).
  void btnAboutClick();
  void btnExitClick() { close(); }
  void ScreenUpdateTimerTimer();
  void bcmbModeChange(int index);
  void edCorrUOZChange(int value);

  QString StatusText(int panel) const { return live_->PanelText(panel); }
  // The window's LC-1 reader; the session reads it too.
  Lc1Reader& Lc1() { return lc1_; }
  // The window's ECU session.
  EcuSession& Session() { return session_; }
  // Interval 0 stops the timer altogether (QTimer would otherwise fire on
  // every pass of the event loop).
  void SetScreenUpdateInterval(int ms);
  int ScreenUpdateInterval() const { return screenInterval_; }

  // The live display (top strip, chart, diagnostics page, status bar) and
  // the acceleration table; the window connects the two.
  LiveView& Live() { return *live_; }
  const LiveView& Live() const { return *live_; }
  AccelView& Runs() { return *runs_; }
  const AccelView& Runs() const { return *runs_; }
  int ChartMode() const { return live_->ChartMode(); }
  // The log view, made by the first "Открыть лог..."; nullptr before.
  TfrmLogView* LogView() const { return logView_.get(); }
  // The exchange trace's window, made by the first "Трассировка"; nullptr before.
  TfrmEcuTrace* TraceWindow() const { return traceWindow_.get(); }

  // The measurement's state (elapsed time, bands, filter, runs, best times)
  // lives in Runs(); these read it.
  struct BestTime {
    std::int32_t column = 0;
    double time = 0;
  };
  std::int32_t RunCount() const;
  BestTime BestInRow(int row) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  QMenu* createPopupMenu() override { return nullptr; }  // tool bar not customisable
  // Runs the settings dialog modally (tests answer it without a modal loop).
  virtual void ExecModal(QDialog& dialog);
  // Where the settings dialog lists ports (tests: a fixture).
  PortListRoots portRoots_;

 private:
  void FormCreate();
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  // The live view and the acceleration table, connected.
  void CreateLiveView();
  QWidget* CreateBottomStrip();
  void CreateProgressPanel();
  void PlaceProgressPanel();
  // What reading or saving cfg.ini had to say, each in its box.
  void Tell(const ConfigNotices& notices);
  QString ReconnectText() const;
  void ClearPause();
  // SessionEvents: the session's state in the controls and the status bar.
  void OnConnecting(int attempt, int attempts) override;
  void OnConnected() override { RefreshControls(); }
  void OnDisconnected() override;
  void OnUnidirMode(bool on) override;
  void OnReconnectWaiting(int, int) override { RefreshControls(); }
  void OnLinkEnded(const std::string& reason) override;
  void OnResponseTime(int ms) override;
  void OnLinkCounters(int resets, int badReplies) override;
  void OnNegativeReplies(std::uint32_t count) override;
  void OnReply() override;
  void OnReplyCountRestart() override;
  void OnMessage(const std::string& text) override { ShowMessage(text); }
  void OnError(const std::string& text) override { ShowError(text); }
  // Lc1Events: the LC-1 state shows in the controls and the status bar.
  void OnLc1Reading() override { RefreshControls(); }
  void OnLc1Silence() override { RefreshControls(); }

  // The controls; tests find them by their object names (btnConnect ...).
  QAction *openLogAction_, *openRunsAction_, *flashReadAction_, *flashWriteAction_, *settingsAction_;
  QAction *exitAction_, *connectAction_, *disconnectAction_, *unidirAction_, *traceAction_;
  QAction *connectLambdaAction_, *disconnectLambdaAction_, *aboutAction_;
  QComboBox* modeBox_;
  TSpinEdit *corrEdit_, *rpmLimitEdit_, *avgAngleEdit_, *filterLenEdit_;
  QTabWidget* pages_;
  QFrame* progressPanel_;
  QLabel* progressLabel_;
  QProgressBar* progressBar_;
  QTimer* screenTimer_;
  std::unique_ptr<TfrmLogView> logView_;

  std::unique_ptr<TfrmEcuTrace> traceWindow_;
  std::unique_ptr<UserDialogs> ownDialogs_;
  UserDialogs* dialogs_ = nullptr;
  int screenInterval_ = 1000;
  int progressShown_ = -1;      // last painted percentage
  bool closeDeferred_ = false;  // closing waits for the session's end
  Lc1Reader lc1_;
  // After the reader it holds, so it goes first.
  EcuSession session_{*this};
  std::unique_ptr<LiveView> live_;
  std::unique_ptr<AccelView> runs_;

  void OnEcuData(const EcuDataRecord&) override { UpdateDisplay(); }
};
