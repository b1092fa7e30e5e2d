#pragma once
// The K-line port as an object: one open device in its ECU profile (10400 8N1,
// woken with one byte) or its flash profile (38400 8N2, long time-outs). The
// object owns the device; destroying it closes the port. Open, Close and
// SetSpeed belong to the user-interface thread; the rest may run on any thread,
// and a port closed meanwhile fails as a closed device (reads and writes raise
// EcuError, waits return false), never reaching a recycled descriptor.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/bytes.h"
#include "link/port.h"

class KLinePort {
 public:
  // Raise PortOpenError or EcuError with the program's fixed messages. A speed
  // index outside 0..2 raises "Ошибка установки настроек порта " before
  // anything is opened.
  static std::unique_ptr<KLinePort> OpenForEcu(const std::string& name, int speedIndex);
  static std::unique_ptr<KLinePort> OpenForFlash(const std::string& name);
  ~KLinePort();
  KLinePort(const KLinePort&) = delete;
  KLinePort& operator=(const KLinePort&) = delete;

  // kNoPort once closed. Threads that take the id keep failing safely after a close.
  PortId Id() const { return id_.load(); }
  bool IsOpen() const { return Id() != kNoPort; }
  // Wakes every thread waiting on the port. Never raises; a second call does nothing.
  void Close();

  void Wake();                    // the wake-up byte, then 150 ms, input dropped
  void SetSpeed(int speedIndex);  // 0..2: 10400, 38400, 57600
  std::uint32_t InQueue() const;
  void Purge();  // drops both directions; a closed port is ignored
  int Read(std::uint8_t* buffer, int count);
  int ReadWithin(std::uint8_t* buffer, int count, int totalMs);
  void Write(const MsgBlock& block, std::uint8_t length);
  void SetBreak(bool on);
  void FastInitPulse();  // 25 ms break, 25 ms idle

 private:
  explicit KLinePort(PortId id) : id_(id) {}
  std::atomic<PortId> id_;
};
