#pragma once
// Framing of the K-line stream, bytes in and events out: no thread, no port,
// no clock. In request/reply (B) mode the echo of the request is stripped, the
// KWP reply header parsed and the reply's checksum checked; in unidirectional
// (U) mode 7-byte crank packets are found behind their sync pair. The receiver
// thread feeds the framer what it read, asks it for events one at a time and
// acts on each; between two events a hand-off may switch the mode.

#include <cstdint>

#include "common/bytes.h"

// Addresses of the KWP frame on the K-line.
inline constexpr std::uint8_t kEcuAddress = 0x10;
inline constexpr std::uint8_t kTesterAddress = 0xF1;
// A crank packet of the unidirectional stream, after its sync pair.
inline constexpr int kCrankPacketLen = 7;

// Checks the reply header at the front of buf (count >= 4), removes it and
// returns the number of bytes still expected (data and checksum); sum receives
// the sum of the header bytes. -1 and nothing changed for a bad header.
int ParseReplyHeader(MsgBlock& buf, std::uint8_t& count, std::uint16_t& sum);
// Finds the sync pair of the crank packets, removes it and what came before,
// sets sum to 0 and returns 7; -1 (buffer unchanged) when there is none.
int FindSpinSync(MsgBlock& buffer, std::uint8_t& count, std::uint16_t& sum);

// Receiver states.
enum RxStateValue : std::uint8_t { RxEcho = 0, RxHeader = 1, RxBody = 2, RxIdle = 3 };

class KLineFramer {
 public:
  enum class Event {
    None,         // nothing more in the buffer: read on
    BadEcho,      // the echo differs from the request
    BadHeader,    // B mode: no reply header, or one announcing more than fits
    NoSync,       // U mode: no sync pair; only the last byte was kept
    WaitBody,     // a header or sync pair parsed; Count() of Expected() bytes are here
    Reply,        // B mode: a complete reply whose checksum matched
    BadChecksum,  // B mode: a complete reply whose checksum did not
    Packet,       // U mode: a complete crank packet
  };

  // A new exchange: the state, an empty buffer and the echo to expect in
  // RxEcho (the request as written; none for echoLen 0).
  void Arm(RxStateValue state, const std::uint8_t* echo = nullptr, int echoLen = 0);
  RxStateValue State() const { return state_; }

  // Bytes still to come before Next can report anything new; -1 in RxIdle,
  // where whatever arrives is discarded.
  int Missing(bool unidir) const;
  // Room left in the buffer (it holds at most 255 bytes).
  int Room() const { return kCapacity - count_; }
  // Appends bytes read; n is at most Room().
  void Append(const std::uint8_t* bytes, int n);
  // Drops every byte buffered.
  void Discard() { count_ = 0; }
  // Ends the exchange after a reset: whatever arrives is discarded.
  void SetIdle() { state_ = RxIdle; }

  // The next event from what is buffered, framed in the mode given.
  Event Next(bool unidir);
  // The message of the last Reply, BadChecksum or Packet event: it starts at
  // the service identifier or the packet's first byte. A reply's length is
  // what its header announced; a packet's length counts the bytes after it
  // too (the start of the next packet).
  const MsgBlock& Buffer() const { return buf_; }
  std::uint8_t MessageLength() const { return messageLength_; }
  // After the hand-off of that message: in U mode (as it is now) the next
  // packet is framed from the bytes behind it; in B mode the exchange is over
  // and the framer goes idle.
  void MessageHandled(bool unidirNow);

  std::uint8_t Count() const { return count_; }
  int Expected() const { return expected_; }

 private:
  static constexpr int kCapacity = 255;
  void DropFront(int n);

  RxStateValue state_ = RxIdle;
  MsgBlock buf_{};
  std::uint8_t count_ = 0;
  std::int32_t expected_ = 0;  // body bytes after the header, checksum included; -1 after a failed parse
  std::uint16_t sum_ = 0;      // the header's sum, to which the body's is added
  MsgBlock echo_{};
  std::uint8_t echoLen_ = 0;
  std::uint8_t messageLength_ = 0;
  int consumed_ = 0;  // bytes of the last message (a packet: 7)
};
