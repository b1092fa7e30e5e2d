#pragma once
// The operating system's half of the port layer: one implementation per
// system (port_posix.cpp, port_win32.cpp). port.cpp keeps what every system
// shares: the port ids, the profiles and the K-line port.
//
// A PortDevice is one open device. port.cpp hands each operation a reference
// it holds through a shared_ptr, so the device (and its descriptor or handle)
// is released only when the last operation using it has returned.

#include <cstdint>
#include <memory>
#include <string>

struct PortDevice;

namespace port_os {

// The texts the port layer raises; the detail of each error names the call.
inline constexpr const char* kOpenError = "Ошибка открытия порта";
inline constexpr const char* kGetSettingsError = "Ошибка чтения настроек порта";
inline constexpr const char* kSetSettingsError = "Ошибка установки настроек порта ";
inline constexpr const char* kTimeoutsError = "Ошибка установки таймаутов порта";
inline constexpr const char* kMaskError = "Ошибка установки маски событий порта";
inline constexpr const char* kResetError = "Ошибка сброса порта";
inline constexpr const char* kReadEventError = "Ошибка создания события чтения";
inline constexpr const char* kReadWaitError = "Ошибка ожидания завершения чтения из порта";
inline constexpr const char* kWriteEventError = "Ошибка создания события записи";
inline constexpr const char* kWriteError = "Ошибка записи в порт";
inline constexpr const char* kWriteWaitError = "Ошибка ожидания завершения записи в порт";
inline constexpr const char* kBreakError = "Ошибка установки состояния break";
// The read error carries the system's error number and its words.
std::string ReadErrorText(int err);
// The system's error number in the user's words (an errno value on Linux, a
// Windows error code on Windows).
std::string ReasonText(int err);

// The error number a closed port reports (EBADF, ERROR_INVALID_HANDLE).
extern const int kClosedError;
// "call: the system's text (code)" for the developer.
std::string ErrorDetail(const std::string& call, int err);

// Opens the named port for exclusive use.
std::shared_ptr<PortDevice> Open(const std::string& name);
// Line settings (8 data bits, no parity, stopBits 1 or 2, the baud rate), the
// time-outs and the received-byte event.
void Configure(PortDevice& port, std::uint32_t baud, int stopBits, std::uint16_t readMultiplier,
               std::uint16_t writeMultiplier);
// Changes only the baud rate.
void SetBaud(PortDevice& port, std::uint32_t baud);
// Wakes every thread waiting on the port; they fail quietly. Gives up the
// exclusive use at once. Never raises.
void Close(std::shared_ptr<PortDevice> port);

std::uint32_t InQueue(PortDevice& port);
void Purge(PortDevice& port, unsigned flags);
// Reads up to count bytes. With kPortTimeouts the port's own time-outs end the
// read (20 ms after the last byte, or the profile's total); otherwise only
// wholeMs ends it, however long the gaps between bytes.
inline constexpr int kPortTimeouts = -1;
int Read(PortDevice& port, std::uint8_t* buffer, int count, int wholeMs);
void Write(PortDevice& port, const std::uint8_t* data, int length);
bool WaitRxChar(PortDevice& port);
void Break(PortDevice& port, bool on);

}  // namespace port_os
