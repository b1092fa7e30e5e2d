#pragma once
// The terminal ioctls of the port layer, kept apart because <asm/termbits.h>
// (needed for any baud rate through termios2/BOTHER) cannot share a
// translation unit with <termios.h>. Each function returns 0 or an errno
// value; the callers turn failures into the program's messages. Any thread.

#include <cstdint>

struct TtyLineSettings {
  std::uint32_t baud = 0;  // output baud rate in bits per second
  int dataBits = 8;
  bool parity = false;
  int stopBits = 1;  // 1 or 2
  bool raw = false;  // no canonical input, no echo, no signals, no output processing
};

// Reads the line settings (for a pseudo-terminal master: its slave's settings).
int TtyGetLine(int fd, TtyLineSettings& out);
// Raw mode, 8 data bits, no parity, the given stop bits (1 or 2), receiver on,
// modem lines and flow control off, the given baud rate.
int TtySetLine(int fd, std::uint32_t baud, int stopBits);
// Changes only the baud rate; every other field stays as it is.
int TtySetBaud(int fd, std::uint32_t baud);
// Low-latency mode where the driver has it; ENOTTY/EINVAL count as success.
int TtySetLowLatency(int fd);
int TtyInQueue(int fd, std::uint32_t& count);
int TtyFlush(int fd, bool input, bool output);
int TtyBreak(int fd, bool on);
int TtySetExclusive(int fd, bool on);
