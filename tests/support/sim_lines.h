#pragma once
// The simulator's lines as the tests that drive it see them, the same on
// every system: each line is made anew with a fresh device and worked through
// the simulator's commands (sim/bench.h), in the test's own process on Linux
// (sim_bench_local.cpp) and through ecusim's control channel under Wine
// (sim_bench_remote.cpp, run by scripts/windows.sh). The lines are line1 and
// line2; tests never run in parallel on one simulator.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/boot_ecu.h"
#include "sim/kwp_ecu.h"

// One command to the simulator and the result of its "ok" answer; an "error"
// answer raises std::runtime_error with its text.
std::string SimCommand(const std::string& command);
// The name the port layer opens for the simulator's line.
std::string SimPortOf(const std::string& line);
// False where a line cannot show the rates below the standard ones: Wine
// leaves a pseudo-terminal at its old rate when asked for 10400, and the
// simulator's lines there take any rate.
bool LinesShowEveryRate();

// The program's line settings as the device side of a line sees them.
struct LineView {
  std::uint32_t baud = 0;
  int dataBits = 8;
  bool parity = false;
  int stopBits = 1;
  bool raw = false;
};

class SimTestLine {
 public:
  // Line `name` made anew with a fresh device of `kind` (puppet, kwp, boot,
  // lc1); see sim::Bench::Make for each kind's line options.
  SimTestLine(std::string name, const std::string& kind);
  // The line removed: its port vanishes.
  virtual ~SimTestLine();
  SimTestLine(const SimTestLine&) = delete;
  SimTestLine& operator=(const SimTestLine&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Port() const { return port_; }

  LineView ProgramSettings() const;
  void SetEcho(bool on) const;
  // The adapter keeps the wake-up byte 0x01 from the device.
  void SetAbsorbWakeByte(bool on) const;
  void SetTimeScale(double scale) const;
  // The port vanishes, as when a USB adapter is pulled.
  void Hangup() const;
  std::uint64_t BytesFromProgram() const;

 protected:
  // `verb` on this line: "verb NAME words".
  std::string Do(const std::string& verb, const std::string& words = {}) const;

 private:
  std::string name_;
  std::string port_;
};

// The adapter with the ECU's diagnostic side behind it.
class KwpLine : public SimTestLine {
 public:
  explicit KwpLine(std::string name = "line1") : SimTestLine(std::move(name), "kwp") {}
  void AddFault(const sim::KwpFault& fault) const;
  void SetLateMs(double ms) const;
  void SetLatencyMs(double ms) const;
  void RefuseSpeedByte(std::uint8_t speedByte) const;
  // Every data reply carries this record.
  void SetRecord(const std::array<std::uint8_t, 95>& record) const;
  void StopStream() const;
  std::vector<sim::KwpEcu::Request> Requests() const;
  std::vector<std::uint8_t> RawCommands() const;
  bool Streaming() const;
  int PacketsSent() const;
  int CorrectionTimes2() const;

 private:
  // The word after `key` in the ECU's state.
  std::string State(const std::string& key) const;
};

// The adapter with the ECU's boot code and loader behind it.
class BootLine : public SimTestLine {
 public:
  using FlashImage = std::array<std::uint8_t, sim::BootEcu::kImageSize>;
  explicit BootLine(std::string name = "line1") : SimTestLine(std::move(name), "boot") {}
  void AddFault(const sim::BootFault& fault) const;
  void SetIdentifier(const std::string& id) const;
  void SetEraseMs(double ms) const;
  void SetEchoGap(double ms, int everyBlocks) const;
  void SetNoReadAfterWrite(bool on) const;
  FlashImage Image() const;
  void SetImage(const FlashImage& image) const;
  std::vector<std::uint8_t> Received() const;
  std::vector<std::uint8_t> UploadedLoader() const;
  int EraseCount() const;
  int WriteBlocksAccepted() const;
  int ReadBlocksSent() const;

 private:
  int State(const std::string& key) const;
};

// The LC-1 on its own lead, reading a fixed mixture (14.7 AFR at first).
class Lc1Line : public SimTestLine {
 public:
  explicit Lc1Line(std::string name = "line2") : SimTestLine(std::move(name), "lc1") {}
  void SetAfr(double afr) const;
  void SetPeriodMs(double ms) const;
  void SetFunctionCode(int f) const;
  void SetGarbageBytes(int n) const;
  void SetHeaderPauseMs(double ms) const;
  void SetTrailingBytes(const std::vector<std::uint8_t>& bytes) const;
  void SetPacketsOn(bool on) const;
  void SetHeaderBytes(std::uint8_t h0, std::uint8_t h1) const;
  void SetSilent(bool on) const;
  std::uint64_t PacketsSent() const;
};
