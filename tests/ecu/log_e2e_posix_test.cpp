// A whole logged session through the simulated ECU: every data reply the ECU
// sent becomes one complete CSV row, whichever way the session ends.

#include <fstream>
#include <mutex>
#include <sstream>

#include "ecu/csvlog.h"
#include "tests/link/link_rig.h"

namespace {

class LoggedSession : public LinkRig {
 protected:
  void SetUp() override {
    LinkRig::SetUp();
    TCfg.WriteLog = 1;
    // Each record numbers itself in THR, so rows can be matched to replies.
    ecu->SetRecordSource([this] {
      auto record = sim::KwpEcu::IdleRecord(0);
      std::lock_guard<std::mutex> lock(mutex_);
      record[11] = static_cast<std::uint8_t>(sent_.size() % 256);
      sent_.push_back(record[11]);
      return record;
    });
  }

  std::vector<int> Sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }

  // The log's rows as fields; checks that every line ends with CR LF.
  static std::vector<std::vector<std::string>> ReadRows(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    EXPECT_TRUE(s.size() >= 2 && s.substr(s.size() - 2) == "\r\n") << "last line incomplete";
    std::vector<std::vector<std::string>> rows;
    std::size_t start = 0;
    for (std::size_t at; (at = s.find("\r\n", start)) != std::string::npos; start = at + 2) {
      std::vector<std::string> fields;
      std::stringstream line(s.substr(start, at - start));
      for (std::string f; std::getline(line, f, ',');) fields.push_back(f);
      rows.push_back(fields);
    }
    EXPECT_EQ(start, s.size()) << "bytes after the last CR LF";
    return rows;
  }

  static void ExpectRowsMatch(const std::vector<std::vector<std::string>>& rows,
                              const std::vector<int>& sent) {
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], "Time");
    EXPECT_EQ(rows[0][1], "THR");
    ASSERT_EQ(rows.size() - 1, sent.size());
    double lastTime = -1;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i].size(), 90u) << "row " << i;
      EXPECT_EQ(rows[i][1], std::to_string(sent[i - 1])) << "row " << i;
      const double t = std::stod(rows[i][0]);
      EXPECT_GE(t, lastTime);
      lastTime = t;
    }
  }

 private:
  std::mutex mutex_;
  std::vector<int> sent_;
};

TEST_F(LoggedSession, EveryReplyOfAPolledSessionIsOneRowAfterDisconnect) {
  StartLine();
  Connect(2);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(session.Log().IsOpen());
  ASSERT_TRUE(WaitFor([&] { return Sent().size() > 20; }, 30000));
  session.SetPolling(false);
  session.Disconnect();
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_FALSE(session.Log().IsOpen());
  EXPECT_TRUE(ui.errors.empty());
  const auto sent = Sent();
  EXPECT_GT(sent.size(), 20u);
  ExpectRowsMatch(ReadRows(session.Log().FilePath()), sent);
}

TEST_F(LoggedSession, LogIsCompleteWhenTheSessionEndsByTimeOut) {
  StartLine();
  Connect(1);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount >= 10; }));
  line->SetSilent(true);
  ASSERT_TRUE(WaitLinkEnd());
  EXPECT_EQ(session.LinkState().load(), 0);
  EXPECT_FALSE(session.Log().IsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0], " Нет ответа от ЭБУ      ");
  ExpectRowsMatch(ReadRows(session.Log().FilePath()), Sent());
}

}  // namespace
