// The simulator's lines under Wine: ecusim's test lines line1, line2, ...,
// mapped to COM ports. scripts/windows.sh starts ecusim and says where:
//   VARNEK_SIM_CONTROL  the control channel's TCP port on 127.0.0.1
//   VARNEK_SIM_PORTS    line=COMn pairs, comma-separated
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "sim/control_text.h"
#include "tests/support/sim_client.h"
#include "tests/support/sim_lines.h"

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

}  // namespace

std::string SimCommand(const std::string& command) { return Client().Command(command); }

std::string SimPortOf(const std::string& line) {
  std::istringstream pairs(Env("VARNEK_SIM_PORTS"));
  for (std::string pair; std::getline(pairs, pair, ',');)
    if (pair.rfind(line + "=", 0) == 0) return pair.substr(line.size() + 1);
  throw std::runtime_error("VARNEK_SIM_PORTS names no port for " + line);
}

bool LinesShowEveryRate() { return false; }
