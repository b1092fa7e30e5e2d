// The simulated ECU's crank packet stream through a real pseudo-terminal and
// the real port code: noise between packets, packets split across reads, and
// a stream that ends without EE 88.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "ecu/crank_packets.h"
#include "link/port.h"
#include "sim/kwp_ecu.h"
#include "sim/sim.h"
#include "tests/support/kwp_ecu_wrapper.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Packet = std::array<std::uint8_t, 7>;

// Frames the stream the way the program's receiver does: FindSpinSync, then 7
// bytes; with no sync in the buffer only the last byte is kept.
struct Framer {
  MsgBlock buf{};
  std::uint8_t count = 0;
  bool inPacket = false;
  std::vector<Packet> packets;
  std::uint64_t dropped = 0;  // bytes that were neither sync nor packet

  void Feed(const Bytes& bytes) {
    for (std::uint8_t b : bytes) {
      buf[count++] = b;
      Process();
    }
  }
  void Process() {
    for (;;) {
      if (!inPacket) {
        if (count < 2) return;
        const std::uint8_t before = count;
        std::uint16_t sum = 1;
        if (FindSpinSync(buf, count, sum) != 7) {
          dropped += static_cast<std::uint64_t>(count - 1);
          buf[0] = buf[count - 1];
          count = 1;
          return;
        }
        dropped += static_cast<std::uint64_t>(before - count - 2);
        inPacket = true;
      }
      if (count < 7) return;
      Packet p;
      std::copy(buf.begin(), buf.begin() + 7, p.begin());
      packets.push_back(p);
      std::copy(buf.begin() + 7, buf.begin() + count, buf.begin());
      count = static_cast<std::uint8_t>(count - 7);
      inPacket = false;
    }
  }
};

class KwpStream : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("varnek-stream-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    ecu = std::make_shared<sim::KwpEcu>();
    // Each packet carries its number, so a lost or doubled one shows.
    auto seq = std::make_shared<int>(0);
    ecu->SetPacketSource([seq](int corrTimes2) {
      const auto n = static_cast<std::uint8_t>(++*seq);
      return Packet{n, 0x10, 0x00, static_cast<std::uint8_t>(corrTimes2), 0x80, 0x00, 0x01};
    });
    ecu->SetPacketIntervalMs(2);
    sim::SimLineOptions o;
    o.timeScale = 0;
    o.echo = false;  // only what the ECU sends
    line = std::make_unique<sim::SimLine>((dir_ / "kline").string(), ecu, o);
    Open(10400);
  }
  void TearDown() override {
    ClosePortHandle(port);
    line.reset();
    std::filesystem::remove_all(dir_);
  }
  void Open(std::uint32_t baud) {
    ClosePortHandle(port);
    // A silent read of n bytes ends after 100 × n + 20 ms: long enough for a
    // loaded machine, so a read that gets nothing means nothing came.
    port = OpenAndConfigurePort(line->LinkPath(), baud, ONESTOPBIT, 100, 100);
  }
  // Writes a request frame with its checksum and reads the reply's n bytes.
  Bytes Exchange(Bytes frame, int n) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : frame) sum = static_cast<std::uint8_t>(sum + b);
    frame.push_back(sum);
    WritePortBlocking(port, frame.data(), static_cast<int>(frame.size()));
    return Read(n);
  }
  Bytes Read(int n) {
    Bytes out(static_cast<std::size_t>(n));
    int got = 0;
    while (got < n) {
      const int r = ReadPortBlocking(port, out.data() + got, n - got);
      if (r == 0) break;
      got += r;
    }
    out.resize(static_cast<std::size_t>(got));
    read_ += out.size();
    return out;
  }
  // One read as the receiver makes it: whatever is waiting once a byte came.
  Bytes ReadChunk() {
    if (!WaitRxChar(port)) return {};
    Bytes out(std::max<std::uint32_t>(1, PortInQueue(port)));
    out.resize(static_cast<std::size_t>(ReadPortBlocking(port, out.data(), static_cast<int>(out.size()))));
    read_ += out.size();
    return out;
  }
  void EnterStream() {
    streamPackets_ = ecu->PacketsSent();
    streamNoise_ = ecu->NoiseBytesSent();
    const Bytes reply = Exchange({0x83, 0x10, 0xF1, 0x30, 0x72, 0x01}, 6);
    ASSERT_EQ(reply, (Bytes{0x82, 0xF1, 0x10, 0x70, 0x72, 0x65}));
    ASSERT_TRUE(ecu->Streaming());
    streamRead_ = read_;
  }
  // Once the stream has ended: reads the rest of what it sent (packets and
  // noise), however late a busy machine delivers it.
  Bytes Drain() {
    const std::uint64_t sent = 9 * static_cast<std::uint64_t>(ecu->PacketsSent() - streamPackets_) +
                               (ecu->NoiseBytesSent() - streamNoise_);
    const std::uint64_t taken = read_ - streamRead_;
    EXPECT_GE(sent, taken);
    return sent > taken ? Read(static_cast<int>(sent - taken)) : Bytes{};
  }

  std::shared_ptr<sim::KwpEcu> ecu;
  std::unique_ptr<sim::SimLine> line;
  PortId port = kNoPort;
  std::uint64_t read_ = 0;  // bytes read from the port so far
  // At the start of the last stream: the ECU's counters and read_.
  int streamPackets_ = 0;
  std::uint64_t streamNoise_ = 0, streamRead_ = 0;

 private:
  std::filesystem::path dir_;
};

// Every packet reaches a receiver that frames by the sync, in order, with
// noise between packets, packets split in two, or both.
TEST_F(KwpStream, NoiseAndSplitPacketsCostNoPacket) {
  struct Case {
    int noise;
    int split;
  } cases[] = {{0, 0}, {5, 0}, {0, 1}, {0, 8}, {3, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "noise " << c.noise << " split " << c.split);
    ecu->SetStreamNoise(c.noise, 11);
    ecu->SetStreamSplit(c.split, 1);
    const std::uint64_t noiseBefore = ecu->NoiseBytesSent();
    const int packetsBefore = ecu->PacketsSent();
    EnterStream();
    Framer f;
    while (f.packets.size() < 30) {
      const Bytes chunk = Read(32);
      ASSERT_FALSE(chunk.empty()) << "the stream stopped";
      f.Feed(chunk);
    }
    ecu->StopStream();
    f.Feed(Drain());
    const int sent = ecu->PacketsSent() - packetsBefore;
    ASSERT_EQ(static_cast<int>(f.packets.size()), sent);
    for (std::size_t i = 1; i < f.packets.size(); ++i)
      EXPECT_EQ(f.packets[i][0], static_cast<std::uint8_t>(f.packets[i - 1][0] + 1)) << i;
    for (const Packet& p : f.packets)
      EXPECT_EQ(Bytes(p.begin() + 1, p.end()), (Bytes{0x10, 0, 0, 0x80, 0, 1}));
    // The only bytes dropped are the noise bytes, all of them (the last one
    // still waits in the buffer: it might start a sync).
    EXPECT_FALSE(f.inPacket);
    EXPECT_EQ(f.dropped + f.count, ecu->NoiseBytesSent() - noiseBefore);
    if (c.noise > 0) {
      EXPECT_GE(f.dropped, static_cast<std::uint64_t>(sent - 1));
    }
  }
}

TEST_F(KwpStream, SplitPacketsArriveInTwoReads) {
  ecu->SetPacketIntervalMs(50);
  for (int split : {1, 5, 8}) {
    SCOPED_TRACE(split);
    ecu->SetStreamSplit(split, 25);
    EnterStream();
    Framer f;
    // A reader that looks between the two parts gets them in two reads. A
    // busy machine may let it look late now and then, and it gets more at
    // once; so count the packets that came in exactly two parts.
    int twoParts = 0;
    while (twoParts < 2) {
      ASSERT_LT(f.packets.size(), 40u) << "no packet came in two reads";
      const Bytes first = ReadChunk();
      f.Feed(first);
      if (first.size() != static_cast<std::size_t>(split) || first[0] != sim::KwpEcu::kSync0) continue;
      const std::size_t framed = f.packets.size();
      const Bytes rest = ReadChunk();
      f.Feed(rest);
      if (rest.size() != static_cast<std::size_t>(9 - split)) continue;
      EXPECT_EQ(f.packets.size(), framed + 1);
      ++twoParts;
    }
    ecu->StopStream();
    f.Feed(Drain());
    EXPECT_EQ(static_cast<int>(f.packets.size()), ecu->PacketsSent() - streamPackets_);
  }
}

// Without EE 88 the line falls silent; the ECU then answers requests again.
TEST_F(KwpStream, StoppedStreamSilencesTheLineAndTheEcuAnswersAgain) {
  EnterStream();
  ASSERT_EQ(Read(9).size(), 9u);
  ecu->StopStream();
  EXPECT_FALSE(ecu->Streaming());
  Drain();
  const int sent = ecu->PacketsSent();
  EXPECT_TRUE(Read(1).empty());  // 120 ms of silence
  EXPECT_EQ(ecu->PacketsSent(), sent);
  EXPECT_TRUE(ecu->RawCommands().empty());  // no EE 88 was needed
  const Bytes reply = Exchange({0x82, 0x10, 0xF1, 0x21, 0x0D}, 4 + 97 + 1);
  ASSERT_EQ(reply.size(), 102u);
  EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 6), (Bytes{0x80, 0xF1, 0x10, 97, 0x61, 0x0D}));
}

// A reset (ecusim's silence switch) ends the stream and the session: the ECU
// is back at 10400 baud, where a new connection starts.
TEST_F(KwpStream, ResetEndsStreamAndSession) {
  ASSERT_EQ(Exchange({0x83, 0x10, 0xF1, 0x10, 0x81, 0x39}, 5), (Bytes{0x81, 0xF1, 0x10, 0x50, 0xD2}));
  Open(57600);
  EnterStream();
  ASSERT_EQ(Read(9).size(), 9u);
  const Bytes correction{0xEE, 0xFA};  // -3 degrees, then the reset
  WritePortBlocking(port, correction.data(), 2);
  for (int i = 0; i < 2000 && ecu->CorrectionTimes2() != -6; ++i) ::usleep(5000);
  ASSERT_EQ(ecu->CorrectionTimes2(), -6);
  ecu->Reset();
  Drain();
  EXPECT_FALSE(ecu->Streaming());
  EXPECT_EQ(ecu->Settings().baud, 10400u);
  EXPECT_EQ(ecu->CorrectionTimes2(), 0);
  Open(10400);
  EXPECT_EQ(Exchange({0x81, 0x10, 0xF1, 0x81}, 7), (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    ::usleep(5000);
  }
  return condition();
}

// A KWP ECU gives its session up when the tester stays silent; a stream is
// not silence, and neither is polling.
TEST_F(KwpStream, SilentTesterLosesTheSessionButPollingAndTheStreamKeepIt) {
  using Clock = std::chrono::steady_clock;
  ecu->SetSessionTimeoutMs(600);
  ASSERT_EQ(Exchange({0x83, 0x10, 0xF1, 0x10, 0x81, 0x39}, 5), (Bytes{0x81, 0xF1, 0x10, 0x50, 0xD2}));
  Open(57600);
  for (const auto start = Clock::now(); Clock::now() - start < std::chrono::milliseconds(1500);)
    ASSERT_EQ(Exchange({0x82, 0x10, 0xF1, 0x21, 0x0D}, 102).size(), 102u);
  EnterStream();
  for (const auto start = Clock::now(); Clock::now() - start < std::chrono::milliseconds(1500);)
    ASSERT_EQ(Read(9).size(), 9u);
  EXPECT_EQ(ecu->Settings().baud, 57600u);
  const Bytes switchBack{0xEE, 0x88};
  WritePortBlocking(port, switchBack.data(), 2);
  ASSERT_TRUE(WaitUntil([&] { return !ecu->Streaming(); }));
  Drain();
  // Now nothing comes: the session ends, and a new one starts at 10400.
  ASSERT_TRUE(WaitUntil([&] { return ecu->Settings().baud == 10400; }));
  Open(10400);
  EXPECT_EQ(Exchange({0x81, 0x10, 0xF1, 0x81}, 7), (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
}

// The ECU behind a wrapper that stalls the line's thread in the middle of
// every request, as a busy machine stalls the simulator.
class StallingEcu : public KwpEcuWrapper {
 public:
  using KwpEcuWrapper::KwpEcuWrapper;
  void Receive(std::uint8_t b, const sim::LineSettings& program) override {
    KwpEcuWrapper::Receive(b, program);
    if (b == 0x10) std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the ECU's address
  }
};

TEST_F(KwpStream, StalledSimulatorStillSeesWholeRequests) {
  ClosePortHandle(port);
  const std::string path = line->LinkPath();
  line.reset();
  sim::SimLineOptions o;
  o.timeScale = 1;  // bytes take their wire time at 10400 baud
  o.echo = false;
  line = std::make_unique<sim::SimLine>(path, std::make_shared<StallingEcu>(ecu), o);
  // The replies come late by the stalls: reads wait up to 200 ms a byte.
  port = OpenAndConfigurePort(path, 10400, ONESTOPBIT, 200, 100);
  EXPECT_EQ(Exchange({0x81, 0x10, 0xF1, 0x81}, 7), (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
  EXPECT_EQ(Exchange({0x83, 0x10, 0xF1, 0x10, 0x81, 0x0A}, 5), (Bytes{0x81, 0xF1, 0x10, 0x50, 0xD2}));
}

}  // namespace
