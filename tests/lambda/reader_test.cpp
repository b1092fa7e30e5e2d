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
#include "lambda/lc1_reader.h"
#include "sim/lc1.h"
#include "tests/support/sim_lines.h"
#include "tests/support/test_ui.h"

namespace {

// Deadline for waiting on the reader; never reached when it works, however
// busy the machine.
constexpr int kWaitMs = 10000;

bool WaitFor(const std::function<bool()>& condition) { return ::WaitFor(condition, kWaitMs); }

// What the reader tells its owner, counted.
class CountingEvents : public Lc1Events {
 public:
  void OnLc1Reading() override { ++readings; }
  void OnLc1Silence() override { ++silences; }
  int Count() const { return readings + silences; }
  int readings = 0, silences = 0;
};

class LambdaReader : public ::testing::Test {
 protected:
  void SetUp() override {
    lc1 = std::make_unique<Lc1Line>();  // 14.7 AFR, no echo, no wire time
    lc1->SetPeriodMs(5);
  }

  void TearDown() override {
    reader.Disconnect();
    EXPECT_TRUE(WaitFor([&] { return !reader.ReaderRunning(); }));
    lc1.reset();
  }

  void ConnectAndWaitForData() {
    reader.Connect(lc1->Port());
    ASSERT_TRUE(WaitFor([&] { return !reader.NoData(); }));
  }

  RecordingUi ui;  // the loop that runs the hand-offs and the silence timer
  CountingEvents events;
  Lc1Reader reader{events};
  std::unique_ptr<Lc1Line> lc1;
};

TEST_F(LambdaReader, ConnectOpensThePortAt19200And8N1AndWaitsForData) {
  lc1->SetSilent(true);
  reader.Connect(lc1->Port());
  EXPECT_TRUE(reader.Active());
  EXPECT_TRUE(reader.NoData());
  EXPECT_EQ(reader.Reading().SilenceTicks(), -1);
  EXPECT_EQ(reader.Value(), 0.0);
  EXPECT_TRUE(reader.ReaderRunning());
  const LineView view = lc1->ProgramSettings();
  EXPECT_EQ(view.baud, 19200u);
  EXPECT_EQ(view.dataBits, 8);
  EXPECT_FALSE(view.parity);
  EXPECT_EQ(view.stopBits, 1);
  EXPECT_TRUE(view.raw);

  reader.Disconnect();
  EXPECT_FALSE(reader.Active());
}

TEST_F(LambdaReader, ReadingFollowsTheMixture) {
  ConnectAndWaitForData();
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == 14.7; }));
  // The packet's refresh runs on this thread after the value is stored.
  EXPECT_TRUE(WaitFor([&] { return events.Count() >= 1; }));
  EXPECT_GE(reader.Reading().SilenceTicks(), 0);

  lc1->SetAfr(12.5);
  const double expected = (sim::Lc1Device::ReadingForAfr(12.5) + 500) / 1000.0 * 14.7;
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == expected; }));
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
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == c.value; })) << reader.Value();
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
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == -1.0; })) << reader.Value();

  // Packets keep being found, and the waits in between are real waits.
  const std::uint64_t passes = reader.ReaderPasses();
  const int refreshes = events.Count();
  ASSERT_TRUE(WaitFor([&] { return events.Count() >= refreshes + 5; }));
  EXPECT_LT(reader.ReaderPasses() - passes, 100u);
}

TEST_F(LambdaReader, GarbageBetweenPacketsIsSkipped) {
  // More garbage than one read may take: the buffer must not overflow.
  lc1->SetGarbageBytes(600);
  lc1->SetPeriodMs(10);
  ConnectAndWaitForData();
  EXPECT_EQ(reader.Value(), 14.7);
  lc1->SetAfr(16);
  const double expected = (sim::Lc1Device::ReadingForAfr(16) + 500) / 1000.0 * 14.7;
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == expected; }));
}

TEST_F(LambdaReader, BytesAfterThePacketAreDropped) {
  // Behind each packet comes a whole packet of code 6 in the same burst; it
  // must never be taken.
  lc1->SetTrailingBytes({0xB2, 0x82, 0x5B, 0x13, 0x03, 0x74});
  ConnectAndWaitForData();
  const std::uint64_t sent = lc1->PacketsSent();
  bool sawCode = false;
  WaitFor([&] {
    sawCode = sawCode || reader.Value() != 14.7;
    return sawCode || lc1->PacketsSent() >= sent + 20;
  });
  EXPECT_FALSE(sawCode);
}

TEST_F(LambdaReader, GarbageAloneKeepsTheStateUntilTheSilenceTimer) {
  ConnectAndWaitForData();
  lc1->SetPacketsOn(false);
  lc1->SetGarbageBytes(50);
  // Only the timer reports the silence, once; the garbage changes nothing.
  ASSERT_TRUE(WaitFor([&] { return reader.NoData(); }));
  EXPECT_EQ(reader.Value(), 0.0);
  const int refreshes = events.Count();
  const std::uint64_t sent = lc1->PacketsSent();
  Pump(300);
  EXPECT_EQ(lc1->PacketsSent(), sent);
  EXPECT_TRUE(reader.NoData());
  EXPECT_EQ(events.Count(), refreshes);

  lc1->SetPacketsOn(true);
  EXPECT_TRUE(WaitFor([&] { return !reader.NoData() && reader.Value() == 14.7; }));
}

TEST_F(LambdaReader, SilenceOfOneSecondTimesOut) {
  ConnectAndWaitForData();
  const int refreshes = events.Count();
  lc1->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return reader.NoData(); }));
  EXPECT_EQ(reader.Value(), 0.0);
  EXPECT_TRUE(reader.Active());
  EXPECT_GT(events.Count(), refreshes);

  lc1->SetSilent(false);
  EXPECT_TRUE(WaitFor([&] { return !reader.NoData() && reader.Value() == 14.7; }));
}

TEST_F(LambdaReader, DisconnectWhileStreamingStoresNothingAfterwards) {
  lc1->SetPeriodMs(1);
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    lc1->SetAfr(10.0 + round);
    ConnectAndWaitForData();
    reader.Disconnect();
    EXPECT_FALSE(reader.Active());
    const std::uint64_t packets = reader.Reading().Packets();
    const std::int32_t ticks = reader.Reading().SilenceTicks();
    const int told = events.Count();
    ASSERT_TRUE(WaitFor([&] { return !reader.ReaderRunning(); }));
    Pump(20);  // let a stray hand-off or timer tick run, if any
    EXPECT_EQ(reader.Reading().Packets(), packets);
    EXPECT_EQ(reader.Reading().SilenceTicks(), ticks);
    EXPECT_EQ(events.Count(), told);
  }
}

TEST_F(LambdaReader, PortThatCannotBeOpenedStartsNothing) {
  ConnectAndWaitForData();
  reader.Disconnect();
  // The old reader is not waited for by the disconnect; on a busy machine it
  // may still be ending, and it is not what this test is about.
  ASSERT_TRUE(WaitFor([&] { return !reader.ReaderRunning(); }));
  const int before = events.Count();
  const std::int32_t ticks = reader.Reading().SilenceTicks();
  const std::string port = ::testing::TempDir() + "no-such-lc1-port";
  try {
    reader.Connect(port);
    FAIL() << "no error";
  } catch (const EcuError& e) {
    EXPECT_EQ(e.what(),
              "Ошибка открытия порта LC-1 " + port +
                  ": нет такого устройства\nЕсли LC-1 не используется: «Настройки» → «Порт LC-1» → «Нет».");
  }
  EXPECT_FALSE(reader.Active());
  EXPECT_FALSE(reader.ReaderRunning());
  // The reading is cleared first; no silence timer runs.
  EXPECT_EQ(reader.Value(), 0.0);
  Pump(250);
  EXPECT_EQ(reader.Reading().SilenceTicks(), ticks);
  EXPECT_EQ(events.Count(), before);
}

TEST_F(LambdaReader, PulledLeadEndsTheReaderQuietly) {
  ConnectAndWaitForData();
  lc1->Hangup();
  ASSERT_TRUE(WaitFor([&] { return !reader.ReaderRunning(); }));
  const std::uint64_t passes = reader.ReaderPasses();
  // The silence timer takes over; the reader is gone, not looping.
  ASSERT_TRUE(WaitFor([&] { return reader.NoData(); }));
  EXPECT_EQ(reader.Value(), 0.0);
  EXPECT_EQ(reader.ReaderPasses(), passes);
  EXPECT_TRUE(reader.Active());
  reader.Disconnect();
  EXPECT_FALSE(reader.Active());
}

TEST_F(LambdaReader, ReconnectAfterDisconnectReadsAgain) {
  ConnectAndWaitForData();
  reader.Disconnect();
  lc1->SetAfr(13.2);
  const double expected = (sim::Lc1Device::ReadingForAfr(13.2) + 500) / 1000.0 * 14.7;
  // The port is not purged at the connect: one packet left over from before
  // may show first; the purge after it drops the rest.
  reader.Connect(lc1->Port());
  EXPECT_TRUE(WaitFor([&] { return reader.Value() == expected; }));
}

}  // namespace

namespace {

TEST_F(LambdaReader, ProgramEndStopsTheReader) {
  ConnectAndWaitForData();
  // The reader waits on its port; only the disconnect at the program's end wakes it.
  struct : SessionEvents {
  } events;
  EcuSession session{events};
  session.SetLc1(&reader);
  session.Shutdown();
  EXPECT_FALSE(reader.Active());
  EXPECT_TRUE(TerminateAllWorkers(std::chrono::milliseconds(kWaitMs)));
  EXPECT_FALSE(reader.ReaderRunning());
}

}  // namespace
