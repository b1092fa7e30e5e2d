// The port layer against real kernel ttys: the simulator's pseudo-terminals.
#include "link/port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "sim/sim.h"
#include "tests/support/line_fixture.h"
#include "tests/support/script_device.h"

namespace {

class PortTest : public LineFixture {
 protected:
  sim::SimLine& MakeLine(const std::string& name, std::shared_ptr<sim::SimDevice> device = nullptr,
                         bool echo = true) {
    return AddLine(name, std::move(device), 0, echo);
  }
  PortId Open(const sim::SimLine& line, std::uint32_t baud = 10400, int stop = ONESTOPBIT,
              std::uint16_t readMul = 100) {
    return OpenLine(line, baud, stop, readMul);
  }
  static std::string MessageOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const EcuError& e) {
      return e.what();
    }
    return "(no error)";
  }
};

TEST_F(PortTest, SilentLineReadReturnsZeroAfterItsTotalTimeout) {
  auto& line = MakeLine("silent", nullptr, /*echo=*/false);
  PortId id = Open(line, 19200, ONESTOPBIT, /*readMul=*/10);
  std::uint8_t buf[4];
  std::int64_t start = PerfCounter();
  EXPECT_EQ(ReadPortBlocking(id, buf, 4), 0);
  // 10 ms x 4 bytes + 20 ms is the least a silent read may take.
  EXPECT_GE((PerfCounter() - start) * 1000 / PerfFrequency(), 60);
}

TEST_F(PortTest, IntervalTimeoutEndsReadBetweenBursts) {
  auto device = std::make_shared<ScriptDevice>();
  ScriptDevice* d = device.get();
  device->onByte = [d](std::uint8_t b) {
    if (b != 0x55) return;
    d->Send({1, 2, 3});
    d->Send({4, 5}, /*gapMs=*/300);  // far beyond the 20 ms interval
  };
  auto& line = MakeLine("bursts", device, /*echo=*/false);
  PortId id = Open(line, 10400, ONESTOPBIT, /*readMul=*/1000);  // total time-out 10 s
  Write(id, {0x55});
  std::uint8_t buf[10];
  ASSERT_EQ(ReadPortBlocking(id, buf, 10), 3);
  EXPECT_EQ(buf[2], 3);
  ASSERT_EQ(ReadPortBlocking(id, buf, 10), 2);
  EXPECT_EQ(buf[0], 4);
}

TEST_F(PortTest, PortIsExclusiveUntilClosed) {
  auto& line = MakeLine("excl");
  PortId first = Open(line);
  const PortId firstId = first;
  // Root passes TIOCEXCL; the flock must still refuse the second opener.
  EXPECT_EQ(MessageOf([&] { OpenPortDevice(line.LinkPath()); }), "Ошибка открытия порта");
  ClosePortHandle(first);
  EXPECT_EQ(first, kNoPort);
  PortId again = Open(line);
  EXPECT_NE(again, kNoPort);
  EXPECT_NE(again, firstId);  // ids are never reused
}

TEST_F(PortTest, WriteThatCannotCompleteInItsTimeIsAnError) {
  // A pseudo-terminal whose far end nobody reads: its buffer fills up.
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string link = dir_ + "/stuck";
  ASSERT_EQ(::symlink(::ptsname(master), link.c_str()), 0);
  PortId id = OpenAndConfigurePort(link, 38400, ONESTOPBIT, 20, /*writeMultiplier=*/0);
  std::vector<std::uint8_t> big(1 << 20, 0x33);
  EXPECT_EQ(MessageOf([&] { WritePortBlocking(id, big.data(), static_cast<int>(big.size())); }),
            "Ошибка ожидания завершения записи в порт");
  ClosePortHandle(id);
  ::close(master);
}

TEST_F(PortTest, MissingPortsRaiseTheOpenError) {
  struct Case {
    std::string name;
    std::string pathInDetail;
  } cases[] = {{"ttyNoSuchPort", "/dev/ttyNoSuchPort"}, {dir_ + "/nothing", dir_ + "/nothing"}};
  for (const auto& c : cases) {
    try {
      OpenPortDevice(c.name);
      ADD_FAILURE() << c.name << " opened";
    } catch (const EcuError& e) {
      EXPECT_STREQ(e.what(), "Ошибка открытия порта");
      EXPECT_NE(e.detail().find(c.pathInDetail), std::string::npos) << e.detail();
    }
  }
}

TEST_F(PortTest, FailedConfigurationReleasesTheDevice) {
  auto& line = MakeLine("cfgfail");
  // Stop-bit code 1 (one and a half) is not a profile of this program.
  EXPECT_EQ(MessageOf([&] { OpenAndConfigurePort(line.LinkPath(), 10400, 1, 20, 100); }),
            "Ошибка установки настроек порта ");
  EXPECT_NE(Open(line), kNoPort);  // not left locked
}

TEST_F(PortTest, ProfilesSetTheLineAndSpeedChangeKeepsTheFraming) {
  auto& line = MakeLine("profiles");
  TCfg.CBR = 0;
  OpenEcuPort(line.LinkPath(), 2);
  EXPECT_EQ(TCfg.CBR, 2);
  auto v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 10400u);
  EXPECT_EQ(v.stopBits, 1);
  EXPECT_TRUE(v.raw);
  SetPortSpeed(2);
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 57600u);
  EXPECT_EQ(v.dataBits, 8);
  EXPECT_FALSE(v.parity);
  EXPECT_EQ(v.stopBits, 1);
  EXPECT_TRUE(v.raw);
  CloseEcuPort();
  EXPECT_EQ(PortHandle.load(), kNoPort);

  OpenFlashPort(line.LinkPath());
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 38400u);
  EXPECT_EQ(v.stopBits, 2);
  SetPortSpeed(0);
  v = line.ProgramSettings();
  EXPECT_EQ(v.baud, 10400u);
  EXPECT_EQ(v.dataBits, 8);
  EXPECT_FALSE(v.parity);
  EXPECT_EQ(v.stopBits, 2);
}

TEST_F(PortTest, SpeedIndexOutsideTheTableIsRefused) {
  auto& line = MakeLine("speedidx");
  TCfg.CBR = 1;
  for (int bad : {-1, 3}) {
    EXPECT_EQ(MessageOf([&] { OpenEcuPort(line.LinkPath(), bad); }), "Ошибка установки настроек порта ");
    EXPECT_EQ(PortHandle.load(), kNoPort);
    EXPECT_EQ(TCfg.CBR, 1);
  }
  OpenEcuPort(line.LinkPath(), 1);
  EXPECT_EQ(MessageOf([] { SetPortSpeed(3); }), "Ошибка установки настроек порта ");
  EXPECT_EQ(line.ProgramSettings().baud, 10400u);
}

TEST_F(PortTest, WakeUpByteNeverReachesTheEcuAndLeavesNothingQueued) {
  auto device = std::make_shared<ScriptDevice>();
  sim::SimLineOptions o;
  o.timeScale = 0;
  o.absorbWakeByte = true;
  lines_.push_back(std::make_unique<sim::SimLine>(dir_ + "/wake", device, o));
  OpenEcuPort(lines_.back()->LinkPath(), 0);
  EXPECT_EQ(PortInQueue(), 0u);  // the echo of 0x01 was purged
  EXPECT_TRUE(device->Received().empty());
  MsgBlock req{0x81, 0x10, 0xF1, 0x81, 0x03};
  WritePortBlocking(req, 5);
  std::vector<std::uint8_t> echo = ReadUpTo(PortHandle.load(), 5);
  EXPECT_EQ(echo, (std::vector<std::uint8_t>{0x81, 0x10, 0xF1, 0x81, 0x03}));
  EXPECT_EQ(device->Received(), echo);
}

TEST_F(PortTest, QueueCountPurgeAndBreak) {
  auto device = std::make_shared<ScriptDevice>();
  ScriptDevice* d = device.get();
  device->onByte = [d](std::uint8_t b) {
    if (b == 0x55) d->Send({9, 9, 9, 9});
  };
  auto& line = MakeLine("queue", device, /*echo=*/false);
  OpenEcuPort(line.LinkPath(), 0);
  MsgBlock req{0x55};
  WritePortBlocking(req, 1);
  for (int i = 0; i < 2000 && PortInQueue() < 4; ++i) DelayMs(1);
  EXPECT_EQ(PortInQueue(), 4u);
  PurgePort(PortHandle.load(), PURGE_RXABORT | PURGE_RXCLEAR);
  EXPECT_EQ(PortInQueue(), 0u);
  EXPECT_NO_THROW(SetBreak(true));
  EXPECT_NO_THROW(SetBreak(false));
  EXPECT_NO_THROW(FastInitPulse());
  CloseEcuPort();
  EXPECT_EQ(MessageOf([] { SetBreak(true); }), "Ошибка установки состояния break");
  EXPECT_EQ(MessageOf([] { SetPortSpeed(0); }), "Ошибка чтения настроек порта");
  EXPECT_EQ(MessageOf([] { PortInQueue(); }), "Ошибка сброса порта");
}

TEST_F(PortTest, ClosingWakesTheWaiterAndTheOldIdStaysDead) {
  auto& a = MakeLine("a");
  auto& b = MakeLine("b");
  PortId idA = Open(a);
  PortId idB = Open(b);
  PortId oldA = idA;
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = WaitRxChar(oldA) ? 1 : 0; });
  // The waiter cannot see a byte: nothing is sent on A. Only the close ends it.
  ::usleep(50'000);
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

  // Port B is untouched by all of that.
  Write(idB, {0xA1, 0xB2});
  EXPECT_TRUE(WaitRxChar(idB));
  EXPECT_EQ(ReadUpTo(idB, 2), (std::vector<std::uint8_t>{0xA1, 0xB2}));
}

TEST_F(PortTest, HangUpFailsTheWaitWithoutSpinning) {
  auto& line = MakeLine("hangup");
  PortId id = Open(line);
  std::atomic<int> calls{0};
  std::atomic<bool> stop{false};
  std::atomic<std::int64_t> cpuNs{0};
  std::thread receiver([&] {
    // The receiver's loop: a failed wait ends the pass, then it waits again.
    while (!stop) {
      WaitRxChar(id);
      ++calls;
    }
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    cpuNs = ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
  });
  ::usleep(20'000);  // most likely in its wait by now; if not, the wait fails at once
  line.Hangup();
  for (int i = 0; i < 10'000 && calls.load() < 1; ++i) ::usleep(1'000);
  ASSERT_GE(calls.load(), 1);  // the wait failed
  ::usleep(300'000);
  EXPECT_LE(calls.load(), 2);  // and did not turn into a loop
  std::uint8_t buf[1];
  EXPECT_EQ(MessageOf([&] { ReadPortBlocking(id, buf, 1); }), "Ошибка ожидания завершения чтения из порта");
  stop = true;
  PortId copy = id;
  ClosePortHandle(copy);  // wakes the sleeping waiter
  receiver.join();
  EXPECT_LT(cpuNs.load(), 50'000'000);  // a spinning loop would burn the whole 300 ms
}

TEST_F(PortTest, EveryByteValuePassesUnchangedBothWays) {
  auto device = std::make_shared<ScriptDevice>();
  ScriptDevice* d = device.get();
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  device->onByte = [d, all](std::uint8_t b) {
    if (b == 0xFF) d->Send(all);  // after the last byte, send every value back
  };
  auto& line = MakeLine("allbytes", device);
  PortId id = Open(line);
  Write(id, all);
  std::vector<std::uint8_t> got = ReadUpTo(id, 512);
  ASSERT_EQ(got.size(), 512u);
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + 256), all);  // echo
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + 256, got.end()), all);    // device
  EXPECT_EQ(device->Received(), all);
}

}  // namespace
