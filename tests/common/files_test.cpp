// Files replaced whole and written at their end, on either system's backend.
#include "common/files.h"
#include "common/linefile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    names.push_back(e.path().filename().string());
  return names;
}

TEST(ReplaceWholeFile, WritesAndReplacesLeavingNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("image.bin");
  const std::string first("\x00\x01\xFF\r\n", 5);
  ASSERT_EQ(ReplaceWholeFile(path, first), 0);
  EXPECT_EQ(LoadFile(path), first);
  ASSERT_EQ(ReplaceWholeFile(path, "shorter"), 0);
  EXPECT_EQ(LoadFile(path), "shorter");
  EXPECT_EQ(Names(dir), std::vector<std::string>{"image.bin"});
}

TEST(ReplaceWholeFile, MissingFolderFailsAndCreatesNothing) {
  TempDir dir;
  EXPECT_NE(ReplaceWholeFile(dir.File("gone/image.bin"), "bytes"), 0);
  EXPECT_TRUE(Names(dir).empty());
}

TEST(LineFile, FailedLineIsCutOffCreateEmptiesAnOldFileAndReopeningKeepsWhatItIsTold) {
  TempDir dir;
  const std::string path = dir.File("log.csv");
  ASSERT_EQ(ReplaceWholeFile(path, "old contents"), 0);
  LineFile file;
  ASSERT_TRUE(file.Create(path));
  EXPECT_FALSE(LineFile().Create(path, /*exclusive=*/true));
  ASSERT_TRUE(file.Append("Time,RPM\r\n"));
  ASSERT_TRUE(file.Append("0.000,85"));
  ASSERT_TRUE(file.CutTo(10));
  ASSERT_TRUE(file.Append("0.040,90\r\n"));
  ASSERT_TRUE(file.WriteAt(0, "T"));
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(LoadFile(path), "Time,RPM\r\n0.040,90\r\n");
  EXPECT_FALSE(file.Append("more"));  // closed
  EXPECT_EQ(file.Error(), EBADF);

  ASSERT_TRUE(file.OpenExisting(path, 10));
  ASSERT_TRUE(file.Append("1.000,95\r\n"));
  ASSERT_TRUE(file.Sync());
  EXPECT_TRUE(file.Close());
  EXPECT_EQ(LoadFile(path), "Time,RPM\r\n1.000,95\r\n");
}

TEST(LoadFile, OnlyARegularFileIsRead) {
  TempDir dir;
  EXPECT_EQ(LoadFile(dir.File("missing")), std::nullopt);
  EXPECT_EQ(LoadFile(dir.File()), std::nullopt);
  ASSERT_EQ(ReplaceWholeFile(dir.File("empty"), ""), 0);
  EXPECT_EQ(LoadFile(dir.File("empty")), "");
}

}  // namespace
