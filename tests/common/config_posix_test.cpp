// cfg.ini on Linux: where its folders are found (XDG) and which leftovers a
// save removes (process ids).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "tests/common/config_fixture.h"

namespace {

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
  ASSERT_TRUE(SaveConfig(cfg, notices_));
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

TEST(ConfigPaths, ReadOnlyProgramFolderUsesItsFileUntilThePerUserOneExists) {
  TempDir program, home;
  ScopedEnv xdg("XDG_CONFIG_HOME", home.File().c_str());
  SetAppDirOverride(program.File(), true);
  ConfigNotices notices;
  WriteText(program.File("cfg.ini"), "[Ecu]\r\nPort=ttyUSB0\r\n[Own]\r\nKey=1\r\n");
  ConfigRecord cfg;
  ASSERT_TRUE(LoadConfig(cfg, notices));
  EXPECT_EQ(cfg.Port, "ttyUSB0");
  cfg.Port = "ttyUSB1";
  ASSERT_TRUE(SaveConfig(cfg, notices));
  // Saved to the per-user file, with the lines of the shipped one.
  const std::optional<std::string> text = ReadText(home.File("varnek-test/cfg.ini"));
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("Port=ttyUSB1"), std::string::npos) << *text;
  EXPECT_NE(text->find("[Own]\r\nKey=1"), std::string::npos) << *text;
  // From now on the per-user file is the one read.
  ConfigRecord again;
  ASSERT_TRUE(LoadConfig(again, notices));
  EXPECT_EQ(again.Port, "ttyUSB1");
  EXPECT_TRUE(notices.empty());
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
