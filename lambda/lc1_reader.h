#pragma once
// The LC-1 wideband lambda reader: its port, its reader thread, the reading
// under its lock and the 100 ms silence timer. User-interface thread unless
// stated.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/ui.h"
#include "lambda/lc1_reading.h"
#include "link/port.h"

// What the reader tells its owner. User-interface thread; the reader waits
// for a packet's call (a stop abandons it). Must outlive the reader.
class Lc1Events {
 public:
  virtual ~Lc1Events() = default;
  // A packet has been read and its reading stored.
  virtual void OnLc1Reading() {}
  // A second has passed without a packet: the reading is now 0.
  virtual void OnLc1Silence() {}
};

class Lc1Reader {
 public:
  explicit Lc1Reader(Lc1Events& events);
  // Disconnects: the thread is asked to end and its port closed, never waited for.
  ~Lc1Reader();
  Lc1Reader(const Lc1Reader&) = delete;
  Lc1Reader& operator=(const Lc1Reader&) = delete;

  // Opens the port at 19200 8N1 and starts the reader and the silence timer;
  // a running reader is stopped first. Port errors propagate with nothing
  // started; an open failure says that it is the LC-1's port and how to do
  // without one.
  void Connect(const std::string& port);
  void Disconnect();

  // Between Connect and Disconnect.
  bool Active() const { return active_; }
  // The reading, its no-data flag (no packet since the connect, or none for a
  // second) and its silence count. Any thread.
  const Lc1Reading& Reading() const { return shared_->reading; }
  double Value() const { return shared_->reading.Value(); }
  bool NoData() const { return shared_->reading.NoData(); }

  // For tests and benchmarks: whether the reader body is still running; how
  // many wait passes it has made (a stuck loop shows as a racing count; any
  // thread).
  bool ReaderRunning() const;
  std::uint64_t ReaderPasses() const;

 private:
  // Shared with the reader thread, which may still be finishing a packet
  // after the disconnect: the reading's lock must outlive it.
  struct Shared {
    Lc1Reading reading;
    std::atomic<std::uint64_t> passes{0};
  };
  class ReadThread;

  // One tick of the 100 ms silence timer.
  void TimerTick();

  Lc1Events& events_;
  std::shared_ptr<Shared> shared_;
  std::shared_ptr<ReadThread> thread_;
  // The newest thread, also after a disconnect, until its body has returned.
  std::weak_ptr<ReadThread> lastThread_;
  PortId port_ = kNoPort;
  bool active_ = false;
  UiTimer silenceTimer_;
};
