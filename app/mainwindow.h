#pragma once
// TfrmMain: the main window. It wires every user command to the core, sets
// the commands' enabled states from the link flags (RefreshControls), owns
// the status bar texts, the progress panel, the screen timer and the LC-1
// reader (which it lends the session), and is the core's UiHooks (with the
// core's hand-offs and timers on Qt's event loop), its session's
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

#include "app/accel/summary_panel.h"
#include "app/accel/table_grid.h"
#include "app/chart.h"
#include "app/diagpage.h"
#include "app/qt_ui_hooks.h"
#include "app/spinedit.h"
#include "app/statusbar.h"
#include "common/ui.h"
#include "ecu/session.h"
#include "ecu/session_events.h"
#include "flash/progress.h"
#include "lambda/lc1_reader.h"

class TDisplay;
class TfrmLogView;

class TfrmMain : public QMainWindow,
                 public QtUiHooks,
                 public FlashProgress,
                 public SessionEvents,
                 private Lc1Events,
                 private EcuDataSink {
 public:
  // dialogs: where message boxes and file dialogs go; nullptr for the real
  // modal ones (tests pass their own).
  explicit TfrmMain(UiHooks* dialogs = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The commands' enabled states and the link panels from the session's state.
  void RefreshControls();
  void SetStatusText(StatusPanel panel, const std::string& text);
  // The display of the session's record after a new frame or speed sample.
  void UpdateDisplay();
  // Message boxes, for the core and for the firmware commands.
  void ShowError(const std::string& text) override { dialogs_->ShowError(text); }
  void ShowMessage(const std::string& text) override { dialogs_->ShowMessage(text); }
  std::optional<std::string> AskOpenFileName(const std::string& filter) override {
    return dialogs_->AskOpenFileName(filter);
  }
  std::optional<std::string> AskSaveFileName(const std::string& filter) override {
    return dialogs_->AskSaveFileName(filter);
  }
  std::optional<std::string> AskOpenFileNameAt(const std::string& start, const std::string& filter) override {
    return dialogs_->AskOpenFileNameAt(start, filter);
  }
  std::optional<std::string> AskSaveFileNameAt(const std::string& start, const std::string& filter) override {
    return dialogs_->AskSaveFileNameAt(start, filter);
  }

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

  QString StatusText(int panel) const { return StatusBar1->Text(panel); }
  // The window's LC-1 reader; the session reads it too.
  Lc1Reader& Lc1() { return lc1_; }
  // The window's ECU session.
  EcuSession& Session() { return session_; }
  // Interval 0 stops the timer altogether (QTimer would otherwise fire on
  // every pass of the event loop).
  void SetScreenUpdateInterval(int ms);
  int ScreenUpdateInterval() const { return screenInterval_; }

  // --- Controls (named as in the design). ---
  QAction *btnOpenLog, *btnOpenRuns, *btnFlashRead, *btnFlashWrite, *btnSettings, *btnExit;
  QAction *btnConnect, *btnDisconnect, *btnUnidirectionalMode, *btnShowEcuTrace;
  QAction *btnConnectLambda, *btnDisconnectLambda;
  QAction* btnAbout;
  QComboBox* bcmbMode;
  QLabel *lblRPM, *lblCorrUOZ, *lblPause;
  TSpinEdit *edCorrUOZ, *edRPMLimit, *edAvgAngle, *edFilterLen;
  QTabWidget* PageControl1;
  TChartPage* ChartPage;
  // The page "Таблица": the acceleration table and beside it the summary by correction.
  QSplitter* pgTable;
  TAccelTableGrid* grdSpinup;
  TSummaryPanel* pnlSummary;
  TDiagPage* DiagPage;
  QFrame* pnlProgress;
  QLabel* lblProgressState;
  QProgressBar* ProgressBar1;
  TStatusBar* StatusBar1;
  QTimer* ScreenUpdateTimer;
  // The live display: top strip, diagnostics page, chart, acceleration table.
  TDisplay* Display = nullptr;
  // The log view, made by the first "Открыть лог...".
  std::unique_ptr<TfrmLogView> frmLogView;

  // --- The window's state (zero at creation). ---
  // The measurement's state (elapsed time, bands, filter, runs, best times)
  // lives in Display; these read it.
  struct BestTime {
    std::int32_t column = 0;
    double time = 0;
  };
  bool FCloseDeferred = false;
  bool Paused = false;
  std::int32_t ChartMode = 0;
  std::int64_t PerfFrequency = 0;  // counter units per second, read at creation
  std::int32_t RunCount() const;
  BestTime BestInRow(int row) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  QMenu* createPopupMenu() override { return nullptr; }  // tool bar not customisable
  // Runs the settings dialog modally (tests answer it without a modal loop).
  virtual void ExecModal(QDialog& dialog);

 private:
  void FormCreate();
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  QWidget* CreateTopStrip();
  QWidget* CreateBottomStrip();
  void CreateProgressPanel();
  void PlaceProgressPanel();
  void StatusBar1DrawPanel(QPainter& painter, const QRect& rect);
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

  std::unique_ptr<UiHooks> ownDialogs_;
  UiHooks* dialogs_ = nullptr;
  int screenInterval_ = 1000;
  int progressShown_ = -1;  // last painted percentage
  Lc1Reader lc1_;
  // After the reader it holds, so it goes first.
  EcuSession session_{*this};

  void OnEcuData(const EcuDataRecord&) override { UpdateDisplay(); }
};

// The one main window.
extern TfrmMain* frmMain;
