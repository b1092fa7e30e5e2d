#pragma once
// A TCP connection to 127.0.0.1, for clients of the simulator's control
// channel; one implementation per system. Failures raise std::runtime_error.

#include <cstdint>
#include <string>

namespace sim_socket {

using Handle = std::intptr_t;

Handle ConnectLoopback(std::uint16_t port);
void SendAll(Handle h, const std::string& text);
// Some bytes; empty when the other end has closed.
std::string ReceiveSome(Handle h);
void Close(Handle h);

}  // namespace sim_socket
