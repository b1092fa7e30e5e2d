// Only this file includes <asm/termbits.h>: termios2 with BOTHER gives any baud
// rate (10400 included), which the classic termios interface cannot express.
#include "link/port_termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
  int rc;
  do {
    rc = ::ioctl(fd, request, arg);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? errno : 0;
}

}  // namespace

int TtyGetLine(int fd, TtyLineSettings& out) {
  struct termios2 t {};
  if (int err = Ioctl(fd, TCGETS2, &t)) return err;
  out.baud = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      out.dataBits = 5;
      break;
    case CS6:
      out.dataBits = 6;
      break;
    case CS7:
      out.dataBits = 7;
      break;
    default:
      out.dataBits = 8;
      break;
  }
  out.parity = (t.c_cflag & PARENB) != 0;
  out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
  out.raw = (t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0;
  return 0;
}

int TtySetLine(int fd, std::uint32_t baud, int stopBits) {
  struct termios2 t {};
  if (int err = Ioctl(fd, TCGETS2, &t)) return err;
  // A fresh tty starts cooked (echo, CR/LF translation, XON/XOFF), which would
  // mangle binary frames: switch to raw mode.
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // K-line adapters do not drive CTS: hardware flow control would stall writes.
  t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CBAUD | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
  if (stopBits == 2) t.c_cflag |= CSTOPB;
  t.c_cflag &= ~(CIBAUD);  // input speed follows the output speed
  t.c_ospeed = baud;
  t.c_ispeed = baud;
  // Reads are non-blocking and timed with poll(). VMIN 1 makes an empty read
  // report EAGAIN; with VMIN 0 it would return 0, which must mean hang-up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return Ioctl(fd, TCSETS2, &t);
}

int TtySetBaud(int fd, std::uint32_t baud) {
  struct termios2 t {};
  if (int err = Ioctl(fd, TCGETS2, &t)) return err;
  t.c_cflag &= ~(CBAUD | CIBAUD);
  t.c_cflag |= BOTHER;
  t.c_ospeed = baud;
  t.c_ispeed = baud;
  return Ioctl(fd, TCSETS2, &t);
}

int TtySetLowLatency(int fd) {
  struct serial_struct ss {};
  int err = Ioctl(fd, TIOCGSERIAL, &ss);
  if (err == ENOTTY || err == EINVAL) return 0;  // pseudo-terminals and plain ttys
  if (err) return err;
  if (ss.flags & ASYNC_LOW_LATENCY) return 0;
  ss.flags |= ASYNC_LOW_LATENCY;
  err = Ioctl(fd, TIOCSSERIAL, &ss);
  // Drivers without the setting (or refusing it to non-root users) still work.
  if (err == ENOTTY || err == EINVAL || err == EPERM) return 0;
  return err;
}

int TtyInQueue(int fd, std::uint32_t& count) {
  int n = 0;
  if (int err = Ioctl(fd, TIOCINQ, &n)) return err;
  count = n < 0 ? 0 : static_cast<std::uint32_t>(n);
  return 0;
}

int TtyFlush(int fd, bool input, bool output) {
  if (!input && !output) return 0;
  int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
  int rc;
  do {
    rc = ::ioctl(fd, TCFLSH, which);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? errno : 0;
}

int TtyBreak(int fd, bool on) { return Ioctl(fd, on ? TIOCSBRK : TIOCCBRK, nullptr); }

int TtySetExclusive(int fd, bool on) { return Ioctl(fd, on ? TIOCEXCL : TIOCNXCL, nullptr); }
