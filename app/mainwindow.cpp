#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>

#include "app/dialogs.h"
#include "app/logview/window.h"
#include "app/tracewindow.h"
#include "app/widgets/images.h"
#include "common/config.h"
#include "common/error.h"
#include "common/paths.h"
#include "common/timing.h"
#include "ecu/kwp.h"
#include "ecu/session.h"
#include "lambda/lc1_reader.h"
#include "link/trace.h"
#include "settings/settings.h"

namespace {

// StateText, indexed by LinkState or whether the LC-1 reader is active.
const char* const StateText[2] = {"Не подключен", "Подключен"};
const char* const kConnecting = "Подключение ...";
const char* const kLambdaTimeout = "Тайм-аут";

QAction* NewAction(QWidget* owner, const char* name, const char* caption) {
  auto* a = new QAction(QString::fromUtf8(caption), owner);
  a->setObjectName(name);
  a->setToolTip(QString::fromUtf8(caption));  // every hint equals its caption
  owner->addAction(a);                        // shortcuts work from anywhere in the window
  return a;
}

QLabel* Caption(const char* text, QWidget* parent) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

TfrmMain::TfrmMain(UserDialogs* dialogs, QWidget* parent) : QMainWindow(parent), lc1_(*this) {
  if (!dialogs) {
    ownDialogs_ = std::make_unique<TMessageBoxes>(this);
    dialogs = ownDialogs_.get();
  }
  dialogs_ = dialogs;
  SetUiHooks(this);
  session_.SetLc1(&lc1_);
  session_.AddSink(*this);
  setObjectName("frmMain");

  CreateActions();
  CreateMenus();
  CreateToolBar();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 4);
  pages_ = new QTabWidget(central);
  pages_->setObjectName("PageControl1");
  CreateLiveView();
  layout->addWidget(live_->TopStrip());
  pages_->addTab(live_->Chart(), "График");
  pages_->addTab(runs_->Page(), "Таблица");
  pages_->addTab(live_->Diagnostics(), "Диагностика");
  pages_->setCurrentIndex(0);
  layout->addWidget(pages_, 1);
  layout->addWidget(CreateBottomStrip());
  setCentralWidget(central);
  CreateProgressPanel();

  setStatusBar(live_->StatusBar());
  live_->SetLinkText(StateText[0]);
  live_->SetLambdaText(StateText[0]);

  screenTimer_ = new QTimer(this);
  screenTimer_->setObjectName("ScreenUpdateTimer");
  connect(screenTimer_, &QTimer::timeout, this, [this] { ScreenUpdateTimerTimer(); });
  SetScreenUpdateInterval(1000);

  resize(960, 680);
  FormCreate();
}

void TfrmMain::CreateLiveView() {
  live_ = std::make_unique<LiveView>(*this, *pages_, [this] {
    return LiveStatus{session_.LinkState(), session_.UnidirMode(), lc1_.Active()};
  });
  runs_ = std::make_unique<AccelView>(pages_, *live_, *dialogs_);
  live_->SetAccelStep([this](const EcuDataRecord& d, bool paused) {
    return runs_->Step({d.RPM, d.SpinAccel, d.SpinDt, d.CorrUOZ.load(), avgAngleEdit_->value()},
                       rpmLimitEdit_->value(), paused);
  });
}

TfrmMain::~TfrmMain() {
  // The views filter this window's events; they must go before the widgets
  // they reach are torn down.
  runs_.reset();
  live_.reset();
  // Its silence timer runs on this window's hooks.
  lc1_.Disconnect();
  if (&Ui() == static_cast<UiHooks*>(this)) SetUiHooks(nullptr);
}

void TfrmMain::FormCreate() {
  // The CSV log, the chart labels and the table's times all rely on ".".
  QLocale::setDefault(QLocale::c());
  std::setlocale(LC_NUMERIC, "C");
  setWindowTitle(kAppCaption);
  ConfigNotices notices;
  InitConfig(TCfg, notices);  // Echo, FastInit, cfg.ini or fallbacks, NotCheckReplyLen
  Tell(notices);
  closeDeferred_ = false;
  live_->SetChartMode(0);
  runs_->Grid()->LabelRows();
}

std::int32_t TfrmMain::RunCount() const { return runs_->Table().RunCount(); }

TfrmMain::BestTime TfrmMain::BestInRow(int row) const {
  const AccelTableModel::Best b = runs_->Table().BestInRow(row);
  return {b.column, b.time};
}

void TfrmMain::CreateActions() {
  openLogAction_ = NewAction(this, "btnOpenLog", "Открыть лог...");
  openLogAction_->setShortcut(QKeySequence::Open);
  openRunsAction_ = NewAction(this, "btnOpenRuns", "Открыть замеры...");
  flashReadAction_ = NewAction(this, "btnFlashRead", "Считать");
  flashWriteAction_ = NewAction(this, "btnFlashWrite", "Записать");
  settingsAction_ = NewAction(this, "btnSettings", "Настройки");
  settingsAction_->setIcon(ImageList1::Icon(0));
  exitAction_ = NewAction(this, "btnExit", "Выход");
  exitAction_->setShortcut(QKeySequence(Qt::Key_F10));
  connectAction_ = NewAction(this, "btnConnect", "Подключение");
  connectAction_->setIcon(ImageList1::Icon(1));
  connectAction_->setShortcut(QKeySequence(Qt::Key_F2));
  disconnectAction_ = NewAction(this, "btnDisconnect", "Отключение");
  disconnectAction_->setIcon(ImageList1::Icon(2));
  disconnectAction_->setShortcut(QKeySequence(Qt::Key_F3));
  unidirAction_ = NewAction(this, "btnUnidirectionalMode", "Однонаправленный режим");
  unidirAction_->setIcon(ImageList1::Icon(4));
  unidirAction_->setCheckable(true);
  traceAction_ = NewAction(this, "btnShowEcuTrace", "Трассировка");
  connectLambdaAction_ = NewAction(this, "btnConnectLambda", "Подключение");
  disconnectLambdaAction_ = NewAction(this, "btnDisconnectLambda", "Отключение");
  aboutAction_ = NewAction(this, "btnAbout", "О программе");

  connect(openLogAction_, &QAction::triggered, this, [this] { btnOpenLogClick(); });
  connect(openRunsAction_, &QAction::triggered, this, [this] { btnOpenRunsClick(); });
  connect(flashReadAction_, &QAction::triggered, this, [this] { btnFlashReadClick(); });
  connect(flashWriteAction_, &QAction::triggered, this, [this] { btnFlashWriteClick(); });
  connect(settingsAction_, &QAction::triggered, this, [this] { btnSettingsClick(); });
  connect(exitAction_, &QAction::triggered, this, [this] { btnExitClick(); });
  connect(connectAction_, &QAction::triggered, this, [this] { btnConnectClick(); });
  connect(disconnectAction_, &QAction::triggered, this, [this] { btnDisconnectClick(); });
  connect(unidirAction_, &QAction::triggered, this, [this] { btnUnidirectionalModeClick(); });
  connect(traceAction_, &QAction::triggered, this, [this] { btnShowEcuTraceClick(); });
  connect(connectLambdaAction_, &QAction::triggered, this, [this] { btnConnectLambdaClick(); });
  connect(disconnectLambdaAction_, &QAction::triggered, this, [this] { btnDisconnectLambdaClick(); });
  connect(aboutAction_, &QAction::triggered, this, [this] { btnAboutClick(); });
}

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu("Файл");
  file->addAction(openLogAction_);
  file->addAction(openRunsAction_);
  QMenu* flash = file->addMenu("Прошивка");
  flash->addAction(flashReadAction_);
  flash->addAction(flashWriteAction_);
  file->addAction(settingsAction_);
  file->addSeparator();
  file->addAction(exitAction_);

  QMenu* link = bar->addMenu("Соединение");
  link->addAction(connectAction_);
  link->addAction(disconnectAction_);
  link->addSeparator();
  link->addAction(unidirAction_);
  link->addAction(traceAction_);
  link->addSeparator();
  QMenu* lambda = link->addMenu("ШДК");
  lambda->addAction(connectLambdaAction_);
  lambda->addAction(disconnectLambdaAction_);

  QMenu* help = bar->addMenu("Справка");
  help->addAction(aboutAction_);
}

void TfrmMain::CreateToolBar() {
  QToolBar* tb = addToolBar("ToolBar1");
  tb->setObjectName("ToolBar1");
  tb->setMovable(false);
  tb->setFloatable(false);
  tb->toggleViewAction()->setVisible(false);
  tb->setIconSize(QSize(ImageList1::kSize, ImageList1::kSize));
  tb->addAction(connectAction_);
  tb->addAction(disconnectAction_);
  tb->addSeparator();
  tb->addAction(unidirAction_);
  tb->addSeparator();
  modeBox_ = new QComboBox(tb);
  modeBox_->setObjectName("bcmbMode");
  modeBox_->addItems({"Ускорение", "Доп. топливо"});
  modeBox_->setCurrentIndex(0);
  // 100 pixels held "Доп. топливо" at the designed font; never cut it off.
  modeBox_->setFixedWidth(std::max(100, modeBox_->sizeHint().width()));
  tb->addWidget(modeBox_);
  connect(modeBox_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          [this](int i) { bcmbModeChange(i); });
}

QWidget* TfrmMain::CreateBottomStrip() {
  auto* strip = new QWidget(this);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(0, 0, 0, 0);
  auto spin = [&](const char* caption, const char* name, int min, int max, int step, int value) {
    row->addWidget(Caption(caption, strip));
    auto* ed = new TSpinEdit(min, max, step, value, strip);
    ed->setObjectName(name);
    ed->setFixedWidth(std::max(70, ed->sizeHint().width()));
    row->addWidget(ed);
    row->addSpacing(12);
    return ed;
  };
  corrEdit_ = spin("Коррекция УОЗ", "edCorrUOZ", -15, 15, 1, 0);
  rpmLimitEdit_ = spin("Порог оборотов", "edRPMLimit", 0, 1900, 100, 1100);
  avgAngleEdit_ = spin("Осреднять за", "edAvgAngle", 0, 3600, 10, 360);
  filterLenEdit_ = spin("Длина фильтра", "edFilterLen", 0, 20, 1, 0);
  row->addStretch(1);
  connect(corrEdit_, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) { edCorrUOZChange(v); });
  session_.SetAvgAngle(avgAngleEdit_->value());
  connect(avgAngleEdit_, qOverload<int>(&QSpinBox::valueChanged), this,
          [this](int v) { session_.SetAvgAngle(v); });
  return strip;
}

void TfrmMain::CreateProgressPanel() {
  progressPanel_ = new QFrame(centralWidget());
  progressPanel_->setObjectName("pnlProgress");
  progressPanel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  progressPanel_->setAutoFillBackground(true);
  auto* col = new QVBoxLayout(progressPanel_);
  progressLabel_ = new QLabel(progressPanel_);
  progressLabel_->setObjectName("lblProgressState");
  progressLabel_->setAlignment(Qt::AlignCenter);
  progressBar_ = new QProgressBar(progressPanel_);
  progressBar_->setObjectName("ProgressBar1");
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  col->addWidget(progressLabel_);
  col->addWidget(progressBar_);
  progressPanel_->setFixedSize(420, 80);
  progressPanel_->hide();
}

void TfrmMain::PlaceProgressPanel() {
  const QRect pages = pages_->geometry();
  progressPanel_->move(pages.center().x() - progressPanel_->width() / 2,
                       pages.center().y() - progressPanel_->height() / 2);
  progressPanel_->raise();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlaceProgressPanel();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) RefreshControls();
}

// ---------------------------------------------------------------------------
// Operations offered to the core.

void TfrmMain::RefreshControls() {
  const bool linked = session_.LinkState() == 1;
  const bool unidir = session_.UnidirMode();
  const bool lambdaActive = lc1_.Active();
  // While a reconnection waits, only F3, which ends it, is offered.
  const bool waiting = session_.ReconnectWaiting();
  const bool idle = !linked && !waiting;
  settingsAction_->setEnabled(idle);
  connectAction_->setEnabled(idle);
  disconnectAction_->setEnabled(linked || waiting);
  unidirAction_->setEnabled(linked);
  flashReadAction_->setEnabled(idle);
  flashWriteAction_->setEnabled(idle);
  connectLambdaAction_->setEnabled(TCfg.LambdaEnabled && !lambdaActive && idle);
  disconnectLambdaAction_->setEnabled(TCfg.LambdaEnabled && lambdaActive && idle);
  unidirAction_->setChecked(unidir);
  live_->SetLinkText(waiting ? ReconnectText() : StateText[linked ? 1 : 0]);
  live_->SetLambdaText(StateText[lambdaActive ? 1 : 0]);
  if (lambdaActive && lc1_.NoData()) live_->SetLambdaText(kLambdaTimeout);
  live_->ShowPause();
  filterLenEdit_->setEnabled(!unidir);
  modeBox_->setEnabled(idle);
}

void TfrmMain::SetStatusText(StatusPanel panel, const std::string& text) {
  live_->SetPanelText(panel, QString::fromStdString(text));
}

void TfrmMain::UpdateDisplay() { live_->Show(session_.Data(), DisplayCause::NewData); }

void TfrmMain::SetScreenUpdateInterval(int ms) {
  screenInterval_ = ms;
  if (ms > 0)
    screenTimer_->start(ms);
  else
    screenTimer_->stop();
}

QString TfrmMain::ReconnectText() const {
  return QString("Переподключение %1 из %2")
      .arg(session_.ReconnectAttempt())
      .arg(EcuSession::kReconnectAttempts);
}

void TfrmMain::ClearPause() {
  // The mode has ended (or the link): a run cut off by it is kept as it stands.
  if (live_) live_->SetPaused(false);
  if (runs_) runs_->EndRun();
}

// ---------------------------------------------------------------------------
// What the session tells the window.

void TfrmMain::OnConnecting(int attempt, int /*attempts*/) {
  connectAction_->setEnabled(false);
  flashReadAction_->setEnabled(false);
  flashWriteAction_->setEnabled(false);
  connectLambdaAction_->setEnabled(false);
  live_->SetLinkText(attempt > 0 ? ReconnectText() : kConnecting);
  SetScreenUpdateInterval(TCfg.ScreenInterval);
  runs_->ResetBest();  // also ElapsedTime := 0
  live_->ClearRecording();
}

void TfrmMain::OnDisconnected() {
  ClearPause();
  RefreshControls();
  // A close deferred until the session ended happens now.
  if (closeDeferred_) close();
}

void TfrmMain::OnUnidirMode(bool on) {
  if (!on) ClearPause();
  RefreshControls();
  SetStatusText(kPanelMode, on ? "1" : "0");
}

void TfrmMain::OnLinkEnded(const std::string& reason) {
  // A deferred close has just closed the window: no box for a closing window.
  if (!closeDeferred_) dialogs_->ShowError(reason);
}

void TfrmMain::OnResponseTime(int ms) { live_->ShowResponseTime(ms); }

void TfrmMain::OnLinkCounters(int resets, int badReplies) {
  live_->SetPanelText(kPanelResets, QString::number(resets));
  live_->SetPanelText(kPanelBadReplies, QString::number(badReplies));
}

void TfrmMain::OnNegativeReplies(std::uint32_t count) {
  live_->SetPanelText(kPanelNegativeReplies, QString::number(count));
}

void TfrmMain::OnReply() { live_->CountReply(); }

void TfrmMain::OnReplyCountRestart() {
  live_->ResetReplyCount();
  // Entering unidirectional mode restarts the time; at session start no run
  // can be in progress, so this costs nothing there.
  runs_->EndRun();
}

// ---------------------------------------------------------------------------
// Commands.

void TfrmMain::btnConnectClick() {
  session_.ConnectCommand(TCfg.Port, TCfg.CBR, TCfg.FastInit != 0, TCfg.Echo != 0);
}

void TfrmMain::btnDisconnectClick() {
  session_.SetPolling(false);
  session_.Disconnect();
}

void TfrmMain::btnConnectLambdaClick() {
  live_->SetLambdaText(kConnecting);
  if (session_.LinkState() == 0) SetScreenUpdateInterval(std::max<int>(TCfg.ScreenInterval, 100));
  try {
    lc1_.Connect(TCfg.LambdaPort);
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  RefreshControls();
}

void TfrmMain::btnDisconnectLambdaClick() {
  lc1_.Disconnect();
  RefreshControls();
  live_->SetPanelText(kPanelLambdaAfr, QString());
}

void TfrmMain::btnUnidirectionalModeClick() {
  // The pressed look follows the mode, not the click.
  unidirAction_->setChecked(session_.UnidirMode());
  if (session_.UnidirMode()) {
    session_.LeaveUnidirRequest() = 1;  // the receiver switches back after the next packet
    return;
  }
  runs_->ResetFilter(filterLenEdit_->value());
  session_.SendRequest(ReqUnidirectionalMode);
  session_.LeaveUnidirRequest() = 0;
}

void TfrmMain::btnAboutClick() {
  std::string text = "Varnek Test " VARNEK_VERSION
                     "\nДиагностика ЭБУ, замеры разгона и прошивка через K-line адаптер.\n\n"
                     "Лицензия: GNU GPL версии 3 или любой более поздней (GPL-3.0-or-later). "
                     "Программа поставляется без каких-либо гарантий.\n\n"
                     "Файлы этой копии программы:\n"
                     "Настройки: " +
                     ConfigFilePath() + "\n";
  // Beside a read-only program a cfg.ini there is read until the user's own is saved.
  const std::string loaded = ConfigLoadPath();
  if (loaded != ConfigFilePath() && QFileInfo::exists(QString::fromStdString(loaded)))
    text += "(до первого сохранения читаются из " + loaded + ")\n";
  text += "Журналы: " + LogsDirPath() + "\nРезервные копии прошивок: " + BackupsDirPath();
  ShowMessage(text);
}

void TfrmMain::ExecModal(QDialog& dialog) { dialog.exec(); }

void TfrmMain::btnSettingsClick() {
  {
    TfrmSettings dialog(*dialogs_, this, portRoots_);
    ExecModal(dialog);
  }
  RefreshControls();  // the LC-1 commands follow a changed LambdaEnabled
}

void TfrmMain::btnShowEcuTraceClick() {
  if (!traceWindow_) traceWindow_ = std::make_unique<TfrmEcuTrace>();
  traceWindow_->ShowSnapshot(session_.Trace().Snapshot());
}

void TfrmMain::btnOpenLogClick() {
  if (!logView_) logView_ = std::make_unique<TfrmLogView>(*dialogs_);
  logView_->OpenLogCommand();
}

void TfrmMain::btnOpenRunsClick() {
  const auto name = dialogs_->AskOpenFileNameAt(LogsDirPath(), "Замеры|*_runs.csv|Все файлы|*");
  if (name) runs_->OpenRuns(*name);
}

void TfrmMain::ScreenUpdateTimerTimer() {
  const ScreenTickPlan p = PlanScreenTick(lc1_.Active(), session_.LinkState() == 1, TCfg.ScreenInterval);
  if (p.copyLambda) session_.CopyLc1Reading();
  if (p.display) live_->Show(session_.Data(), DisplayCause::ScreenTick);
}

void TfrmMain::bcmbModeChange(int index) { live_->SetChartMode(index); }

void TfrmMain::edCorrUOZChange(int value) { session_.RequestedCorrUOZ() = static_cast<std::int8_t>(value); }

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (session_.LinkState() == 1) {
    // End the session first; its teardown closes the window again.
    session_.SetPolling(false);
    try {
      session_.Disconnect();
    } catch (const std::exception& e) {
      ShowError(e.what());  // the reply time-out still ends the link
    }
    event->ignore();
    closeDeferred_ = true;
  } else {
    session_.EndReconnection();
    event->accept();
  }
  ConfigNotices notices;
  SaveConfig(TCfg, notices);
  Tell(notices);
}

void TfrmMain::Tell(const ConfigNotices& notices) {
  for (const ConfigNotice& n : notices) n.error ? dialogs_->ShowError(n.text) : dialogs_->ShowMessage(n.text);
}
