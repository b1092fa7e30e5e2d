#include "sim/kwp_ecu.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr std::uint8_t kEcu = 0x10;
constexpr std::uint8_t kTester = 0xF1;
// Bytes of one request arrive back to back; a longer pause on the wire starts
// a new frame.
constexpr double kFrameGapMs = 10;

std::uint8_t Checksum(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
  return sum;
}

// Total length of a request frame once its header is known; 0 while unknown.
std::size_t FrameLength(const std::vector<std::uint8_t>& f) {
  if (f.empty()) return 0;
  if (f[0] == 0x80) return f.size() >= 4 ? 4 + f[3] + 1 : 0;
  return 3 + (f[0] & 0x3F) + 1;
}

std::uint32_t BaudOfSpeedByte(std::uint8_t b) {
  switch (b) {
    case 0x0A:
      return 10400;
    case 0x26:
      return 38400;
    case 0x39:
      return 57600;
    default:
      return 0;
  }
}

void Put16(std::array<std::uint8_t, 95>& r, int offset, unsigned v) {
  r[offset] = static_cast<std::uint8_t>(v & 0xFF);
  r[offset + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

}  // namespace

KwpEcu::KwpEcu() : record_([this] { return IdleRecord(tick_++); }), packet_(&KwpEcu::IdlePacket) {}

std::array<std::uint8_t, 95> KwpEcu::IdleRecord(int tick) {
  std::array<std::uint8_t, 95> r{};
  // Idle near 850 rpm with a slow wobble, a throttle blip now and then, the
  // coolant warming from 20 to 90 °C, the mixture around 14.7.
  const bool blip = tick % 100 >= 90;
  const double rpm = blip ? 2200 : 850 + 25 * std::sin(tick * 0.3);
  const int twat = std::min(90, 20 + tick / 5);
  r[0] = blip ? 0x10 : 0x12;  // fXX at idle, fLAMREG
  r[1] = 0x80;                // fLAM
  Put16(r, 3, 0);
  r[8] = static_cast<std::uint8_t>(twat + 40);
  r[9] = static_cast<std::uint8_t>(128 + static_cast<int>(6 * std::sin(tick * 0.7)));
  r[11] = blip ? 25 : 0;
  r[12] = static_cast<std::uint8_t>(rpm / 40);
  Put16(r, 14, static_cast<unsigned>(5000000 / rpm));
  r[16] = 30;
  r[17] = 40;
  r[18] = 128;
  r[20] = blip ? 40 : 28;  // UOZ 20 / 14 degrees
  r[27] = 152;             // 14.1 V
  r[29] = blip ? 60 : 26;
  r[30] = 70;
  r[31] = 120;
  r[33] = 0x01;
  r[37] = 65;  // 25 °C intake air
  r[38] = 46;
  Put16(r, 39, 256);
  Put16(r, 41, 256);
  Put16(r, 43, blip ? 700 : 400);  // 5.6 / 3.2 ms
  Put16(r, 45, blip ? 400 : 120);
  Put16(r, 47, blip ? 900 : 400);
  Put16(r, 89, 10000);
  Put16(r, 93, 10000);
  return r;
}

std::array<std::uint8_t, 7> KwpEcu::IdlePacket(int corrTimes2) {
  // One revolution (20 × 18 degrees) at 850 rpm, in 6 µs units.
  const unsigned period = static_cast<unsigned>(60.0 / 850 / 6e-6);
  return {20,
          static_cast<std::uint8_t>(period & 0xFF),
          static_cast<std::uint8_t>(period >> 8),
          static_cast<std::uint8_t>(corrTimes2),
          0x80,
          0x00,
          0x01};
}

LineSettings KwpEcu::Settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void KwpEcu::SetRecordSource(RecordSource source) {
  std::lock_guard lock(mutex_);
  record_ = std::move(source);
}
void KwpEcu::SetPacketSource(PacketSource source) {
  std::lock_guard lock(mutex_);
  packet_ = std::move(source);
}
void KwpEcu::SetPacketIntervalMs(double ms) {
  std::lock_guard lock(mutex_);
  packetMs_ = ms;
}
void KwpEcu::SetStreamNoise(int maxBytes, std::uint32_t seed) {
  std::lock_guard lock(mutex_);
  noiseMax_ = std::max(0, maxBytes);
  noiseRng_.seed(seed);
}
void KwpEcu::SetStreamSplit(int firstBytes, double pauseMs) {
  std::lock_guard lock(mutex_);
  splitAt_ = std::clamp(firstBytes, 0, 8);
  splitPauseMs_ = std::max(0.0, pauseMs);
}
void KwpEcu::StopStream() {
  std::lock_guard lock(mutex_);
  // The pending tick finds the stream ended and sends nothing.
  streaming_ = false;
  rawPending_ = -1;
}
void KwpEcu::Reset() {
  std::lock_guard lock(mutex_);
  EndSession();
}
void KwpEcu::EndSession() {
  streaming_ = false;
  rawPending_ = -1;
  settings_ = {10400, 1};
  corrTimes2_ = 0;
  frame_.clear();
  if (corruptingEcho_ && Line()) Line()->SetEcho(true);
  corruptingEcho_ = false;
}
void KwpEcu::SetSessionTimeoutMs(double ms) {
  std::lock_guard lock(mutex_);
  sessionTimeoutMs_ = ms;
}
void KwpEcu::SetLatencyMs(double ms) {
  std::lock_guard lock(mutex_);
  latencyMs_ = ms;
}
void KwpEcu::SetLateMs(double ms) {
  std::lock_guard lock(mutex_);
  lateMs_ = ms;
}
void KwpEcu::RefuseSpeedByte(std::uint8_t speedByte) {
  std::lock_guard lock(mutex_);
  refusedSpeedByte_ = speedByte;
}
void KwpEcu::AddFault(const KwpFault& fault) {
  std::lock_guard lock(mutex_);
  FaultState s{fault, 0, false, std::mt19937(fault.seed)};
  faults_.push_back(std::move(s));
}
void KwpEcu::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}
std::vector<KwpEcu::Request> KwpEcu::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}
std::vector<std::uint8_t> KwpEcu::RawCommands() const {
  std::lock_guard lock(mutex_);
  return raw_;
}
bool KwpEcu::Streaming() const {
  std::lock_guard lock(mutex_);
  return streaming_;
}
int KwpEcu::PacketsSent() const {
  std::lock_guard lock(mutex_);
  return packets_;
}
std::uint64_t KwpEcu::NoiseBytesSent() const {
  std::lock_guard lock(mutex_);
  return noiseSent_;
}
int KwpEcu::CorrectionTimes2() const {
  std::lock_guard lock(mutex_);
  return corrTimes2_;
}

bool KwpEcu::FaultDue(KwpFaultKind kind, int service) {
  bool due = false;
  for (FaultState& s : faults_) {
    if (s.fault.kind != kind || s.done) continue;
    if (s.fault.service >= 0 && s.fault.service != service) continue;
    const int n = std::max(1, s.fault.n);
    ++s.seen;
    switch (s.fault.when) {
      case FaultWhen::Once:
        if (s.seen == n) {
          s.done = true;
          due = true;
        }
        break;
      case FaultWhen::EveryN:
        if (s.seen % n == 0) due = true;
        break;
      case FaultWhen::Random:
        if (std::uniform_int_distribution<int>(1, n)(s.rng) == 1) due = true;
        break;
    }
  }
  return due;
}

void KwpEcu::OnByte(std::uint8_t b, const LineSettings&) {
  std::lock_guard lock(mutex_);
  if (streaming_) {
    // Only the raw commands EE xx are understood while the stream runs.
    if (rawPending_ < 0) {
      if (b == 0xEE) rawPending_ = b;
      return;
    }
    rawPending_ = -1;
    raw_.push_back(0xEE);
    raw_.push_back(b);
    if (b == 0x88) {
      streaming_ = false;
      lastActivityMs_ = WireTimeMs();
      ScheduleTick(sessionTimeoutMs_);
    } else {
      corrTimes2_ = static_cast<std::int8_t>(b);
    }
    return;
  }

  // Wire time, not the moment this thread gets to the byte: a stall of the
  // simulator must not cut a request in two.
  const double now = WireTimeMs();
  lastActivityMs_ = now;
  ScheduleTick(sessionTimeoutMs_);  // a stream started by this request takes the tick over
  if (now - lastByteMs_ > kFrameGapMs && !frame_.empty()) {
    frame_.clear();
    if (corruptingEcho_) Line()->SetEcho(true);
    corruptingEcho_ = false;
  }
  lastByteMs_ = now;
  if (frame_.empty()) {
    if ((b & 0x80) == 0) return;  // the wake-up byte 0x01, or noise
    if (FaultDue(KwpFaultKind::CorruptEcho, -1)) {
      // The adapter's echo of this frame comes from us from here on.
      corruptingEcho_ = true;
      Line()->SetEcho(false);
    }
    frame_.push_back(b);
    return;
  }
  frame_.push_back(b);
  const std::size_t total = FrameLength(frame_);
  const bool last = total != 0 && frame_.size() >= total;
  if (corruptingEcho_) Send({static_cast<std::uint8_t>(last ? b ^ 0xFF : b)});
  if (!last) return;

  std::vector<std::uint8_t> frame;
  frame.swap(frame_);
  if (corruptingEcho_) {
    // The ECU saw the same noise: the request goes unanswered.
    corruptingEcho_ = false;
    Line()->SetEcho(true);
    requests_.push_back({frame, settings_.baud});
    return;
  }
  const std::vector<std::uint8_t> body(frame.begin(), frame.end() - 1);
  if (frame[1] != kEcu || frame[2] != kTester || Checksum(body) != frame.back()) return;
  HandleFrame(frame);
}

void KwpEcu::HandleFrame(const std::vector<std::uint8_t>& frame) {
  requests_.push_back({frame, settings_.baud});
  const std::size_t header = frame[0] == 0x80 ? 4 : 3;
  const std::vector<std::uint8_t> data(frame.begin() + header, frame.end() - 1);
  if (data.empty()) return;
  const std::uint8_t sid = data[0];

  if (FaultDue(KwpFaultKind::Vanish, sid)) {
    Line()->Hangup();
    return;
  }
  if (FaultDue(KwpFaultKind::NoReply, sid)) return;
  std::uint8_t negativeCode = 0;
  for (FaultState& s : faults_)
    if (s.fault.kind == KwpFaultKind::NegativeReply) negativeCode = s.fault.code;
  if (FaultDue(KwpFaultKind::NegativeReply, sid)) {
    Reply({0x7F, sid, negativeCode}, sid);
    return;
  }

  switch (sid) {
    case 0x81:  // StartCommunication: key bytes of a short-header ECU
      Reply({0xC1, 0xEF, 0x8F}, sid);
      break;
    case 0x10: {  // StartDiagnosticSession, mode 0x81, speed byte
      const std::uint8_t speed = data.size() >= 3 ? data[2] : 0x0A;
      const std::uint32_t baud = BaudOfSpeedByte(speed);
      if (baud == 0 || speed == refusedSpeedByte_ || FaultDue(KwpFaultKind::RefuseSpeed, sid)) {
        Reply({0x7F, 0x10, 0x12}, sid);
        break;
      }
      Reply({0x50}, sid);
      settings_.baud = baud;  // after the reply, which leaves at the old speed
      break;
    }
    case 0x21:
      if (data.size() >= 2 && data[1] == 0x0D) {
        std::vector<std::uint8_t> reply = {0x61, 0x0D};
        const auto record = record_();
        reply.insert(reply.end(), record.begin(), record.end());
        Reply(reply, sid);
      } else {
        Reply({0x7F, sid, 0x31}, sid);
      }
      break;
    case 0x30:
      if (data.size() >= 3 && data[1] == 0x72 && data[2] == 0x01) {
        Reply({0x70, 0x72}, sid);
        streaming_ = true;
        rawPending_ = -1;
        ScheduleTick(latencyMs_ + packetMs_);
      } else {
        Reply({0x7F, sid, 0x31}, sid);
      }
      break;
    case 0x20:
      Reply({0x60}, sid);
      settings_.baud = 10400;
      break;
    case 0x82:
      Reply({0xC2}, sid);
      break;
    default:
      Reply({0x7F, sid, 0x11}, sid);  // service not supported
      break;
  }
}

void KwpEcu::Reply(std::vector<std::uint8_t> data, int service) {
  std::vector<std::uint8_t> frame;
  if (data.size() <= 63) {
    frame = {static_cast<std::uint8_t>(0x80 | data.size()), kTester, kEcu};
  } else {
    frame = {0x80, kTester, kEcu, static_cast<std::uint8_t>(data.size())};
  }
  frame.insert(frame.end(), data.begin(), data.end());
  if (FaultDue(KwpFaultKind::BadHeader, service)) std::swap(frame[1], frame[2]);
  std::uint8_t sum = Checksum(frame);
  if (FaultDue(KwpFaultKind::BadChecksum, service)) ++sum;
  frame.push_back(sum);
  if (FaultDue(KwpFaultKind::ExtraBytes, service)) {
    frame.push_back(0x00);
    frame.push_back(0x00);
  }
  const double gap = FaultDue(KwpFaultKind::LateReply, service) ? lateMs_ : latencyMs_;
  Send(frame, gap);
}

void KwpEcu::OnTick() {
  std::lock_guard lock(mutex_);
  if (streaming_) {
    SendPacket();
    lastActivityMs_ = WireTimeMs();
    ScheduleTick(packetMs_);
    return;
  }
  // The stream ended (or never ran): count the silence from the last request
  // or packet.
  const double idleMs = WireTimeMs() - lastActivityMs_;
  if (idleMs + 0.5 < sessionTimeoutMs_) {
    ScheduleTick(sessionTimeoutMs_ - idleMs);
    return;
  }
  EndSession();
}

void KwpEcu::SendPacket() {
  const auto p = packet_(corrTimes2_);
  std::vector<std::uint8_t> bytes = {kSync0, kSync1};
  bytes.insert(bytes.end(), p.begin(), p.end());
  ++packets_;
  // Gaps are counted from now, so each later part waits out the wire time of
  // what went before it.
  const double byteMs = ByteSeconds(settings_) * 1000 * Line()->TimeScale();
  double endMs = byteMs * static_cast<double>(bytes.size());
  if (splitAt_ > 0) {
    const auto cut = bytes.begin() + splitAt_;
    Send(std::vector<std::uint8_t>(bytes.begin(), cut));
    Send(std::vector<std::uint8_t>(cut, bytes.end()), byteMs * splitAt_ + splitPauseMs_);
    endMs += splitPauseMs_;
  } else {
    Send(bytes);
  }
  if (noiseMax_ > 0) {
    const int n = std::uniform_int_distribution<int>(1, noiseMax_)(noiseRng_);
    std::vector<std::uint8_t> noise;
    for (int i = 0; i < n; ++i) noise.push_back(static_cast<std::uint8_t>(noiseRng_() & 0xFE));
    noiseSent_ += static_cast<std::uint64_t>(n);
    Send(noise, endMs + std::max(0.0, packetMs_ - endMs) / 2);
  }
}

}  // namespace sim
