// The main window: its controls, the enabling rule, the commands and closing.
#include "app/mainwindow.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <qcustomplot.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "app/application.h"
#include "app/tracewindow.h"
#include "common/config.h"
#include "common/error.h"
#include "common/paths.h"
#include "common/portlist.h"
#include "ecu/session.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "tests/support/core_state.h"
#include "tests/support/sim_lines.h"
#include "tests/support/test_ui.h"

namespace {

// The window with its modal dialogs answered by the test.
class TestWindow : public TfrmMain {
 public:
  explicit TestWindow(UiHooks* dialogs) : TfrmMain(dialogs) {}
  std::function<void(QDialog&)> onModal;

 protected:
  void ExecModal(QDialog& dialog) override {
    if (onModal) onModal(dialog);
  }
};

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
    QDir(dir_.path()).mkpath("sys");
    SetPortListRoots((dir_.path() + "/sys").toStdString(), (dir_.path() + "/dev").toStdString());
    ResetCoreState();
    w_ = std::make_unique<TestWindow>(&ui_);
  }
  void TearDown() override {
    w_.reset();
    ResetCoreState();
    SetAppDirOverride("");
    SetPortListRoots("", "");
  }
  bool ConfigExists() const { return QFile::exists(dir_.path() + "/cfg.ini"); }

  QTemporaryDir dir_;
  RecordingUi ui_;
  std::unique_ptr<TestWindow> w_;
};

TEST_F(MainWindow, StartsWithCaptionStatusTextsAndPages) {
  EXPECT_EQ(w_->windowTitle().toStdString(), kAppCaption);
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
  for (int p = 2; p < 9; ++p) EXPECT_EQ(w_->StatusText(p), "") << p;
  // The designed widths, grown together with the font.
  const int widths[9] = {150, 150, 50, 40, 40, 40, 40, 85, 50};
  const double scale = w_->StatusBar1->PanelWidth(0) / 150.0;
  EXPECT_GE(scale, 1.0);
  for (int p = 0; p < 9; ++p) EXPECT_NEAR(w_->StatusBar1->PanelWidth(p), widths[p] * scale, 1.0) << p;
  for (int p : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(w_->StatusBar1->PanelAlignment(p), Qt::AlignCenter) << p;
  for (int p : {7, 8}) EXPECT_TRUE(w_->StatusBar1->PanelAlignment(p) & Qt::AlignLeft) << p;

  ASSERT_EQ(w_->PageControl1->count(), 3);
  EXPECT_EQ(w_->PageControl1->tabText(0), "График");
  EXPECT_EQ(w_->PageControl1->tabText(1), "Таблица");
  EXPECT_EQ(w_->PageControl1->tabText(2), "Диагностика");
  EXPECT_EQ(w_->PageControl1->currentIndex(), 0);
  EXPECT_TRUE(w_->pnlProgress->isHidden());
  EXPECT_TRUE(w_->lblPause->isHidden());
  EXPECT_EQ(w_->lblPause->text(), "Пауза");

  EXPECT_EQ(w_->bcmbMode->count(), 2);
  EXPECT_EQ(w_->bcmbMode->itemText(0), "Ускорение");
  EXPECT_EQ(w_->bcmbMode->itemText(1), "Доп. топливо");
  EXPECT_EQ(w_->bcmbMode->currentIndex(), 0);
  EXPECT_GE(w_->bcmbMode->width(), 100);

  EXPECT_FALSE(w_->Session().PollTimerActive());
  EXPECT_TRUE(w_->ScreenUpdateTimer->isActive());
  EXPECT_EQ(w_->ScreenUpdateTimer->interval(), 1000);
  EXPECT_EQ(w_->RunCount(), 0);
  EXPECT_EQ(w_->ChartMode, 0);
  EXPECT_FALSE(w_->FCloseDeferred);
  EXPECT_GT(w_->PerfFrequency, 0);
  EXPECT_EQ(&Ui(), static_cast<UiHooks*>(w_.get()));
}

TEST_F(MainWindow, StartWithoutConfigFileUsesTheFallbacks) {
  EXPECT_EQ(TCfg.Port, "COM2");
  EXPECT_EQ(TCfg.ScreenInterval, 500);
  EXPECT_EQ(TCfg.LambdaEnabled, 0);
  EXPECT_EQ(TCfg.NotCheckReplyLen, 1);
  EXPECT_TRUE(ui_.errors.empty());
  w_->RefreshControls();
  EXPECT_FALSE(w_->btnConnectLambda->isEnabled());
  EXPECT_FALSE(w_->btnDisconnectLambda->isEnabled());
}

TEST_F(MainWindow, SpinEditorsHaveTheirRangesStepsAndStartValuesAndTakeNoTyping) {
  struct Spin {
    TSpinEdit* ed;
    int min, max, step, value;
  };
  for (const Spin& s : {Spin{w_->edCorrUOZ, -15, 15, 1, 0}, Spin{w_->edRPMLimit, 0, 1900, 100, 1100},
                        Spin{w_->edAvgAngle, 0, 3600, 10, 360}, Spin{w_->edFilterLen, 0, 20, 1, 0}}) {
    SCOPED_TRACE(s.ed->objectName().toStdString());
    EXPECT_EQ(s.ed->minimum(), s.min);
    EXPECT_EQ(s.ed->maximum(), s.max);
    EXPECT_EQ(s.ed->singleStep(), s.step);
    EXPECT_EQ(s.ed->value(), s.value);
    ASSERT_NE(s.ed->findChild<QLineEdit*>(), nullptr);
    EXPECT_TRUE(s.ed->findChild<QLineEdit*>()->isReadOnly());
    EXPECT_FALSE(s.ed->isReadOnly());  // the buttons still step
  }
  w_->edAvgAngle->stepBy(2);
  EXPECT_EQ(w_->Session().AvgAngle(), 380);
  w_->edCorrUOZ->stepBy(-3);
  EXPECT_EQ(w_->Session().RequestedCorrUOZ().load(), -3);
  w_->edCorrUOZ->setValue(0);
}

TEST_F(MainWindow, MenusHoldEveryCommandWithCaptionsHintsAndShortcuts) {
  const QList<QAction*> top = w_->menuBar()->actions();
  ASSERT_EQ(top.size(), 3);
  EXPECT_EQ(top[0]->text(), "Файл");
  EXPECT_EQ(top[1]->text(), "Соединение");
  EXPECT_EQ(top[2]->text(), "Справка");
  auto texts = [](QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions()) out << (a->isSeparator() ? "-" : a->text());
    return out;
  };
  QMenu* file = top[0]->menu();
  EXPECT_EQ(texts(file),
            (QStringList{"Открыть лог...", "Открыть замеры...", "Прошивка", "Настройки", "-", "Выход"}));
  EXPECT_EQ(texts(file->actions()[2]->menu()), (QStringList{"Считать", "Записать"}));
  QMenu* link = top[1]->menu();
  EXPECT_EQ(texts(link), (QStringList{"Подключение", "Отключение", "-", "Однонаправленный режим",
                                      "Трассировка", "-", "ШДК"}));
  EXPECT_EQ(texts(link->actions()[6]->menu()), (QStringList{"Подключение", "Отключение"}));
  EXPECT_EQ(link->actions()[6]->menu()->actions()[0], w_->btnConnectLambda);
  EXPECT_EQ(top[2]->menu()->actions(), QList<QAction*>{w_->btnAbout});

  EXPECT_EQ(w_->btnConnect->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(w_->btnDisconnect->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(w_->btnExit->shortcut(), QKeySequence(Qt::Key_F10));
  for (QAction* a : {w_->btnOpenLog, w_->btnOpenRuns, w_->btnFlashRead, w_->btnFlashWrite, w_->btnSettings,
                     w_->btnExit, w_->btnConnect, w_->btnDisconnect, w_->btnUnidirectionalMode,
                     w_->btnShowEcuTrace, w_->btnConnectLambda, w_->btnDisconnectLambda})
    EXPECT_EQ(a->toolTip(), a->text());
  for (QAction* a : {w_->btnSettings, w_->btnConnect, w_->btnDisconnect, w_->btnUnidirectionalMode})
    EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
}

// A copy in a read-only folder with a cfg.ini of its own there, as a user
// asking for help may have: the box names the user's folders it writes and
// the file it still reads, and no such file once there is none.
TEST_F(MainWindow, AboutNamesTheVersionLicenceAndTheFoldersThisCopyUses) {
  SetAppDirOverride(dir_.path().toStdString(), true);
  QFile beside(dir_.path() + "/cfg.ini");
  ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
  beside.close();
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME"), oldData = qgetenv("XDG_DATA_HOME");
  const std::string home = dir_.path().toStdString() + "/home";
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home + "/config"));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home + "/data"));
  w_->btnAbout->trigger();
  beside.remove();
  w_->btnAbout->trigger();
  for (const auto& [name, old] :
       {std::pair{"XDG_CONFIG_HOME", oldConfig}, std::pair{"XDG_DATA_HOME", oldData}})
    old.isNull() ? qunsetenv(name) : qputenv(name, old);

  ASSERT_EQ(ui_.messages.size(), 2u);
  const std::string& text = ui_.messages[0];
  for (const std::string& line :
       {std::string("Varnek Test " VARNEK_VERSION "\n"), std::string("(GPL-3.0-or-later)"),
        "Настройки: " + home + "/config/varnek-test/cfg.ini\n",
        "(до первого сохранения читаются из " + dir_.path().toStdString() + "/cfg.ini)\n",
        "Журналы: " + home + "/data/varnek-test/Logs\n",
        "Резервные копии прошивок: " + home + "/data/varnek-test/Backups"})
    EXPECT_NE(text.find(line), std::string::npos) << "no \"" << line << "\" in:\n" << text;
  EXPECT_EQ(ui_.messages[1].find("до первого сохранения"), std::string::npos) << ui_.messages[1];
  EXPECT_EQ(w_->windowTitle(), kAppCaption);
}

TEST_F(MainWindow, RefreshControlsFollowsTheStateTable) {
  struct Row {
    const char* state;
    int link, unidir, lambdaEnabled, lambdaActive, noData;
    bool paused;
    // settings connect disconnect unidir flashRead flashWrite lambdaOn lambdaOff
    int enabled[8];
    bool pressed;
    const char *panel0, *panel1;
    bool pauseShown, filterLen, mode;
  };
  const char* off = "Не подключен";
  const char* on = "Подключен";
  // clang-format off
  const Row rows[] = {
      {"idle, no LC-1", 0, 0, 0, 0, 0, false, {1, 1, 0, 0, 1, 1, 0, 0}, false, off, off, false, true, true},
      {"idle, LC-1 configured", 0, 0, 1, 0, 0, false, {1, 1, 0, 0, 1, 1, 1, 0}, false, off, off, false, true, true},
      {"idle, LC-1 running", 0, 0, 1, 1, 0, false, {1, 1, 0, 0, 1, 1, 0, 1}, false, off, on, false, true, true},
      {"idle, LC-1 silent", 0, 0, 1, 1, 1, false, {1, 1, 0, 0, 1, 1, 0, 1}, false, off, "Тайм-аут", false, true, true},
      {"idle, silent flag without reader", 0, 0, 1, 0, 1, false, {1, 1, 0, 0, 1, 1, 1, 0}, false, off, off, false, true, true},
      {"session", 1, 0, 1, 0, 0, false, {0, 0, 1, 1, 0, 0, 0, 0}, false, on, off, false, true, false},
      {"session with LC-1", 1, 0, 1, 1, 0, false, {0, 0, 1, 1, 0, 0, 0, 0}, false, on, on, false, true, false},
      {"unidirectional, paused", 1, 1, 0, 0, 0, true, {0, 0, 1, 1, 0, 0, 0, 0}, true, on, off, true, false, false},
  };
  // clang-format on
  // The window's reader on the simulated LC-1: silent, it reports the time-out.
  Lc1Line lc1;
  lc1.SetPeriodMs(5);
  Lc1Reader& reader = w_->Lc1();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.state);
    w_->Session().LinkState() = static_cast<std::uint8_t>(r.link);
    SetUnidirMode(w_->Session(), static_cast<std::uint8_t>(r.unidir));
    TCfg.LambdaEnabled = static_cast<std::uint8_t>(r.lambdaEnabled);
    if (r.lambdaActive) {
      lc1.SetSilent(r.noData == 1);
      if (!reader.Active()) reader.Connect(lc1.Port());
      ASSERT_TRUE(QTest::qWaitFor([&] { return reader.NoData() == (r.noData == 1); }, 10000));
    } else if (reader.Active()) {
      reader.Disconnect();
    }
    w_->Paused = r.paused;
    w_->RefreshControls();
    QAction* actions[8] = {w_->btnSettings,           w_->btnConnect,         w_->btnDisconnect,
                           w_->btnUnidirectionalMode, w_->btnFlashRead,       w_->btnFlashWrite,
                           w_->btnConnectLambda,      w_->btnDisconnectLambda};
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(actions[i]->isEnabled(), r.enabled[i] == 1) << actions[i]->objectName().toStdString();
    EXPECT_TRUE(w_->btnExit->isEnabled());
    EXPECT_TRUE(w_->btnShowEcuTrace->isEnabled());
    EXPECT_EQ(w_->btnUnidirectionalMode->isChecked(), r.pressed);
    EXPECT_EQ(w_->StatusText(0), r.panel0);
    EXPECT_EQ(w_->StatusText(1), r.panel1);
    EXPECT_EQ(!w_->lblPause->isHidden(), r.pauseShown);
    EXPECT_EQ(w_->edFilterLen->isEnabled(), r.filterLen);
    EXPECT_EQ(w_->bcmbMode->isEnabled(), r.mode);
  }
}

TEST_F(MainWindow, ShowingTheWindowRefreshesTheControls) {
  EXPECT_TRUE(w_->btnDisconnect->isEnabled());  // nothing refreshed yet
  w_->show();
  EXPECT_FALSE(w_->btnDisconnect->isEnabled());
  EXPECT_TRUE(w_->btnConnect->isEnabled());
}

TEST_F(MainWindow, ConnectToAMissingPortReportsAndReturnsToIdle) {
  TCfg.Port = (dir_.path() + "/no-such-port").toStdString();
  TCfg.DataInterval = 0;
  TCfg.ScreenInterval = 0;
  TraceAppendLine("old session");
  w_->RefreshControls();
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(TraceSnapshot(), "");
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_TRUE(w_->btnConnect->isEnabled());
  EXPECT_TRUE(w_->btnFlashRead->isEnabled());
  // Interval 0 stops a timer altogether.
  EXPECT_EQ(w_->Session().PollInterval(), 0);
  EXPECT_FALSE(w_->ScreenUpdateTimer->isActive());
}

TEST_F(MainWindow, ConnectingDisablesItsCommandsUntilTheSessionAnswers) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  TCfg.Port = name;
  TCfg.LambdaEnabled = 1;
  TCfg.LambdaPort = "Нет-такого-порта";
  w_->RefreshControls();
  ASSERT_TRUE(w_->btnConnectLambda->isEnabled());
  // The LC-1 fails first: nothing of the link starts, the error is shown.
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_FALSE(w_->Lc1().Active());

  TCfg.LambdaEnabled = 0;
  w_->btnConnectClick();
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(w_->StatusText(0), "Подключение ...");
  for (QAction* a : {w_->btnConnect, w_->btnFlashRead, w_->btnFlashWrite, w_->btnConnectLambda,
                     w_->btnDisconnect, w_->btnUnidirectionalMode})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  w_->Session().Teardown();
  EXPECT_TRUE(w_->btnConnect->isEnabled());
  ::close(master);
  ::close(slave);
}

TEST_F(MainWindow, OnlyAReplyLostInARunningSessionStartsAReconnection) {
  // The session's link ends; sessionLost when a diagnostic session ran.
  auto linkEnds = [this](const std::string& text, bool sessionLost) {
    w_->Session().LinkState() = sessionLost ? 1 : 0;
    w_->Session().EndLink(text);
  };
  // Off by default: the box, as ever.
  linkEnds(kNoAnswerText, true);
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_FALSE(w_->Session().ReconnectWaiting());

  TCfg.AutoReconnect = 1;
  // Not after a failed connect, nor after another end of a session.
  linkEnds(kNoAnswerText, false);
  linkEnds("Связь с адаптером K-line потеряна", true);
  EXPECT_EQ(ui_.errors.size(), 3u);
  EXPECT_FALSE(w_->Session().ReconnectWaiting());

  linkEnds(kNoAnswerText, true);
  EXPECT_EQ(ui_.errors.size(), 3u);
  EXPECT_TRUE(w_->Session().ReconnectWaiting());
  EXPECT_EQ(w_->Session().ReconnectDelay(), 2000);
  EXPECT_EQ(w_->StatusText(0), "Переподключение 1 из 5");
  for (QAction* a : {w_->btnSettings, w_->btnConnect, w_->btnFlashRead, w_->btnFlashWrite})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_FALSE(w_->bcmbMode->isEnabled());

  // F3 in the wait ends the reconnection.
  ASSERT_TRUE(w_->btnDisconnect->isEnabled());
  w_->btnDisconnect->trigger();
  EXPECT_FALSE(w_->Session().ReconnectWaiting());
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_TRUE(w_->btnConnect->isEnabled());
  EXPECT_FALSE(w_->btnDisconnect->isEnabled());
  EXPECT_EQ(ui_.errors.size(), 3u);
  // A reply lost while F3 closes the session is the user's end: the box.
  linkEnds(kNoAnswerText, true);
  EXPECT_EQ(ui_.errors.size(), 4u);
  EXPECT_FALSE(w_->Session().ReconnectWaiting());
}

TEST_F(MainWindow, PollingTimerKeepsItsOnStateAtIntervalZero) {
  EcuSession& s = w_->Session();
  s.SetPollInterval(0);
  s.SetPolling(true);
  EXPECT_TRUE(s.Polling());
  EXPECT_FALSE(s.PollTimerActive());
  s.SetPollInterval(150);
  EXPECT_TRUE(s.PollTimerActive());
  EXPECT_EQ(s.PollInterval(), 150);
  w_->btnDisconnectClick();
  EXPECT_FALSE(s.Polling());
  EXPECT_FALSE(s.PollTimerActive());
}

TEST_F(MainWindow, Lc1ConnectSetsTheScreenTimerAndAlwaysRefreshes) {
  TCfg.LambdaEnabled = 1;
  TCfg.LambdaPort = (dir_.path() + "/no-lc1").toStdString();
  const std::pair<int, int> cases[] = {{0, 100}, {50, 100}, {250, 250}};
  for (const auto& [screen, expected] : cases) {
    TCfg.ScreenInterval = static_cast<std::uint16_t>(screen);
    ui_.errors.clear();
    w_->btnConnectLambdaClick();
    EXPECT_EQ(w_->ScreenUpdateInterval(), expected);
    EXPECT_EQ(ui_.errors.size(), 1u);
    EXPECT_EQ(w_->StatusText(1), "Не подключен");
  }
  // During a session the screen timer keeps the session's interval.
  w_->Session().LinkState() = 1;
  TCfg.ScreenInterval = 0;
  w_->btnConnectLambdaClick();
  EXPECT_EQ(w_->ScreenUpdateInterval(), 250);
}

TEST_F(MainWindow, Lc1DisconnectEmptiesTheAfrPanel) {
  w_->SetStatusText(kPanelLambdaAfr, " LC1 AFR: 14.7");
  w_->btnDisconnectLambdaClick();
  EXPECT_EQ(w_->StatusText(7), "");
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
}

TEST_F(MainWindow, UnidirectionalCommandInTheModeOnlyAsksToLeave) {
  w_->Session().LinkState() = 1;
  SetUnidirMode(w_->Session(), 1);
  w_->RefreshControls();
  w_->btnUnidirectionalMode->trigger();
  EXPECT_EQ(w_->Session().LeaveUnidirRequest().load(), 1);
  EXPECT_TRUE(w_->btnUnidirectionalMode->isChecked());
}

TEST_F(MainWindow, UnidirectionalCommandRequestsTheMode) {
  w_->Session().LinkState() = 1;
  w_->RefreshControls();
  w_->Session().LeaveUnidirRequest() = 1;
  w_->btnUnidirectionalMode->trigger();
  EXPECT_EQ(w_->Session().LeaveUnidirRequest().load(), 0);
  EXPECT_FALSE(w_->btnUnidirectionalMode->isChecked());  // pressed only once the mode runs
}

TEST_F(MainWindow, ProgressPanelShowsStepsAndHides) {
  w_->show();
  w_->BeginStage("Чтение", 10);
  EXPECT_TRUE(w_->pnlProgress->isVisible());
  EXPECT_EQ(w_->lblProgressState->text(), "Чтение");
  EXPECT_EQ(w_->ProgressBar1->maximum(), 10);
  EXPECT_EQ(w_->ProgressBar1->value(), 0);
  for (int i = 1; i <= 3; ++i) w_->StepDone(i, 10);
  EXPECT_EQ(w_->ProgressBar1->value(), 3);
  w_->EndProgress();
  EXPECT_FALSE(w_->pnlProgress->isVisible());
  static_cast<SessionEvents&>(*w_).OnResponseTime(27);
  EXPECT_EQ(w_->StatusText(2), "27 мс");
}

TEST_F(MainWindow, IdleCloseSavesOnceAndCloses) {
  w_->show();
  EXPECT_FALSE(ConfigExists());
  EXPECT_TRUE(w_->close());
  EXPECT_TRUE(ConfigExists());
  EXPECT_FALSE(w_->isVisible());
  EXPECT_FALSE(w_->FCloseDeferred);
}

TEST_F(MainWindow, CloseDuringASessionDefersAndSavesTwice) {
  w_->show();
  w_->Session().LinkState() = 1;
  w_->Session().SetPolling(true);
  EXPECT_FALSE(w_->close());
  EXPECT_TRUE(w_->isVisible());
  EXPECT_TRUE(w_->FCloseDeferred);
  EXPECT_FALSE(w_->Session().Polling());
  EXPECT_TRUE(ConfigExists());  // first save, at the refused close

  ASSERT_TRUE(QFile::remove(dir_.path() + "/cfg.ini"));
  TCfg.Port = "ttyUSB3";
  w_->Session().LinkState() = 0;  // the session has ended; its teardown closes again
  w_->Session().Teardown();
  EXPECT_FALSE(w_->isVisible());
  QFile f(dir_.path() + "/cfg.ini");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));  // second save
  EXPECT_TRUE(f.readAll().contains("Port=ttyUSB3"));
}

TEST_F(MainWindow, ExitClosesLikeTheCloseBox) {
  w_->show();
  w_->btnExit->trigger();
  EXPECT_FALSE(w_->isVisible());
  EXPECT_TRUE(ConfigExists());
}

TEST_F(MainWindow, SettingsCommandRefreshesTheLc1Commands) {
  TCfg.LambdaEnabled = 1;
  TCfg.LambdaPort = "COM5";
  w_->RefreshControls();
  ASSERT_TRUE(w_->btnConnectLambda->isEnabled());
  w_->onModal = [](QDialog& d) {
    auto& s = dynamic_cast<TfrmSettings&>(d);
    s.FormShow();
    s.cmbLambdaPort->setCurrentIndex(0);  // "Нет"
    s.btnOkClick();
  };
  w_->btnSettings->trigger();
  EXPECT_EQ(TCfg.LambdaPort, "Нет");
  EXPECT_EQ(TCfg.LambdaEnabled, 0);
  EXPECT_FALSE(w_->btnConnectLambda->isEnabled());
}

TEST_F(MainWindow, TraceCommandShowsASnapshotAndClosingOnlyHides) {
  TraceAppendLine(TraceStartWriterLine());
  w_->btnShowEcuTrace->trigger();
  ASSERT_NE(frmEcuTrace, nullptr);
  EXPECT_TRUE(frmEcuTrace->isVisible());
  EXPECT_EQ(frmEcuTrace->windowTitle(), "Обмен с ЭБУ");
  EXPECT_TRUE(frmEcuTrace->mmTrace->isReadOnly());
  EXPECT_EQ(frmEcuTrace->mmTrace->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(frmEcuTrace->mmTrace->toPlainText(), " (StartWriter) \n");

  TraceAppendLine(TraceMsgEndLine());
  EXPECT_EQ(frmEcuTrace->mmTrace->toPlainText(), " (StartWriter) \n");
  frmEcuTrace->close();
  EXPECT_FALSE(frmEcuTrace->isVisible());
  EXPECT_EQ(frmEcuTrace->mmTrace->toPlainText(), " (StartWriter) \n");

  w_->btnShowEcuTraceClick();
  EXPECT_TRUE(frmEcuTrace->isVisible());
  EXPECT_EQ(frmEcuTrace->mmTrace->toPlainText(), " (StartWriter) \n (MsgEnd)\n");
  delete frmEcuTrace;
  frmEcuTrace = nullptr;
}

TEST_F(MainWindow, ChartAndTableAreSetUpForTheAccelerationMode) {
  QCustomPlot* chart = w_->ChartPage->Chart1;
  EXPECT_EQ(chart->graphCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(chart->graph(i)->dataCount(), 0);
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));
  EXPECT_EQ(chart->yAxis->range(), QCPRange(0, 10200));
  EXPECT_EQ(chart->yAxis2->range(), QCPRange(-150, 156));
  EXPECT_FALSE(w_->ChartPage->CustomAxis->visible());
  EXPECT_EQ(w_->ChartPage->Series1->pen().color(), QColor(0, 0, 255));
  EXPECT_EQ(w_->ChartPage->Series3->pen().color(), QColor(64, 128, 128));
  EXPECT_EQ(w_->ChartPage->Series5->valueAxis(), w_->ChartPage->CustomAxis);

  w_->bcmbMode->setCurrentIndex(1);
  EXPECT_EQ(w_->ChartMode, 1);
  EXPECT_EQ(chart->yAxis2->range(), QCPRange(10, 20.2));
  EXPECT_TRUE(w_->ChartPage->CustomAxis->visible());
  EXPECT_EQ(w_->ChartPage->CustomAxis->range(), QCPRange(0, 20.4));

  w_->ChartPage->btnZoomInClick();
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 5));
  EXPECT_DOUBLE_EQ(w_->ChartPage->BottomIncrement(), 0.5);
  w_->ChartPage->btnZoomOutClick();
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));
  EXPECT_DOUBLE_EQ(w_->ChartPage->BottomIncrement(), 1);
  chart->xAxis->setRange(-1, 9);  // panning left of 0 is refused
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));

  TAccelTableGrid* grid = w_->grdSpinup;
  EXPECT_EQ(grid->rowCount(), 13);
  EXPECT_EQ(grid->ColCount(), 1);
  EXPECT_EQ(grid->Cell(0, 0), "");
  EXPECT_EQ(grid->Cell(0, 1), "2000 - 2500");
  EXPECT_EQ(grid->Cell(0, 11), "7000 - 7500");
  EXPECT_EQ(grid->Cell(0, 12), "Всего");
  EXPECT_GE(grid->HeaderWidth(), 71);
  EXPECT_EQ(grid->FixedColumn()->columnWidth(0), grid->HeaderWidth());
  EXPECT_GE(grid->RowHeight(), 18);
  EXPECT_EQ(grid->rowHeight(5), grid->RowHeight());
}

TEST_F(MainWindow, DiagnosticsPageHasItsBoxesAndDisabledFlags) {
  TDiagPage* d = w_->DiagPage;
  for (QLabel* l : {d->lblRPM2, d->lblTHR, d->lblAFR, d->lblTWAT, d->lblTAIR, d->lblUOZ, d->lblAIR, d->lblGBC,
                    d->lblINJ, d->lblSSM, d->lblPress, d->lblErrCnt})
    EXPECT_EQ(l->text(), "");
  QStringList flags;
  for (QCheckBox* c :
       {d->cbfSTOP, d->cbfXX, d->cbfFUELOFF, d->cbfDETZONE, d->cbfDET, d->cbfLAMREG, d->cbfLEARN}) {
    flags << c->text();
    EXPECT_FALSE(c->isEnabled());
  }
  EXPECT_EQ(flags, (QStringList{"fSTOP", "fXX", "fFUELOFF", "fDETZONE", "fDET", "fLAMREG", "fLEARN"}));
}

}  // namespace

namespace {

TEST(GeneralErrorHandler, ShowsWhatEscapesAHandler) {
  RecordingUi ui;
  EXPECT_FALSE(RunGuarded([]() -> bool { throw EcuError("Ошибка открытия порта", "open() failed"); }));
  EXPECT_FALSE(RunGuarded([]() -> bool { throw 42; }));
  EXPECT_TRUE(RunGuarded([] { return true; }));
  EXPECT_EQ(ui.errors, (std::vector<std::string>{"Ошибка открытия порта", "Неизвестная ошибка"}));
}

}  // namespace

namespace {

TEST_F(MainWindow, F10OnlyExits) {
  w_->show();
  w_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
  QTest::keyClick(w_.get(), Qt::Key_F10);
  EXPECT_FALSE(w_->isVisible());
  EXPECT_TRUE(ConfigExists());
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);  // no menu opened
}

}  // namespace
