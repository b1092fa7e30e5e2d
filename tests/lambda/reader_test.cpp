// The LC-1 reader against the simulated controller, the same on every system
// (tests/support/sim_lines.h).
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>

#include "common/error.h"
#include "common/worker.h"
#include "ecu/session.h"
#include "lambda/lambda.h"
#include "lambda/lambda_internal.h"
#include "sim/lc1.h"
#include "tests/support/core_state.h"
#include "tests/support/sim_lines.h"
#include "tests/support/test_ui.h"

namespace {

// Deadline for waiting on the reader; never reached when it works, however
// busy the machine.
constexpr int kWaitMs = 10000;

bool WaitFor(const std::function<bool()>& condition) { return ::WaitFor(condition, kWaitMs); }

class LambdaReader : public ::testing::Test {
 protected:
  void SetUp() override {
    lc1 = std::make_unique<Lc1Line>();  // 14.7 AFR, no echo, no wire time
    lc1->SetPeriodMs(5);
  }

  void TearDown() override {
    DisconnectLambda();
    EXPECT_TRUE(WaitFor([] { return !LambdaReaderRunning(); }));
    lc1.reset();
    ResetCoreState();
  }

  void ConnectAndWaitForData() {
    ConnectLambda(lc1->Port());
    ASSERT_TRUE(WaitFor([] { return LambdaNoData == 0; }));
  }

  RecordingUi ui;
  std::unique_ptr<Lc1Line> lc1;
};

TEST_F(LambdaReader, ConnectOpensThePortAt19200And8N1AndWaitsForData) {
  lc1->SetSilent(true);
  ConnectLambda(lc1->Port());
  EXPECT_EQ(LambdaActive, 1);
  EXPECT_EQ(LambdaNoData, 1);
  EXPECT_EQ(LambdaSilenceTicks, -1);
  EXPECT_EQ(ReadLambdaValue(), 0.0);
  EXPECT_TRUE(LambdaReaderRunning());
  const LineView view = lc1->ProgramSettings();
  EXPECT_EQ(view.baud, 19200u);
  EXPECT_EQ(view.dataBits, 8);
  EXPECT_FALSE(view.parity);
  EXPECT_EQ(view.stopBits, 1);
  EXPECT_TRUE(view.raw);

  DisconnectLambda();
  EXPECT_EQ(LambdaActive, 0);
  EXPECT_EQ(LambdaPortHandle.load(), kNoPort);
}

TEST_F(LambdaReader, ReadingFollowsTheMixture) {
  ConnectAndWaitForData();
  EXPECT_TRUE(WaitFor([] { return ReadLambdaValue() == 14.7; }));
  // The packet's refresh runs on this thread after the value is stored.
  EXPECT_TRUE(WaitFor([&] { return ui.refreshCount >= 1; }));
  EXPECT_GE(LambdaSilenceTicks, 0);

  lc1->SetAfr(12.5);
  const double expected = (sim::Lc1Device::ReadingForAfr(12.5) + 500) / 1000.0 * 14.7;
  EXPECT_TRUE(WaitFor([&] { return ReadLambdaValue() == expected; }));
  EXPECT_NEAR(expected, 12.5, 0.01);
}

struct StreamCase {
  const char* name;
  int function;
  double value;
};

class LambdaFunctionCode : public LambdaReader, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(LambdaFunctionCode, StreamedCodeGivesItsValue) {
  const StreamCase& c = GetParam();
  lc1->SetFunctionCode(c.function);
  ConnectAndWaitForData();
  // A packet made just before the switch may still come first.
  EXPECT_TRUE(WaitFor([&] { return ReadLambdaValue() == c.value; })) << ReadLambdaValue();
}

INSTANTIATE_TEST_SUITE_P(Codes, LambdaFunctionCode,
                         ::testing::Values(StreamCase{"ratio", 0, 14.7}, StreamCase{"tenths", 1, 20.9},
                                           StreamCase{"warming_up", 6, -1.0}, StreamCase{"code_2", 2, 0.0},
                                           StreamCase{"code_3", 3, 0.0}, StreamCase{"code_4", 4, 0.0},
                                           StreamCase{"code_5", 5, 0.0}, StreamCase{"code_7", 7, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LambdaReader, HeaderSplitAcrossReadsIsFoundWithoutSpinning) {
  // The first header byte arrives alone; the rest 20 ms later. Only the byte
  // kept from the failed search can pair with the second one.
  lc1->SetPeriodMs(40);
  lc1->SetHeaderPauseMs(20);
  lc1->SetFunctionCode(6);
  ConnectAndWaitForData();
  EXPECT_TRUE(WaitFor([] { return ReadLambdaValue() == -1.0; })) << ReadLambdaValue();

  // Packets keep being found, and the waits in between are real waits.
  const std::uint64_t passes = LambdaReaderPasses();
  const int refreshes = ui.refreshCount;
  ASSERT_TRUE(WaitFor([&] { return ui.refreshCount >= refreshes + 5; }));
  EXPECT_LT(LambdaReaderPasses() - passes, 100u);
}

TEST_F(LambdaReader, HeaderBytesMatchByMaskOnly) {
  lc1->SetHeaderBytes(0xF7, 0xEB);
  ConnectAndWaitForData();
  EXPECT_EQ(ReadLambdaValue(), 14.7);
}

TEST_F(LambdaReader, GarbageBetweenPacketsIsSkipped) {
  // More garbage than one read may take: the buffer must not overflow.
  lc1->SetGarbageBytes(600);
  lc1->SetPeriodMs(10);
  ConnectAndWaitForData();
  EXPECT_EQ(ReadLambdaValue(), 14.7);
  lc1->SetAfr(16);
  const double expected = (sim::Lc1Device::ReadingForAfr(16) + 500) / 1000.0 * 14.7;
  EXPECT_TRUE(WaitFor([&] { return ReadLambdaValue() == expected; }));
}

TEST_F(LambdaReader, BytesAfterThePacketAreDropped) {
  // Behind each packet comes a whole packet of code 6 in the same burst; it
  // must never be taken.
  lc1->SetTrailingBytes({0xB2, 0x82, 0x5B, 0x13, 0x03, 0x74});
  ConnectAndWaitForData();
  const std::uint64_t sent = lc1->PacketsSent();
  bool sawCode = false;
  WaitFor([&] {
    sawCode = sawCode || ReadLambdaValue() != 14.7;
    return sawCode || lc1->PacketsSent() >= sent + 20;
  });
  EXPECT_FALSE(sawCode);
}

TEST_F(LambdaReader, GarbageAloneKeepsTheStateUntilTheSilenceTimer) {
  ConnectAndWaitForData();
  lc1->SetPacketsOn(false);
  lc1->SetGarbageBytes(50);
  // Only the timer reports the silence, once; the garbage changes nothing.
  ASSERT_TRUE(WaitFor([] { return LambdaNoData == 1; }));
  EXPECT_EQ(ReadLambdaValue(), 0.0);
  const int refreshes = ui.refreshCount;
  const std::uint64_t sent = lc1->PacketsSent();
  Pump(300);
  EXPECT_EQ(lc1->PacketsSent(), sent);
  EXPECT_EQ(LambdaNoData, 1);
  EXPECT_EQ(ui.refreshCount, refreshes);

  lc1->SetPacketsOn(true);
  EXPECT_TRUE(WaitFor([] { return LambdaNoData == 0 && ReadLambdaValue() == 14.7; }));
}

TEST_F(LambdaReader, SilenceOfOneSecondTimesOut) {
  ConnectAndWaitForData();
  const int refreshes = ui.refreshCount;
  lc1->SetSilent(true);
  ASSERT_TRUE(WaitFor([] { return LambdaNoData == 1; }));
  EXPECT_EQ(ReadLambdaValue(), 0.0);
  EXPECT_EQ(LambdaActive, 1);
  EXPECT_GT(ui.refreshCount, refreshes);

  lc1->SetSilent(false);
  EXPECT_TRUE(WaitFor([] { return LambdaNoData == 0 && ReadLambdaValue() == 14.7; }));
}

TEST_F(LambdaReader, DisconnectWhileStreamingStoresNothingAfterwards) {
  lc1->SetPeriodMs(1);
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    lc1->SetAfr(10.0 + round);
    ConnectAndWaitForData();
    DisconnectLambda();
    EXPECT_EQ(LambdaActive, 0);
    {
      std::lock_guard<std::mutex> lock(LambdaLock);
      LambdaValue = 123;
    }
    LambdaNoData = 1;
    LambdaSilenceTicks = 5;
    ASSERT_TRUE(WaitFor([] { return !LambdaReaderRunning(); }));
    Pump(20);  // let a stray hand-off or timer tick run, if any
    EXPECT_EQ(ReadLambdaValue(), 123.0);
    EXPECT_EQ(LambdaNoData, 1);
    EXPECT_EQ(LambdaSilenceTicks, 5);
  }
}

TEST_F(LambdaReader, PortThatCannotBeOpenedStartsNothing) {
  const int before = ui.refreshCount;
  const std::string port = ::testing::TempDir() + "no-such-lc1-port";
  try {
    ConnectLambda(port);
    FAIL() << "no error";
  } catch (const EcuError& e) {
    EXPECT_EQ(e.what(),
              "Ошибка открытия порта LC-1 " + port +
                  ": нет такого устройства\nЕсли LC-1 не используется: «Настройки» → «Порт LC-1» → «Нет».");
  }
  EXPECT_EQ(LambdaActive, 0);
  EXPECT_FALSE(LambdaReaderRunning());
  EXPECT_EQ(LambdaPortHandle.load(), kNoPort);
  // No silence timer runs either.
  LambdaSilenceTicks = 3;
  Pump(250);
  EXPECT_EQ(LambdaSilenceTicks, 3);
  EXPECT_EQ(ui.refreshCount, before);
}

TEST_F(LambdaReader, PulledLeadEndsTheReaderQuietly) {
  ConnectAndWaitForData();
  lc1->Hangup();
  ASSERT_TRUE(WaitFor([] { return !LambdaReaderRunning(); }));
  const std::uint64_t passes = LambdaReaderPasses();
  // The silence timer takes over; the reader is gone, not looping.
  ASSERT_TRUE(WaitFor([] { return LambdaNoData == 1; }));
  EXPECT_EQ(ReadLambdaValue(), 0.0);
  EXPECT_EQ(LambdaReaderPasses(), passes);
  EXPECT_EQ(LambdaActive, 1);
  DisconnectLambda();
  EXPECT_EQ(LambdaActive, 0);
}

TEST_F(LambdaReader, ReconnectAfterDisconnectReadsAgain) {
  ConnectAndWaitForData();
  DisconnectLambda();
  lc1->SetAfr(13.2);
  const double expected = (sim::Lc1Device::ReadingForAfr(13.2) + 500) / 1000.0 * 14.7;
  // The port is not purged at the connect: one packet left over from before
  // may show first; the purge after it drops the rest.
  ConnectLambda(lc1->Port());
  EXPECT_TRUE(WaitFor([&] { return ReadLambdaValue() == expected; }));
}

}  // namespace

namespace {

TEST_F(LambdaReader, ProgramEndStopsTheReader) {
  ConnectAndWaitForData();
  // The reader waits on its port; only the disconnect at the program's end wakes it.
  EcuShutdown();
  EXPECT_EQ(LambdaActive, 0);
  EXPECT_EQ(LambdaPortHandle.load(), kNoPort);
  EXPECT_TRUE(TerminateAllWorkers(std::chrono::milliseconds(kWaitMs)));
  EXPECT_FALSE(LambdaReaderRunning());
}

}  // namespace
