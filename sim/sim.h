#pragma once
// The device simulator core: serial lines on pseudo-terminals and the devices
// behind them (ECU, boot code, LC-1), for the ecusim program and for tests.
//
// A SimLine is one pseudo-terminal pair. The program under test opens the
// line's link path as its serial port; the line plays the K-line adapter (echo
// of every byte the program writes) and the wire (each byte takes its bit time
// at the baud rate of whoever sends it) and passes the program's bytes to one
// SimDevice. The line keeps its own slave descriptor open so the program's
// close never hangs the line up, and it never changes the terminal settings:
// it reads the program's settings from the master (TCGETS2 on a master shows
// the slave's settings).
//
// Threads: every SimDevice call runs on its line's own thread; the public
// SimLine methods may be called from any thread unless stated otherwise.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Serial settings of one side of a line.
struct LineSettings {
  std::uint32_t baud = 10400;
  int stopBits = 1;  // 1 or 2; always 8 data bits, no parity
  bool operator==(const LineSettings&) const = default;
};

// What a byte sent at one baud rate looks like to a receiver at another: a
// fixed corruption, so a missed speed switch shows up as wrong bytes.
std::uint8_t GarbleByte(std::uint8_t b);

// Seconds on the wire for one byte (start bit, 8 data bits, stop bits).
double ByteSeconds(const LineSettings& s);

class SimLine;

// A device behind a line. All calls arrive on the line's thread; a device
// needs no locking for state only those calls touch.
class SimDevice {
 public:
  virtual ~SimDevice() = default;

  // The device's own serial settings now. The line uses them to time what the
  // device sends and to tell whether the program's bytes reach it intact.
  virtual LineSettings Settings() const = 0;
  // One byte the program wrote, after its echo went out. When the program's
  // baud rate differs from Settings(), the byte arrives garbled, as on a wire.
  // `program` is the program's line settings when the byte was on the wire
  // (baud 0 on a line that takes any rate).
  virtual void OnByte(std::uint8_t b, const LineSettings& program) = 0;
  // The tick the device asked for with ScheduleTick.
  virtual void OnTick() {}
  // Entry point of the line for each byte the program wrote: garbles the byte
  // when the baud rates differ (8 data bits and the stop bits are not
  // compared), then calls OnByte. Composites override it to route the byte.
  virtual void Receive(std::uint8_t b, const LineSettings& program);

  // Called by the line before its thread starts, and with nullptr after it has
  // stopped; composites pass it on to their parts.
  virtual void Attach(SimLine* line) { line_ = line; }

 protected:
  // Line thread only. Queues bytes for the program, timed on the wire at the
  // device's Settings() of this moment, after a gap of gapMs (real time).
  void Send(const std::vector<std::uint8_t>& bytes, double gapMs = 0);
  void Send(const std::uint8_t* data, std::size_t n, double gapMs = 0);
  // Line thread only. Asks for one OnTick after ms milliseconds (real time);
  // a later request replaces an earlier one. ms < 0 cancels.
  void ScheduleTick(double ms);
  // Line thread only. The adapter holds back everything it passes to the
  // program (echo and device bytes) for ms milliseconds of real time from
  // now, as a USB adapter on a loaded machine may; nothing is lost or
  // reordered.
  void HoldOutput(double ms);
  // Line thread only. The line's clock, in milliseconds, at the event being
  // handled: in OnByte the moment the byte has left the wire, whenever the
  // line's thread gets round to it.
  double WireTimeMs() const;
  SimLine* Line() const { return line_; }

 private:
  SimLine* line_ = nullptr;
};

// The K-line behind one port carries two devices: the ECU's diagnostic
// protocol (one stop bit) and its boot protocol (38400 baud, two stop bits).
// Bytes the program writes with two stop bits go to the boot device, all
// others to the diagnostic device. Either may be null.
class SimEcuSwitch : public SimDevice {
 public:
  SimEcuSwitch(std::shared_ptr<SimDevice> diagnostic, std::shared_ptr<SimDevice> boot);
  LineSettings Settings() const override;
  void OnByte(std::uint8_t b, const LineSettings& program) override;
  void Receive(std::uint8_t b, const LineSettings& program) override;
  void Attach(SimLine* line) override;
  // True while the program talks with two stop bits (the boot device's turn).
  bool BootActive() const { return bootActive_; }
  SimDevice* Diagnostic() const { return diag_.get(); }
  SimDevice* Boot() const { return boot_.get(); }

 private:
  SimDevice* Active() const;
  std::shared_ptr<SimDevice> diag_;
  std::shared_ptr<SimDevice> boot_;
  bool bootActive_ = false;
};

struct SimLineOptions {
  // Wire time factor: 0 = bytes take no time, 1 = real time.
  double timeScale = 1.0;
  // The adapter returns every byte the program writes.
  bool echo = true;
  // The adapter keeps the wake-up byte 0x01 from the device: a 0x01 that the
  // program writes at one stop bit after at least 20 ms of its own silence
  // (the first byte after the port is opened) is echoed but not passed on.
  bool absorbWakeByte = false;
  // The line takes whatever rate the program set for the device's rate, both
  // ways, so nothing is garbled: for ports whose rate the program cannot set
  // (Wine leaves a pseudo-terminal at its old rate when asked for 10400).
  // Devices then see a program baud of 0.
  bool anyRate = false;
};

// One pseudo-terminal pair with a device behind it.
class SimLine {
 public:
  // Creates the pair, points linkPath (a symlink, replaced if present) at the
  // slave and starts the line's thread. device may be null (adapter only).
  // Raises std::runtime_error when the pseudo-terminal cannot be made.
  SimLine(std::string linkPath, std::shared_ptr<SimDevice> device, SimLineOptions options = {});
  // Stops the thread, removes the link, closes the pair.
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  const std::string& LinkPath() const { return linkPath_; }
  // The slave device the link points at (/dev/pts/N).
  const std::string& SlavePath() const { return slavePath_; }

  // The program's line settings as the program set them (8N1 etc. included).
  struct ProgramView {
    std::uint32_t baud = 0;
    int dataBits = 8;
    bool parity = false;
    int stopBits = 1;
    bool raw = false;  // the program switched the tty to raw mode
  };
  // Raises std::runtime_error after Hangup().
  ProgramView ProgramSettings() const;

  // Switches usable by devices and tests.
  void SetEcho(bool on);
  // Silence: the device is cut off the line (gets nothing, its output is
  // dropped); the adapter still echoes when echo is on.
  void SetSilent(bool on);
  void SetAbsorbWakeByte(bool on);
  void SetTimeScale(double scale);
  double TimeScale() const;
  // The port vanishes: the master and the line's slave descriptor are closed
  // (the program sees a hang-up) and the link is removed. Not undoable.
  void Hangup();
  bool HungUp() const { return hungUp_.load(); }

  // Runs fn on the line's thread (to poke a device). Post returns at once;
  // Run waits for fn to finish (not from the line's thread).
  void Post(std::function<void()> fn);
  void Run(const std::function<void()>& fn);

  // Counters for tests: bytes received from the program, bytes delivered to it
  // (echo included), device bytes delivered garbled.
  std::uint64_t BytesFromProgram() const { return fromProgram_.load(); }
  std::uint64_t BytesToProgram() const { return toProgram_.load(); }
  std::uint64_t GarbledBytes() const { return garbled_.load(); }

 private:
  friend class SimDevice;
  struct OutByte {
    std::uint8_t b;
    double due;          // seconds on the line clock when it has left the wire
    std::uint32_t baud;  // the device's baud rate when it sent the byte
  };
  struct InByte {
    std::uint8_t b;
    double due;
    LineSettings program;
    bool absorb;
  };
  struct Tick {
    SimDevice* device;
    double due;
  };

  void ThreadMain();
  double Now() const;
  void ReadFromProgram();
  void RunDue(double now);
  void Deliver(std::uint8_t b);
  void FlushPending();
  double NextDue() const;
  void Wake();
  void DoHangup();
  LineSettings ReadProgram() const;
  bool ProgramReady() const;
  // Line thread only (through SimDevice).
  void QueueFromDevice(SimDevice* device, const std::uint8_t* data, std::size_t n, double gapMs);
  void SetTick(SimDevice* device, double ms);
  void HoldDelivery(double ms);

  std::string linkPath_;
  std::string slavePath_;
  std::shared_ptr<SimDevice> device_;
  int master_ = -1;
  int slave_ = -1;
  int wake_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hungUp_{false};
  std::atomic<bool> hangupRequest_{false};
  std::atomic<bool> echo_;
  std::atomic<bool> silent_{false};
  std::atomic<double> timeScale_;
  std::atomic<bool> absorbWake_;
  const bool anyRate_;
  std::atomic<std::uint64_t> fromProgram_{0}, toProgram_{0}, garbled_{0};

  mutable std::mutex fdMutex_;  // guards master_ against Hangup for other threads
  std::mutex postMutex_;
  std::vector<std::function<void()>> posted_;

  // Line thread only.
  std::deque<InByte> in_;
  std::deque<OutByte> out_;
  std::vector<Tick> ticks_;
  double inBusyUntil_ = 0;             // the program's byte on the wire ends then
  double outBusyUntil_ = 0;            // the device's byte on the wire ends then
  double lastProgramByte_ = -1;        // arrival of the program's last byte
  double current_ = 0;                 // time of the event being handled
  std::vector<std::uint8_t> pending_;  // delivered but not yet taken by the pty
  std::vector<std::uint8_t> held_;     // delivered during a hold, in order
  double holdUntil_ = -1;              // line clock: the hold ends then
  std::int64_t clockStart_ = 0;
};

}  // namespace sim
