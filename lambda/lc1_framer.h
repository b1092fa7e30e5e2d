#pragma once
// Framing of the LC-1 stream, bytes in and readings out: no thread, no port,
// no clock. The reader thread feeds the framer what it read; a complete packet
// gives its reading and the framer starts over empty, as the reader then
// purges the port: whatever followed the packet is dropped.

#include <cstdint>
#include <optional>

#include "common/bytes.h"

// True for a header pair of the LC-1 stream (masks 0xB2 and 0x82). Any thread.
bool IsLambdaHeader(std::uint8_t h0, std::uint8_t h1);
// The reading of one packet body (the 4 bytes after the header): the air-fuel
// ratio for function 0, L / 10 for function 1, -1 for function 6, otherwise 0.
// Any thread.
double DecodeLambdaPacket(const std::uint8_t* body);

class Lc1Framer {
 public:
  // Room left in the buffer; it holds at most 255 bytes, so the count stays
  // an 8-bit quantity.
  int Room() const { return kCapacity - count_; }
  // Appends n bytes (at most Room()) and frames them: the reading of the
  // packet they complete, or nothing yet. A failed header search keeps only
  // the last byte, which may be the first of a header.
  std::optional<double> Feed(const std::uint8_t* bytes, int n);

 private:
  // Header, function code and reading make one packet: 2 + 4 bytes.
  static constexpr int kBodyLength = 4;
  static constexpr int kCapacity = 255;

  MsgBlock buf_{};
  int count_ = 0;
  bool inBody_ = false;  // a header was found; the body is being read
};
