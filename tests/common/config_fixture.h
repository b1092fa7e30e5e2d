#pragma once
// cfg.ini tests' fixture: a folder standing in for the executable's, and the
// notices the functions return for the user.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/config.h"
#include "common/paths.h"
#include "tests/support/temp_dir.h"

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

  // The texts of the notices of one kind, in order.
  std::vector<std::string> Texts(bool errors) const {
    std::vector<std::string> texts;
    for (const ConfigNotice& n : notices_)
      if (n.error == errors) texts.push_back(n.text);
    return texts;
  }
  std::vector<std::string> Errors() const { return Texts(true); }
  std::vector<std::string> Messages() const { return Texts(false); }

  TempDir dir_;
  ConfigNotices notices_;
};
