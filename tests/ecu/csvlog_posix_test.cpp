// The CSV log on a full disk, as Linux shows one (/dev/full, a file size
// limit).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>

#include "tests/ecu/csvlog_fixture.h"

namespace {

TEST_F(CsvLogFile, FullDiskIsReportedOnceNamingTheFile) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(log.OpenFile("/dev/full") || !ui.errors.empty());
  // Enough rows to overflow the buffer: the failure shows while writing.
  for (int i = 0; i < 2000 && log.IsOpen(); ++i) WriteLogRow();
  EXPECT_FALSE(log.IsOpen());
  for (int i = 0; i < 10; ++i) WriteLogRow();
  log.Close();
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("/dev/full"), std::string::npos);
  EXPECT_NE(ui.errors[0].find("нет места на диске"), std::string::npos);
}

TEST_F(CsvLogFile, FullDiskFoundAtCloseIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  log.OpenFile("/dev/full");
  WriteLogRow();
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("нет места на диске"), std::string::npos);
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
  const std::size_t row = FormatLogRow(data, 0).size() + 2;  // Time stays below 10 s
  int written = 0;
  {
    // The third row is cut off halfway through by the limit.
    FileSizeLimit limit(header + 2 * row + row / 2);
    ASSERT_TRUE(limit.ok());
    ASSERT_TRUE(log.OpenFile(path.string()));
    for (; written < 10 && log.IsOpen(); ++written) WriteLogRow();
  }
  EXPECT_FALSE(log.IsOpen());
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
  log.Close();
  EXPECT_EQ(ReadFile(path).size(), header + 2 * row);
  EXPECT_EQ(ui.errors.size(), 1u);
}

}  // namespace
