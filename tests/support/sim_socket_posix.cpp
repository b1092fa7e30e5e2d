#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tests/support/sim_socket.h"

namespace sim_socket {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("control channel: " + what + ": " + std::strerror(errno));
}

}  // namespace

Handle ConnectLoopback(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    Fail("connect to 127.0.0.1:" + std::to_string(port));
  }
  return fd;
}

void SendAll(Handle h, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(static_cast<int>(h), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("send");
    sent += static_cast<std::size_t>(n);
  }
}

std::string ReceiveSome(Handle h) {
  char buf[4096];
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(h), buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("recv");
    return std::string(buf, static_cast<std::size_t>(n));
  }
}

void Close(Handle h) { ::close(static_cast<int>(h)); }

}  // namespace sim_socket
