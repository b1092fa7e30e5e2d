// The simulator's line: adapter echo, wire timing, garbling on a baud mismatch,
// routing between the ECU's diagnostic and boot devices, and its switches.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <vector>

#include "common/timing.h"
#include "link/kline_port.h"
#include "link/port.h"
#include "sim/sim.h"
#include "tests/support/line_fixture.h"
#include "tests/support/script_device.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class SimLineTest : public LineFixture {
 protected:
  sim::SimLine& MakeLine(std::shared_ptr<sim::SimDevice> device, double timeScale = 0, bool echo = true) {
    return AddLine("line" + std::to_string(lines_.size()), std::move(device), timeScale, echo);
  }
  PortId Open(const sim::SimLine& line, std::uint32_t baud, int stop = ONESTOPBIT) {
    return OpenLine(line, baud, stop, 100);
  }
};

// A device answering a 5-byte request after its last byte, as an ECU would.
std::shared_ptr<ScriptDevice> Responder(sim::LineSettings s, Bytes reply) {
  auto d = std::make_shared<ScriptDevice>(s);
  ScriptDevice* raw = d.get();
  auto count = std::make_shared<int>(0);
  d->onByte = [raw, count, reply](std::uint8_t) {
    if (++*count % 5 == 0) raw->Send(reply);
  };
  return d;
}

TEST_F(SimLineTest, EchoOfTheRequestComesBeforeTheReply) {
  const Bytes request{0x81, 0x10, 0xF1, 0x81, 0x03};
  const Bytes reply{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC4};
  for (double scale : {0.0, 1.0}) {  // instant wire and real wire time
    SCOPED_TRACE(scale);
    auto& line = MakeLine(Responder({10400, 1}, reply), scale);
    PortId id = Open(line, 10400);
    Write(id, request);
    Bytes expected = request;
    expected.insert(expected.end(), reply.begin(), reply.end());
    EXPECT_EQ(ReadUpTo(id, 12), expected);
  }
}

TEST_F(SimLineTest, BytesTakeTheirWireTimeAtTheProgramsBaudRate) {
  auto& line = MakeLine(nullptr, /*timeScale=*/1.0);
  PortId id = Open(line, 1200, TWOSTOPBITS);
  const Bytes ten(10, 0x5A);
  std::int64_t start = PerfCounter();
  Write(id, ten);
  EXPECT_EQ(ReadUpTo(id, 10), ten);
  // 10 bytes x 11 bits at 1200 baud: the echo cannot be complete sooner.
  EXPECT_GE((PerfCounter() - start) * 1000 / PerfFrequency(), 91);
}

TEST_F(SimLineTest, BaudMismatchGarblesBothDirections) {
  const Bytes reply{0x50, 0x12, 0x34};
  struct Case {
    std::uint32_t programBaud;
    bool garbled;
  } cases[] = {{10400, false}, {38400, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.programBaud);
    auto device = Responder({10400, 1}, reply);
    auto& line = MakeLine(device);
    PortId id = Open(line, c.programBaud);
    const Bytes request{0x81, 0x10, 0xF1, 0x81, 0x03};
    Write(id, request);
    Bytes got = ReadUpTo(id, 8);
    ASSERT_EQ(got.size(), 8u);
    Bytes fromDevice(got.begin() + 5, got.end());
    Bytes expectedReply = reply, expectedAtDevice = request;
    if (c.garbled) {
      for (auto& b : expectedReply) b = sim::GarbleByte(b);
      for (auto& b : expectedAtDevice) b = sim::GarbleByte(b);
    }
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), request);  // the adapter's echo is never garbled
    EXPECT_EQ(fromDevice, expectedReply);
    EXPECT_EQ(device->Received(), expectedAtDevice);
    EXPECT_EQ(line.GarbledBytes(), c.garbled ? 3u : 0u);
  }
}

TEST_F(SimLineTest, EcuSwitchRoutesByTheProgramsStopBits) {
  auto diag = Responder({10400, 1}, {0xD1});
  auto boot = Responder({38400, 2}, {0xB0});
  auto ecu = std::make_shared<sim::SimEcuSwitch>(diag, boot);
  sim::SimLineOptions o;
  o.timeScale = 0;
  o.absorbWakeByte = true;
  lines_.push_back(std::make_unique<sim::SimLine>(dir_ + "/kline", ecu, o));
  const std::string path = lines_.back()->LinkPath();
  const Bytes five{0x11, 2, 3, 4, 5};

  auto port = KLinePort::OpenForEcu(path, 0);
  WritePortBlocking(port->Id(), five.data(), 5);
  EXPECT_EQ(ReadUpTo(port->Id(), 6), (Bytes{0x11, 2, 3, 4, 5, 0xD1}));
  port.reset();

  port = KLinePort::OpenForFlash(path);
  WritePortBlocking(port->Id(), five.data(), 5);
  EXPECT_EQ(ReadUpTo(port->Id(), 6), (Bytes{0x11, 2, 3, 4, 5, 0xB0}));
  port.reset();

  EXPECT_EQ(diag->Received(), five);  // the wake-up byte was absorbed
  EXPECT_EQ(boot->Received(), five);
}

TEST_F(SimLineTest, AnyRateLineGarblesNothingAndStillRoutesByStopBits) {
  // Wine cannot set 10400 on a pseudo-terminal: whatever rate the program has
  // must pass for the device's, both ways.
  auto diag = Responder({10400, 1}, {0xD1});
  auto boot = Responder({38400, 2}, {0xB0});
  sim::SimLineOptions o;
  o.timeScale = 0;
  o.anyRate = true;
  lines_.push_back(
      std::make_unique<sim::SimLine>(dir_ + "/anyrate", std::make_shared<sim::SimEcuSwitch>(diag, boot), o));
  const Bytes five{0x81, 0x10, 0xF1, 0x81, 0x03};
  PortId id = Open(*lines_.back(), 57600);
  Write(id, five);
  EXPECT_EQ(ReadUpTo(id, 6), (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03, 0xD1}));
  ClosePortHandle(id);
  id = Open(*lines_.back(), 19200, TWOSTOPBITS);
  Write(id, five);
  EXPECT_EQ(ReadUpTo(id, 6), (Bytes{0x81, 0x10, 0xF1, 0x81, 0x03, 0xB0}));
  EXPECT_EQ(diag->Received(), five);
  EXPECT_EQ(boot->Received(), five);
  EXPECT_EQ(lines_.back()->GarbledBytes(), 0u);
}

TEST_F(SimLineTest, EchoAndSilenceSwitches) {
  auto device = Responder({10400, 1}, {0x77});
  auto& line = MakeLine(device);
  PortId id = Open(line, 10400);
  const Bytes req{1, 2, 3, 4, 5};

  // What must not come is looked for briefly.
  line.SetEcho(false);
  Write(id, req);
  EXPECT_EQ(ReadUpTo(id, 1), Bytes{0x77});
  EXPECT_EQ(ReadUpTo(id, 1, 200), Bytes{});

  line.SetEcho(true);
  line.SetSilent(true);  // adapter without an ECU: echo only
  Write(id, req);
  EXPECT_EQ(ReadUpTo(id, 5), req);
  EXPECT_EQ(ReadUpTo(id, 1, 200), Bytes{});
  EXPECT_EQ(device->Received().size(), 5u);
}

TEST_F(SimLineTest, NothingIsDeliveredBeforeTheProgramSetsRawMode) {
  auto device = std::make_shared<ScriptDevice>();
  auto& line = MakeLine(device);
  // A plain open leaves the fresh pseudo-terminal cooked (it would echo our
  // bytes back to us); the line must stay quiet.
  int fd = ::open(line.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  line.Run([&] { device->Send({1, 2, 3}); });
  line.Run([] {});  // one more pass of the line's loop
  EXPECT_EQ(line.BytesToProgram(), 0u);
  EXPECT_FALSE(line.ProgramSettings().raw);
  ::close(fd);
}

TEST_F(SimLineTest, ProgramMayCloseAndReopenAndHangupRemovesTheLink) {
  auto& line = MakeLine(nullptr);
  for (int round = 0; round < 2; ++round) {
    PortId id = Open(line, 19200);
    Write(id, {0x42});
    EXPECT_EQ(ReadUpTo(id, 1), Bytes{0x42});
    ClosePortHandle(id);
  }
  line.Hangup();
  line.Run([] {});
  EXPECT_TRUE(line.HungUp());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(line.LinkPath())));
  EXPECT_THROW(line.ProgramSettings(), std::runtime_error);
}

TEST_F(SimLineTest, TicksRunOnTheLineAndStreamToTheProgram) {
  struct Streamer : sim::SimDevice {
    int left = 5;
    sim::LineSettings Settings() const override { return {19200, 1}; }
    void OnByte(std::uint8_t, const sim::LineSettings&) override {}
    void Attach(sim::SimLine* line) override {
      SimDevice::Attach(line);
      if (line) ScheduleTick(100);
    }
    void OnTick() override {
      Send({static_cast<std::uint8_t>(0xA0 + left)});
      if (--left > 0) ScheduleTick(30);
    }
  };
  auto& line = MakeLine(std::make_shared<Streamer>(), 0, /*echo=*/false);
  opened_.push_back(OpenAndConfigurePort(line.LinkPath(), 19200, ONESTOPBIT, 1000, 100));
  // One byte per read: each waits up to a second for the next tick's byte.
  Bytes got;
  std::uint8_t b = 0;
  while (got.size() < 5 && ReadPortBlocking(opened_.back(), &b, 1) == 1) got.push_back(b);
  ASSERT_FALSE(got.empty());
  for (std::size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i], got[i - 1] - 1);
  EXPECT_EQ(got.back(), 0xA1);
}

}  // namespace
