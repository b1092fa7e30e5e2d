// The serial port layer on Windows: the Win32 serial API with overlapped I/O.
// The device is opened unshared; COMMTIMEOUTS time the reads and writes; the
// received-byte wait is an overlapped WaitCommEvent. Every wait also watches
// the port's close event, so closing wakes every waiting thread.
//
// port.h is left out on purpose: its PURGE_ and stop-bit names are windows.h
// macros with the same values.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>

#include "common/error.h"
#include "common/timing.h"
#include "common/wide_win32.h"
#include "link/port_error.h"
#include "link/port_os.h"

namespace {

// How long closing waits for the woken threads to let go of the handle, so the
// port can be opened again at once (Windows refuses a second open).
constexpr DWORD kReleaseWaitMs = 2000;

// Set by the device's destructor once its handle is closed.
struct ReleaseSignal {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~ReleaseSignal() {
    if (event) CloseHandle(event);
  }
};

}  // namespace

struct PortDevice {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE closeEvent = nullptr;  // manual reset; set once when the port is closed
  std::atomic<bool> closed{false};
  std::atomic<bool> hungUp{false};
  // Set once an event wait stopped answering (seen under Wine on a busy
  // machine): from then on the received-byte wait looks at the queue itself.
  std::atomic<bool> pollQueue{false};
  std::shared_ptr<ReleaseSignal> released;  // set by Close before it lets go
  COMMTIMEOUTS timeouts{};                  // as configured, for the port's own reads
  ~PortDevice() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (closeEvent) CloseHandle(closeEvent);
    if (released && released->event) SetEvent(released->event);
  }
};

const int port_os::kClosedError = ERROR_INVALID_HANDLE;

namespace {

constexpr DWORD kReadIntervalMs = 20;
constexpr DWORD kAbortPauseMaxMs = 4;
constexpr DWORD kTotalConstantMs = 20;
// An event wait that has not ended this long after bytes arrived has missed
// them; a cancelled operation that has not ended this long never will.
constexpr DWORD kStuckWaitMs = 100;
constexpr DWORD kCancelWaitMs = 500;
constexpr DWORD kQueuePollMs = 2;

[[noreturn]] void Fail(const std::string& message, const std::string& call, DWORD err) {
  throw EcuError(message, port_os::ErrorDetail(call, static_cast<int>(err)));
}

// One overlapped operation: its record and its own manual-reset event.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (ov.hEvent) CloseHandle(ov.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
};

// Waits until the operation has completed, not merely until its event is
// set: Wine may set an event late, for an operation that has already ended,
// when the next one on the same event (or a new event with the old handle's
// number) is pending. The completion sets the event again after its status.
bool WaitDone(Overlapped& op, HANDLE closeEvent, DWORD timeoutMs = INFINITE) {
  HANDLE events[2] = {op.ov.hEvent, closeEvent};
  const DWORD count = closeEvent ? 2 : 1;
  for (;;) {
    if (WaitForMultipleObjects(count, events, FALSE, timeoutMs) != WAIT_OBJECT_0) return false;
    if (HasOverlappedIoCompleted(&op.ov)) return true;
    ResetEvent(op.ov.hEvent);
    if (HasOverlappedIoCompleted(&op.ov)) return true;
  }
}

// Waits for the operation or for the port's close. On close (or a failed
// wait) the operation is cancelled and ended before its record goes away, and
// false is returned.
bool Await(PortDevice& port, Overlapped& op) {
  if (WaitDone(op, port.closeEvent)) return true;
  CancelIoEx(port.handle, &op.ov);
  WaitDone(op, nullptr);
  return false;
}

}  // namespace

std::string port_os::ErrorDetail(const std::string& call, int err) {
  char text[512] = {};
  DWORD n = 0;
  // English where the system has it, else the user's language.
  for (DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)), DWORD{0}}) {
    n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(err), language, text, sizeof text, nullptr);
    if (n > 0) break;
  }
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = 0;
  return call + ": " + (n > 0 ? text : "system error") + " (error " + std::to_string(err) + ")";
}

// The system's own words, in the user's language; the number only where the
// system has no text for it.
std::string port_os::ReasonText(int code) {
  const auto err = static_cast<DWORD>(code);
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words(text ? text : L"", n);
  LocalFree(text);
  while (!words.empty() &&
         (words.back() == L'\r' || words.back() == L'\n' || words.back() == L' ' || words.back() == L'.'))
    words.pop_back();
  return words.empty() ? "системная ошибка " + std::to_string(err) : Utf8(words);
}

namespace {

std::string OpenFailureReason(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "нет такого устройства";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      // Windows answers a port that another program holds with access denied.
      return "порт занят другой программой";
    case ERROR_INVALID_NAME:
      return "недопустимое имя порта";
    case ERROR_FILENAME_EXCED_RANGE:
      return "слишком длинное имя";
    default:
      return port_os::ReasonText(static_cast<int>(err));
  }
}

}  // namespace

std::shared_ptr<PortDevice> port_os::Open(const std::string& name) {
  // "COM8" opens \\.\COM8, which also reaches COM10 and above.
  const std::string path = name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    throw PortOpenError(name, OpenFailureReason(err),
                        port_os::ErrorDetail("CreateFileA(" + path + ")", static_cast<int>(err)));
  }
  auto port = std::make_shared<PortDevice>();
  port->handle = h;
  port->closeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!port->closeEvent) Fail(kOpenError, "CreateEventA", GetLastError());
  return port;
}

void port_os::Configure(PortDevice& port, std::uint32_t baud, int stopBits, std::uint16_t readMultiplier,
                        std::uint16_t writeMultiplier) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port.handle, &dcb)) Fail(kGetSettingsError, "GetCommState", GetLastError());
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  // Binary frames: no flow control by characters or modem lines, no character
  // replacement, no abort on line errors. A driver may start with any of these
  // (Wine gives a pseudo-terminal XON/XOFF, which swallows 0x11 and 0x13 and
  // stalls writes). DTR and RTS stay as the driver has them: some adapters
  // draw their power from them.
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(port.handle, &dcb)) Fail(kSetSettingsError, "SetCommState", GetLastError());
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = kReadIntervalMs;
  timeouts.ReadTotalTimeoutMultiplier = readMultiplier;
  timeouts.ReadTotalTimeoutConstant = kTotalConstantMs;
  timeouts.WriteTotalTimeoutMultiplier = writeMultiplier;
  timeouts.WriteTotalTimeoutConstant = kTotalConstantMs;
  if (!SetCommTimeouts(port.handle, &timeouts)) Fail(kTimeoutsError, "SetCommTimeouts", GetLastError());
  port.timeouts = timeouts;
  if (!SetCommMask(port.handle, EV_RXCHAR)) Fail(kMaskError, "SetCommMask", GetLastError());
}

void port_os::SetBaud(PortDevice& port, std::uint32_t baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port.handle, &dcb)) Fail(kGetSettingsError, "GetCommState", GetLastError());
  dcb.BaudRate = baud;
  if (!SetCommState(port.handle, &dcb)) Fail(kSetSettingsError, "SetCommState", GetLastError());
}

void port_os::Close(std::shared_ptr<PortDevice> port) {
  port->closed = true;
  SetEvent(port->closeEvent);
  // Wake what is pending now; an operation started later sees the close event.
  SetCommMask(port->handle, 0);
  CancelIoEx(port->handle, nullptr);
  auto released = std::make_shared<ReleaseSignal>();
  port->released = released;
  port.reset();
  // The woken threads return at once; the handle closes with the last of them.
  if (released->event) WaitForSingleObject(released->event, kReleaseWaitMs);
}

std::uint32_t port_os::InQueue(PortDevice& port) {
  DWORD errors = 0;
  COMSTAT stat{};
  if (!ClearCommError(port.handle, &errors, &stat)) Fail(kResetError, "ClearCommError", GetLastError());
  return stat.cbInQue;
}

void port_os::Purge(PortDevice& port, unsigned flags) { PurgeComm(port.handle, flags & 0xF); }

namespace {

// A read that waits for its whole length: only a total time-out, no interval
// time-out, for the time of one read; the port's own time-outs come back after.
class WholeReadTimeouts {
 public:
  WholeReadTimeouts(PortDevice& port, int wholeMs) : port_(port) {
    COMMTIMEOUTS whole = port.timeouts;
    // A zero interval means none; with no total either, MAXDWORD returns at once.
    whole.ReadIntervalTimeout = wholeMs > 0 ? 0 : MAXDWORD;
    whole.ReadTotalTimeoutMultiplier = 0;
    whole.ReadTotalTimeoutConstant = static_cast<DWORD>(wholeMs);
    if (!SetCommTimeouts(port.handle, &whole))
      Fail(port_os::kTimeoutsError, "SetCommTimeouts", GetLastError());
  }
  ~WholeReadTimeouts() { SetCommTimeouts(port_.handle, &port_.timeouts); }
  WholeReadTimeouts(const WholeReadTimeouts&) = delete;
  WholeReadTimeouts& operator=(const WholeReadTimeouts&) = delete;

 private:
  PortDevice& port_;
};

}  // namespace

int port_os::Read(PortDevice& port, std::uint8_t* buffer, int count, int wholeMs) {
  std::optional<WholeReadTimeouts> whole;
  if (wholeMs != kPortTimeouts) whole.emplace(port, wholeMs);
  Overlapped op;
  if (!op.ov.hEvent) Fail(kReadEventError, "CreateEventA", GetLastError());
  if (!ReadFile(port.handle, buffer, static_cast<DWORD>(count), nullptr, &op.ov)) {
    const DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) {
      if (port.closed) throw EcuError(kReadWaitError, "ReadFile: port closed");
      throw EcuError(ReadErrorText(static_cast<int>(err)), ErrorDetail("ReadFile", static_cast<int>(err)));
    }
  }
  if (!Await(port, op)) throw EcuError(kReadWaitError, "ReadFile: port closed");
  DWORD got = 0;
  if (!GetOverlappedResult(port.handle, &op.ov, &got, FALSE)) {
    // A read ended by the time-outs is a success on Windows; Wine reports it
    // as ERROR_TIMEOUT, with the bytes that did come.
    const DWORD err = GetLastError();
    if (err != ERROR_TIMEOUT) Fail(kReadWaitError, "GetOverlappedResult(ReadFile)", err);
    got = static_cast<DWORD>(op.ov.InternalHigh);
  }
  return static_cast<int>(got);
}

void port_os::Write(PortDevice& port, const std::uint8_t* data, int length) {
  Overlapped op;
  if (!op.ov.hEvent) Fail(kWriteEventError, "CreateEventA", GetLastError());
  if (!WriteFile(port.handle, data, static_cast<DWORD>(length), nullptr, &op.ov)) {
    const DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) {
      if (port.closed) throw EcuError(kWriteWaitError, "WriteFile: port closed");
      Fail(kWriteError, "WriteFile", err);
    }
  }
  if (!Await(port, op)) throw EcuError(kWriteWaitError, "WriteFile: port closed");
  DWORD sent = 0;
  if (!GetOverlappedResult(port.handle, &op.ov, &sent, FALSE))
    Fail(kWriteWaitError, "GetOverlappedResult(WriteFile)", GetLastError());
  // The write time-out ends a write early as a success; the caller must hear
  // that its block did not go out whole.
  if (sent < static_cast<DWORD>(length))
    throw EcuError(kWriteWaitError, "write timed out after " + std::to_string(sent) + " of " +
                                        std::to_string(length) + " bytes");
}

namespace {

// An event wait's record and the mask the system writes when it ends. On the
// heap: a wait the system never ends is abandoned to it rather than freed.
struct EventWait {
  Overlapped op;
  DWORD mask = 0;
};

// Ends an event wait (clearing the mask; Wine's wait does not answer a
// cancel). False when it has still not ended: the record is then left to the
// system, which may write it later.
bool EndEventWait(PortDevice& port, std::unique_ptr<EventWait>& wait) {
  SetCommMask(port.handle, 0);
  CancelIoEx(port.handle, &wait->op.ov);
  const bool ended = WaitDone(wait->op, nullptr, kCancelWaitMs);
  if (!ended) (void)wait.release();
  SetCommMask(port.handle, EV_RXCHAR);
  return ended;
}

// The received-byte wait without events: the queue, looked at every 2 ms.
bool PollQueue(PortDevice& port) {
  for (;;) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(port.handle, &errors, &stat)) return false;
    if (stat.cbInQue > 0) return true;
    if (WaitForSingleObject(port.closeEvent, kQueuePollMs) == WAIT_OBJECT_0) return false;
  }
}

}  // namespace

bool port_os::WaitRxChar(PortDevice& port) {
  if (port.hungUp) {
    // The device is gone: the wait already failed once. Sleep until the port
    // is closed instead of failing again at once, which would make the
    // caller's loop spin.
    WaitForSingleObject(port.closeEvent, INFINITE);
    return false;
  }
  if (port.pollQueue) {
    if (PollQueue(port) || port.closed) return !port.closed;
    port.hungUp = true;
    return false;
  }
  auto wait = std::make_unique<EventWait>();
  if (!wait->op.ov.hEvent) return false;
  DWORD pauseMs = 0;
  for (;;) {
    if (port.closed) return false;
    // EV_RXCHAR reports arrivals, not waiting bytes: look at the queue first,
    // so bytes left from an earlier pass count at once.
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(port.handle, &errors, &stat)) break;
    if (stat.cbInQue > 0) return true;
    ResetEvent(wait->op.ov.hEvent);
    if (!WaitCommEvent(port.handle, &wait->mask, &wait->op.ov) && GetLastError() != ERROR_IO_PENDING) break;
    // Every 100 ms without an event: bytes waiting behind the wait mean it
    // missed them (Wine on a busy machine), so it is ended; one that cannot be
    // ended leaves the port to look at its queue itself from then on. The
    // wait is always ended before its record may go.
    bool queueFailed = false;
    while (!WaitDone(wait->op, port.closeEvent, kStuckWaitMs)) {
      queueFailed = !port.closed && !ClearCommError(port.handle, &errors, &stat);
      if (!port.closed && !queueFailed && stat.cbInQue == 0) continue;
      if (!EndEventWait(port, wait)) port.pollQueue = true;
      if (port.closed) return false;
      if (!queueFailed) return true;
      break;
    }
    if (queueFailed) break;
    DWORD n = 0;
    if (GetOverlappedResult(port.handle, &wait->op.ov, &n, FALSE)) {
      pauseMs = 0;
      continue;  // an event: look at the queue again
    }
    if (GetLastError() != ERROR_OPERATION_ABORTED) break;
    // Aborted without a close: a changed mask does that on Windows, and Wine
    // ends every wait on a pseudo-terminal so after a millisecond (it cannot
    // read modem lines there). Neither means the device is gone. Under Wine
    // each wait costs a thread, so aborts in a row pause 1, 2, then 4 ms
    // before the next wait; the close event still ends the pause.
    pauseMs = pauseMs == 0 ? 1 : std::min<DWORD>(pauseMs * 2, kAbortPauseMaxMs);
    if (WaitForSingleObject(port.closeEvent, pauseMs) == WAIT_OBJECT_0) return false;
  }
  if (port.closed) return false;
  port.hungUp = true;
  return false;
}

void port_os::Break(PortDevice& port, bool on) {
  if (!EscapeCommFunction(port.handle, on ? SETBREAK : CLRBREAK))
    Fail(kBreakError, on ? "EscapeCommFunction(SETBREAK)" : "EscapeCommFunction(CLRBREAK)", GetLastError());
}
