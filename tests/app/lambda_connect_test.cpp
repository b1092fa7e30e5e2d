// The LC-1 as the main window drives it: the connect command's undo when the
// K-line port fails, and the status panels while the LC-1 runs alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainwindow.h"
#include "common/config.h"
#include "common/paths.h"
#include "ecu/session.h"
#include "sim/lc1.h"
#include "sim/sim.h"
#include "tests/support/core_state.h"
#include "tests/support/find_child.h"
#include "tests/support/test_ui.h"

namespace {

constexpr int kWaitMs = 5000;

class Lc1Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
    ResetCoreState();
    device_ = std::make_shared<sim::Lc1Device>();
    device_->SetPeriodMs(10);
    sim::SimLineOptions options;
    options.timeScale = 0;
    options.echo = false;
    line_ = std::make_unique<sim::SimLine>((dir_.path() + "/lc1").toStdString(), device_, options);
    // The window loads the configuration (fallbacks here); the test's comes after.
    w_ = std::make_unique<TfrmMain>(&ui_);
    TCfg.LambdaEnabled = 1;
    TCfg.LambdaPort = line_->LinkPath();
    TCfg.ScreenInterval = 0;  // the LC-1 alone then refreshes every 100 ms
    w_->RefreshControls();
  }
  void TearDown() override {
    if (w_->Lc1().Active()) w_->Lc1().Disconnect();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w_->Lc1().ReaderRunning(); }, kWaitMs));
    w_.reset();
    line_.reset();
    ResetCoreState();
    SetAppDirOverride("");
  }

  QTemporaryDir dir_;
  RecordingUi ui_;
  std::shared_ptr<sim::Lc1Device> device_;
  std::unique_ptr<sim::SimLine> line_;
  std::unique_ptr<TfrmMain> w_;
};

TEST_F(Lc1Window, ConnectStopsTheLc1AgainWhenTheKlinePortFails) {
  TCfg.Port = (dir_.path() + "/no-kline").toStdString();
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.errors[0], "Ошибка открытия порта " + TCfg.Port + ": нет такого устройства");
  // The LC-1 had been started first (its port set to 19200), then stopped again.
  EXPECT_EQ(line_->ProgramSettings().baud, 19200u);
  EXPECT_FALSE(w_->Lc1().Active());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w_->Lc1().ReaderRunning(); }, kWaitMs));
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnect")->isEnabled());
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
  // The LC-1 port was released: it opens again at once.
  w_->btnConnectLambdaClick();
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_TRUE(w_->Lc1().Active());
}

TEST_F(Lc1Window, AbsentLc1PortIsNamedAsTheLc1sAndTheKlineIsNotTried) {
  TCfg.LambdaPort = (dir_.path() + "/COM5").toStdString();
  TCfg.Port = line_->LinkPath();  // would open: it must not be tried
  w_->btnConnectClick();
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.errors[0],
            "Ошибка открытия порта LC-1 " + TCfg.LambdaPort +
                ": нет такого устройства\nЕсли LC-1 не используется: «Настройки» → «Порт LC-1» → «Нет».");
  EXPECT_FALSE(w_->Session().PortOpen());
  EXPECT_EQ(w_->StatusText(0), "Не подключен");
  // The LC-1 command alone says the same.
  w_->btnConnectLambdaClick();
  ASSERT_EQ(ui_.errors.size(), 2u);
  EXPECT_EQ(ui_.errors[1], ui_.errors[0]);
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
}

TEST_F(Lc1Window, PanelsFollowTheLc1RunningAlone) {
  device_->SetSilent(true);
  w_->btnConnectLambdaClick();
  EXPECT_TRUE(ui_.errors.empty());
  EXPECT_EQ(w_->ScreenUpdateInterval(), 100);
  // No packet yet: time-out from the connect on.
  EXPECT_EQ(w_->StatusText(1), "Тайм-аут");
  EXPECT_FALSE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
  EXPECT_TRUE(Find<QAction>(*w_, "btnDisconnectLambda")->isEnabled());

  device_->SetSilent(false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(1) == "Подключен"; }, kWaitMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(7) == " LC1 AFR: 14.7"; }, kWaitMs));

  device_->SetFunctionCode(6);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(7) == " LC1 AFR: --"; }, kWaitMs));

  device_->SetSilent(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(1) == "Тайм-аут"; }, kWaitMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(7) == " LC1 AFR: 0.0"; }, kWaitMs));

  w_->btnDisconnectLambdaClick();
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
  EXPECT_EQ(w_->StatusText(7), "");
  EXPECT_TRUE(Find<QAction>(*w_, "btnConnectLambda")->isEnabled());
}

TEST_F(Lc1Window, PulledLeadShowsTheTimeOut) {
  w_->btnConnectLambdaClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(1) == "Подключен"; }, kWaitMs));
  line_->Hangup();
  EXPECT_TRUE(QTest::qWaitFor([&] { return w_->StatusText(1) == "Тайм-аут"; }, kWaitMs));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !w_->Lc1().ReaderRunning(); }, kWaitMs));
  w_->btnDisconnectLambdaClick();
  EXPECT_EQ(w_->StatusText(1), "Не подключен");
}

}  // namespace
