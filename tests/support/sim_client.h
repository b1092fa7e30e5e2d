#pragma once
// A client of the simulator's control channel (ecusim --control).

#include <cstdint>
#include <string>

#include "tests/support/sim_socket.h"

class SimClient {
 public:
  explicit SimClient(std::uint16_t port);
  ~SimClient();
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  // The whole answer line to one command, "ok ..." or "error ...".
  std::string Ask(const std::string& command);
  // The result of an "ok" answer (may be empty); an "error" answer raises
  // std::runtime_error with its text.
  std::string Command(const std::string& command);

 private:
  sim_socket::Handle socket_;
  std::string pending_;
};
