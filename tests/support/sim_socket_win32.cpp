#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "tests/support/sim_socket.h"

namespace sim_socket {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("control channel: " + what + ": Winsock error " +
                           std::to_string(WSAGetLastError()));
}

}  // namespace

Handle ConnectLoopback(std::uint16_t port) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) Fail("WSAStartup");
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = WSAGetLastError();
    ::closesocket(s);
    WSASetLastError(err);
    Fail("connect to 127.0.0.1:" + std::to_string(port));
  }
  return static_cast<Handle>(s);
}

void SendAll(Handle h, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const int n = ::send(static_cast<SOCKET>(h), text.data() + sent, static_cast<int>(text.size() - sent), 0);
    if (n <= 0) Fail("send");
    sent += static_cast<std::size_t>(n);
  }
}

std::string ReceiveSome(Handle h) {
  char buf[4096];
  const int n = ::recv(static_cast<SOCKET>(h), buf, sizeof buf, 0);
  if (n < 0) Fail("recv");
  return std::string(buf, static_cast<std::size_t>(n));
}

void Close(Handle h) { ::closesocket(static_cast<SOCKET>(h)); }

}  // namespace sim_socket
