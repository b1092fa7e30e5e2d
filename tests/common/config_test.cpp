// cfg.ini: the configuration record's file, its defaults and failures.
#include "common/config.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "common/paths.h"
#include "tests/support/test_ui.h"

namespace {

const std::string kNo1251 = "\xCD\xE5\xF2";  // "Нет" in Windows-1251

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
  }
  void TearDown() override { SetAppDirOverride(""); }

  std::string Path() const { return (dir_.path() + "/cfg.ini").toStdString(); }
  void Write(const std::string& bytes) {
    QFile f(QString::fromStdString(Path()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  std::string Read() const {
    QFile f(QString::fromStdString(Path()));
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll().toStdString();
  }
  // A record as the process holds it before start-up (all zero).
  static ConfigRecord Fresh() { return ConfigRecord{}; }

  QTemporaryDir dir_;
  RecordingUi ui_;
};

TEST_F(ConfigFile, FirstStartWithoutFileUsesFallbacksSilentlyAndTheFirstSaveCreatesIt) {
  ConfigRecord cfg = Fresh();
  InitConfig(cfg);
  EXPECT_EQ(cfg.Port, "COM2");
  EXPECT_EQ(cfg.CBR, 1);
  EXPECT_EQ(cfg.DataInterval, 150);
  EXPECT_EQ(cfg.ScreenInterval, 500);
  EXPECT_EQ(cfg.WriterPause, 20);
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  EXPECT_EQ(cfg.WriteLog, 0);
  EXPECT_EQ(cfg.Echo, 1);
  EXPECT_EQ(cfg.FastInit, 0);
  EXPECT_EQ(cfg.NotCheckReplyLen, 1);
  EXPECT_EQ(cfg.FlashBackup, 1);
  EXPECT_EQ(cfg.FlashVerify, 1);
  EXPECT_TRUE(ui_.errors.empty());
  EXPECT_EQ(Read(), "<missing>");

  EXPECT_TRUE(SaveConfig(cfg));
  EXPECT_EQ(Read(),
            "[Ecu]\r\nPort=COM2\r\nCBR=1\r\nAutoReconnect=0\r\n[Interval]\r\nData=150\r\nScreen=500\r\n"
            "WriterPause=20\r\n"
            "[Lambda]\r\nPort=" +
                kNo1251 + "\r\n[Logs]\r\nWriteLog=0\r\n[Flash]\r\nBackup=1\r\nVerify=1\r\n");
}

TEST_F(ConfigFile, EmptyFileGivesTheKeyDefaults) {
  Write("");
  ConfigRecord cfg = Fresh();
  EXPECT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.Port, "COM2");
  EXPECT_EQ(cfg.CBR, 1);
  EXPECT_EQ(cfg.DataInterval, 150);
  EXPECT_EQ(cfg.ScreenInterval, 300);  // 500 only without any file
  EXPECT_EQ(cfg.WriterPause, 20);
  EXPECT_EQ(cfg.LambdaPort, "COM5");
  EXPECT_EQ(cfg.LambdaEnabled, 1);
  EXPECT_EQ(cfg.WriteLog, 0);
}

TEST_F(ConfigFile, NotCheckReplyLenIsOnAfterEveryStart) {
  Write("[Ecu]\r\nPort=COM1\r\n");
  ConfigRecord cfg = Fresh();
  InitConfig(cfg);
  EXPECT_EQ(cfg.NotCheckReplyLen, 1);
  EXPECT_EQ(cfg.Port, "COM1");
  EXPECT_EQ(cfg.ScreenInterval, 300);
}

TEST_F(ConfigFile, OnlyTheExactWordNoDisablesTheLc1) {
  struct Case {
    std::string stored;
    std::string port;
    int enabled;
  };
  for (const Case& c : {Case{kNo1251, "Нет", 0}, Case{"\xED\xE5\xF2", "нет", 1},
                        Case{"ttyUSB1", "ttyUSB1", 1}, Case{"", "", 1}}) {
    Write("[Lambda]\r\nPort=" + c.stored + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg));
    EXPECT_EQ(cfg.LambdaPort, c.port);
    EXPECT_EQ(cfg.LambdaEnabled, c.enabled) << c.port;
  }
}

TEST_F(ConfigFile, WriteLogIsTrueOnlyForExactlyOne) {
  const std::pair<const char*, int> cases[] = {{"1", 1}, {" 1 ", 1}, {"0", 0},  {"yes", 0},
                                               {"2", 0}, {"", 0},    {"01", 0}, {"true", 0}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Logs]\r\nWriteLog=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg));
    EXPECT_EQ(cfg.WriteLog, expected) << '"' << text << '"';
  }
  ConfigRecord cfg = Fresh();
  cfg.WriteLog = 1;
  ASSERT_TRUE(SaveConfig(cfg));
  EXPECT_NE(Read().find("WriteLog=1\r\n"), std::string::npos);
}

TEST_F(ConfigFile, FirmwareSafetySwitchesAreOffOnlyForAnExplicitZero) {
  const std::pair<const char*, int> cases[] = {{"0", 0}, {" 0 ", 0}, {"1", 1}, {"", 1}, {"no", 1}, {"2", 1}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Flash]\r\nBackup=") + text + "\r\nVerify=" + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg));
    EXPECT_EQ(cfg.FlashBackup, expected) << '"' << text << '"';
    EXPECT_EQ(cfg.FlashVerify, expected) << '"' << text << '"';
  }
  Write("[Flash]\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.FlashBackup, 1);
  EXPECT_EQ(cfg.FlashVerify, 1);
}

TEST_F(ConfigFile, IntegersParseLikeTheProfileReaderAndKeepTheFieldWidth) {
  const std::pair<const char*, int> cases[] = {
      {"200", 200},         {" 300 ", 300}, {"abc", 150}, {"", 150},     {"70000", 4464},
      {"0x10", 16},         {"0X1f", 31},   {"$FF", 255}, {"-1", 65535}, {"+40", 40},
      {"12abc", 150},       {"0x", 150},    {"$", 150},   {"1.5", 150},  {"2147483648", 150},
      {"$FFFFFFFF", 65535}, {"0x10000", 0},
  };
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Interval]\r\nData=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg));
    EXPECT_EQ(cfg.DataInterval, expected) << '"' << text << '"';
  }
}

TEST_F(ConfigFile, SpeedIndexOutsideTheTableReadsAsOne) {
  const std::pair<const char*, int> cases[] = {{"0", 0}, {"2", 2}, {"3", 1}, {"-1", 1}, {"x", 1}, {"$2", 2}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Ecu]\r\nCBR=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg));
    EXPECT_EQ(cfg.CBR, expected) << text;
  }
}

TEST_F(ConfigFile, SaveReplacesKeysInPlaceAndKeepsEverythingElse) {
  Write(
      "; my notes\r\n[ECU]\r\nPORT=COM7\r\nMyKey=keep "
      "me\r\n\r\n[Other]\r\nx=y\r\n[LOGS]\r\nwritelog=yes\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg));
  cfg.Port = "ttyUSB0";
  ASSERT_TRUE(SaveConfig(cfg));
  EXPECT_EQ(Read(),
            "; my notes\r\n[ECU]\r\nPORT=ttyUSB0\r\nMyKey=keep me\r\nCBR=1\r\nAutoReconnect=0\r\n\r\n"
            "[Other]\r\nx=y\r\n"
            "[LOGS]\r\nwritelog=0\r\n[Interval]\r\nData=150\r\nScreen=300\r\nWriterPause=20\r\n"
            "[Lambda]\r\nPort=COM5\r\n[Flash]\r\nBackup=1\r\nVerify=1\r\n");
}

TEST_F(ConfigFile, Windows1251FileLoadsAndSavesByteIdentically) {
  const std::string original =
      "[Ecu]\r\nPort=COM3\r\nCBR=2\r\nAutoReconnect=1\r\n[Interval]\r\nData=0\r\nScreen=1000\r\n"
      "WriterPause=35\r\n[Lambda]\r\nPort=" +
      kNo1251 + "\r\n[Logs]\r\nWriteLog=1\r\n[Flash]\r\nBackup=0\r\nVerify=1\r\n";
  Write(original);
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  EXPECT_EQ(cfg.AutoReconnect, 1);
  ASSERT_TRUE(SaveConfig(cfg));
  EXPECT_EQ(Read(), original);
}

TEST_F(ConfigFile, FileSavedAsUtf8WithAMarkIsReadAndKeptAsUtf8) {
  const std::string mark = "\xEF\xBB\xBF";
  Write(mark + "[Ecu]\r\nPort=COM7\r\nAutoReconnect=1\r\n[Lambda]\r\nPort=Нет\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.Port, "COM7");  // the first section is found
  EXPECT_EQ(cfg.AutoReconnect, 1);
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  ASSERT_TRUE(SaveConfig(cfg));
  const std::string saved = Read();
  EXPECT_EQ(saved.substr(0, 3), mark);
  EXPECT_EQ(saved.find("[Ecu]", 4), std::string::npos) << "a second [Ecu]";
  EXPECT_NE(saved.find("[Lambda]\r\nPort=Нет\r\n"), std::string::npos);
}

TEST_F(ConfigFile, SaveRemovesOnlyLeftoversOfItsOwnTemporaryFiles) {
  // A process that has ended: its temporary file is a leftover of a kill.
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const QString folder = dir_.path() + "/";
  const QString dead = "cfg.ini.varnek-tmp-" + QString::number(child);
  const QString running = "cfg.ini.varnek-tmp-" + QString::number(::getppid());  // a save in progress
  const QStringList users = {"cfg.ini.backup", "cfg.ini.varnek-tmp-old", "cfg.ini.tmp", "cfg.ini.AbC123"};
  for (const QString& name : QStringList{dead, running} + users) {
    QFile f(folder + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(SaveConfig(cfg));
  QStringList expected = QStringList{"cfg.ini", running} + users;
  expected.sort();
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files, QDir::Name), expected);
}

TEST_F(ConfigFile, CyrillicValuesAreWrittenInWindows1251) {
  ConfigRecord cfg = Fresh();
  cfg.LambdaPort = "Нет";
  ASSERT_TRUE(SaveConfig(cfg));
  EXPECT_NE(Read().find("[Lambda]\r\nPort=" + kNo1251 + "\r\n"), std::string::npos);
}

TEST_F(ConfigFile, UnreadableAndUnwritableFilesAreReported) {
  // A folder in the file's place cannot be read or replaced, also for root.
  ASSERT_TRUE(QDir(dir_.path()).mkdir("cfg.ini"));
  ConfigRecord cfg = Fresh();
  InitConfig(cfg);
  ASSERT_EQ(ui_.errors, std::vector<std::string>{"Ошибка чтения файла настройки"});
  EXPECT_EQ(cfg.Port, "COM2");  // the fallbacks apply
  EXPECT_EQ(cfg.ScreenInterval, 500);

  EXPECT_FALSE(SaveConfig(cfg));
  EXPECT_EQ(ui_.errors.back(), "Ошибка записи файла настройки");
}

TEST(ConfigPaths, ReadOnlyProgramFolderUsesItsFileUntilThePerUserOneExists) {
  QTemporaryDir program, home;
  const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
  SetAppDirOverride(program.path().toStdString(), true);
  RecordingUi ui;
  {
    QFile f(program.path() + "/cfg.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Ecu]\r\nPort=ttyUSB0\r\n[Own]\r\nKey=1\r\n");
  }
  ConfigRecord cfg;
  ASSERT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.Port, "ttyUSB0");
  cfg.Port = "ttyUSB1";
  ASSERT_TRUE(SaveConfig(cfg));
  // Saved to the per-user file, with the lines of the shipped one.
  QFile saved(home.path() + "/varnek-test/cfg.ini");
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_TRUE(text.contains("Port=ttyUSB1")) << text.toStdString();
  EXPECT_TRUE(text.contains("[Own]\r\nKey=1")) << text.toStdString();
  // From now on the per-user file is the one read.
  ConfigRecord again;
  ASSERT_TRUE(LoadConfig(again));
  EXPECT_EQ(again.Port, "ttyUSB1");
  EXPECT_TRUE(ui.errors.empty());
  SetAppDirOverride("");
  if (oldXdg.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", oldXdg);
}

TEST(ConfigPaths, FilesLieBesideTheExecutableWhenItsFolderIsWritable) {
  QTemporaryDir dir;
  SetAppDirOverride(dir.path().toStdString());
  EXPECT_EQ(ConfigFilePath(), dir.path().toStdString() + "/cfg.ini");
  EXPECT_EQ(LogsDirPath(), dir.path().toStdString() + "/Logs");
  EXPECT_EQ(BackupsDirPath(), dir.path().toStdString() + "/Backups");
  EXPECT_EQ(LoaderFilePath(), dir.path().toStdString() + "/Loader.dat");
  SetAppDirOverride("");
}

TEST(ConfigPaths, AnInstalledProgramKeepsItsFilesInTheUserFoldersEvenWhenItsFolderIsWritable) {
  // Laid out as the package installs it; the bin folder is writable (as for root).
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("usr/bin"));
  ASSERT_TRUE(QDir(root.path()).mkpath("usr/share/applications"));
  QFile entry(root.path() + "/usr/share/applications/varnek-test.desktop");
  ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
  const std::string bin = root.path().toStdString() + "/usr/bin";
  SetAppDirOverride(bin);
  const auto user = [](QStandardPaths::StandardLocation where) {
    return QStandardPaths::writableLocation(where).toStdString() + "/varnek-test";
  };
  EXPECT_EQ(ConfigFilePath(), user(QStandardPaths::GenericConfigLocation) + "/cfg.ini");
  EXPECT_EQ(LogsDirPath(), user(QStandardPaths::GenericDataLocation) + "/Logs");
  EXPECT_EQ(LoaderSearchPaths(),
            (std::vector<std::string>{bin + "/Loader.dat",
                                      user(QStandardPaths::GenericDataLocation) + "/Loader.dat"}));
  SetAppDirOverride("");
}

}  // namespace
