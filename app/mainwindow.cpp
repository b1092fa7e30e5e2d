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
#include "app/display.h"
#include "app/images.h"
#include "app/logview/window.h"
#include "app/tracewindow.h"
#include "app/widgets/font_fit.h"
#include "common/config.h"
#include "common/error.h"
#include "common/paths.h"
#include "common/timing.h"
#include "ecu/kwp.h"
#include "ecu/session.h"
#include "lambda/lc1_reader.h"
#include "link/trace.h"
#include "settings/settings.h"

TfrmMain* frmMain = nullptr;

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

TfrmMain::TfrmMain(UiHooks* dialogs, QWidget* parent) : QMainWindow(parent), lc1_(*this) {
  if (!dialogs) {
    ownDialogs_ = std::make_unique<TMessageBoxes>(this);
    dialogs = ownDialogs_.get();
  }
  dialogs_ = dialogs;
  frmMain = this;
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
  layout->addWidget(CreateTopStrip());
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName("PageControl1");
  ChartPage = new TChartPage(PageControl1);
  pgTable = new QSplitter(PageControl1);
  pgTable->setObjectName("pgTable");
  grdSpinup = new TAccelTableGrid(pgTable);
  pnlSummary = new TSummaryPanel(pgTable);
  pgTable->setStretchFactor(0, 1);
  pgTable->setStretchFactor(1, 0);
  pgTable->setCollapsible(0, false);
  DiagPage = new TDiagPage(PageControl1);
  PageControl1->addTab(ChartPage, "График");
  PageControl1->addTab(pgTable, "Таблица");
  PageControl1->addTab(DiagPage, "Диагностика");
  PageControl1->setCurrentIndex(0);
  layout->addWidget(PageControl1, 1);
  layout->addWidget(CreateBottomStrip());
  setCentralWidget(central);
  CreateProgressPanel();

  StatusBar1 = new TStatusBar(this);
  StatusBar1->SetDrawPanel([this](QPainter& p, const QRect& r) { StatusBar1DrawPanel(p, r); });
  setStatusBar(StatusBar1);
  StatusBar1->SetText(kPanelLink, StateText[0]);
  StatusBar1->SetText(kPanelLambda, StateText[0]);

  ScreenUpdateTimer = new QTimer(this);
  ScreenUpdateTimer->setObjectName("ScreenUpdateTimer");
  connect(ScreenUpdateTimer, &QTimer::timeout, this, [this] { ScreenUpdateTimerTimer(); });
  SetScreenUpdateInterval(1000);

  resize(960, 680);
  FormCreate();
  Display = new TDisplay(*this);
}

TfrmMain::~TfrmMain() {
  // The display filters this window's events; it must go before the widgets
  // it reaches are torn down.
  delete Display;
  Display = nullptr;
  // Its silence timer runs on this window's hooks.
  lc1_.Disconnect();
  if (&Ui() == static_cast<UiHooks*>(this)) SetUiHooks(nullptr);
  if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate() {
  // The CSV log, the chart labels and the table's times all rely on ".".
  QLocale::setDefault(QLocale::c());
  std::setlocale(LC_NUMERIC, "C");
  setWindowTitle(kAppCaption);
  InitConfig(TCfg);  // Echo, FastInit, cfg.ini or fallbacks, NotCheckReplyLen
  FCloseDeferred = false;
  ChartMode = 0;
  ChartPage->SetupChart(ChartMode);
  PerfFrequency = ::PerfFrequency();
  grdSpinup->LabelRows();
}

std::int32_t TfrmMain::RunCount() const { return Display->Table().RunCount(); }

TfrmMain::BestTime TfrmMain::BestInRow(int row) const {
  const AccelTableModel::Best b = Display->Table().BestInRow(row);
  return {b.column, b.time};
}

void TfrmMain::CreateActions() {
  btnOpenLog = NewAction(this, "btnOpenLog", "Открыть лог...");
  btnOpenLog->setShortcut(QKeySequence::Open);
  btnOpenRuns = NewAction(this, "btnOpenRuns", "Открыть замеры...");
  btnFlashRead = NewAction(this, "btnFlashRead", "Считать");
  btnFlashWrite = NewAction(this, "btnFlashWrite", "Записать");
  btnSettings = NewAction(this, "btnSettings", "Настройки");
  btnSettings->setIcon(ImageList1::Icon(0));
  btnExit = NewAction(this, "btnExit", "Выход");
  btnExit->setShortcut(QKeySequence(Qt::Key_F10));
  btnConnect = NewAction(this, "btnConnect", "Подключение");
  btnConnect->setIcon(ImageList1::Icon(1));
  btnConnect->setShortcut(QKeySequence(Qt::Key_F2));
  btnDisconnect = NewAction(this, "btnDisconnect", "Отключение");
  btnDisconnect->setIcon(ImageList1::Icon(2));
  btnDisconnect->setShortcut(QKeySequence(Qt::Key_F3));
  btnUnidirectionalMode = NewAction(this, "btnUnidirectionalMode", "Однонаправленный режим");
  btnUnidirectionalMode->setIcon(ImageList1::Icon(4));
  btnUnidirectionalMode->setCheckable(true);
  btnShowEcuTrace = NewAction(this, "btnShowEcuTrace", "Трассировка");
  btnConnectLambda = NewAction(this, "btnConnectLambda", "Подключение");
  btnDisconnectLambda = NewAction(this, "btnDisconnectLambda", "Отключение");
  btnAbout = NewAction(this, "btnAbout", "О программе");

  connect(btnOpenLog, &QAction::triggered, this, [this] { btnOpenLogClick(); });
  connect(btnOpenRuns, &QAction::triggered, this, [this] { btnOpenRunsClick(); });
  connect(btnFlashRead, &QAction::triggered, this, [this] { btnFlashReadClick(); });
  connect(btnFlashWrite, &QAction::triggered, this, [this] { btnFlashWriteClick(); });
  connect(btnSettings, &QAction::triggered, this, [this] { btnSettingsClick(); });
  connect(btnExit, &QAction::triggered, this, [this] { btnExitClick(); });
  connect(btnConnect, &QAction::triggered, this, [this] { btnConnectClick(); });
  connect(btnDisconnect, &QAction::triggered, this, [this] { btnDisconnectClick(); });
  connect(btnUnidirectionalMode, &QAction::triggered, this, [this] { btnUnidirectionalModeClick(); });
  connect(btnShowEcuTrace, &QAction::triggered, this, [this] { btnShowEcuTraceClick(); });
  connect(btnConnectLambda, &QAction::triggered, this, [this] { btnConnectLambdaClick(); });
  connect(btnDisconnectLambda, &QAction::triggered, this, [this] { btnDisconnectLambdaClick(); });
  connect(btnAbout, &QAction::triggered, this, [this] { btnAboutClick(); });
}

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu("Файл");
  file->addAction(btnOpenLog);
  file->addAction(btnOpenRuns);
  QMenu* flash = file->addMenu("Прошивка");
  flash->addAction(btnFlashRead);
  flash->addAction(btnFlashWrite);
  file->addAction(btnSettings);
  file->addSeparator();
  file->addAction(btnExit);

  QMenu* link = bar->addMenu("Соединение");
  link->addAction(btnConnect);
  link->addAction(btnDisconnect);
  link->addSeparator();
  link->addAction(btnUnidirectionalMode);
  link->addAction(btnShowEcuTrace);
  link->addSeparator();
  QMenu* lambda = link->addMenu("ШДК");
  lambda->addAction(btnConnectLambda);
  lambda->addAction(btnDisconnectLambda);

  QMenu* help = bar->addMenu("Справка");
  help->addAction(btnAbout);
}

void TfrmMain::CreateToolBar() {
  QToolBar* tb = addToolBar("ToolBar1");
  tb->setObjectName("ToolBar1");
  tb->setMovable(false);
  tb->setFloatable(false);
  tb->toggleViewAction()->setVisible(false);
  tb->setIconSize(QSize(ImageList1::kSize, ImageList1::kSize));
  tb->addAction(btnConnect);
  tb->addAction(btnDisconnect);
  tb->addSeparator();
  tb->addAction(btnUnidirectionalMode);
  tb->addSeparator();
  bcmbMode = new QComboBox(tb);
  bcmbMode->setObjectName("bcmbMode");
  bcmbMode->addItems({"Ускорение", "Доп. топливо"});
  bcmbMode->setCurrentIndex(0);
  // 100 pixels held "Доп. топливо" at the designed font; never cut it off.
  bcmbMode->setFixedWidth(std::max(100, bcmbMode->sizeHint().width()));
  tb->addWidget(bcmbMode);
  connect(bcmbMode, qOverload<int>(&QComboBox::currentIndexChanged), this,
          [this](int i) { bcmbModeChange(i); });
}

QWidget* TfrmMain::CreateTopStrip() {
  auto* strip = new QWidget(this);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(0, 0, 0, 0);
  QFont big = strip->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  const QFontMetrics bigMetrics(big);
  const int pad = 2 + bigMetrics.horizontalAdvance(QLatin1Char('x'));
  const double scale = FitScale(bigMetrics, {{"10200", 90, pad}, {"-15.5", 70, pad}});
  auto box = [&](const char* name, int width) {
    auto* l = new QLabel(strip);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(big);
    l->setFixedWidth(Scaled(width, scale));
    return l;
  };
  row->addWidget(Caption("RPM", strip));
  lblRPM = box("lblRPM", 90);
  row->addWidget(lblRPM);
  lblCorrUOZ = box("lblCorrUOZ", 70);
  row->addWidget(lblCorrUOZ);
  row->addStretch(1);
  lblPause = new QLabel("Пауза", strip);
  lblPause->setObjectName("lblPause");
  lblPause->setFont(big);
  lblPause->setAlignment(Qt::AlignCenter);
  lblPause->setAutoFillBackground(true);
  lblPause->setStyleSheet(
      "QLabel { color: white; background-color: red; font-weight: bold; padding: 0 8px; }");
  lblPause->setVisible(false);
  row->addWidget(lblPause);
  return strip;
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
  edCorrUOZ = spin("Коррекция УОЗ", "edCorrUOZ", -15, 15, 1, 0);
  edRPMLimit = spin("Порог оборотов", "edRPMLimit", 0, 1900, 100, 1100);
  edAvgAngle = spin("Осреднять за", "edAvgAngle", 0, 3600, 10, 360);
  edFilterLen = spin("Длина фильтра", "edFilterLen", 0, 20, 1, 0);
  row->addStretch(1);
  connect(edCorrUOZ, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) { edCorrUOZChange(v); });
  session_.SetAvgAngle(edAvgAngle->value());
  connect(edAvgAngle, qOverload<int>(&QSpinBox::valueChanged), this,
          [this](int v) { session_.SetAvgAngle(v); });
  return strip;
}

void TfrmMain::CreateProgressPanel() {
  pnlProgress = new QFrame(centralWidget());
  pnlProgress->setObjectName("pnlProgress");
  pnlProgress->setFrameStyle(QFrame::Panel | QFrame::Raised);
  pnlProgress->setAutoFillBackground(true);
  auto* col = new QVBoxLayout(pnlProgress);
  lblProgressState = new QLabel(pnlProgress);
  lblProgressState->setObjectName("lblProgressState");
  lblProgressState->setAlignment(Qt::AlignCenter);
  ProgressBar1 = new QProgressBar(pnlProgress);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  col->addWidget(lblProgressState);
  col->addWidget(ProgressBar1);
  pnlProgress->setFixedSize(420, 80);
  pnlProgress->hide();
}

void TfrmMain::PlaceProgressPanel() {
  const QRect pages = PageControl1->geometry();
  pnlProgress->move(pages.center().x() - pnlProgress->width() / 2,
                    pages.center().y() - pnlProgress->height() / 2);
  pnlProgress->raise();
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
  btnSettings->setEnabled(idle);
  btnConnect->setEnabled(idle);
  btnDisconnect->setEnabled(linked || waiting);
  btnUnidirectionalMode->setEnabled(linked);
  btnFlashRead->setEnabled(idle);
  btnFlashWrite->setEnabled(idle);
  btnConnectLambda->setEnabled(TCfg.LambdaEnabled && !lambdaActive && idle);
  btnDisconnectLambda->setEnabled(TCfg.LambdaEnabled && lambdaActive && idle);
  btnUnidirectionalMode->setChecked(unidir);
  StatusBar1->SetText(kPanelLink, waiting ? ReconnectText() : StateText[linked ? 1 : 0]);
  StatusBar1->SetText(kPanelLambda, StateText[lambdaActive ? 1 : 0]);
  if (lambdaActive && lc1_.NoData()) StatusBar1->SetText(kPanelLambda, kLambdaTimeout);
  lblPause->setVisible(Paused);
  edFilterLen->setEnabled(!unidir);
  bcmbMode->setEnabled(idle);
}

void TfrmMain::SetStatusText(StatusPanel panel, const std::string& text) {
  StatusBar1->SetText(panel, QString::fromStdString(text));
}

void TfrmMain::UpdateDisplay() { Display->UpdateDisplay(DisplayCause::NewData); }

void TfrmMain::SetScreenUpdateInterval(int ms) {
  screenInterval_ = ms;
  if (ms > 0)
    ScreenUpdateTimer->start(ms);
  else
    ScreenUpdateTimer->stop();
}

QString TfrmMain::ReconnectText() const {
  return QString("Переподключение %1 из %2")
      .arg(session_.ReconnectAttempt())
      .arg(EcuSession::kReconnectAttempts);
}

void TfrmMain::ClearPause() {
  Paused = false;
  // The mode has ended (or the link): a run cut off by it is kept as it stands.
  if (Display) Display->EndRun();
}

// ---------------------------------------------------------------------------
// What the session tells the window.

void TfrmMain::OnConnecting(int attempt, int /*attempts*/) {
  btnConnect->setEnabled(false);
  btnFlashRead->setEnabled(false);
  btnFlashWrite->setEnabled(false);
  btnConnectLambda->setEnabled(false);
  StatusBar1->SetText(kPanelLink, attempt > 0 ? ReconnectText() : kConnecting);
  SetScreenUpdateInterval(TCfg.ScreenInterval);
  Display->ResetBest();  // also ElapsedTime := 0
}

void TfrmMain::OnDisconnected() {
  ClearPause();
  RefreshControls();
  // A close deferred until the session ended happens now.
  if (FCloseDeferred) close();
}

void TfrmMain::OnUnidirMode(bool on) {
  if (!on) ClearPause();
  RefreshControls();
  SetStatusText(kPanelMode, on ? "1" : "0");
}

void TfrmMain::OnLinkEnded(const std::string& reason) {
  // A deferred close has just closed the window: no box for a closing window.
  if (!FCloseDeferred) ShowError(reason);
}

void TfrmMain::OnResponseTime(int ms) {
  StatusBar1->SetText(kPanelResponseTime, QString::number(ms) + " мс");
}

void TfrmMain::OnLinkCounters(int resets, int badReplies) {
  StatusBar1->SetText(kPanelResets, QString::number(resets));
  StatusBar1->SetText(kPanelBadReplies, QString::number(badReplies));
}

void TfrmMain::OnNegativeReplies(std::uint32_t count) {
  StatusBar1->SetText(kPanelNegativeReplies, QString::number(count));
}

void TfrmMain::OnReply() { Display->CountReply(); }

void TfrmMain::OnReplyCountRestart() { Display->ResetReplyCount(); }

void TfrmMain::StatusBar1DrawPanel(QPainter& painter, const QRect& rect) {
  painter.drawPixmap(rect.left() + 7, rect.top(), ImageList1::Pixmap(3 + (session_.UnidirMode() ? 1 : 0)));
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
  StatusBar1->SetText(kPanelLambda, kConnecting);
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
  StatusBar1->SetText(kPanelLambdaAfr, QString());
}

void TfrmMain::btnUnidirectionalModeClick() {
  // The pressed look follows the mode, not the click.
  btnUnidirectionalMode->setChecked(session_.UnidirMode());
  if (session_.UnidirMode()) {
    session_.LeaveUnidirRequest() = 1;  // the receiver switches back after the next packet
    return;
  }
  Display->ResetFilter(edFilterLen->value());
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
    TfrmSettings dialog(this);
    ExecModal(dialog);
  }
  RefreshControls();  // the LC-1 commands follow a changed LambdaEnabled
}

void TfrmMain::btnShowEcuTraceClick() {
  if (!frmEcuTrace) frmEcuTrace = new TfrmEcuTrace();
  frmEcuTrace->ShowSnapshot(TraceSnapshot());
}

void TfrmMain::btnOpenLogClick() {
  if (!frmLogView) frmLogView = std::make_unique<TfrmLogView>(*this);
  frmLogView->OpenLogCommand();
}

void TfrmMain::btnOpenRunsClick() {
  const auto name = AskOpenFileNameAt(LogsDirPath(), "Замеры|*_runs.csv|Все файлы|*");
  if (name) Display->OpenRuns(*name);
}

void TfrmMain::ScreenUpdateTimerTimer() { Display->ScreenTick(); }

void TfrmMain::bcmbModeChange(int index) {
  ChartMode = index;
  ChartPage->SetupChart(ChartMode);
}

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
    FCloseDeferred = true;
  } else {
    session_.EndReconnection();
    event->accept();
  }
  SaveConfig(TCfg);
}
