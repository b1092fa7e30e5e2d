#include "tests/support/sim_client.h"

#include <stdexcept>

SimClient::SimClient(std::uint16_t port) : socket_(sim_socket::ConnectLoopback(port)) {}

SimClient::~SimClient() { sim_socket::Close(socket_); }

std::string SimClient::Ask(const std::string& command) {
  sim_socket::SendAll(socket_, command + "\n");
  std::size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    const std::string more = sim_socket::ReceiveSome(socket_);
    if (more.empty()) throw std::runtime_error("control channel closed after: " + command);
    pending_ += more;
  }
  std::string answer = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return answer;
}

std::string SimClient::Command(const std::string& command) {
  const std::string answer = Ask(command);
  if (answer == "ok") return {};
  if (answer.rfind("ok ", 0) == 0) return answer.substr(3);
  throw std::runtime_error(command + ": " + answer);
}
