#include "sim/control.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

// A command line longer than this is refused and the client dropped; a
// flash image in hex fits.
constexpr std::size_t kMaxLine = 256 * 1024;
constexpr std::size_t kMaxReceived = 64 * 1024;

std::runtime_error SysError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

bool SendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// --- ControlChannel ---

ControlChannel::ControlChannel(std::uint16_t port) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (listen_ < 0 || wake_ < 0) {
    auto e = SysError("control channel socket");
    if (listen_ >= 0) ::close(listen_);
    if (wake_ >= 0) ::close(wake_);
    throw e;
  }
  const int one = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  socklen_t length = sizeof addr;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 4) != 0 ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    auto e = SysError("control channel on 127.0.0.1:" + std::to_string(port));
    ::close(listen_);
    ::close(wake_);
    throw e;
  }
  port_ = ntohs(addr.sin_port);
}

ControlChannel::~ControlChannel() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  ::close(listen_);
  ::close(wake_);
}

void CommandSet::On(const std::string& verb, const std::string& usage, Handler handler) {
  commands_[verb] = {usage, std::move(handler)};
}

void ControlChannel::Start() {
  thread_ = std::thread([this] { ThreadMain(); });
}

std::string CommandSet::Execute(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  std::vector<std::string> args;
  in >> verb;
  for (std::string word; in >> word;) args.push_back(word);
  if (verb.empty()) return "error empty command";
  if (verb == "help") {
    std::string all = "ok";
    for (const auto& [name, command] : commands_) all += " | " + command.first;
    return all;
  }
  auto it = commands_.find(verb);
  if (it == commands_.end()) return "error unknown command '" + verb + "' (help lists them)";
  std::lock_guard lock(executeMutex_);
  try {
    const std::string result = it->second.second(args);
    return result.empty() ? "ok" : "ok " + result;
  } catch (const std::exception& e) {
    return std::string("error ") + e.what() + " (usage: " + it->second.first + ")";
  }
}

void ControlChannel::ThreadMain() {
  for (;;) {
    pollfd fds[2] = {{listen_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    ::close(client);
  }
}

void ControlChannel::Serve(int client) {
  std::string pending;
  char buf[4096];
  for (;;) {
    pollfd fds[2] = {{client, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    pending.append(buf, static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!SendAll(client, Execute(line) + "\n")) return;
    }
    if (pending.size() > kMaxLine) {
      SendAll(client, "error command line too long\n");
      return;
    }
  }
}

// --- PuppetDevice ---

void PuppetDevice::OnByte(std::uint8_t b, const LineSettings&) {
  std::lock_guard lock(mutex_);
  received_.push_back(b);
  if (received_.size() > kMaxReceived) received_.erase(received_.begin());
}

void PuppetDevice::SendLater(const std::vector<std::uint8_t>& bytes, double gapMs) {
  if (SimLine* line = Line()) line->Post([this, bytes, gapMs] { Send(bytes, gapMs); });
}

std::vector<std::uint8_t> PuppetDevice::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void PuppetDevice::ClearReceived() {
  std::lock_guard lock(mutex_);
  received_.clear();
}

}  // namespace sim
