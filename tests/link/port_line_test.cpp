// The port layer against a real serial line, on every system: on Linux the
// simulator's pseudo-terminals in this process, on Windows the Win32 backend
// under Wine against the simulator's lines (see tests/support/test_line.h).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "link/kline_port.h"
#include "link/port.h"
#include "tests/support/test_line.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t MsSince(std::int64_t start) { return (PerfCounter() - start) * 1000 / PerfFrequency(); }

TEST_F(PortLineTest, SilentLineReadReturnsZeroAfterItsTotalTimeout) {
  auto& line = NewLine(/*echo=*/false);
  PortId id = Open(line, 19200, ONESTOPBIT, /*readMul=*/10);
  std::uint8_t buf[4];
  std::int64_t start = PerfCounter();
  EXPECT_EQ(ReadPortBlocking(id, buf, 4), 0);
  // 10 ms x 4 bytes + 20 ms is the least a silent read may take.
  EXPECT_GE(MsSince(start), 60);
}

TEST_F(PortLineTest, IntervalTimeoutEndsReadBetweenBursts) {
  auto& line = NewLine(/*echo=*/false);
  PortId id = Open(line, 10400, ONESTOPBIT, /*readMul=*/1000);  // total time-out 10 s
  line.DeviceSends({1, 2, 3});
  line.DeviceSends({4, 5}, /*gapMs=*/300);  // far beyond the 20 ms interval
  std::uint8_t buf[10];
  ASSERT_EQ(ReadPortBlocking(id, buf, 10), 3);
  EXPECT_EQ(buf[2], 3);
  ASSERT_EQ(ReadPortBlocking(id, buf, 10), 2);
  EXPECT_EQ(buf[0], 4);
}

TEST_F(PortLineTest, FailedConfigurationReleasesTheDevice) {
  auto& line = NewLine();
  // Stop-bit code 1 (one and a half) is not a profile of this program.
  EXPECT_EQ(MessageOf([&] { OpenAndConfigurePort(line.PortName(), 10400, 1, 20, 100); }),
            "Ошибка установки настроек порта ");
  EXPECT_NE(Open(line), kNoPort);  // not left locked
}

TEST_F(PortLineTest, ProfilesSetTheLineAndSpeedChangeKeepsTheFraming) {
  auto& line = NewLine();
  auto port = KLinePort::OpenForEcu(line.PortName(), 2);
  auto v = line.ProgramSettings();
  if (LinesShowEveryRate()) {
    EXPECT_EQ(v.baud, 10400u);
  }
  EXPECT_EQ(v.stopBits, 1);
  EXPECT_TRUE(v.raw);
  port->SetSpeed(2);
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 57600u);
  EXPECT_EQ(v.dataBits, 8);
  EXPECT_FALSE(v.parity);
  EXPECT_EQ(v.stopBits, 1);
  EXPECT_TRUE(v.raw);
  port->Close();
  EXPECT_FALSE(port->IsOpen());

  port = KLinePort::OpenForFlash(line.PortName());
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 38400u);
  EXPECT_EQ(v.stopBits, 2);
  port->SetSpeed(LinesShowEveryRate() ? 0 : 2);
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, LinesShowEveryRate() ? 10400u : 57600u);
  EXPECT_EQ(v.dataBits, 8);
  EXPECT_FALSE(v.parity);
  EXPECT_EQ(v.stopBits, 2);
}

TEST_F(PortLineTest, SpeedIndexOutsideTheTableIsRefused) {
  auto& line = NewLine();
  for (int bad : {-1, 3}) {
    EXPECT_EQ(MessageOf([&] { KLinePort::OpenForEcu(line.PortName(), bad); }), "Ошибка установки настроек порта ");
    EXPECT_NE(Open(line), kNoPort);  // nothing was opened: the device is free
    ClosePortHandle(opened_.back());
  }
  auto port = KLinePort::OpenForEcu(line.PortName(), 1);
  const std::uint32_t baud = line.ProgramSettings().baud;
  EXPECT_EQ(MessageOf([&] { port->SetSpeed(3); }), "Ошибка установки настроек порта ");
  EXPECT_EQ(line.ProgramSettings().baud, baud);
}

TEST_F(PortLineTest, WakeUpByteNeverReachesTheEcuAndLeavesNothingQueued) {
  auto& line = NewLine();
  line.SetAbsorbWakeByte(true);
  auto port = KLinePort::OpenForEcu(line.PortName(), 0);
  EXPECT_EQ(port->InQueue(), 0u);  // the echo of 0x01 was purged
  EXPECT_TRUE(line.DeviceReceived().empty());
  MsgBlock req{0x81, 0x10, 0xF1, 0x81, 0x03};
  port->Write(req, 5);
  Bytes echo = ReadUpTo(port->Id(), 5);
  EXPECT_EQ(echo, (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03}));
  EXPECT_EQ(line.DeviceReceived(), echo);
}

TEST_F(PortLineTest, QueueCountPurgeAndBreak) {
  auto& line = NewLine(/*echo=*/false);
  auto port = KLinePort::OpenForEcu(line.PortName(), 0);
  line.DeviceSends({9, 9, 9, 9});
  for (int i = 0; i < 5000 && port->InQueue() < 4; ++i) DelayMs(1);
  EXPECT_EQ(port->InQueue(), 4u);
  PurgePort(port->Id(), PURGE_RXABORT | PURGE_RXCLEAR);
  EXPECT_EQ(port->InQueue(), 0u);
  EXPECT_NO_THROW(port->SetBreak(true));
  EXPECT_NO_THROW(port->SetBreak(false));
  const std::int64_t start = PerfCounter();
  EXPECT_NO_THROW(port->FastInitPulse());
  EXPECT_GE(MsSince(start), 50);  // 25 ms low, then 25 ms idle
  port->Close();
  EXPECT_EQ(MessageOf([&] { port->SetBreak(true); }), "Ошибка установки состояния break");
  EXPECT_EQ(MessageOf([&] { port->SetSpeed(0); }), "Ошибка чтения настроек порта");
  EXPECT_EQ(MessageOf([&] { port->InQueue(); }), "Ошибка сброса порта");
}

TEST_F(PortLineTest, ClosingWakesTheWaiterAndTheOldIdStaysDead) {
  auto& a = NewLine();
  auto& b = NewLine();
  PortId idA = Open(a);
  PortId idB = Open(b);
  PortId oldA = idA;
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = WaitRxChar(oldA) ? 1 : 0; });
  // The waiter cannot see a byte: nothing is sent on A. Only the close ends it.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), -1);
  ClosePortHandle(idA);
  waiter.join();
  EXPECT_EQ(result.load(), 0);

  EXPECT_FALSE(WaitRxChar(oldA));
  std::uint8_t buf[2];
  EXPECT_EQ(MessageOf([&] { ReadPortBlocking(oldA, buf, 2); }).rfind("Ошибка чтения из порта : ", 0), 0u);
  EXPECT_EQ(MessageOf([&] { WritePortBlocking(oldA, buf, 2); }), "Ошибка записи в порт");
  EXPECT_EQ(MessageOf([&] { PortInQueue(oldA); }), "Ошибка сброса порта");
  PurgePort(oldA, PURGE_ALL);  // ignored, never raises
  PortId copy = oldA;
  ClosePortHandle(copy);  // closes nothing the second time
  EXPECT_EQ(copy, kNoPort);
  EXPECT_NE(Open(a), kNoPort);  // free again at once

  // Port B is untouched by all of that.
  WriteBytes(idB, {0xA1, 0xB2});
  EXPECT_TRUE(WaitRxChar(idB));
  EXPECT_EQ(ReadUpTo(idB, 2), (Bytes{0xA1, 0xB2}));
}

TEST_F(PortLineTest, ArrivingByteWakesTheWaiter) {
  auto& line = NewLine(/*echo=*/false);
  PortId id = Open(line);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = WaitRxChar(id) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), -1);  // nothing has come yet
  line.DeviceSends({0x42});
  for (int i = 0; i < 5000 && result.load() < 0; ++i) DelayMs(1);
  EXPECT_EQ(result.load(), 1);
  if (result.load() < 0) ClosePortHandle(id);  // never woke: release the waiter
  waiter.join();
  EXPECT_EQ(ReadUpTo(id, 1), (Bytes{0x42}));
}

TEST_F(PortLineTest, EveryByteValuePassesUnchangedBothWays) {
  auto& line = NewLine();
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  PortId id = Open(line);
  WriteBytes(id, all);
  EXPECT_EQ(ReadUpTo(id, 256), all);  // echo
  EXPECT_EQ(line.DeviceReceived(), all);
  line.DeviceSends(all);
  EXPECT_EQ(ReadUpTo(id, 256), all);
}

}  // namespace
