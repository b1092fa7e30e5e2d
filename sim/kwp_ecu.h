#pragma once
// The ECU's diagnostic side on the K-line: KWP2000 requests from the tester
// (0xF1) to the ECU (0x10) at 10400 baud, the session at the requested speed,
// the data record, the unidirectional crank packet stream, and fault switches
// that make it misbehave the way a car's wiring does.
//
// Threads: the SimDevice calls run on the line's thread; every other public
// method may be called from any thread (one mutex guards the state).

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <vector>

#include "sim/sim.h"

namespace sim {

enum class KwpFaultKind {
  NoReply,        // the request is not answered
  LateReply,      // the reply comes after LateMs (default 1500 ms: past the program's time-out)
  CorruptEcho,    // the adapter's echo of the request comes back with its last byte wrong
  BadHeader,      // the reply's addresses are swapped
  BadChecksum,    // the reply's checksum is off by one
  ExtraBytes,     // two stray bytes follow the reply at once
  NegativeReply,  // 7F, the service, `code` instead of the positive reply
  RefuseSpeed,    // StartDiagnosticSession is answered 7F 10 12
  Vanish,         // the port vanishes instead of the reply
};

enum class FaultWhen {
  Once,    // at the n-th matching request from now (n = 1: the next)
  EveryN,  // at every n-th matching request
  Random,  // each matching request with probability 1/n, from a seeded generator
};

struct KwpFault {
  KwpFaultKind kind = KwpFaultKind::NoReply;
  FaultWhen when = FaultWhen::Once;
  int n = 1;
  // Only requests of this service count (-1: every request). CorruptEcho
  // strikes before the service is known and counts every request.
  int service = -1;
  std::uint32_t seed = 1;
  std::uint8_t code = 0x12;  // NegativeReply: the response code
};

class KwpEcu : public SimDevice {
 public:
  using RecordSource = std::function<std::array<std::uint8_t, 95>()>;
  using PacketSource = std::function<std::array<std::uint8_t, 7>(int corrTimes2)>;

  KwpEcu();

  LineSettings Settings() const override;
  void OnByte(std::uint8_t b, const LineSettings& program) override;
  void OnTick() override;

  // The 95-byte record of each data reply (default: a fixed plausible idle).
  void SetRecordSource(RecordSource source);
  // The 7 data bytes of each crank packet; gets the correction in force × 2.
  void SetPacketSource(PacketSource source);
  // Real milliseconds between packets of the stream (default 50).
  void SetPacketIntervalMs(double ms);
  // Stream switches; each takes effect at the next packet.
  // Noise: halfway between two packets, 1..maxBytes bytes from a generator
  // seeded with seed. Every noise byte has bit 0 clear, so none can be either
  // byte of a sync pair and a receiver that looks for the sync loses no
  // packet. 0 = no noise (default).
  void SetStreamNoise(int maxBytes, std::uint32_t seed = 1);
  // Split: of the sync and the packet (9 bytes) the first firstBytes (1..8)
  // leave, then the rest after a pause of pauseMs (real time) beyond their
  // wire time, so a receiver reads the packet in two parts. 0 = whole packets
  // (default).
  void SetStreamSplit(int firstBytes, double pauseMs = 5);
  // The ECU ends the stream by itself, without EE 88: no more packets, and it
  // answers requests again at the session's speed (as after EE 88). The
  // program meets silence and returns to polling after its time-out.
  void StopStream();
  // As after power-up: no stream, no session (10400 baud), no correction, a
  // request in progress dropped.
  void Reset();
  // Without a request for this long (real milliseconds, default 5000, as
  // KWP's P3max) the ECU ends its session by itself, as Reset does; never
  // while it streams, where no requests come by design.
  void SetSessionTimeoutMs(double ms);
  // Real milliseconds before every reply (default 0).
  void SetLatencyMs(double ms);
  void SetLateMs(double ms);
  // Refuses StartDiagnosticSession with this speed byte (7F 10 12).
  void RefuseSpeedByte(std::uint8_t speedByte);
  void AddFault(const KwpFault& fault);
  void ClearFaults();

  // Line thread only (SimLine::Run). Puts bytes on the line unasked (noise).
  void SendRaw(const std::vector<std::uint8_t>& bytes) { Send(bytes); }

  // What the device saw, for tests.
  struct Request {
    std::vector<std::uint8_t> bytes;  // the whole frame, checksum included
    std::uint32_t baud = 0;           // the device's speed when it arrived
  };
  std::vector<Request> Requests() const;
  std::vector<std::uint8_t> RawCommands() const;  // EE xx pairs seen in the stream
  bool Streaming() const;
  int PacketsSent() const;
  std::uint64_t NoiseBytesSent() const;
  int CorrectionTimes2() const;

  // The fixed record and packet used by default.
  static std::array<std::uint8_t, 95> IdleRecord(int tick);
  static std::array<std::uint8_t, 7> IdlePacket(int corrTimes2);
  // The two sync bytes before each packet.
  static constexpr std::uint8_t kSync0 = 0xA5, kSync1 = 0x05;

 private:
  struct FaultState {
    KwpFault fault;
    int seen = 0;
    bool done = false;
    std::mt19937 rng;
  };
  bool FaultDue(KwpFaultKind kind, int service);
  void EndSession();
  void HandleFrame(const std::vector<std::uint8_t>& frame);
  void Reply(std::vector<std::uint8_t> data, int service);
  void SendPacket();

  mutable std::recursive_mutex mutex_;  // Send() asks Settings() back on the same thread
  LineSettings settings_{10400, 1};
  std::vector<std::uint8_t> frame_;
  double lastByteMs_ = -1e9;   // on the line's wire clock
  double lastActivityMs_ = 0;  // last request byte or packet, same clock
  double sessionTimeoutMs_ = 5000;
  bool corruptingEcho_ = false;
  bool streaming_ = false;
  int rawPending_ = -1;  // first byte of a raw command seen in the stream
  int corrTimes2_ = 0;
  int packets_ = 0;
  int noiseMax_ = 0;
  std::mt19937 noiseRng_;
  std::uint64_t noiseSent_ = 0;
  int splitAt_ = 0;
  double splitPauseMs_ = 5;
  int tick_ = 0;
  double packetMs_ = 50;
  double latencyMs_ = 0;
  double lateMs_ = 1500;
  int refusedSpeedByte_ = -1;
  RecordSource record_;
  PacketSource packet_;
  std::vector<FaultState> faults_;
  std::vector<Request> requests_;
  std::vector<std::uint8_t> raw_;
};

}  // namespace sim
