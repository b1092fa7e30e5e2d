// The request queue, the transmitter's wake-up and the current request,
// without threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"
#include "tests/link/reply_log.h"

namespace {

MsgBlock Block(std::initializer_list<std::uint8_t> bytes) {
  MsgBlock b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

class RequestQueue : public ::testing::Test {
 protected:
  bool QueueRequest(const MsgBlock& block, std::uint8_t length) { return link_->QueueRequest(block, length); }
  bool TakeRequest(MsgBlock& slot, std::uint8_t& length) { return core_.TakeRequest(slot, length); }
  int PendingRequests() const { return link_->PendingRequests(); }
  bool QueueEmpty() const { return link_->QueueEmpty(); }

  ReplyLog client_;
  std::shared_ptr<ExchangeTrace> trace_ = std::make_shared<ExchangeTrace>();
  std::unique_ptr<KLineLink> link_ = KLineLink::WithoutThreads(client_, trace_);
  link_detail::LinkCore& core_ = link_->Core();
  ManualResetEvent& WriterEvent = core_.writerEvent;
  std::atomic<std::uint8_t>& WriterIdle = core_.writerIdle;
};

TEST_F(RequestQueue, TwoRequestsQueuedWhileIdleWakeTheTransmitterOnce) {
  ASSERT_TRUE(QueueRequest(Block({0x81, 0x10, 0xF1, 0x81, 0x03}), 5));
  ASSERT_TRUE(QueueRequest(Block({0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}), 6));
  EXPECT_EQ(Count(trace_->Snapshot(), TraceRunWriterLine()), 1);
  EXPECT_TRUE(WriterEvent.IsSet());
  EXPECT_EQ(PendingRequests(), 2);

  // The transmitter takes them in order, whole.
  MsgBlock slot{};
  std::uint8_t len = 0;
  ASSERT_TRUE(TakeRequest(slot, len));
  EXPECT_EQ(len, 5);
  EXPECT_EQ(slot[3], 0x81);
  ASSERT_TRUE(TakeRequest(slot, len));
  EXPECT_EQ(len, 6);
  EXPECT_EQ(slot[5], 0xB1);
  EXPECT_FALSE(TakeRequest(slot, len));
  EXPECT_TRUE(QueueEmpty());
}

TEST_F(RequestQueue, RequestIntoEmptyQueueDuringAnExchangeDoesNotWake) {
  WriterIdle = 0;
  ASSERT_TRUE(QueueRequest(Block({0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}), 6));
  EXPECT_EQ(Count(trace_->Snapshot(), TraceRunWriterLine()), 0);
  EXPECT_FALSE(WriterEvent.IsSet());
}

TEST_F(RequestQueue, TheTwoHundredFirstPendingRequestIsRefused) {
  WriterIdle = 0;
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(QueueRequest(Block({0x81, 0x10, 0xF1, 0x81, 0x03}), 5)) << i;
  EXPECT_EQ(PendingRequests(), 200);
  EXPECT_FALSE(QueueRequest(Block({0x81, 0x10, 0xF1, 0x20, 0xA2}), 5));
  EXPECT_EQ(PendingRequests(), 200);
  EXPECT_FALSE(QueueEmpty());

  // Taking one frees one slot, also across the wrap of the indices.
  MsgBlock slot{};
  std::uint8_t len = 0;
  for (int round = 0; round < 250; ++round) {
    ASSERT_TRUE(TakeRequest(slot, len));
    ASSERT_TRUE(QueueRequest(Block({0x81, 0x10, 0xF1, 0x81, 0x03}), 5)) << round;
    ASSERT_FALSE(QueueRequest(Block({0x81, 0x10, 0xF1, 0x81, 0x03}), 5)) << round;
    ASSERT_EQ(PendingRequests(), 200);
  }
}

TEST_F(RequestQueue, StoppingTheLinkDropsPendingRequests) {
  WriterIdle = 0;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(QueueRequest(Block({0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1}), 6));
  link_->Stop();
  EXPECT_TRUE(QueueEmpty());
  MsgBlock slot{};
  std::uint8_t len = 0;
  EXPECT_FALSE(TakeRequest(slot, len));
}

TEST_F(RequestQueue, ServiceIdentifierOfTheRequestAwaitingItsReply) {
  auto set = [this](std::initializer_list<std::uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(core_.rxLock);
    core_.currentRequest = Block(bytes);
    core_.currentRequestLen = static_cast<std::uint8_t>(bytes.size());
  };
  set({0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1});
  EXPECT_EQ(link_->CurrentServiceId(), 0x21);
  set({0x81, 0x10, 0xF1, 0x81, 0x03});
  EXPECT_EQ(link_->CurrentServiceId(), 0x81);
  set({0x80, 0x10, 0xF1, 0x02, 0x21, 0x0D, 0x11});
  EXPECT_EQ(link_->CurrentServiceId(), 0x21);
  set({});
  EXPECT_EQ(link_->CurrentServiceId(), -1);
}

}  // namespace
