// Test lines on Windows: the simulator's scripted lines line1, line2, ...,
// mapped to COM ports. scripts/windows.sh starts the simulator and says where:
//   VARNEK_SIM_CONTROL  the control channel's TCP port on 127.0.0.1
//   VARNEK_SIM_PORTS    line=COMn pairs, comma-separated
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "sim/control_text.h"
#include "tests/support/sim_client.h"
#include "tests/support/test_line.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v)
    throw std::runtime_error(std::string(name) + " is not set: run the tests with scripts/windows.sh");
  return v;
}

SimClient& Client() {
  static SimClient client(static_cast<std::uint16_t>(sim::ParseNumber(Env("VARNEK_SIM_CONTROL"), 1, 65535)));
  return client;
}

std::string PortOf(const std::string& line) {
  std::istringstream pairs(Env("VARNEK_SIM_PORTS"));
  for (std::string pair; std::getline(pairs, pair, ',');)
    if (pair.rfind(line + "=", 0) == 0) return pair.substr(line.size() + 1);
  throw std::runtime_error("VARNEK_SIM_PORTS names no port for " + line);
}

class RemoteLine : public TestLine {
 public:
  explicit RemoteLine(int index) : name_("line" + std::to_string(index + 1)), port_(PortOf(name_)) {
    Client().Command("reset " + name_);
  }
  std::string PortName() const override { return port_; }
  void SetEcho(bool on) override { Client().Command("echo " + name_ + (on ? " on" : " off")); }
  void SetAbsorbWakeByte(bool on) override {
    Client().Command("absorb-wake " + name_ + (on ? " on" : " off"));
  }
  void DeviceSends(const std::vector<std::uint8_t>& bytes, double gapMs) override {
    Client().Command("send " + name_ + " " + sim::ToHex(bytes) + " " + std::to_string(gapMs));
  }
  std::vector<std::uint8_t> DeviceReceived() override {
    return sim::ParseHex(Client().Command("received " + name_));
  }
  LineView ProgramSettings() override {
    std::istringstream in(Client().Command("settings " + name_));
    LineView v;
    std::string key;
    int parity = 0, raw = 0;
    in >> key >> v.baud >> key >> v.dataBits >> key >> parity >> key >> v.stopBits >> key >> raw;
    v.parity = parity != 0;
    v.raw = raw != 0;
    return v;
  }

 private:
  std::string name_;
  std::string port_;
};

}  // namespace

std::unique_ptr<TestLine> MakeTestLine(int index) { return std::make_unique<RemoteLine>(index); }

bool LinesShowEveryRate() { return false; }
