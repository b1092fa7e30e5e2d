#pragma once
// The simulator's control channel: text commands over TCP on 127.0.0.1, one
// per line, each answered by one line, "ok" with any result after a blank,
// or "error" and the reason. Tests that cannot reach the simulator's process
// otherwise (a Windows test program under Wine) work its switches through it.
//
// Also the device such tests script: PuppetDevice, which has no behaviour of
// its own.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/control_text.h"
#include "sim/sim.h"

namespace sim {

// Commands by verb, each answered by one line: "ok" with any result after a
// blank, or "error" and the reason. Test fixtures run them in their own
// process; ControlChannel serves them over TCP.
class CommandSet {
 public:
  // Gets the command's words after the verb; returns the result (may be
  // empty); raises std::exception to answer with an error.
  using Handler = std::function<std::string(const std::vector<std::string>& args)>;

  // Adds a command; usage is shown by "help". Before the first Execute only.
  void On(const std::string& verb, const std::string& usage, Handler handler);
  // One command line in, its answer out (no newline). Any thread; one
  // command at a time.
  std::string Execute(const std::string& line);

 private:
  std::map<std::string, std::pair<std::string, Handler>> commands_;
  std::mutex executeMutex_;
};

class ControlChannel : public CommandSet {
 public:
  // Listens on 127.0.0.1:port (0: a free port, see Port()). Raises
  // std::runtime_error when it cannot.
  explicit ControlChannel(std::uint16_t port = 0);
  // Stops serving and closes the connection.
  ~ControlChannel();
  ControlChannel(const ControlChannel&) = delete;
  ControlChannel& operator=(const ControlChannel&) = delete;

  std::uint16_t Port() const { return port_; }
  // Serves one client at a time, on a thread of its own; handlers run there.
  void Start();

 private:
  void ThreadMain();
  void Serve(int client);

  int listen_ = -1;
  int wake_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

// A device with no behaviour of its own: it records what reaches it and sends
// what it is told.
class PuppetDevice : public SimDevice {
 public:
  explicit PuppetDevice(LineSettings settings = {}) : settings_(settings) {}
  LineSettings Settings() const override { return settings_; }
  void OnByte(std::uint8_t b, const LineSettings& program) override;
  // Any thread: the bytes leave after gapMs, through the line's thread.
  void SendLater(const std::vector<std::uint8_t>& bytes, double gapMs = 0);
  // What reached the device, the newest 64 KiB at most.
  std::vector<std::uint8_t> Received() const;
  void ClearReceived();

 private:
  const LineSettings settings_;
  mutable std::mutex mutex_;
  std::vector<std::uint8_t> received_;
};

}  // namespace sim
