// The serial port layer on Linux. Win32 semantics the program relies on, and
// their mapping here:
// - exclusive open: TIOCEXCL stops other users, flock() stops root as well;
// - COMMTIMEOUTS: emulated with poll() on a non-blocking descriptor;
// - the EV_RXCHAR event wait: poll() on the port and a per-port eventfd, which
//   closing signals so every waiter wakes and fails quietly;
// - ClearCommError's queue count: TIOCINQ; PurgeComm: tcflush; break: TIOCSBRK.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "common/error.h"
#include "common/timing.h"
#include "link/port.h"
#include "link/port_os.h"
#include "link/port_termios2.h"

struct PortDevice {
  int fd = -1;
  int wake = -1;  // eventfd, signalled once when the port is closed
  std::atomic<bool> closed{false};
  std::atomic<bool> hungUp{false};
  std::atomic<std::uint16_t> readMultiplier{0};
  std::atomic<std::uint16_t> writeMultiplier{0};
  ~PortDevice() {
    if (fd >= 0) ::close(fd);
    if (wake >= 0) ::close(wake);
  }
};

const int port_os::kClosedError = EBADF;

namespace {

// Win32 COMMTIMEOUTS as this layer uses them, in milliseconds.
constexpr std::int64_t kReadIntervalMs = 20;
constexpr std::int64_t kTotalConstantMs = 20;

[[noreturn]] void Fail(const std::string& message, const std::string& call, int err) {
  throw EcuError(message, port_os::ErrorDetail(call, err));
}

std::int64_t MsToCounter(std::int64_t ms) { return PerfFrequency() * ms / 1000; }

// Waits for `events` on the port or for its close, until the counter value
// `deadline` (-1: no limit). Returns the port's revents; 0 on time-out.
// Sets `closedOut` when the wake-up eventfd fired.
short PollPort(const PortDevice& p, short events, std::int64_t deadline, bool& closedOut) {
  for (;;) {
    pollfd fds[2] = {{p.fd, events, 0}, {p.wake, POLLIN, 0}};
    timespec ts{};
    timespec* timeout = nullptr;
    if (deadline >= 0) {
      std::int64_t left = deadline - PerfCounter();
      if (left <= 0) return 0;
      const std::int64_t f = PerfFrequency();
      ts.tv_sec = static_cast<time_t>(left / f);
      ts.tv_nsec = static_cast<long>(left % f * 1'000'000'000 / f);
      timeout = &ts;
    }
    int rc = ::ppoll(fds, 2, timeout, nullptr);
    if (rc < 0) {
      if (errno == EINTR) continue;
      closedOut = true;  // an unusable poll set counts as a failed wait
      return 0;
    }
    if (fds[1].revents != 0 || p.closed) {
      closedOut = true;
      return 0;
    }
    if (rc == 0) return 0;
    return fds[0].revents;
  }
}

}  // namespace

std::string port_os::ErrorDetail(const std::string& call, int err) {
  return call + ": " + std::strerror(err) + " (errno " + std::to_string(err) + ")";
}

std::string port_os::ReasonText(int err) { return SystemErrorText(err); }

namespace {

// The group a user must belong to for the device; dialout when the device
// belongs to root's group or cannot be looked at.
std::string DeviceGroup(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_gid == 0) return "dialout";
  group g{};
  group* found = nullptr;
  char buf[4096];
  if (::getgrgid_r(st.st_gid, &g, buf, sizeof buf, &found) != 0 || !found) return "dialout";
  return found->gr_name;
}

std::string OpenFailureReason(const std::string& path, int err) {
  switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "нет такого устройства";
    case EACCES:
    case EPERM: {
      const std::string group = DeviceGroup(path);
      return std::string("нет прав доступа к устройству.\n") +
             "Чтобы работать с портом, пользователь должен входить в группу «" + group +
             "», которой принадлежит устройство (команда: sudo usermod -aG " + group +
             " $USER), после чего нужно выйти из системы и войти снова.";
    }
    case EBUSY:
    case EWOULDBLOCK:
      return "порт занят другой программой";
    case ENOTTY:
    case EISDIR:
      return "это не последовательный порт";
    default:
      return SystemErrorText(err);
  }
}

[[noreturn]] void FailOpen(const std::string& name, const std::string& path, const std::string& call,
                           int err) {
  throw PortOpenError(name, OpenFailureReason(path, err), port_os::ErrorDetail(call, err));
}

}  // namespace

std::shared_ptr<PortDevice> port_os::Open(const std::string& name) {
  // A name without '/' is a device under /dev ("ttyUSB0"); a path is used as is.
  const std::string path = name.find('/') == std::string::npos ? "/dev/" + name : name;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FailOpen(name, path, "open(" + path + ")", errno);
  auto port = std::make_shared<PortDevice>();
  port->fd = fd;
  // TIOCEXCL alone does not stop root, and is not atomic with the open;
  // the flock makes a second opener fail either way.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) FailOpen(name, path, "flock(" + path + ")", errno);
  if (int err = TtySetExclusive(fd, true)) FailOpen(name, path, "ioctl(TIOCEXCL, " + path + ")", err);
  port->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (port->wake < 0) FailOpen(name, path, "eventfd", errno);
  return port;
}

void port_os::Configure(PortDevice& port, std::uint32_t baud, int stopBits, std::uint16_t readMultiplier,
                        std::uint16_t writeMultiplier) {
  TtyLineSettings current;
  if (int err = TtyGetLine(port.fd, current)) Fail(kGetSettingsError, "ioctl(TCGETS2)", err);
  if (int err = TtySetLine(port.fd, baud, stopBits)) Fail(kSetSettingsError, "ioctl(TCSETS2)", err);
  // USB adapters otherwise hold received bytes up to 16 ms; a driver that
  // lacks the switch still works, only slower, so its refusal is not fatal.
  TtySetLowLatency(port.fd);
  // The time-outs and the received-byte event are this layer's own emulation
  // and cannot fail once the port is open.
  port.readMultiplier = readMultiplier;
  port.writeMultiplier = writeMultiplier;
}

void port_os::SetBaud(PortDevice& port, std::uint32_t baud) {
  TtyLineSettings current;
  if (int err = TtyGetLine(port.fd, current)) Fail(kGetSettingsError, "ioctl(TCGETS2)", err);
  if (int err = TtySetBaud(port.fd, baud)) Fail(kSetSettingsError, "ioctl(TCSETS2)", err);
}

void port_os::Close(std::shared_ptr<PortDevice> port) {
  port->closed = true;
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(port->wake, &one, sizeof one);
  // Give up the exclusivity now, so the port can be opened again at once even
  // while a woken thread still holds the descriptor for a moment. TIOCEXCL
  // outlives our close while another descriptor keeps the tty open.
  TtySetExclusive(port->fd, false);
  ::flock(port->fd, LOCK_UN);
}

std::uint32_t port_os::InQueue(PortDevice& port) {
  std::uint32_t count = 0;
  if (int err = TtyInQueue(port.fd, count)) Fail(kResetError, "ioctl(TIOCINQ)", err);
  return count;
}

void port_os::Purge(PortDevice& port, unsigned flags) {
  TtyFlush(port.fd, (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0,
           (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0);
}

int port_os::Read(PortDevice& port, std::uint8_t* buffer, int count, int wholeMs) {
  const bool intervalLimit = wholeMs == kPortTimeouts;
  const std::int64_t totalMs =
      intervalLimit ? static_cast<std::int64_t>(port.readMultiplier) * count + kTotalConstantMs : wholeMs;
  const std::int64_t total = PerfCounter() + MsToCounter(totalMs);
  std::int64_t lastByte = -1;
  int got = 0;
  for (;;) {
    ssize_t n = ::read(port.fd, buffer + got, static_cast<std::size_t>(count - got));
    if (n > 0) {
      got += static_cast<int>(n);
      lastByte = PerfCounter();
      if (got == count) return got;
      continue;
    }
    if (n == 0) throw EcuError(kReadWaitError, "read: end of file (port hung up)");
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      int err = errno;
      throw EcuError(ReadErrorText(err), ErrorDetail("read", err));
    }
    std::int64_t deadline = total;
    if (intervalLimit && lastByte >= 0)
      deadline = std::min(deadline, lastByte + MsToCounter(kReadIntervalMs));
    bool closed = false;
    short revents = PollPort(port, POLLIN, deadline, closed);
    if (closed) throw EcuError(kReadWaitError, "poll: port closed");
    if (revents == 0) return got;  // time-out: a silent line gives 0, not an error
    if ((revents & POLLIN) == 0) {
      port.hungUp = true;
      throw EcuError(kReadWaitError, "poll: hang-up or error on the port");
    }
  }
}

void port_os::Write(PortDevice& port, const std::uint8_t* data, int length) {
  const std::int64_t deadline =
      PerfCounter() +
      MsToCounter(static_cast<std::int64_t>(port.writeMultiplier) * length + kTotalConstantMs);
  int sent = 0;
  while (sent < length) {
    ssize_t n = ::write(port.fd, data + sent, static_cast<std::size_t>(length - sent));
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) Fail(kWriteError, "write", errno);
    bool closed = false;
    short revents = PollPort(port, POLLOUT, deadline, closed);
    if (closed) throw EcuError(kWriteWaitError, "poll: port closed");
    // A short write is a failure the caller must hear of, not a success.
    if (revents == 0)
      throw EcuError(kWriteWaitError, "write timed out after " + std::to_string(sent) + " of " +
                                          std::to_string(length) + " bytes");
    if ((revents & POLLOUT) == 0) {
      port.hungUp = true;
      throw EcuError(kWriteWaitError, "poll: hang-up or error on the port");
    }
  }
}

bool port_os::WaitRxChar(PortDevice& port) {
  if (port.hungUp) {
    // The device is gone: the wait already failed once. Sleep until the port
    // is closed instead of failing again at once, which would make the
    // caller's loop spin.
    pollfd fd{port.wake, POLLIN, 0};
    while (!port.closed && ::poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
    return false;
  }
  bool closed = false;
  short revents = PollPort(port, POLLIN, -1, closed);
  if (closed) return false;
  if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
    port.hungUp = true;
    return false;
  }
  return (revents & POLLIN) != 0;
}

void port_os::Break(PortDevice& port, bool on) {
  if (int err = TtyBreak(port.fd, on)) Fail(kBreakError, on ? "ioctl(TIOCSBRK)" : "ioctl(TIOCCBRK)", err);
}
