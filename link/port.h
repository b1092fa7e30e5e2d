#pragma once
// The serial port layer: open-and-configure, reads, writes and waits on any
// port by its id (link/kline_port.h makes the K-line port of it).
//
// Ports are named by PortId, a number never reused within the process, not by
// the raw descriptor: closing a port wakes every thread waiting on it, and the
// descriptor is released only when the last operation using it has returned,
// so a recycled descriptor number can never reach a thread holding an old id.
// Every failure raises EcuError with the program's fixed message.

#include <atomic>
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "common/error.h"
#include "link/port_error.h"

using PortId = std::int64_t;
inline constexpr PortId kNoPort = -1;

// Purge flags (Win32 meaning, mapped to tcflush).
enum : unsigned {
  PURGE_TXABORT = 0x1,
  PURGE_RXABORT = 0x2,
  PURGE_TXCLEAR = 0x4,
  PURGE_RXCLEAR = 0x8,
  PURGE_ALL = 0xF,
};

// Stop-bit codes as the design gives them.
inline constexpr int ONESTOPBIT = 0;
inline constexpr int TWOSTOPBITS = 2;

// Baud rates by speed index CBR: 10400, 38400, 57600.
extern const std::uint16_t BaudTable[3];
// A speed index outside 0..2 (only a hand-edited cfg.ini gives one) counts as 0.
int ValidSpeedIndex(int cbr);
// Raises "Ошибка установки настроек порта " for a speed index outside 0..2.
void CheckSpeedIndex(int speedIndex);

// --- Operations on any port (any thread unless stated). ---
// Linux: a name without '/' is a device under /dev ("ttyUSB0"), a path is used
// as is. Windows: a name such as "COM8" opens \\.\COM8.
// Raises PortOpenError.
PortId OpenPortDevice(const std::string& name);
// Opens, then raw mode, 8 data bits, no parity, the stop bits, the baud rate
// and the time-outs. A failure after the open releases the device again.
PortId OpenAndConfigurePort(const std::string& name, std::uint32_t baud, int stopBits,
                            std::uint16_t readMultiplier, std::uint16_t writeMultiplier);
// Closes unless kNoPort, then sets it to kNoPort. Never raises. Wakes waiters.
void ClosePortHandle(PortId& handle);
void ClosePortHandle(std::atomic<PortId>& handle);
std::uint32_t PortInQueue(PortId handle);
void PurgePort(PortId handle, unsigned flags);
// Reads up to count bytes with the port's time-outs; 0 on a silent line.
// The read ends 20 ms after the last byte, or readMultiplier x count + 20 ms
// after the start.
int ReadPortBlocking(PortId handle, std::uint8_t* buffer, int count);
// Reads until count bytes have arrived or totalMs have passed since the call,
// whatever the gaps between the bytes (a USB adapter on a loaded machine may
// hold a reply back for tens of milliseconds); returns the bytes read.
int ReadPortWithin(PortId handle, std::uint8_t* buffer, int count, int totalMs);
// Writes all bytes within writeMultiplier x length + 20 ms; a write that does
// not complete in that time raises the write-wait error.
void WritePortBlocking(PortId handle, const std::uint8_t* data, int length);
// Waits without limit until at least one received byte is waiting. Returns
// false when the port was closed, hung up or failed (the caller ends its pass).
// Level-triggered: returns at once while bytes are waiting, so a caller that
// leaves bytes queued must read them or sleep before waiting again. After a
// hang-up the first call fails at once and later calls sleep until the port is
// closed, so a wait loop never spins on a dead device.
bool WaitRxChar(PortId handle);
// False once the port has been closed (a hung-up port stays open until closed).
bool PortIsOpen(PortId handle);
void SetPortBaud(PortId handle, std::uint32_t baud);
void SetPortBreak(PortId handle, bool on);
