#include "lambda/lc1_framer.h"

#include <algorithm>

bool IsLambdaHeader(std::uint8_t h0, std::uint8_t h1) { return (h0 & 0xB2) == 0xB2 && (h1 & 0x82) == 0x82; }

double DecodeLambdaPacket(const std::uint8_t* body) {
  const int function = (body[0] >> 2) & 7;
  const int af = ((body[0] & 1) << 7) | (body[1] & 0x7F);
  const int reading = ((body[2] & 0x7F) << 7) | (body[3] & 0x7F);
  switch (function) {
    case 0: {
      const double multiplier = af / 10.0;
      return (reading + 500) / 1000.0 * multiplier;
    }
    case 1:
      return reading / 10.0;
    case 6:
      return -1;
    default:
      return 0;
  }
}

std::optional<double> Lc1Framer::Feed(const std::uint8_t* bytes, int n) {
  count_ = AppendBytes(buf_, bytes, count_, n);
  if (!inBody_) {
    int p = 0;
    while (p + 1 < count_ && !IsLambdaHeader(buf_[p], buf_[p + 1])) ++p;
    if (p + 1 >= count_) {
      if (count_ > 0) {
        buf_[0] = buf_[count_ - 1];
        count_ = 1;
      }
      return std::nullopt;
    }
    std::copy(buf_.begin() + p + 2, buf_.begin() + count_, buf_.begin());
    count_ -= p + 2;
    inBody_ = true;
  }
  if (count_ < kBodyLength) return std::nullopt;
  inBody_ = false;
  count_ = 0;
  return DecodeLambdaPacket(buf_.data());
}
