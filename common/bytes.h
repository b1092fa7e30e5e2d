#pragma once
// Message blocks of the link and the checksum helpers of the KWP frame.

#include <array>
#include <cstdint>

// A fixed block of 258 bytes; its length travels separately as an 8-bit count.
using MsgBlock = std::array<std::uint8_t, 258>;

// Copies n bytes of src to dst at offset len and returns len + n. Never writes
// past the end of dst: a copy that would is cut at the block's end.
int AppendBytes(MsgBlock& dst, const std::uint8_t* src, int len, int n);
// True when the first n bytes are equal; true for n <= 0.
bool BytesEqual(const std::uint8_t* a, const std::uint8_t* b, int n);
// Stores the low 8 bits of the sum of bytes 0..len-1 at position len; len += 1.
void AppendChecksum(MsgBlock& buf, std::uint8_t& len);
// Sum of the first n bytes modulo 65536; 0 for n <= 0.
std::uint16_t Sum16(const std::uint8_t* buf, int n);
