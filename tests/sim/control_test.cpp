// The simulator's control channel: the commands over TCP through which a test
// program that cannot reach the simulator's process (under Wine) scripts a
// line and reads what the program did.
#include "sim/control.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/timing.h"
#include "sim/bench.h"
#include "tests/support/line_fixture.h"
#include "tests/support/sim_client.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ControlTest : public LineFixture {
 protected:
  void SetUp() override {
    LineFixture::SetUp();
    bench_ = std::make_unique<sim::Bench>(dir_, false);
    bench_->Make("line1", "puppet");
    line_ = bench_->Line("line1");
    bench_->Adopt("plain", &AddLine("plain", nullptr, 0, true), {});
    channel_ = std::make_unique<sim::ControlChannel>();
    bench_->AddCommands(*channel_);
    channel_->Start();
  }
  void TearDown() override {
    channel_.reset();  // its commands reach the lines
    bench_.reset();
    LineFixture::TearDown();
  }

  std::unique_ptr<sim::Bench> bench_;
  sim::SimLine* line_ = nullptr;
  std::unique_ptr<sim::ControlChannel> channel_;
};

TEST_F(ControlTest, CommandsScriptTheLineAndReportWhatTheProgramDid) {
  SimClient c(channel_->Port());
  PortId id = OpenLine(*line_, 19200, TWOSTOPBITS, 20);
  EXPECT_EQ(c.Command("settings line1"), "baud 19200 data 8 parity 0 stop 2 raw 1");

  c.Command("send line1 01a2FF");
  EXPECT_EQ(ReadUpTo(id, 3), (Bytes{0x01, 0xA2, 0xFF}));
  Write(id, {0x55, 0x0D});
  EXPECT_EQ(ReadUpTo(id, 2), (Bytes{0x55, 0x0D}));  // echo
  EXPECT_EQ(c.Command("received line1"), "550d");

  c.Command("echo line1 off");
  Write(id, {0x66});
  for (int i = 0; i < 5000 && c.Command("received line1") != "550d66"; ++i) DelayMs(1);
  EXPECT_EQ(c.Command("received line1"), "550d66");
  EXPECT_EQ(PortInQueue(id), 0u);  // the echo would have come before the device saw the byte

  c.Command("reset line1");
  EXPECT_EQ(c.Command("received line1"), "");
  Write(id, {0x77});
  EXPECT_EQ(ReadUpTo(id, 1), (Bytes{0x77}));  // echo on again
}

TEST_F(ControlTest, BadCommandsAreAnsweredAndTheChannelServesOn) {
  {
    SimClient c(channel_->Port());
    ASSERT_EQ(c.Ask("device line2 boot"), "ok");
    for (const char* bad :
         {"frobnicate", "send line9 00", "send line1 0g", "send line1 123", "echo line1 maybe", "echo line1",
          "received plain", "send line1 00 -5", "", "device plain kwp", "device line1 modem",
          "kwp line1 late-ms 10", "boot line2 fault erase 0 no-such", "boot line2 image 00"}) {
      SCOPED_TRACE(bad);
      EXPECT_EQ(c.Ask(bad).rfind("error ", 0), 0u);
    }
    EXPECT_EQ(c.Ask("echo plain off"), "ok");
    EXPECT_NE(c.Ask("help").find("send LINE HEX [GAP_MS]"), std::string::npos);
  }
  SimClient next(channel_->Port());  // served once the first has gone
  EXPECT_EQ(next.Ask("echo line1 on"), "ok");
}

}  // namespace
