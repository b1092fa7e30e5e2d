// The serial port layer on Linux. Win32 semantics the program relies on, and
// their mapping here:
// - exclusive open: TIOCEXCL stops other users, flock() stops root as well;
// - COMMTIMEOUTS: emulated with poll() on a non-blocking descriptor;
// - the EV_RXCHAR event wait: poll() on the port and a per-port eventfd, which
//   ClosePortHandle signals so every waiter wakes and fails quietly;
// - ClearCommError's queue count: TIOCINQ; PurgeComm: tcflush; break: TIOCSBRK.
// Ports are known by ids that are never reused; the descriptor is closed only
// when the last operation holding the port has returned.
#include "link/port.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "link/port_termios2.h"

const std::uint16_t BaudTable[3] = {10400, 38400, 57600};

std::atomic<PortId> PortHandle{kNoPort};

namespace {

// Win32 COMMTIMEOUTS as this layer uses them, in milliseconds.
constexpr std::int64_t kReadIntervalMs = 20;
constexpr std::int64_t kTotalConstantMs = 20;

struct OpenPort {
  int fd = -1;
  int wake = -1;  // eventfd, signalled once when the port is closed
  std::atomic<bool> closed{false};
  std::atomic<bool> hungUp{false};
  std::atomic<std::uint16_t> readMultiplier{0};
  std::atomic<std::uint16_t> writeMultiplier{0};
  ~OpenPort() {
    if (fd >= 0) ::close(fd);
    if (wake >= 0) ::close(wake);
  }
};

std::mutex g_portsMutex;
std::map<PortId, std::shared_ptr<OpenPort>> g_ports;
PortId g_nextId = 1;

std::shared_ptr<OpenPort> FindPort(PortId id) {
  if (id == kNoPort) return nullptr;
  std::lock_guard lock(g_portsMutex);
  auto it = g_ports.find(id);
  return it == g_ports.end() ? nullptr : it->second;
}

std::string Detail(const std::string& call, int err) {
  return call + ": " + std::strerror(err) + " (errno " + std::to_string(err) + ")";
}

[[noreturn]] void Fail(const char* message, const std::string& call, int err) {
  throw EcuError(message, Detail(call, err));
}

std::int64_t MsToCounter(std::int64_t ms) { return PerfFrequency() * ms / 1000; }

// Waits for `events` on the port or for its close, until the counter value
// `deadline` (-1: no limit). Returns the port's revents; 0 on time-out.
// Sets `closedOut` when the wake-up eventfd fired.
short PollPort(const OpenPort& p, short events, std::int64_t deadline, bool& closedOut) {
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

int StopBitsFromCode(int code) {
  if (code == ONESTOPBIT) return 1;
  if (code == TWOSTOPBITS) return 2;
  return 0;
}

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
      return "системная ошибка " + std::to_string(err);
  }
}

[[noreturn]] void FailOpen(const std::string& name, const std::string& path, const std::string& call,
                           int err) {
  throw PortOpenError(name, OpenFailureReason(path, err), Detail(call, err));
}

// Makes id the K-line port, closing a port it replaces.
void InstallPortHandle(PortId id) {
  PortId old = PortHandle.exchange(id);
  if (old != kNoPort && old != id) ClosePortHandle(old);
}

}  // namespace

PortOpenError::PortOpenError(const std::string& port, std::string reason, std::string detail)
    : EcuError(PortOpenText(port, reason), std::move(detail)), reason_(std::move(reason)) {}

std::string PortOpenText(const std::string& port, const std::string& reason) {
  return "Ошибка открытия порта" + (port.empty() ? std::string() : " " + port) + ": " + reason;
}

PortId OpenPortDevice(const std::string& name) {
  const std::string path = name.find('/') == std::string::npos ? "/dev/" + name : name;
  if (name.empty()) throw PortOpenError(name, "порт не выбран", "open: empty port name");
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FailOpen(name, path, "open(" + path + ")", errno);
  auto port = std::make_shared<OpenPort>();
  port->fd = fd;
  // TIOCEXCL alone does not stop root, and is not atomic with the open;
  // the flock makes a second opener fail either way.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) FailOpen(name, path, "flock(" + path + ")", errno);
  if (int err = TtySetExclusive(fd, true)) FailOpen(name, path, "ioctl(TIOCEXCL, " + path + ")", err);
  port->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (port->wake < 0) FailOpen(name, path, "eventfd", errno);
  std::lock_guard lock(g_portsMutex);
  PortId id = g_nextId++;
  g_ports.emplace(id, std::move(port));
  return id;
}

PortId OpenAndConfigurePort(const std::string& name, std::uint32_t baud, int stopBits,
                            std::uint16_t readMultiplier, std::uint16_t writeMultiplier) {
  PortId id = OpenPortDevice(name);
  try {
    auto port = FindPort(id);
    TtyLineSettings current;
    if (int err = TtyGetLine(port->fd, current)) Fail("Ошибка чтения настроек порта", "ioctl(TCGETS2)", err);
    const int bits = StopBitsFromCode(stopBits);
    if (bits == 0 || baud == 0)
      throw EcuError("Ошибка установки настроек порта ", "unsupported line settings: baud " +
                                                             std::to_string(baud) + ", stop-bit code " +
                                                             std::to_string(stopBits));
    if (int err = TtySetLine(port->fd, baud, bits))
      Fail("Ошибка установки настроек порта ", "ioctl(TCSETS2)", err);
    // USB adapters otherwise hold received bytes up to 16 ms; a driver that
    // lacks the switch still works, only slower, so its refusal is not fatal.
    TtySetLowLatency(port->fd);
    // The time-outs and the received-byte event are this layer's own emulation
    // and cannot fail once the port is open.
    port->readMultiplier = readMultiplier;
    port->writeMultiplier = writeMultiplier;
  } catch (...) {
    // Release the device: an exclusive port left open would lock the user out
    // until the program ends.
    ClosePortHandle(id);
    throw;
  }
  return id;
}

void ClosePortHandle(PortId& handle) {
  if (handle == kNoPort) return;
  std::shared_ptr<OpenPort> port;
  {
    std::lock_guard lock(g_portsMutex);
    auto it = g_ports.find(handle);
    if (it != g_ports.end()) {
      port = std::move(it->second);
      g_ports.erase(it);
    }
  }
  handle = kNoPort;
  if (!port) return;
  port->closed = true;
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(port->wake, &one, sizeof one);
  // Give up the exclusivity now, so the port can be opened again at once even
  // while a woken thread still holds the descriptor for a moment. TIOCEXCL
  // outlives our close while another descriptor keeps the tty open.
  TtySetExclusive(port->fd, false);
  ::flock(port->fd, LOCK_UN);
}

void ClosePortHandle(std::atomic<PortId>& handle) {
  PortId id = handle.exchange(kNoPort);
  ClosePortHandle(id);
}

std::uint32_t PortInQueue(PortId handle) {
  auto port = FindPort(handle);
  if (!port) Fail("Ошибка сброса порта", "ioctl(TIOCINQ)", EBADF);
  std::uint32_t count = 0;
  if (int err = TtyInQueue(port->fd, count)) Fail("Ошибка сброса порта", "ioctl(TIOCINQ)", err);
  return count;
}

void PurgePort(PortId handle, unsigned flags) {
  auto port = FindPort(handle);
  if (!port) return;
  TtyFlush(port->fd, (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0,
           (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0);
}

int ReadPortBlocking(PortId handle, std::uint8_t* buffer, int count) {
  const char* kWaitFailed = "Ошибка ожидания завершения чтения из порта";
  auto port = FindPort(handle);
  if (!port)
    throw EcuError("Ошибка чтения из порта : " + std::to_string(EBADF) + "\r\n", Detail("read", EBADF));
  if (count <= 0) return 0;
  const std::int64_t total =
      PerfCounter() + MsToCounter(static_cast<std::int64_t>(port->readMultiplier) * count + kTotalConstantMs);
  std::int64_t lastByte = -1;
  int got = 0;
  for (;;) {
    ssize_t n = ::read(port->fd, buffer + got, static_cast<std::size_t>(count - got));
    if (n > 0) {
      got += static_cast<int>(n);
      lastByte = PerfCounter();
      if (got == count) return got;
      continue;
    }
    if (n == 0) throw EcuError(kWaitFailed, "read: end of file (port hung up)");
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      int err = errno;
      throw EcuError("Ошибка чтения из порта : " + std::to_string(err) + "\r\n", Detail("read", err));
    }
    std::int64_t deadline = total;
    if (lastByte >= 0) deadline = std::min(deadline, lastByte + MsToCounter(kReadIntervalMs));
    bool closed = false;
    short revents = PollPort(*port, POLLIN, deadline, closed);
    if (closed) throw EcuError(kWaitFailed, "poll: port closed");
    if (revents == 0) return got;  // time-out: a silent line gives 0, not an error
    if ((revents & POLLIN) == 0) {
      port->hungUp = true;
      throw EcuError(kWaitFailed, "poll: hang-up or error on the port");
    }
  }
}

void WritePortBlocking(PortId handle, const std::uint8_t* data, int length) {
  const char* kWaitFailed = "Ошибка ожидания завершения записи в порт";
  auto port = FindPort(handle);
  if (!port) Fail("Ошибка записи в порт", "write", EBADF);
  if (length <= 0) return;
  const std::int64_t deadline =
      PerfCounter() +
      MsToCounter(static_cast<std::int64_t>(port->writeMultiplier) * length + kTotalConstantMs);
  int sent = 0;
  while (sent < length) {
    ssize_t n = ::write(port->fd, data + sent, static_cast<std::size_t>(length - sent));
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) Fail("Ошибка записи в порт", "write", errno);
    bool closed = false;
    short revents = PollPort(*port, POLLOUT, deadline, closed);
    if (closed) throw EcuError(kWaitFailed, "poll: port closed");
    // A short write is a failure the caller must hear of, not a success.
    if (revents == 0)
      throw EcuError(kWaitFailed, "write timed out after " + std::to_string(sent) + " of " +
                                      std::to_string(length) + " bytes");
    if ((revents & POLLOUT) == 0) {
      port->hungUp = true;
      throw EcuError(kWaitFailed, "poll: hang-up or error on the port");
    }
  }
}

bool WaitRxChar(PortId handle) {
  auto port = FindPort(handle);
  if (!port) return false;
  bool closed = false;
  if (port->hungUp) {
    // The device is gone: the wait already failed once. Sleep until the port
    // is closed instead of failing again at once, which would make the
    // caller's loop spin.
    pollfd fd{port->wake, POLLIN, 0};
    while (!port->closed && ::poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
    return false;
  }
  short revents = PollPort(*port, POLLIN, -1, closed);
  if (closed) return false;
  if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
    port->hungUp = true;
    return false;
  }
  return (revents & POLLIN) != 0;
}

// --- The K-line port ---

void OpenEcuPort(const std::string& name, int speedIndex) {
  if (speedIndex < 0 || speedIndex > 2)
    throw EcuError("Ошибка установки настроек порта ",
                   "speed index " + std::to_string(speedIndex) + " outside 0..2");
  TCfg.CBR = speedIndex;
  InstallPortHandle(OpenAndConfigurePort(name, BaudTable[0], ONESTOPBIT, 20, 100));
  WakePort();
}

void WakePort() {
  PurgePort();
  MsgBlock block{};
  block[0] = 0x01;
  WritePortBlocking(block, 1);
  DelayMs(150);
  PurgePort();
}

void OpenFlashPort(const std::string& name) {
  InstallPortHandle(OpenAndConfigurePort(name, 38400, TWOSTOPBITS, 1000, 1000));
  PurgePort();
}

void CloseEcuPort() { ClosePortHandle(PortHandle); }

void SetPortSpeed(int speedIndex) {
  if (speedIndex < 0 || speedIndex > 2)
    throw EcuError("Ошибка установки настроек порта ",
                   "speed index " + std::to_string(speedIndex) + " outside 0..2");
  auto port = FindPort(PortHandle.load());
  if (!port) Fail("Ошибка чтения настроек порта", "ioctl(TCGETS2)", EBADF);
  TtyLineSettings current;
  if (int err = TtyGetLine(port->fd, current)) Fail("Ошибка чтения настроек порта", "ioctl(TCGETS2)", err);
  if (int err = TtySetBaud(port->fd, BaudTable[speedIndex]))
    Fail("Ошибка установки настроек порта ", "ioctl(TCSETS2)", err);
}

std::uint32_t PortInQueue() { return PortInQueue(PortHandle.load()); }

void PurgePort() { PurgePort(PortHandle.load(), PURGE_ALL); }

int ReadPortBlocking(std::uint8_t* buffer, int count, int /*unused*/) {
  return ReadPortBlocking(PortHandle.load(), buffer, count);
}

void WritePortBlocking(MsgBlock block, std::uint8_t length) {
  WritePortBlocking(PortHandle.load(), block.data(), length);
}

void SetBreak(bool on) {
  auto port = FindPort(PortHandle.load());
  if (!port) Fail("Ошибка установки состояния break", on ? "ioctl(TIOCSBRK)" : "ioctl(TIOCCBRK)", EBADF);
  if (int err = TtyBreak(port->fd, on))
    Fail("Ошибка установки состояния break", on ? "ioctl(TIOCSBRK)" : "ioctl(TIOCCBRK)", err);
}

void FastInitPulse() {
  PurgePort(PortHandle.load(), PURGE_TXCLEAR | PURGE_RXCLEAR);
  SetBreak(true);
  DelayMs(25);
  SetBreak(false);
  DelayMs(25);
  PurgePort(PortHandle.load(), PURGE_TXCLEAR | PURGE_RXCLEAR);
}
