#include "ecu/csvlog.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/ecu/csvlog_fixture.h"

namespace {

TEST(CsvLogFormat, HeaderNamesTheNinetyColumns) {
  const std::string header = LogHeader();
  EXPECT_EQ(header, kHeader);
  EXPECT_EQ(std::count(header.begin(), header.end(), ','), 89);
}

TEST(CsvLogFormat, RowColumnsMatchTheDecodedFrame) {
  const EcuDataRecord d = KnownFrame();
  const std::string row = FormatLogRow(d, 1500);
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), 89);
  const auto names = Split(kHeader);
  const auto values = Split(row);
  ASSERT_EQ(values.size(), 90u);
  std::map<std::string, std::string> byName;
  for (size_t i = 0; i < names.size(); ++i) byName[names[i]] = values[i];

  const std::map<std::string, std::string> expected = {{"Time", "1.500"},
                                                       {"THR", "37"},
                                                       {"RPM", "5000"},
                                                       {"TWAT", "-128"},
                                                       {"TAIR", "-40"},
                                                       {"ALF", "1"},
                                                       {"AFR", "14.7"},
                                                       {"ALF_LC1", "0"},
                                                       {"AFR_LC1", "-1.0"},
                                                       {"COEFF", "0.5"},
                                                       {"UOZ", "-5"},
                                                       {"KUOZ1", "5.5"},
                                                       {"FAZ", "-6"},
                                                       {"INJ", "4"},
                                                       {"FUSE", "16.7"},
                                                       {"AIR", "115"},
                                                       {"GBC", "12.5"},
                                                       {"ADCKNOCK", "0.02"},
                                                       {"ADCLAM", "2.5"},
                                                       {"ERR", "513"},
                                                       {"fSTOP", "1"},
                                                       {"fXX", "0"},
                                                       {"fLEARN", "1"},
                                                       {"DERR_RPM", "-10"},
                                                       {"WGDC", "50"},
                                                       {"TCHARGE", "40"},
                                                       {"TCHARGE_COEFF", "0.25"},
                                                       {"DUOZ_LAUNCH", "44"},
                                                       {"FCHARGE_GBC", "12345"},
                                                       {"PRESS", "123.45"},
                                                       {"DGTC_RICH", "0"},
                                                       {"TLE_PIN_0_7", "0"}};
  for (const auto& [name, text] : expected) EXPECT_EQ(byName[name], text) << name;
  // Every column is its variable's own log form.
  for (size_t i = 1; i < names.size(); ++i) EXPECT_EQ(values[i], FormatLogValue(names[i], d)) << names[i];
}

TEST(CsvLogFormat, TimeColumnIsSecondsAndThreeDigitMilliseconds) {
  const EcuDataRecord d;
  EXPECT_EQ(FormatLogRow(d, 1500).substr(0, 6), "1.500,");
  EXPECT_EQ(FormatLogRow(d, 65004).substr(0, 7), "65.004,");
  EXPECT_EQ(FormatLogRow(d, 65).substr(0, 6), "0.065,");
  // Counter units to whole milliseconds, truncated.
  EXPECT_EQ(LogElapsedMs(1000, 1000 + 15'000'000, 10'000'000), 1500);
  EXPECT_EQ(LogElapsedMs(0, 65'004'999'999, 1'000'000'000), 65004);
}

TEST(CsvLogFormat, ValueListFollowsTheNamesGiven) {
  const EcuDataRecord d = KnownFrame();
  EXPECT_EQ(FormatLogRow("RPM,UOZ,AFR", d), "5000,-5,14.7");
  EXPECT_EQ(FormatLogValue("rpm", d), "");  // exact names only
  EXPECT_EQ(FormatLogRow("RPM,nope,THR", d), "5000,,37");
}

TEST_F(CsvLogFile, SessionLogIsCompleteAfterClose) {
  log.Open();
  ASSERT_TRUE(log.IsOpen());
  const fs::path path = log.FilePath();
  EXPECT_EQ(path.parent_path(), fs::path(LogsDirPath()));
  // YYYY-MM-DD_hh-mm-ss.csv
  const std::string name = path.filename().string();
  ASSERT_EQ(name.size(), 23u);
  EXPECT_EQ(
      name.substr(4, 1) + name.substr(7, 1) + name.substr(10, 1) + name.substr(13, 1) + name.substr(16, 1),
      "--_--");
  EXPECT_EQ(name.substr(19), ".csv");

  for (int i = 0; i < 1000; ++i) WriteLogRow();
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_TRUE(ui.errors.empty());

  const std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(0, std::string(kHeader).size() + 2), std::string(kHeader) + "\r\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1001);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 1001);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::string lastRow = text.substr(text.rfind('\n', text.size() - 3) + 1);
  EXPECT_EQ(std::count(lastRow.begin(), lastRow.end(), ','), 89);
  EXPECT_EQ(lastRow.substr(lastRow.find(',')), FormatLogRow(data, 0).substr(5) + "\r\n");
  EXPECT_TRUE(
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; }));
}

TEST_F(CsvLogFile, SessionsStartedInTheSameSecondKeepEachTheirOwnFile) {
  // A quick F3, F2: the names come from the clock's second.
  std::vector<fs::path> paths;
  for (int i = 0; i < 3; ++i) {
    log.Open();
    paths.push_back(log.FilePath());
    WriteLogRow();
    log.Close();
  }
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(std::unique(paths.begin(), paths.end()), paths.end());
  for (const fs::path& p : paths) {
    const std::string text = ReadFile(p);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << p;  // header and its one row
  }
}

TEST_F(CsvLogFile, UnwritableFolderGivesOneMessageAndNoLog) {
  // A file where the Logs folder should be: neither folder nor log can be made
  // (works also for root, unlike permissions).
  fs::create_directories(fs::path(LogsDirPath()).parent_path());
  std::ofstream(LogsDirPath()) << "x";
  log.Open();
  EXPECT_FALSE(log.IsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find(log.FilePath()), std::string::npos);
  EXPECT_NE(ui.errors[0].find("папка недоступна"), std::string::npos);
  WriteLogRow();
  WriteLogRow();
  log.Close();
  EXPECT_EQ(ui.errors.size(), 1u);
}

TEST_F(CsvLogFile, EachRowIsInTheFileAsSoonAsItIsWritten) {
  log.Open();
  for (int i = 0; i < 3; ++i) WriteLogRow();
  // Read through another descriptor while the log is open, as after kill -9.
  const std::string text = ReadFile(log.FilePath());
  const std::string row = FormatLogRow(data, 0).substr(5) + "\r\n";
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  ASSERT_GE(text.size(), row.size());
  EXPECT_EQ(text.substr(text.size() - row.size()), row);
}

TEST_F(CsvLogFile, NewSessionStartsANewFile) {
  log.Open();
  WriteLogRow();
  log.Close();
  const std::string first = log.FilePath();
  // The same second's name is replaced, not appended to.
  log.Open();
  log.Close();
  if (log.FilePath() == first) {
    EXPECT_EQ(ReadFile(first), std::string(kHeader) + "\r\n");
  }
  EXPECT_TRUE(ui.errors.empty());
}

}  // namespace
