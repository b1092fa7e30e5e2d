// cfg.ini: the configuration record's file, its defaults and failures.
#include "common/config.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "common/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ui.h"

namespace {

void WriteText(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets an environment variable for the scope, or unsets it for nullptr.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

const std::string kNo1251 = "\xCD\xE5\xF2";  // "Нет" in Windows-1251

class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override { SetAppDirOverride(dir_.File()); }
  void TearDown() override { SetAppDirOverride(""); }

  std::string Path() const { return dir_.File("cfg.ini"); }
  void Write(const std::string& bytes) { WriteText(Path(), bytes); }
  std::string Read() const { return ReadText(Path()).value_or("<missing>"); }
  // A record as the process holds it before start-up (all zero).
  static ConfigRecord Fresh() { return ConfigRecord{}; }

  TempDir dir_;
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
  const std::string dead = "cfg.ini.varnek-tmp-" + std::to_string(child);
  const std::string running = "cfg.ini.varnek-tmp-" + std::to_string(::getppid());  // a save in progress
  const std::vector<std::string> users = {"cfg.ini.backup", "cfg.ini.varnek-tmp-old", "cfg.ini.tmp",
                                          "cfg.ini.AbC123"};
  WriteText(dir_.File(dead), "");
  WriteText(dir_.File(running), "");
  for (const std::string& name : users) WriteText(dir_.File(name), "");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(SaveConfig(cfg));
  std::vector<std::string> expected = users;
  expected.push_back("cfg.ini");
  expected.push_back(running);
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
    if (e.is_regular_file()) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, expected);
}

TEST_F(ConfigFile, CyrillicValuesAreWrittenInWindows1251) {
  ConfigRecord cfg = Fresh();
  cfg.LambdaPort = "Нет";
  ASSERT_TRUE(SaveConfig(cfg));
  EXPECT_NE(Read().find("[Lambda]\r\nPort=" + kNo1251 + "\r\n"), std::string::npos);
}

TEST_F(ConfigFile, UnreadableAndUnwritableFilesAreReported) {
  // A folder in the file's place cannot be read or replaced, also for root.
  ASSERT_TRUE(std::filesystem::create_directory(Path()));
  ConfigRecord cfg = Fresh();
  InitConfig(cfg);
  ASSERT_EQ(ui_.errors, std::vector<std::string>{"Ошибка чтения файла настройки"});
  EXPECT_EQ(cfg.Port, "COM2");  // the fallbacks apply
  EXPECT_EQ(cfg.ScreenInterval, 500);

  EXPECT_FALSE(SaveConfig(cfg));
  EXPECT_EQ(ui_.errors.back(), "Ошибка записи файла настройки");
}

TEST(ConfigPaths, ReadOnlyProgramFolderUsesItsFileUntilThePerUserOneExists) {
  TempDir program, home;
  ScopedEnv xdg("XDG_CONFIG_HOME", home.File().c_str());
  SetAppDirOverride(program.File(), true);
  RecordingUi ui;
  WriteText(program.File("cfg.ini"), "[Ecu]\r\nPort=ttyUSB0\r\n[Own]\r\nKey=1\r\n");
  ConfigRecord cfg;
  ASSERT_TRUE(LoadConfig(cfg));
  EXPECT_EQ(cfg.Port, "ttyUSB0");
  cfg.Port = "ttyUSB1";
  ASSERT_TRUE(SaveConfig(cfg));
  // Saved to the per-user file, with the lines of the shipped one.
  const std::optional<std::string> text = ReadText(home.File("varnek-test/cfg.ini"));
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("Port=ttyUSB1"), std::string::npos) << *text;
  EXPECT_NE(text->find("[Own]\r\nKey=1"), std::string::npos) << *text;
  // From now on the per-user file is the one read.
  ConfigRecord again;
  ASSERT_TRUE(LoadConfig(again));
  EXPECT_EQ(again.Port, "ttyUSB1");
  EXPECT_TRUE(ui.errors.empty());
  SetAppDirOverride("");
}

TEST(ConfigPaths, FilesLieBesideTheExecutableWhenItsFolderIsWritable) {
  TempDir dir;
  SetAppDirOverride(dir.File());
  EXPECT_EQ(ConfigFilePath(), dir.File() + "/cfg.ini");
  EXPECT_EQ(LogsDirPath(), dir.File() + "/Logs");
  EXPECT_EQ(BackupsDirPath(), dir.File() + "/Backups");
  EXPECT_EQ(LoaderFilePath(), dir.File() + "/Loader.dat");
  SetAppDirOverride("");
}

TEST(ConfigPaths, AnInstalledProgramKeepsItsFilesInTheUserFoldersEvenWhenItsFolderIsWritable) {
  // Laid out as the package installs it; the bin folder is writable (as for root).
  TempDir root, config, data;
  std::filesystem::create_directories(root.Path() / "usr/bin");
  std::filesystem::create_directories(root.Path() / "usr/share/applications");
  WriteText(root.File("usr/share/applications/varnek-test.desktop"), "");
  const std::string bin = root.File("usr/bin");
  SetAppDirOverride(bin);
  ScopedEnv xdgConfig("XDG_CONFIG_HOME", config.File().c_str());
  ScopedEnv xdgData("XDG_DATA_HOME", data.File().c_str());
  EXPECT_EQ(ConfigFilePath(), config.File() + "/varnek-test/cfg.ini");
  EXPECT_EQ(LogsDirPath(), data.File() + "/varnek-test/Logs");
  EXPECT_EQ(LoaderSearchPaths(),
            (std::vector<std::string>{bin + "/Loader.dat", data.File() + "/varnek-test/Loader.dat"}));
  SetAppDirOverride("");
}

TEST(ConfigPaths, UserFoldersDefaultToTheHomeFolderAndIgnoreRelativeXdgPaths) {
  TempDir root;
  std::filesystem::create_directories(root.Path() / "usr/share/applications");
  WriteText(root.File("usr/share/applications/varnek-test.desktop"), "");
  SetAppDirOverride(root.File("usr/bin"), true);
  ScopedEnv home("HOME", "/home/driver/");
  ScopedEnv xdgConfig("XDG_CONFIG_HOME", nullptr);
  ScopedEnv xdgData("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(ConfigFilePath(), "/home/driver/.config/varnek-test/cfg.ini");
  EXPECT_EQ(LogsDirPath(), "/home/driver/.local/share/varnek-test/Logs");
  SetAppDirOverride("");
}

}  // namespace
