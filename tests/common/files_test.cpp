// Files replaced whole and written at their end, on either system's backend.
#include "common/files.h"

#include <gtest/gtest.h>

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

TEST(AppendFile, FailedLineIsCutOffAndCreateEmptiesAnOldFile) {
  TempDir dir;
  const std::string path = dir.File("log.csv");
  ASSERT_EQ(ReplaceWholeFile(path, "old contents"), 0);
  AppendFile file;
  ASSERT_EQ(file.Create(path), 0);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_EQ(file.Write("Time,RPM\r\n"), 0);
  ASSERT_EQ(file.Write("0.000,85"), 0);
  file.CutTo(10);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(LoadFile(path), "Time,RPM\r\n");
  EXPECT_NE(file.Write("more"), 0);  // closed
}

TEST(LoadFile, OnlyARegularFileIsRead) {
  TempDir dir;
  EXPECT_EQ(LoadFile(dir.File("missing")), std::nullopt);
  EXPECT_EQ(LoadFile(dir.File()), std::nullopt);
  ASSERT_EQ(ReplaceWholeFile(dir.File("empty"), ""), 0);
  EXPECT_EQ(LoadFile(dir.File("empty")), "");
}

}  // namespace
