#pragma once
// Named lines with the simulated devices behind them, worked by text
// commands: ecusim serves them on its control channel, and the tests that
// drive the simulator make and script their lines through the same commands,
// in their own process on Linux and through ecusim under Wine. Every knob is
// read in one place, here.
//
// Lines are either adopted (made elsewhere, such as ecusim's K-line and LC-1)
// or made by the bench in its folder, where "device LINE KIND" makes them anew
// with a fresh device: a fresh pseudo-terminal, the device's first state and
// the line's options for that kind.

#include <map>
#include <memory>
#include <string>

#include "sim/boot_ecu.h"
#include "sim/control.h"
#include "sim/kwp_ecu.h"
#include "sim/lc1.h"
#include "sim/sim.h"

namespace sim {

// The devices of one line; those it does not have are null.
struct BenchDevices {
  std::shared_ptr<PuppetDevice> puppet = nullptr;
  std::shared_ptr<KwpEcu> kwp = nullptr;
  std::shared_ptr<BootEcu> boot = nullptr;
  std::shared_ptr<Lc1Device> lc1 = nullptr;
};

class Bench {
 public:
  // Lines made by the bench are <dir>/<name>. anyRate: made lines take the
  // program's bytes whatever rate it set (Wine cannot set 10400); scripted
  // lines always do.
  Bench(std::string dir, bool anyRate);
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // A line made elsewhere, reached by name; "device" does not remake it.
  void Adopt(const std::string& name, SimLine* line, BenchDevices devices);
  // Line `name` made anew with a fresh device of `kind`:
  //   puppet  records and sends what it is told; echo on, no wire time
  //   kwp     the adapter and the ECU's diagnostic side; echo on, the
  //           wake-up byte absorbed, no wire time
  //   boot    the adapter and the ECU's boot code and loader; echo on, no
  //           wire time
  //   lc1     the LC-1 at 14.7 AFR; no echo, no wire time
  //   none    the line removed
  // Raises std::exception when the kind is unknown or the line adopted.
  void Make(const std::string& name, const std::string& kind);

  // The line and devices of `name`, or nullptr: for tests that reach into a
  // device on its line's thread.
  SimLine* Line(const std::string& name) const;
  const BenchDevices* Devices(const std::string& name) const;

  // The commands (see "help"); the bench serves one at a time, from the
  // thread that runs them: the lines' switches and what the program did
  // on them; device; and kwp, boot and lc1 with their knobs and readings.
  void AddCommands(CommandSet& commands);

 private:
  struct Entry {
    std::unique_ptr<SimLine> owned;
    SimLine* line = nullptr;
    BenchDevices devices;
  };
  const Entry& Find(const std::string& name) const;
  // The entry of args[0], after exactly `least`..`most` more words; its puppet.
  const Entry& LineOf(const std::vector<std::string>& args, std::size_t least, std::size_t most) const;
  PuppetDevice& PuppetOf(const std::vector<std::string>& args, std::size_t least, std::size_t most) const;
  void AddLineCommands(CommandSet& commands);
  void AddPuppetCommands(CommandSet& commands);
  void AddDeviceCommands(CommandSet& commands);

  std::string dir_;
  bool anyRate_;
  std::map<std::string, Entry> lines_;
};

}  // namespace sim
