#pragma once
// What an ECU session tells its owner (the main window, a test): the link's
// state, its figures and the texts the user must see. Every call runs on the
// user-interface thread. Defaults do nothing, so an owner overrides only what
// it shows or observes.

#include <cstdint>
#include <string>

class SessionEvents {
 public:
  // A connect starts: attempt 0 is the user's own, 1..attempts those of a
  // reconnection after a lost session.
  virtual void OnConnecting(int /*attempt*/, int /*attempts*/) {}
  // The diagnostic session is established; polling runs.
  virtual void OnConnected() {}
  // The link is down (its threads stopped, the port closed), or a connect
  // failed, or a reconnection's wait ended: a run cut off by it ends there.
  virtual void OnDisconnected() {}
  // The ECU started (on) or stopped (off) streaming crank packets.
  virtual void OnUnidirMode(bool /*on*/) {}
  // A lost session waits before reconnection attempt `attempt` of `attempts`.
  virtual void OnReconnectWaiting(int /*attempt*/, int /*attempts*/) {}
  // The link ended for `reason` (a reply time-out, a port error) and no
  // reconnection follows.
  virtual void OnLinkEnded(const std::string& /*reason*/) {}

  // The last request's response time.
  virtual void OnResponseTime(int /*ms*/) {}
  // The receiver's counters of this link: its resets and the replies dropped
  // for their checksum or their length.
  virtual void OnLinkCounters(int /*resets*/, int /*badReplies*/) {}
  // The ECU's negative replies in this connection.
  virtual void OnNegativeReplies(std::uint32_t /*count*/) {}
  // A data reply or crank packet arrived (the reply rate counts them).
  virtual void OnReply() {}
  // The reply rate starts counting afresh (a new session or mode).
  virtual void OnReplyCountRestart() {}

  // A notice for the user (a plain box): the ECU refused the line speed.
  virtual void OnMessage(const std::string& /*text*/) {}
  // An error for the user (an error box): the CSV log could not be written.
  virtual void OnError(const std::string& /*text*/) {}

 protected:
  ~SessionEvents() = default;
};
