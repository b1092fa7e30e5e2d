#include "ecu/csvlog.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/paths.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "tests/support/test_ui.h"

namespace fs = std::filesystem;

namespace {

const char* const kHeader =
    "Time,THR,RPM,RPM40,RPM_GBC_RT,UFRXX,SSM,TWAT,TAIR,ALF,AFR,ALF_LC1,AFR_LC1,COEFF,DGTC_RICH,DGTC_LEAN,UOZ,"
    "KUOZ1,KUOZ2,KUOZ3,KUOZ4,FAZ,INJ,FUSE,AIR,GBC,KGBC,SPD,ADCKNOCK,ADCMAF,ADCTWAT,ADCTAIR,ADCTPS,ADCUBAT,"
    "ADCLAM,ERR_CNT,ERR,fSTOP,fXX,fXXPrev,fXXFix,fPOW,fFUELOFF,fDETZONE,fDET,fADS,fLAMREG,fLAM,fLEARN,"
    "fLAMRDY,"
    "fLAMHEAT,KINJ_AIRFREE,UOZ_TCORR,DUOZ_REGXX,DIUOZ,JUFRXX,JFRXX1,JFRXX2,DELTA_RPM_XX,DERR_RPM,PXX_ZONE,"
    "RAM_2A,RAM_2D,TWAT_RT,THR_RT_16,RPM_RT,RPM_RT_16,RPM_THR_RT,GBC_RT,GBC_RT_16,KGTC,DUOZ,DUOZ_LAUNCH,"
    "LaunchFuelCutOff,DELAY_FUEL_CUTOFF,PRESS_RT,PRESS,TARGET_BOOST,TURBO_DYNAMICS,WGDC,TCHARGE,TCHARGE_"
    "COEFF,"
    "FCHARGE_GBC,KGBC_DAD,FCRG_GBC_FIN,KNOCK,DGTC_DAD_RICH,TLE_PIN_0_7,TLE_PIN_8_15,F8C0";

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  if (!s.empty() && s.back() == ',') out.push_back("");
  return out;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A frame with a value in every form of the log.
EcuDataRecord KnownFrame() {
  std::array<std::uint8_t, 97> data{};
  data[0] = 0x61;
  data[1] = 0x0D;
  auto set = [&](int offset, std::uint8_t b) { data[2 + offset] = b; };
  set(0, 0x81);                  // fSTOP, fLEARN
  set(3, 0x01), set(4, 0x02);    // ERR 513
  set(8, 0xA8);                  // TWAT -128
  set(9, 0x80);                  // ALF 1, AFR 14.7
  set(11, 37);                   // THR
  set(14, 0xE8), set(15, 0x03);  // RPM 5000
  set(19, 0xFE);                 // FAZ -6
  set(20, 0xF6);                 // UOZ -5
  set(21, 0x0B);                 // KUOZ1 5.5
  set(25, 1);                    // ADCKNOCK 0.02
  set(38, 255);                  // ADCLAM 2.5
  set(43, 0xF4), set(44, 0x01);  // INJ 4, FUSE 16.65
  set(45, 0x7D), set(46, 0x04);  // AIR 114.9
  set(47, 0x4B);                 // GBC 12.5
  set(52, 50), set(53, 64);      // TCHARGE 40, TCHARGE_COEFF 0.25
  set(67, 0xFF);                 // DERR_RPM -10
  set(73, 128);                  // WGDC 50.196
  set(81, 50);                   // DUOZ_LAUNCH 44
  set(85, 0x39), set(86, 0x30);  // FCHARGE_GBC 12345
  set(89, 0x39), set(90, 0x30);  // PRESS 123.45
  EcuDataRecord d;
  DecodeDataFrame(data.data(), d);
  d.AFR_LC1 = -1.0;  // no LC-1
  return d;
}

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

class CsvLogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("csvlog_test_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetAppDirOverride(dir_.string());
    EcuData = KnownFrame();
  }
  void TearDown() override {
    CloseLog();
    SetAppDirOverride("");
    EcuData = EcuDataRecord{};
    fs::remove_all(dir_);
  }
  fs::path dir_;
  RecordingUi ui;
};

TEST_F(CsvLogFile, SessionLogIsCompleteAfterClose) {
  OpenLog();
  ASSERT_TRUE(LogIsOpen());
  const fs::path path = LogFilePath();
  EXPECT_EQ(path.parent_path(), fs::path(LogsDirPath()));
  // YYYY-MM-DD_hh-mm-ss.csv
  const std::string name = path.filename().string();
  ASSERT_EQ(name.size(), 23u);
  EXPECT_EQ(
      name.substr(4, 1) + name.substr(7, 1) + name.substr(10, 1) + name.substr(13, 1) + name.substr(16, 1),
      "--_--");
  EXPECT_EQ(name.substr(19), ".csv");

  for (int i = 0; i < 1000; ++i) WriteLogRow();
  CloseLog();
  EXPECT_FALSE(LogIsOpen());
  EXPECT_TRUE(ui.errors.empty());

  const std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(0, std::string(kHeader).size() + 2), std::string(kHeader) + "\r\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1001);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 1001);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::string lastRow = text.substr(text.rfind('\n', text.size() - 3) + 1);
  EXPECT_EQ(std::count(lastRow.begin(), lastRow.end(), ','), 89);
  EXPECT_EQ(lastRow.substr(lastRow.find(',')), FormatLogRow(EcuData, 0).substr(5) + "\r\n");
  EXPECT_TRUE(
      std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; }));
}

TEST_F(CsvLogFile, SessionsStartedInTheSameSecondKeepEachTheirOwnFile) {
  // A quick F3, F2: the names come from the clock's second.
  std::vector<fs::path> paths;
  for (int i = 0; i < 3; ++i) {
    OpenLog();
    paths.push_back(LogFilePath());
    WriteLogRow();
    CloseLog();
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
  OpenLog();
  EXPECT_FALSE(LogIsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find(LogFilePath()), std::string::npos);
  EXPECT_NE(ui.errors[0].find("папка недоступна"), std::string::npos);
  WriteLogRow();
  WriteLogRow();
  CloseLog();
  EXPECT_EQ(ui.errors.size(), 1u);
}

TEST_F(CsvLogFile, FullDiskIsReportedOnceNamingTheFile) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(OpenLogFile("/dev/full") || !ui.errors.empty());
  // Enough rows to overflow the buffer: the failure shows while writing.
  for (int i = 0; i < 2000 && LogIsOpen(); ++i) WriteLogRow();
  EXPECT_FALSE(LogIsOpen());
  for (int i = 0; i < 10; ++i) WriteLogRow();
  CloseLog();
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("/dev/full"), std::string::npos);
  EXPECT_NE(ui.errors[0].find("нет места на диске"), std::string::npos);
}

TEST_F(CsvLogFile, FullDiskFoundAtCloseIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  OpenLogFile("/dev/full");
  WriteLogRow();
  CloseLog();
  EXPECT_FALSE(LogIsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("нет места на диске"), std::string::npos);
}

TEST_F(CsvLogFile, EachRowIsInTheFileAsSoonAsItIsWritten) {
  OpenLog();
  for (int i = 0; i < 3; ++i) WriteLogRow();
  // Read through another descriptor while the log is open, as after kill -9.
  const std::string text = ReadFile(LogFilePath());
  const std::string row = FormatLogRow(EcuData, 0).substr(5) + "\r\n";
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  ASSERT_GE(text.size(), row.size());
  EXPECT_EQ(text.substr(text.size() - row.size()), row);
}

// The process may write at most `bytes` into a file; a longer write is cut
// short and the next one fails with EFBIG, as on a file system that is full.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
  bool ok_ = false;
};

TEST_F(CsvLogFile, FailedWriteCutsTheFileBackToTheLastCompleteRow) {
  const fs::path path = fs::path(LogsDirPath()) / "limited.csv";
  fs::create_directories(path.parent_path());
  const std::size_t header = std::string(kHeader).size() + 2;
  const std::size_t row = FormatLogRow(EcuData, 0).size() + 2;  // Time stays below 10 s
  int written = 0;
  {
    // The third row is cut off halfway through by the limit.
    FileSizeLimit limit(header + 2 * row + row / 2);
    ASSERT_TRUE(limit.ok());
    ASSERT_TRUE(OpenLogFile(path.string()));
    for (; written < 10 && LogIsOpen(); ++written) WriteLogRow();
  }
  EXPECT_FALSE(LogIsOpen());
  EXPECT_EQ(written, 3);
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.size(), header + 2 * row);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find(path.string()), std::string::npos);
  EXPECT_NE(ui.errors[0].find("файл слишком большой"), std::string::npos);
  // The session goes on without a log: no more rows, no more messages.
  WriteLogRow();
  CloseLog();
  EXPECT_EQ(ReadFile(path).size(), header + 2 * row);
  EXPECT_EQ(ui.errors.size(), 1u);
}

TEST_F(CsvLogFile, NewSessionStartsANewFile) {
  OpenLog();
  WriteLogRow();
  CloseLog();
  const std::string first = LogFilePath();
  // The same second's name is replaced, not appended to.
  OpenLog();
  CloseLog();
  if (LogFilePath() == first) {
    EXPECT_EQ(ReadFile(first), std::string(kHeader) + "\r\n");
  }
  EXPECT_TRUE(ui.errors.empty());
}

}  // namespace
