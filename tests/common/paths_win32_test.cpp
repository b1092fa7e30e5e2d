// The program's folders on Windows: beside the executable when its folder is
// writable, else under %APPDATA%.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/paths.h"

namespace {

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() / ("varnek-paths-" + std::to_string(stamp));
    fs::create_directories(root_);
    const char* appData = std::getenv("APPDATA");
    savedAppData_ = appData ? appData : "";
  }
  void TearDown() override {
    SetAppDirOverride("");
    _putenv_s("APPDATA", savedAppData_.c_str());
    fs::remove_all(root_);
  }
  std::string Path(const std::string& relative) const { return (root_ / relative).string(); }

  fs::path root_;
  std::string savedAppData_;
};

TEST_F(PathsTest, FilesLieBesideTheExecutableWhenItsFolderIsWritable) {
  const fs::path dir = fs::path(ConfigFilePath()).parent_path();
  EXPECT_TRUE(fs::exists(dir / "test_common.exe")) << dir;
  EXPECT_EQ(LogsDirPath(), (dir / "Logs").string());
}

TEST_F(PathsTest, UnwritableFolderFallsBackToAppData) {
  SetAppDirOverride(Path("missing"));  // no folder: nothing can be written there
  ASSERT_EQ(_putenv_s("APPDATA", Path("roaming").c_str()), 0);
  EXPECT_EQ(ConfigFilePath(), Path("roaming\\Varnek Test\\cfg.ini"));
  EXPECT_EQ(LogsDirPath(), Path("roaming\\Varnek Test\\Logs"));
  // Loader.dat: beside the executable first, then the per-user folder; when
  // neither has it, the error names the place beside the executable.
  EXPECT_EQ(LoaderFilePath(), Path("missing\\Loader.dat"));
  fs::create_directories(root_ / "roaming" / "Varnek Test");
  std::ofstream(root_ / "roaming" / "Varnek Test" / "Loader.dat") << "x";
  EXPECT_EQ(LoaderFilePath(), Path("roaming\\Varnek Test\\Loader.dat"));
  fs::create_directories(root_ / "missing");
  std::ofstream(root_ / "missing" / "Loader.dat") << "x";
  EXPECT_EQ(LoaderFilePath(), Path("missing\\Loader.dat"));
  EXPECT_EQ(ConfigFilePath(), Path("missing\\cfg.ini"));  // writable now
}

}  // namespace
