// The serial port layer's shared half: port ids, the profiles and the K-line
// port. The devices themselves are the operating system's (port_os.h).
#include "link/port.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "common/error.h"
#include "link/port_os.h"

const std::uint16_t BaudTable[3] = {10400, 38400, 57600};

int ValidSpeedIndex(int cbr) { return (cbr >= 0 && cbr <= 2) ? cbr : 0; }

namespace {

// The open devices by id.
class PortRegistry {
 public:
  PortId Add(std::shared_ptr<PortDevice> port) {
    std::lock_guard lock(mutex_);
    const PortId id = nextId_++;
    ports_.emplace(id, std::move(port));
    return id;
  }
  std::shared_ptr<PortDevice> Find(PortId id) const {
    if (id == kNoPort) return nullptr;
    std::lock_guard lock(mutex_);
    auto it = ports_.find(id);
    return it == ports_.end() ? nullptr : it->second;
  }
  // The device, now unreachable by its id; null when it was already taken.
  std::shared_ptr<PortDevice> Take(PortId id) {
    std::lock_guard lock(mutex_);
    auto it = ports_.find(id);
    if (it == ports_.end()) return nullptr;
    std::shared_ptr<PortDevice> port = std::move(it->second);
    ports_.erase(it);
    return port;
  }

 private:
  mutable std::mutex mutex_;
  std::map<PortId, std::shared_ptr<PortDevice>> ports_;
  PortId nextId_ = 1;
};

// Process-wide: ids never repeat within the process, so a thread holding the
// id of a closed port never reaches a later port that got the same descriptor.
PortRegistry g_ports;

std::shared_ptr<PortDevice> FindPort(PortId id) { return g_ports.Find(id); }

// An id that names no open port fails as a closed device would.
[[noreturn]] void FailClosed(const std::string& message, const char* call) {
  throw EcuError(message, port_os::ErrorDetail(call, port_os::kClosedError));
}

int StopBitsFromCode(int code) {
  if (code == ONESTOPBIT) return 1;
  if (code == TWOSTOPBITS) return 2;
  return 0;
}

}  // namespace

void CheckSpeedIndex(int speedIndex) {
  if (speedIndex < 0 || speedIndex > 2)
    throw EcuError(port_os::kSetSettingsError, "speed index " + std::to_string(speedIndex) + " outside 0..2");
}

std::string port_os::ReadErrorText(int err) {
  return "Ошибка чтения из порта : " + std::to_string(err) + " (" + port_os::ReasonText(err) + ")\r\n";
}

PortOpenError::PortOpenError(const std::string& port, std::string reason, std::string detail)
    : EcuError(PortOpenText(port, reason), std::move(detail)), reason_(std::move(reason)) {}

std::string PortOpenText(const std::string& port, const std::string& reason) {
  return std::string(port_os::kOpenError) + (port.empty() ? std::string() : " " + port) + ": " + reason;
}

PortId OpenPortDevice(const std::string& name) {
  if (name.empty()) throw PortOpenError(name, "порт не выбран", "open: empty port name");
  return g_ports.Add(port_os::Open(name));
}

PortId OpenAndConfigurePort(const std::string& name, std::uint32_t baud, int stopBits,
                            std::uint16_t readMultiplier, std::uint16_t writeMultiplier) {
  PortId id = OpenPortDevice(name);
  try {
    const int bits = StopBitsFromCode(stopBits);
    if (bits == 0 || baud == 0)
      throw EcuError(port_os::kSetSettingsError, "unsupported line settings: baud " + std::to_string(baud) +
                                                     ", stop-bit code " + std::to_string(stopBits));
    port_os::Configure(*FindPort(id), baud, bits, readMultiplier, writeMultiplier);
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
  std::shared_ptr<PortDevice> port = g_ports.Take(handle);
  handle = kNoPort;
  if (port) port_os::Close(std::move(port));
}

void ClosePortHandle(std::atomic<PortId>& handle) {
  PortId id = handle.exchange(kNoPort);
  ClosePortHandle(id);
}

std::uint32_t PortInQueue(PortId handle) {
  auto port = FindPort(handle);
  if (!port) FailClosed(port_os::kResetError, "PortInQueue");
  return port_os::InQueue(*port);
}

void PurgePort(PortId handle, unsigned flags) {
  if (auto port = FindPort(handle)) port_os::Purge(*port, flags);
}

namespace {

int ReadPort(PortId handle, std::uint8_t* buffer, int count, int wholeMs) {
  auto port = FindPort(handle);
  if (!port) FailClosed(port_os::ReadErrorText(port_os::kClosedError), "ReadPortBlocking");
  if (count <= 0) return 0;
  return port_os::Read(*port, buffer, count, wholeMs);
}

}  // namespace

int ReadPortBlocking(PortId handle, std::uint8_t* buffer, int count) {
  return ReadPort(handle, buffer, count, port_os::kPortTimeouts);
}

int ReadPortWithin(PortId handle, std::uint8_t* buffer, int count, int totalMs) {
  return ReadPort(handle, buffer, count, std::max(totalMs, 0));
}

void WritePortBlocking(PortId handle, const std::uint8_t* data, int length) {
  auto port = FindPort(handle);
  if (!port) FailClosed(port_os::kWriteError, "WritePortBlocking");
  if (length <= 0) return;
  port_os::Write(*port, data, length);
}

bool WaitRxChar(PortId handle) {
  auto port = FindPort(handle);
  return port && port_os::WaitRxChar(*port);
}

bool PortIsOpen(PortId handle) { return FindPort(handle) != nullptr; }

void SetPortBaud(PortId handle, std::uint32_t baud) {
  auto port = FindPort(handle);
  if (!port) FailClosed(port_os::kGetSettingsError, "SetPortBaud");
  port_os::SetBaud(*port, baud);
}

void SetPortBreak(PortId handle, bool on) {
  auto port = FindPort(handle);
  if (!port) FailClosed(port_os::kBreakError, on ? "SetPortBreak(on)" : "SetPortBreak(off)");
  port_os::Break(*port, on);
}
