#include "common/bytes.h"

#include <algorithm>
#include <cstring>

int AppendBytes(MsgBlock& dst, const std::uint8_t* src, int len, int n) {
  if (len < 0) len = 0;
  if (n < 0) n = 0;
  const int room = static_cast<int>(dst.size()) - std::min(len, static_cast<int>(dst.size()));
  const int copied = std::min(n, room);
  if (copied > 0) std::memcpy(dst.data() + len, src, static_cast<std::size_t>(copied));
  return len + copied;
}

bool BytesEqual(const std::uint8_t* a, const std::uint8_t* b, int n) {
  if (n <= 0) return true;
  return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
}

void AppendChecksum(MsgBlock& buf, std::uint8_t& len) {
  // len is 8-bit, so position len is always inside the 258-byte block.
  buf[len] = static_cast<std::uint8_t>(Sum16(buf.data(), len) & 0xFF);
  ++len;
}

std::uint16_t Sum16(const std::uint8_t* buf, int n) {
  std::uint16_t sum = 0;
  for (int i = 0; i < n; ++i) sum = static_cast<std::uint16_t>(sum + buf[i]);
  return sum;
}
