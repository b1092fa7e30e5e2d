// The settings dialog and the port list it is filled from.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLayout>
#include <QTemporaryDir>

#include "common/config.h"
#include "common/error.h"
#include "common/portlist.h"
#include "tests/support/test_ui.h"

namespace {

// A sysfs tty class and a device folder made of plain files and links.
class PortFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    QDir(dir_.path()).mkpath("sys");
    QDir(dir_.path()).mkpath("dev");
    QDir(dir_.path()).mkpath("drivers/serial8250");
    QDir(dir_.path()).mkpath("drivers/dw-apb-uart");
    TCfg = ConfigRecord{};
  }
  PortListRoots Roots() const { return {Sys().toStdString(), Dev().toStdString()}; }

  QString Sys() const { return dir_.path() + "/sys"; }
  QString Dev() const { return dir_.path() + "/dev"; }
  // A port as the kernel shows it: a class entry with a device link and a node.
  void AddPort(const QString& name, const QString& driver = "usb-serial", bool node = true) {
    QDir(Sys()).mkpath(name + "/device");
    QDir(dir_.path()).mkpath("drivers/" + driver);
    QFile::link(dir_.path() + "/drivers/" + driver, Sys() + "/" + name + "/device/driver");
    if (node) Touch(Dev() + "/" + name);
  }
  static void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }

  QTemporaryDir dir_;
  RecordingUi ui_;
};

using PortList = PortFixture;

TEST_F(PortList, ListsPortsWithDevicesSortedWithoutRegardToCase) {
  AddPort("COM2");
  AddPort("COM10");
  AddPort("com1");
  AddPort("ttyUSB0");
  EXPECT_EQ(ListSerialPorts(Roots()), (std::vector<std::string>{"com1", "COM10", "COM2", "ttyUSB0"}));
}

TEST_F(PortList, SkipsConsolesMissingNodesAndEmpty8250Slots) {
  QDir(Sys()).mkpath("tty0");  // a virtual console: no device behind it
  Touch(Dev() + "/tty0");
  AddPort("ttyUSB1", "ftdi_sio", false);  // no device node
  AddPort("ttyS0", "serial8250");         // legacy slot; the node is no UART
  AddPort("ttyS4", "dw-apb-uart");        // a UART of another driver
  AddPort("ttyACM0", "cdc_acm");
  EXPECT_EQ(ListSerialPorts(Roots()), (std::vector<std::string>{"ttyACM0", "ttyS4"}));
}

TEST_F(PortList, AddsTheConfiguredPortsWhenTheirDeviceExists) {
  AddPort("ttyUSB0");
  const QString link = dir_.path() + "/sim-kline";
  Touch(link);
  TCfg.Port = link.toStdString();  // a path is used as it is
  TCfg.LambdaPort = "ttyUSB0";     // already listed: once
  EXPECT_EQ(ListSerialPorts(Roots()), (std::vector<std::string>{link.toStdString(), "ttyUSB0"}));
  TCfg.LambdaPort = "Нет";
  TCfg.Port = (dir_.path() + "/gone").toStdString();
  EXPECT_EQ(ListSerialPorts(Roots()), (std::vector<std::string>{"ttyUSB0"}));
}

TEST_F(PortList, UnreadableClassFolderRaisesTheListError) {
  try {
    ListSerialPorts({(dir_.path() + "/missing").toStdString(), Dev().toStdString()});
    FAIL() << "no error";
  } catch (const EcuError& e) {
    EXPECT_STREQ(e.what(), "Ошибка чтения списка портов");
  }
}

class SettingsDialog : public PortFixture {
 protected:
  void SetUp() override {
    PortFixture::SetUp();
    for (const char* p : {"COM1", "COM2", "COM10", "COM3"}) AddPort(p);
    TCfg.Port = "COM2";
    TCfg.LambdaPort = "Нет";
    TCfg.CBR = 2;
    TCfg.Echo = 1;
    TCfg.FastInit = 0;
    TCfg.DataInterval = 150;
    TCfg.ScreenInterval = 1000;
    TCfg.WriterPause = 35;
    TCfg.NotCheckReplyLen = 1;
    TCfg.WriteLog = 1;
    TCfg.FlashBackup = 1;
    TCfg.FlashVerify = 0;
    TCfg.AutoReconnect = 1;
  }
  static QStringList Items(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
  }
  static void ExpectSame(const ConfigRecord& a, const ConfigRecord& b) {
    EXPECT_EQ(a.Port, b.Port);
    EXPECT_EQ(a.LambdaPort, b.LambdaPort);
    EXPECT_EQ(a.CBR, b.CBR);
    EXPECT_EQ(a.Echo, b.Echo);
    EXPECT_EQ(a.FastInit, b.FastInit);
    EXPECT_EQ(a.DataInterval, b.DataInterval);
    EXPECT_EQ(a.ScreenInterval, b.ScreenInterval);
    EXPECT_EQ(a.WriterPause, b.WriterPause);
    EXPECT_EQ(a.LambdaEnabled, b.LambdaEnabled);
    EXPECT_EQ(a.NotCheckReplyLen, b.NotCheckReplyLen);
    EXPECT_EQ(a.WriteLog, b.WriteLog);
    EXPECT_EQ(a.FlashBackup, b.FlashBackup);
    EXPECT_EQ(a.FlashVerify, b.FlashVerify);
    EXPECT_EQ(a.AutoReconnect, b.AutoReconnect);
  }
};

TEST_F(SettingsDialog, IsLaidOutAsDesigned) {
  TfrmSettings d(ui_, nullptr, Roots());
  EXPECT_EQ(d.windowTitle(), "Настройки");
  // At least the designed size, and tall enough that no check box is squeezed.
  EXPECT_GE(d.width(), 322);
  EXPECT_GE(d.height(), 346);
  EXPECT_GE(d.height(), d.layout()->sizeHint().height());
  EXPECT_EQ(d.minimumSize(), d.maximumSize());
  EXPECT_EQ(Items(d.cmbCBR), (QStringList{"10400", "38400", "57600"}));
  EXPECT_EQ(Items(d.cmbDataInterval), (QStringList{"0", "150", "200", "300", "400", "500"}));
  EXPECT_EQ(Items(d.cmbScreenInterval), (QStringList{"0", "200", "300", "500", "1000"}));
  EXPECT_FALSE(d.cmbDataInterval->isEnabled());
  EXPECT_FALSE(d.cmbScreenInterval->isEnabled());
  EXPECT_TRUE(d.cbEcho->isHidden());
  EXPECT_TRUE(d.cbFastInit->isHidden());
  EXPECT_EQ(d.edWriterPause->minimum(), 20);
  EXPECT_EQ(d.edWriterPause->maximum(), 200);
  EXPECT_TRUE(d.btnOk->isDefault());
  EXPECT_EQ(d.btnCancel->text(), "Отмена");
  EXPECT_EQ(d.cbNotCheckReplyLen->text(), "Не проверять длину ответа");
  EXPECT_EQ(d.cbWriteLogs->text(), "Писать лог");
  EXPECT_EQ(d.cbAutoReconnect->text(), "Переподключаться автоматически");
}

TEST_F(SettingsDialog, ListsPortsInCaseInsensitiveOrderWithNoneFirstForTheLc1) {
  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  EXPECT_EQ(Items(d.cmbPort), (QStringList{"COM1", "COM10", "COM2", "COM3"}));
  EXPECT_EQ(Items(d.cmbLambdaPort), (QStringList{"Нет", "COM1", "COM10", "COM2", "COM3"}));
}

TEST_F(SettingsDialog, LoadsFromTheRecordAndConfirmingUnchangedStoresTheSame) {
  TCfg.Echo = 0;  // hidden boxes carry their values through
  TCfg.FastInit = 1;
  const ConfigRecord before = TCfg;
  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  EXPECT_EQ(d.cmbPort->currentText(), "COM2");
  EXPECT_EQ(d.cmbCBR->currentIndex(), 2);
  EXPECT_FALSE(d.cbEcho->isChecked());
  EXPECT_TRUE(d.cbFastInit->isChecked());
  EXPECT_EQ(d.cmbDataInterval->currentText(), "150");
  EXPECT_EQ(d.cmbScreenInterval->currentText(), "1000");
  EXPECT_EQ(d.edWriterPause->value(), 35);
  EXPECT_EQ(d.cmbLambdaPort->currentIndex(), 0);
  EXPECT_TRUE(d.cbNotCheckReplyLen->isChecked());
  EXPECT_TRUE(d.cbWriteLogs->isChecked());
  EXPECT_TRUE(d.cbFlashBackup->isChecked());
  EXPECT_FALSE(d.cbFlashVerify->isChecked());
  EXPECT_TRUE(d.cbAutoReconnect->isChecked());
  d.btnOkClick();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  ExpectSame(TCfg, before);

  TfrmSettings again(ui_, nullptr, Roots());
  again.FormShow();
  again.cbAutoReconnect->setChecked(false);
  again.cbFlashBackup->setChecked(false);
  again.cbFlashVerify->setChecked(true);
  again.btnOkClick();
  EXPECT_EQ(TCfg.AutoReconnect, 0);
  EXPECT_EQ(TCfg.FlashBackup, 0);
  EXPECT_EQ(TCfg.FlashVerify, 1);
}

TEST_F(SettingsDialog, LowerCaseStoredPortSelectsThePresentOne) {
  TCfg.Port = "com3";
  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  EXPECT_EQ(d.cmbPort->currentText(), "COM3");
  d.btnOkClick();
  EXPECT_EQ(TCfg.Port, "COM3");
}

TEST_F(SettingsDialog, Lc1ChoiceSetsLambdaEnabled) {
  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  d.cmbLambdaPort->setCurrentText("COM10");
  d.btnOkClick();
  EXPECT_EQ(TCfg.LambdaPort, "COM10");
  EXPECT_EQ(TCfg.LambdaEnabled, 1);

  TfrmSettings again(ui_, nullptr, Roots());
  again.FormShow();
  EXPECT_EQ(again.cmbLambdaPort->currentText(), "COM10");
  again.cmbLambdaPort->setCurrentIndex(0);
  again.btnOkClick();
  EXPECT_EQ(TCfg.LambdaPort, "Нет");
  EXPECT_EQ(TCfg.LambdaEnabled, 0);
}

TEST_F(SettingsDialog, WriterPauseOutsideItsRangeShowsClampedAndCancelKeepsEverything) {
  TCfg.WriterPause = 500;
  const ConfigRecord before = TCfg;
  {
    TfrmSettings d(ui_, nullptr, Roots());
    d.FormShow();
    EXPECT_EQ(d.edWriterPause->value(), 200);
    d.cmbPort->setCurrentText("COM1");
    d.cmbCBR->setCurrentIndex(0);
    d.cbWriteLogs->setChecked(false);
    d.cbAutoReconnect->setChecked(false);
    d.btnCancel->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
  }
  ExpectSame(TCfg, before);

  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  d.btnOkClick();
  EXPECT_EQ(TCfg.WriterPause, 200);
}

TEST_F(SettingsDialog, AbsentConfiguredPortsAreShownMarkedAndKeptWithUnlistedIntervals) {
  TCfg.Port = "COM7";
  TCfg.LambdaPort = "COM5";
  TCfg.LambdaEnabled = 1;
  TCfg.DataInterval = 250;
  TCfg.ScreenInterval = 0;
  TfrmSettings d(ui_, nullptr, Roots());
  d.FormShow();
  EXPECT_EQ(Items(d.cmbPort), (QStringList{"COM1", "COM10", "COM2", "COM3", "COM7 (нет)"}));
  EXPECT_EQ(d.cmbPort->currentText(), "COM7 (нет)");
  EXPECT_EQ(d.cmbLambdaPort->currentText(), "COM5 (нет)");
  EXPECT_EQ(d.cmbDataInterval->currentIndex(), -1);
  EXPECT_EQ(d.cmbScreenInterval->currentText(), "0");
  d.btnOkClick();
  EXPECT_EQ(TCfg.Port, "COM7");
  EXPECT_EQ(TCfg.LambdaPort, "COM5");
  EXPECT_EQ(TCfg.LambdaEnabled, 1);
  EXPECT_EQ(TCfg.DataInterval, 250);
  EXPECT_EQ(TCfg.ScreenInterval, 0);
  EXPECT_EQ(TCfg.CBR, 2);
}

TEST_F(SettingsDialog, UnreadablePortListIsReportedAndTheRestStillLoads) {
  TCfg.LambdaPort = "COM1";
  TCfg.LambdaEnabled = 1;
  const ConfigRecord before = TCfg;
  TfrmSettings d(ui_, nullptr, {(dir_.path() + "/missing").toStdString(), Dev().toStdString()});
  d.FormShow();
  EXPECT_EQ(ui_.errors, std::vector<std::string>{"Ошибка чтения списка портов"});
  EXPECT_EQ(Items(d.cmbLambdaPort), QStringList{"Нет"});
  EXPECT_EQ(d.cmbCBR->currentIndex(), 2);
  EXPECT_EQ(d.edWriterPause->value(), 35);
  EXPECT_TRUE(d.cbWriteLogs->isChecked());
  d.btnOkClick();
  ExpectSame(TCfg, before);  // nothing the user did not change
}

}  // namespace
