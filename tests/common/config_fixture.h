#pragma once
// cfg.ini tests' fixture: a folder standing in for the executable's, with
// RecordingUi taking the messages.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "common/config.h"
#include "common/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ui.h"

inline void WriteText(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

inline std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
