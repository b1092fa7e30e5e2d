// The K-line stream as the receiver frames it: the reply header check of the
// request/reply mode, the sync search of the crank-packet stream with each
// packet decoded into speed samples as the session does, and the receiver's
// framer itself driven as the receiver thread drives it.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "ecu/crank_packets.h"
#include "ecu/ecu_data.h"
#include "ecu/kwp.h"
#include "link/framing.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

bool IsSyncPair(std::uint8_t a, std::uint8_t b) { return (a & 0xA5) == 0xA5 && (b & 0x05) == 0x05; }

// One header parse on up to 255 bytes (the receiver's buffer never holds more).
void CheckReplyHeader(const std::uint8_t* data, std::size_t size) {
  const int n = static_cast<int>(std::min<std::size_t>(size, 255));
  MsgBlock buf{};
  std::memcpy(buf.data(), data, n);
  const MsgBlock before = buf;
  std::uint8_t count = static_cast<std::uint8_t>(n);
  std::uint16_t sum = 0xBEEF;
  const int expected = ParseReplyHeader(buf, count, sum);
  if (expected == -1) {
    FUZZ_CHECK(buf == before && count == n && sum == 0xBEEF);
    return;
  }
  const int headerLen = before[0] == 0x80 ? 4 : 3;
  FUZZ_CHECK(n >= headerLen);  // never takes a header byte that has not arrived
  FUZZ_CHECK((before[0] & 0x80) && before[1] == kTesterAddress && before[2] == kEcuAddress);
  FUZZ_CHECK(expected == (headerLen == 4 ? before[3] + 1 : (before[0] & 0x7F) + 1));
  FUZZ_CHECK(count == n - headerLen);
  FUZZ_CHECK(sum == Sum16(before.data(), headerLen));
  FUZZ_CHECK(std::equal(buf.begin(), buf.begin() + count, before.begin() + headerLen));
}

void CheckSample(const EcuDataRecord& d, bool completed) {
  FUZZ_CHECK(std::isfinite(d.SpinRps) && d.SpinRps >= 0);
  FUZZ_CHECK(std::isfinite(d.SpinAccel) && std::isfinite(d.SpinDt) && std::isfinite(d.SpinTime));
  FUZZ_CHECK(std::isfinite(d.CorrUOZ.load()) && std::isfinite(d.AFR) && std::isfinite(d.DGTC_RICH));
  if (completed) FUZZ_CHECK(d.SpinDt > 0 && d.SpinAngle == 0 && d.SpinTime == 0);
}

// The packet stream in reads of 1 to 13 bytes, framed as the receiver does in
// the unidirectional mode. The first two bytes choose the averaging angle.
void RunPacketStream(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const int avgAngle = (data[0] | (data[1] << 8)) % 3601;
  data += 2;
  size -= 2;
  EcuDataRecord d{};
  MsgBlock buf{};
  std::uint8_t count = 0;
  bool inPacket = false;
  std::size_t pos = 0;
  while (pos < size) {
    const std::size_t take = std::min<std::size_t>({size - pos, 1 + pos % 13, std::size_t(255) - count});
    count = static_cast<std::uint8_t>(AppendBytes(buf, data + pos, count, static_cast<int>(take)));
    pos += take;
    for (;;) {
      if (!inPacket) {
        if (count < 2) break;
        const MsgBlock before = buf;
        const int n = count;
        std::uint16_t sum = 1;
        if (FindSpinSync(buf, count, sum) == -1) {
          FUZZ_CHECK(buf == before && count == n);
          for (int i = 0; i + 1 < n; ++i) FUZZ_CHECK(!IsSyncPair(before[i], before[i + 1]));
          buf[0] = buf[count - 1];  // may be the first half of a pair
          count = 1;
          break;
        }
        const int at = n - count - 2;  // where the pair was
        FUZZ_CHECK(sum == 0 && at >= 0 && IsSyncPair(before[at], before[at + 1]));
        for (int i = 0; i < at; ++i) FUZZ_CHECK(!IsSyncPair(before[i], before[i + 1]));
        FUZZ_CHECK(std::equal(buf.begin(), buf.begin() + count, before.begin() + at + 2));
        inPacket = true;
      }
      if (count < 7) break;
      CheckSample(d, DecodeSpinPacket(buf.data(), avgAngle, d));
      std::memmove(buf.data(), buf.data() + 7, count - 7);
      count = static_cast<std::uint8_t>(count - 7);
      inPacket = false;
    }
  }
}

// The framer in reads of 1 to 13 bytes, each read's events taken until it
// asks for more. The first byte chooses the starting mode and the echo's
// length (the echo is the input's next bytes, so it must pass); a reply that
// starts the packet stream (70 ...) switches to it, as its hand-off does.
void RunFramer(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return;
  bool unidir = data[0] & 1;
  const int echoLen = std::min<int>((data[0] >> 1) % 8, static_cast<int>(size) - 1);
  ++data;
  --size;
  KLineFramer f;
  f.Arm(RxEcho, data, echoLen);
  int events = 0;
  std::size_t pos = 0;
  while (pos < size) {
    const std::size_t take = std::min<std::size_t>({size - pos, 1 + pos % 13, std::size_t(f.Room())});
    FUZZ_CHECK(take > 0);  // a header never announces more than the buffer holds
    f.Append(data + pos, static_cast<int>(take));
    pos += take;
    for (bool more = true; more;) {
      FUZZ_CHECK(++events < 1'000'000);  // every event consumes or stops
      FUZZ_CHECK(f.Room() == 255 - f.Count());
      using Event = KLineFramer::Event;
      switch (f.Next(unidir)) {
        case Event::None:
          more = false;
          break;
        case Event::BadEcho:
        case Event::BadHeader:
          f.Arm(RxHeader);  // the receiver's reset, then the next exchange
          more = false;
          break;
        case Event::NoSync:
          FUZZ_CHECK(unidir && f.Count() <= 1);
          more = false;
          break;
        case Event::WaitBody:
          FUZZ_CHECK(f.State() == RxBody && f.Count() < f.Expected() && f.Expected() <= 255);
          more = false;
          break;
        case Event::Reply:
        case Event::BadChecksum:
          FUZZ_CHECK(!unidir && f.Expected() >= 1 && f.MessageLength() == f.Expected());
          FUZZ_CHECK(f.Count() >= f.Expected());
          unidir = f.Buffer()[0] == 0x70;
          f.MessageHandled(unidir);
          if (!unidir) f.Arm(RxHeader);  // the next request's exchange
          break;
        case Event::Packet:
          FUZZ_CHECK(unidir && f.MessageLength() == f.Count() && f.Count() >= kCrankPacketLen);
          f.MessageHandled(true);
          break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckReplyHeader(data, size);
  RunPacketStream(data, size);
  RunFramer(data, size);
  return 0;
}
