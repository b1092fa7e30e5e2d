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
#include "common/timing.h"
#include "ecu/session.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "tests/support/core_state.h"
#include "tests/support/find_child.h"
#include "tests/support/sim_lines.h"
#include "tests/support/test_ui.h"

namespace {

// The window with its modal dialogs answered by the test.
class TestWindow : public TfrmMain {
 public:
  TestWindow(UserDialogs* dialogs, PortListRoots ports) : TfrmMain(dialogs) { portRoots_ = std::move(ports); }
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
    ResetCoreState();
    w_ = std::make_unique<TestWindow>(&ui_, Ports());
  }
  void TearDown() override {
    w_.reset();
    ResetCoreState();
    SetAppDirOverride("");
  }
  // An empty port fixture: the machine's own ports would vary the lists.
  PortListRoots Ports() const {
    return {(dir_.path() + "/sys").toStdString(), (dir_.path() + "/dev").toStdString()};
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
  const double scale = w_->Live().StatusBar()->PanelWidth(0) / 150.0;
  EXPECT_GE(scale, 1.0);
  for (int p = 0; p < 9; ++p) EXPECT_NEAR(w_->Live().StatusBar()->PanelWidth(p), widths[p] * scale, 1.0) << p;
  for (int p : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(w_->Live().StatusBar()->PanelAlignment(p), Qt::AlignCenter) << p;
  for (int p : {7, 8}) EXPECT_TRUE(w_->Live().StatusBar()->PanelAlignment(p) & Qt::AlignLeft) << p;

  ASSERT_EQ(Find<QTabWidget>(*w_, "PageControl1")->count(), 3);
  EXPECT_EQ(Find<QTabWidget>(*w_, "PageControl1")->tabText(0), "График");
  EXPECT_EQ(Find<QTabWidget>(*w_, "PageControl1")->tabText(1), "Таблица");
  EXPECT_EQ(Find<QTabWidget>(*w_, "PageControl1")->tabText(2), "Диагностика");
  EXPECT_EQ(Find<QTabWidget>(*w_, "PageControl1")->currentIndex(), 0);
  EXPECT_TRUE(Find<QFrame>(*w_, "pnlProgress")->isHidden());
  EXPECT_TRUE(w_->Live().PauseLabel()->isHidden());
  EXPECT_EQ(w_->Live().PauseLabel()->text(), "Пауза");

  EXPECT_EQ(Find<QComboBox>(*w_, "bcmbMode")->count(), 2);
  EXPECT_EQ(Find<QComboBox>(*w_, "bcmbMode")->itemText(0), "Ускорение");
  EXPECT_EQ(Find<QComboBox>(*w_, "bcmbMode")->itemText(1), "Доп. топливо");
  EXPECT_EQ(Find<QComboBox>(*w_, "bcmbMode")->currentIndex(), 0);
  EXPECT_GE(Find<QComboBox>(*w_, "bcmbMode")->width(), 100);

  EXPECT_FALSE(w_->Session().PollTimerActive());
  EXPECT_TRUE(Find<QTimer>(*w_, "ScreenUpdateTimer")->isActive());
  EXPECT_EQ(Find<QTimer>(*w_, "ScreenUpdateTimer")->interval(), 1000);
  EXPECT_EQ(w_->RunCount(), 0);
  EXPECT_EQ(w_->ChartMode(), 0);
  EXPECT_FALSE(w_->CloseDeferred());
  EXPECT_GT(PerfFrequency(), 0);  // the reply rate counts with it
  EXPECT_EQ(&Ui(), static_cast<UiHooks*>(w_.get()));
}

TEST_F(MainWindow, StartWithoutConfigFileUsesTheFallbacks) {
  EXPECT_EQ(TCfg.Port, "COM2");
  EXPECT_EQ(TCfg.ScreenInterval, 500);
  EXPECT_EQ(TCfg.LambdaEnabled, 0);
  EXPECT_EQ(TCfg.NotCheckReplyLen, 1);
  EXPECT_TRUE(ui_.errors.empty());
  w_->RefreshControls();
  EXPECT_FALSE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
  EXPECT_FALSE(Find<QAction>(*w_, "btnDisconnectLambda")->isEnabled());
}

TEST_F(MainWindow, SpinEditorsHaveTheirRangesStepsAndStartValuesAndTakeNoTyping) {
  struct Spin {
    QSpinBox* ed;
    int min, max, step, value;
  };
  for (const Spin& s : {Spin{Find<QSpinBox>(*w_, "edCorrUOZ"), -15, 15, 1, 0},
                        Spin{Find<QSpinBox>(*w_, "edRPMLimit"), 0, 1900, 100, 1100},
                        Spin{Find<QSpinBox>(*w_, "edAvgAngle"), 0, 3600, 10, 360},
                        Spin{Find<QSpinBox>(*w_, "edFilterLen"), 0, 20, 1, 0}}) {
    SCOPED_TRACE(s.ed->objectName().toStdString());
    EXPECT_EQ(s.ed->minimum(), s.min);
    EXPECT_EQ(s.ed->maximum(), s.max);
    EXPECT_EQ(s.ed->singleStep(), s.step);
    EXPECT_EQ(s.ed->value(), s.value);
    ASSERT_NE(s.ed->findChild<QLineEdit*>(), nullptr);
    EXPECT_TRUE(s.ed->findChild<QLineEdit*>()->isReadOnly());
    EXPECT_FALSE(s.ed->isReadOnly());  // the buttons still step
  }
  Find<QSpinBox>(*w_, "edAvgAngle")->stepBy(2);
  EXPECT_EQ(w_->Session().AvgAngle(), 380);
  Find<QSpinBox>(*w_, "edCorrUOZ")->stepBy(-3);
  EXPECT_EQ(w_->Session().RequestedCorrUOZ().load(), -3);
  Find<QSpinBox>(*w_, "edCorrUOZ")->setValue(0);
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
  EXPECT_EQ(link->actions()[6]->menu()->actions()[0], Find<QAction>(*w_, "btnConnectLambda"));
  EXPECT_EQ(top[2]->menu()->actions(), QList<QAction*>{Find<QAction>(*w_, "btnAbout")});

  EXPECT_EQ(Find<QAction>(*w_, "btnConnect")->shortcut(), QKeySequence(Qt::Key_F2));
  EXPECT_EQ(Find<QAction>(*w_, "btnDisconnect")->shortcut(), QKeySequence(Qt::Key_F3));
  EXPECT_EQ(Find<QAction>(*w_, "btnExit")->shortcut(), QKeySequence(Qt::Key_F10));
  for (QAction* a : {Find<QAction>(*w_, "btnOpenLog"), Find<QAction>(*w_, "btnOpenRuns"),
                     Find<QAction>(*w_, "btnFlashRead"), Find<QAction>(*w_, "btnFlashWrite"),
                     Find<QAction>(*w_, "btnSettings"), Find<QAction>(*w_, "btnExit"),
                     Find<QAction>(*w_, "btnConnect"), Find<QAction>(*w_, "btnDisconnect"),
                     Find<QAction>(*w_, "btnUnidirectionalMode"), Find<QAction>(*w_, "btnShowEcuTrace"),
                     Find<QAction>(*w_, "btnConnectLambda"), Find<QAction>(*w_, "btnDisconnectLambda")})
    EXPECT_EQ(a->toolTip(), a->text());
  for (QAction* a : {Find<QAction>(*w_, "btnSettings"), Find<QAction>(*w_, "btnConnect"),
                     Find<QAction>(*w_, "btnDisconnect"), Find<QAction>(*w_, "btnUnidirectionalMode")})
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
  Find<QAction>(*w_, "btnAbout")->trigger();
  beside.remove();
  Find<QAction>(*w_, "btnAbout")->trigger();
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
    w_->Live().SetPaused(r.paused);
    w_->RefreshControls();
    QAction* actions[8] = {
        Find<QAction>(*w_, "btnSettings"),      Find<QAction>(*w_, "btnConnect"),
        Find<QAction>(*w_, "btnDisconnect"),    Find<QAction>(*w_, "btnUnidirectionalMode"),
        Find<QAction>(*w_, "btnFlashRead"),     Find<QAction>(*w_, "btnFlashWrite"),
        Find<QAction>(*w_, "btnConnectLambda"), Find<QAction>(*w_, "btnDisconnectLambda")};
    for (int i = 0; i < 8; ++i)
      EXPECT_EQ(actions[i]->isEnabled(), r.enabled[i] == 1) << actions[i]->objectName().toStdString();
    EXPECT_TRUE(Find<QAction>(*w_, "btnExit")->isEnabled());
    EXPECT_TRUE(Find<QAction>(*w_, "btnShowEcuTrace")->isEnabled());
    EXPECT_EQ(Find<QAction>(*w_, "btnUnidirectionalMode")->isChecked(), r.pressed);
    EXPECT_EQ(w_->StatusText(0), r.panel0);
    EXPECT_EQ(w_->StatusText(1), r.panel1);
    EXPECT_EQ(!w_->Live().PauseLabel()->isHidden(), r.pauseShown);
    EXPECT_EQ(Find<QSpinBox>(*w_, "edFilterLen")->isEnabled(), r.filterLen);
    EXPECT_EQ(Find<QComboBox>(*w_, "bcmbMode")->isEnabled(), r.mode);
  }
}

TEST_F(MainWindow, ShowingTheWindowRefreshesTheControls) {
  EXPECT_TRUE(Find<QAction>(*w_, "btnDisconnect")->isEnabled());  // nothing refreshed yet
  w_->show();
  EXPECT_FALSE(Find<QAction>(*w_, "btnDisconnect")->isEnabled());
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnect")->isEnabled());
}

TEST_F(MainWindow, ConnectToAMissingPortReportsAndReturnsToIdle) {
  TCfg.Port = (dir_.path() + "/no-such-port").toStdString();
  TCfg.DataInterval = 0;
  TCfg.ScreenInterval = 0;
  w_->Session().Trace().AppendLine("old session");
  w_->RefreshControls();
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(w_->Session().Trace().Snapshot(), "");
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnect")->isEnabled());
  EXPECT_TRUE(Find<QAction>(*w_, "btnFlashRead")->isEnabled());
  // Interval 0 stops a timer altogether.
  EXPECT_EQ(w_->Session().PollInterval(), 0);
  EXPECT_FALSE(Find<QTimer>(*w_, "ScreenUpdateTimer")->isActive());
}

TEST_F(MainWindow, ConnectingDisablesItsCommandsUntilTheSessionAnswers) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  TCfg.Port = name;
  TCfg.LambdaEnabled = 1;
  TCfg.LambdaPort = "Нет-такого-порта";
  w_->RefreshControls();
  ASSERT_TRUE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
  // The LC-1 fails first: nothing of the link starts, the error is shown.
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_FALSE(w_->Lc1().Active());

  TCfg.LambdaEnabled = 0;
  w_->btnConnectClick();
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(w_->StatusText(0), "Подключение ...");
  for (QAction* a : {Find<QAction>(*w_, "btnConnect"), Find<QAction>(*w_, "btnFlashRead"),
                     Find<QAction>(*w_, "btnFlashWrite"), Find<QAction>(*w_, "btnConnectLambda"),
                     Find<QAction>(*w_, "btnDisconnect"), Find<QAction>(*w_, "btnUnidirectionalMode")})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  w_->Session().Teardown();
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnect")->isEnabled());
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
  for (QAction* a : {Find<QAction>(*w_, "btnSettings"), Find<QAction>(*w_, "btnConnect"),
                     Find<QAction>(*w_, "btnFlashRead"), Find<QAction>(*w_, "btnFlashWrite")})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  EXPECT_FALSE(Find<QComboBox>(*w_, "bcmbMode")->isEnabled());

  // F3 in the wait ends the reconnection.
  ASSERT_TRUE(Find<QAction>(*w_, "btnDisconnect")->isEnabled());
  Find<QAction>(*w_, "btnDisconnect")->trigger();
  EXPECT_FALSE(w_->Session().ReconnectWaiting());
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnect")->isEnabled());
  EXPECT_FALSE(Find<QAction>(*w_, "btnDisconnect")->isEnabled());
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
  Find<QAction>(*w_, "btnUnidirectionalMode")->trigger();
  EXPECT_EQ(w_->Session().LeaveUnidirRequest().load(), 1);
  EXPECT_TRUE(Find<QAction>(*w_, "btnUnidirectionalMode")->isChecked());
}

TEST_F(MainWindow, UnidirectionalCommandRequestsTheMode) {
  w_->Session().LinkState() = 1;
  w_->RefreshControls();
  w_->Session().LeaveUnidirRequest() = 1;
  Find<QAction>(*w_, "btnUnidirectionalMode")->trigger();
  EXPECT_EQ(w_->Session().LeaveUnidirRequest().load(), 0);
  EXPECT_FALSE(Find<QAction>(*w_, "btnUnidirectionalMode")->isChecked());  // pressed only once the mode runs
}

TEST_F(MainWindow, ProgressPanelShowsStepsAndHides) {
  w_->show();
  w_->BeginStage("Чтение", 10);
  EXPECT_TRUE(Find<QFrame>(*w_, "pnlProgress")->isVisible());
  EXPECT_EQ(Find<QLabel>(*w_, "lblProgressState")->text(), "Чтение");
  EXPECT_EQ(Find<QProgressBar>(*w_, "ProgressBar1")->maximum(), 10);
  EXPECT_EQ(Find<QProgressBar>(*w_, "ProgressBar1")->value(), 0);
  for (int i = 1; i <= 3; ++i) w_->StepDone(i, 10);
  EXPECT_EQ(Find<QProgressBar>(*w_, "ProgressBar1")->value(), 3);
  w_->EndProgress();
  EXPECT_FALSE(Find<QFrame>(*w_, "pnlProgress")->isVisible());
  static_cast<SessionEvents&>(*w_).OnResponseTime(27);
  EXPECT_EQ(w_->StatusText(2), "27 мс");
}

TEST_F(MainWindow, IdleCloseSavesOnceAndCloses) {
  w_->show();
  EXPECT_FALSE(ConfigExists());
  EXPECT_TRUE(w_->close());
  EXPECT_TRUE(ConfigExists());
  EXPECT_FALSE(w_->isVisible());
  EXPECT_FALSE(w_->CloseDeferred());
}

TEST_F(MainWindow, ConfigThatCannotBeReadOrWrittenIsAnErrorBoxAtStartAndAtClose) {
  w_.reset();
  ASSERT_TRUE(QDir(dir_.path()).mkdir("cfg.ini"));  // a folder in the file's place
  const std::string cfg = dir_.path().toStdString() + "/cfg.ini";
  w_ = std::make_unique<TestWindow>(&ui_, Ports());
  EXPECT_EQ(ui_.errors,
            std::vector<std::string>{"Ошибка чтения файла настройки " + cfg + ": это папка, а не файл"});
  EXPECT_TRUE(w_->close());
  EXPECT_EQ(ui_.errors.back(), "Ошибка записи файла настройки " + cfg + ": это папка, а не файл");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(MainWindow, CloseDuringASessionDefersAndSavesTwice) {
  w_->show();
  w_->Session().LinkState() = 1;
  w_->Session().SetPolling(true);
  EXPECT_FALSE(w_->close());
  EXPECT_TRUE(w_->isVisible());
  EXPECT_TRUE(w_->CloseDeferred());
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
  Find<QAction>(*w_, "btnExit")->trigger();
  EXPECT_FALSE(w_->isVisible());
  EXPECT_TRUE(ConfigExists());
}

TEST_F(MainWindow, SettingsCommandRefreshesTheLc1Commands) {
  TCfg.LambdaEnabled = 1;
  TCfg.LambdaPort = "COM5";
  w_->RefreshControls();
  ASSERT_TRUE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
  w_->onModal = [](QDialog& d) {
    auto& s = dynamic_cast<TfrmSettings&>(d);
    s.FormShow();
    s.cmbLambdaPort->setCurrentIndex(0);  // "Нет"
    s.btnOkClick();
  };
  Find<QAction>(*w_, "btnSettings")->trigger();
  EXPECT_EQ(TCfg.LambdaPort, "Нет");
  EXPECT_EQ(TCfg.LambdaEnabled, 0);
  EXPECT_FALSE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
}

TEST_F(MainWindow, TraceCommandShowsASnapshotAndClosingOnlyHides) {
  w_->Session().Trace().AppendLine(TraceStartWriterLine());
  Find<QAction>(*w_, "btnShowEcuTrace")->trigger();
  TfrmEcuTrace* trace = w_->TraceWindow();
  ASSERT_NE(trace, nullptr);
  EXPECT_TRUE(trace->isVisible());
  EXPECT_EQ(trace->windowTitle(), "Обмен с ЭБУ");
  EXPECT_TRUE(trace->mmTrace->isReadOnly());
  EXPECT_EQ(trace->mmTrace->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(trace->mmTrace->toPlainText(), " (StartWriter) \n");

  w_->Session().Trace().AppendLine(TraceMsgEndLine());
  EXPECT_EQ(trace->mmTrace->toPlainText(), " (StartWriter) \n");
  trace->close();
  EXPECT_FALSE(trace->isVisible());
  EXPECT_EQ(trace->mmTrace->toPlainText(), " (StartWriter) \n");

  w_->btnShowEcuTraceClick();
  EXPECT_TRUE(trace->isVisible());
  EXPECT_EQ(trace->mmTrace->toPlainText(), " (StartWriter) \n (MsgEnd)\n");
}

TEST_F(MainWindow, ChartAndTableAreSetUpForTheAccelerationMode) {
  QCustomPlot* chart = w_->Live().Chart()->Plot();
  EXPECT_EQ(chart->graphCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(chart->graph(i)->dataCount(), 0);
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));
  EXPECT_EQ(chart->yAxis->range(), QCPRange(0, 10200));
  EXPECT_EQ(chart->yAxis2->range(), QCPRange(-150, 156));
  EXPECT_FALSE(w_->Live().Chart()->CustomAxis()->visible());
  EXPECT_EQ(w_->Live().Chart()->Series(kSeries1)->pen().color(), QColor(0, 0, 255));
  EXPECT_EQ(w_->Live().Chart()->Series(kSeries3)->pen().color(), QColor(64, 128, 128));
  EXPECT_EQ(w_->Live().Chart()->Series(kSeries5)->valueAxis(), w_->Live().Chart()->CustomAxis());

  Find<QComboBox>(*w_, "bcmbMode")->setCurrentIndex(1);
  EXPECT_EQ(w_->ChartMode(), 1);
  EXPECT_EQ(chart->yAxis2->range(), QCPRange(10, 20.2));
  EXPECT_TRUE(w_->Live().Chart()->CustomAxis()->visible());
  EXPECT_EQ(w_->Live().Chart()->CustomAxis()->range(), QCPRange(0, 20.4));

  w_->Live().Chart()->OnZoomIn();
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 5));
  EXPECT_DOUBLE_EQ(w_->Live().Chart()->BottomIncrement(), 0.5);
  w_->Live().Chart()->OnZoomOut();
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));
  EXPECT_DOUBLE_EQ(w_->Live().Chart()->BottomIncrement(), 1);
  chart->xAxis->setRange(-1, 9);  // panning left of 0 is refused
  EXPECT_EQ(chart->xAxis->range(), QCPRange(0, 10));

  TAccelTableGrid* grid = w_->Runs().Grid();
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
  const TDiagPage& d = *w_->Live().Diagnostics();
  for (const char* name : {"lblRPM2", "lblTHR", "lblAFR", "lblTWAT", "lblTAIR", "lblUOZ", "lblAIR", "lblGBC",
                           "lblINJ", "lblSSM", "lblPress", "lblErrCnt"})
    EXPECT_EQ(Find<QLabel>(d, name)->text(), "");
  QStringList flags;
  for (const char* name :
       {"cbfSTOP", "cbfXX", "cbfFUELOFF", "cbfDETZONE", "cbfDET", "cbfLAMREG", "cbfLEARN"}) {
    const QCheckBox* c = Find<QCheckBox>(d, name);
    flags << c->text();
    EXPECT_FALSE(c->isEnabled());
  }
  EXPECT_EQ(flags, (QStringList{"fSTOP", "fXX", "fFUELOFF", "fDETZONE", "fDET", "fLAMREG", "fLEARN"}));
}

}  // namespace

namespace {

TEST(GeneralErrorHandler, ShowsWhatEscapesAHandler) {
  RecordingUi ui;
  EXPECT_FALSE(RunGuarded(ui, []() -> bool { throw EcuError("Ошибка открытия порта", "open() failed"); }));
  EXPECT_FALSE(RunGuarded(ui, []() -> bool { throw 42; }));
  EXPECT_TRUE(RunGuarded(ui, [] { return true; }));
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
