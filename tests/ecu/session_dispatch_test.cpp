// The reply dispatch on its own: what each reply does to the session's state,
// called as the receiver's hand-off would, without a line.
#include <gtest/gtest.h>

#include <vector>

#include "common/config.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"
#include "tests/support/core_state.h"
#include "tests/support/live_lc1.h"
#include "tests/support/test_ui.h"

namespace {

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCoreState();
    session.AddSink(ui);
    core_ = &session.UseLinkWithoutThreads().Core();
    core_->writerIdle = 0;  // an exchange is in progress: queueing wakes nobody
  }
  void TearDown() override { ResetCoreState(); }
  void SetCurrent(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(core_->rxLock);
    core_->currentRequest.fill(0);
    std::copy(bytes.begin(), bytes.end(), core_->currentRequest.begin());
    core_->currentRequestLen = static_cast<std::uint8_t>(bytes.size());
  }
  int PendingRequests() { return session.Link()->PendingRequests(); }
  link_detail::LinkCore* core_ = nullptr;
  // A data reply body: 61 0D, a record of recordLen bytes, a checksum byte.
  static std::vector<std::uint8_t> DataReply(int recordLen) {
    std::vector<std::uint8_t> r = {0x61, 0x0D};
    r.resize(2 + recordLen + 1);
    r[2 + 14] = 0xE8;  // RPM 5000
    r[2 + 15] = 0x03;
    return r;
  }
  RecordingUi ui;
  EcuSession session{ui};
};

struct LengthCase {
  const char* name;
  int recordLen;
  bool lengthCheckOff;
  bool decoded;
};

class DataReplyLength : public Dispatch, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(DataReplyLength, IsDecodedOnlyWhenItsLengthPasses) {
  const LengthCase& c = GetParam();
  TCfg.NotCheckReplyLen = c.lengthCheckOff;
  const auto reply = DataReply(c.recordLen);
  session.DispatchReply(reply.data(), static_cast<int>(reply.size()));
  EXPECT_EQ(session.Data().RPM, c.decoded ? 5000 : 0);
  EXPECT_EQ(ui.displayUpdates, c.decoded ? 1 : 0);
  EXPECT_EQ(ui.replyCount, c.decoded ? 1 : 0);
  EXPECT_EQ(session.Data().AFR_LC1, -1.0);  // copied in every case
  // A reply dropped for its length is counted with the bad replies and traced.
  if (c.decoded) {
    EXPECT_EQ(ui.status.count(5), 0u);
    EXPECT_EQ(session.Trace().Snapshot(), "");
  } else {
    EXPECT_EQ(ui.status[5], "1");
    EXPECT_EQ(session.Trace().Snapshot(), TraceDataLengthLine(static_cast<int>(reply.size()), 98) + "\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, DataReplyLength,
                         ::testing::Values(LengthCase{"Exact", 95, false, true},
                                           LengthCase{"LongerWithCheck", 96, false, false},
                                           LengthCase{"LongerWithoutCheck", 96, true, true},
                                           // Too short to hold a record: never decoded.
                                           LengthCase{"ShorterWithoutCheck", 60, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dispatch, DataReplyForAnotherIdentifierOnlyCopiesTheLambdaValue) {
  TCfg.LambdaEnabled = 1;
  LiveLc1 lc1(session);
  ASSERT_TRUE(lc1.Receiving());
  auto reply = DataReply(95);
  reply[1] = 0x0E;
  session.DispatchReply(reply.data(), static_cast<int>(reply.size()));
  EXPECT_EQ(session.Data().RPM, 0);
  EXPECT_DOUBLE_EQ(session.Data().AFR_LC1, 14.7);
  EXPECT_DOUBLE_EQ(session.Data().ALF_LC1, 1.0);
  EXPECT_EQ(ui.displayUpdates, 0);
}

TEST_F(Dispatch, StartCommunicationReplyQueuesTheSessionRequest) {
  TCfg.CBR = 2;
  session.StartRetryCount() = 3;
  const std::uint8_t reply[] = {0xC1, 0xEF, 0x8F, 0x00};
  session.DispatchReply(reply, 4);
  EXPECT_EQ(session.StartRetryCount().load(), 0);
  EXPECT_EQ(PendingRequests(), 1);
}

TEST_F(Dispatch, NegativeRepliesAreCountedInPanelSix) {
  SetCurrent({0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1});
  const std::uint8_t reply[] = {0x7F, 0x21, 0x12, 0x00};
  session.DispatchReply(reply, 4);
  session.DispatchReply(reply, 4);
  EXPECT_EQ(session.NegativeReplyCount().load(), 2u);
  EXPECT_EQ(ui.status[6], "2");
  EXPECT_EQ(ui.refreshCount, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(PendingRequests(), 0);
}

TEST_F(Dispatch, UnknownRepliesAreIgnored) {
  const std::uint8_t reply[] = {0x62, 0x0D, 0x00};
  session.DispatchReply(reply, 3);
  const std::uint8_t notOurs[] = {0x70, 0x73, 0x00};
  session.DispatchReply(notOurs, 3);
  EXPECT_FALSE(session.UnidirMode());
  EXPECT_EQ(ui.refreshCount, 0);
  EXPECT_EQ(PendingRequests(), 0);
}

TEST_F(Dispatch, RetryRepeatsTheCurrentRequestWithinItsLimits) {
  struct Case {
    std::vector<std::uint8_t> current;
    int repeats;  // requests queued by seven retries
  };
  const std::vector<Case> cases = {
      {{0x81, 0x10, 0xF1, 0x81, 0x03}, 5},
      {{0x83, 0x10, 0xF1, 0x10, 0x81, 0x26, 0x3B}, 5},
      {{0x81, 0x10, 0xF1, 0x20, 0xA2}, 7},
      {{0x81, 0x10, 0xF1, 0x82, 0x04}, 7},
      {{0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}, 7},
      {{0x83, 0x10, 0xF1, 0x30, 0x72, 0x01, 0x27}, 0},
      {{}, 0},
  };
  for (const Case& c : cases) {
    core_->DropRequests(true);
    SetCurrent(c.current);
    session.StartRetryCount() = 0;
    int refused = 0;
    LinkSender link = session.Link()->Sender();
    for (int i = 0; i < 7; ++i)
      if (!session.RetryLastRequest(link)) ++refused;
    EXPECT_EQ(PendingRequests(), c.repeats) << int(c.current.empty() ? 0 : c.current[3]);
    // Past the limit of a start request the link must end.
    EXPECT_EQ(refused, c.repeats == 5 ? 2 : 0);
  }
}

// Two sessions in one process: a frame and a negative reply reach only the
// session they were handed to, its record, counters and sinks.
TEST_F(Dispatch, ASecondSessionSideBySideKeepsItsOwnRecordCountersAndSinks) {
  struct Rpms : EcuDataSink {
    void OnEcuData(const EcuDataRecord& d) override { seen.push_back(d.RPM); }
    std::vector<int> seen;
  } mine, theirs;
  RecordingUi otherEvents;
  EcuSession other{otherEvents};
  other.UseLinkWithoutThreads();
  session.AddSink(mine);
  other.AddSink(theirs);
  const auto reply = DataReply(95);
  session.DispatchReply(reply.data(), static_cast<int>(reply.size()));
  const std::uint8_t negative[] = {0x7F, 0x21, 0x12, 0x00};
  other.DispatchReply(negative, 4);
  EXPECT_EQ(mine.seen, std::vector<int>{5000});
  EXPECT_TRUE(theirs.seen.empty());
  EXPECT_EQ(other.Data().RPM, 0);
  EXPECT_EQ(session.NegativeReplyCount().load(), 0u);
  EXPECT_EQ(other.NegativeReplyCount().load(), 1u);
  other.RemoveSink(theirs);
  session.RemoveSink(mine);
}

}  // namespace
