#pragma once
// The K-line link: the request queue, the transmitter and receiver threads,
// the 100 ms link timer and the switches between request/reply (B) and
// unidirectional (U) mode. Each function names the threads that may call it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/ui.h"
#include "link/port.h"

class ExchangeTrace;
class KLinePort;
class WorkerThread;
namespace link_detail {
struct LinkCore;
}

// One link's request queue and port as a LinkClient call may use them: the
// receiver hands the session its own link's sender, so a repeat or a raw
// command never reaches another link, however the session's link changes
// meanwhile. Valid only during the call it is handed to. Any thread.
class LinkSender {
 public:
  LinkSender(link_detail::LinkCore& core, PortId port) : core_(core), port_(port) {}
  // Queues a request (bytes with checksum); false and dropped when 200 are
  // already pending.
  bool QueueRequest(const MsgBlock& block, std::uint8_t length);
  // Queues the request only when none is pending, checked under the queue's lock.
  bool QueueRequestIfEmpty(const MsgBlock& block, std::uint8_t length);
  // Service identifier of the request whose reply is awaited; -1 when none.
  int CurrentServiceId() const;
  // Writes bytes to the port at once, outside the queue (the packet stream's
  // raw commands). Nothing without a port.
  void WriteRaw(const std::uint8_t* bytes, int count);

 private:
  link_detail::LinkCore& core_;
  PortId port_;
};

// The ECU session as the link sees it, registered for the link's life: what
// the receiver frames goes to it, and the link asks it for what only the
// session knows (the repeat of a garbled request, the next data request, the
// raw commands of the packet stream). Each method runs on the thread it names.
class LinkClient {
 public:
  virtual ~LinkClient() = default;
  // UI thread. A complete reply whose checksum matched: data starts at the
  // service identifier; count holds the data and the checksum byte.
  virtual void OnReply(const std::uint8_t* data, int count) = 0;
  // UI thread. A crank packet of the unidirectional stream: its 7 bytes and
  // any that followed them in the same read (count >= 7).
  virtual void OnPacket(const std::uint8_t* data, int count) = 0;
  // Receiver thread. The exchange was garbled (a bad echo or reply header):
  // queues its repeat on link. False when the repeats are used up and the
  // link must end.
  virtual bool OnGarbled(LinkSender& link) = 0;
  // UI thread. The link must end: text says why (no answer in time, the
  // repeats used up, a link thread that died); empty when it ended quietly.
  virtual void OnLinkLost(const std::string& text) = 0;
  // UI or receiver thread. Queues the next data request on link unless
  // another request is pending (QueueRequestIfEmpty).
  virtual void RequestNextData(LinkSender& link) = 0;
  // Receiver thread, before a complete message is handed over: the raw
  // commands of the packet stream. True once the user asked to leave the
  // stream; SendSwitchBack then writes the command that ends it.
  virtual bool SwitchBackRequested() = 0;
  virtual void SendSwitchBack(LinkSender& link) = 0;
  // U mode: the ignition correction to send while the one the ECU reports
  // differs from the one asked for.
  virtual std::optional<std::int8_t> CorrectionToSend() = 0;
  virtual void SendCorrection(LinkSender& link, std::int8_t correction) = 0;
  // UI thread. What the link measures and counts: the response time of the
  // last request, once per write; the receiver's resets and the replies it
  // dropped for their checksum or their length.
  virtual void OnResponseTime(int ms) = 0;
  virtual void OnCounters(int resets, int badReplies) = 0;
  // UI thread (link timer). The packet stream has ended: back in request/reply mode.
  virtual void OnUnidirEnded() = 0;
};

// The message of a link that got no answer in time.
inline constexpr const char* kNoAnswerText = " Нет ответа от ЭБУ      ";

// The request queue's slots; one stays free, so 200 requests can wait.
inline constexpr int kQueueSlots = 201;

// One link on one open K-line port, from the start of its threads to their
// stop. The threads share the link's state with it and keep that state alive
// until they end, so a stopped link's threads never reach freed memory; they
// use only the port's id (closing the port wakes them).
class KLineLink {
 public:
  // UI thread. Starts the receiver and transmitter on port; client takes what
  // they frame until the link stops, and must outlive the threads. The
  // exchange goes into trace, which the threads keep until they end.
  KLineLink(const KLinePort& port, LinkClient& client, std::shared_ptr<ExchangeTrace> trace);
  // Stops the link (Stop).
  ~KLineLink();
  KLineLink(const KLineLink&) = delete;
  KLineLink& operator=(const KLineLink&) = delete;

  // UI thread. Asks both threads to end (never waits), stops the link timer
  // and drops pending requests; the owner closes the port next, which wakes
  // the receiver. A second call does nothing more.
  void Stop();
  // UI thread. True while the threads have been neither stopped nor died.
  bool ThreadsRunning() const;
  // UI thread, after Stop and the port's close (which wakes the receiver).
  // Waits until no thread of this link runs any more, so none can reach the
  // client (each holds the link's state until it ends); false when one still
  // runs after timeout.
  bool WaitThreadsEnded(std::chrono::milliseconds timeout) const;

  // UI or receiver thread. Queues a request (bytes with checksum). Returns
  // false and drops it when 200 requests are already pending.
  bool QueueRequest(const MsgBlock& block, std::uint8_t length);
  // UI or receiver thread. Queues the request only when none is pending.
  bool QueueRequestIfEmpty(const MsgBlock& block, std::uint8_t length);
  // UI thread. Drops every pending request.
  void DropPendingRequests();
  // Any thread.
  bool QueueEmpty() const;
  int PendingRequests() const;
  // Any thread. Service identifier of the request whose reply is awaited; -1 when none.
  int CurrentServiceId() const;

  // UI thread. This link's queue and port for a LinkClient call.
  LinkSender Sender() { return LinkSender(*core_, port_); }

  // UI thread. Whether the receiver asks the client for the next data request
  // as soon as a reply is in (polling without pause). Off at the start.
  void SetPolling(bool on);

  // Any thread. 1 while the ECU streams packets.
  bool Unidir() const;
  // UI thread. The ECU confirmed the packet stream: U mode, queue emptied.
  void EnterUnidirMode();
  // UI thread (link timer). The packet stream ended: back to B mode.
  void LeaveUnidirMode();

  // UI thread. The 100 ms link timer calling TimerTick (UiTimer).
  void StartTimer();
  void StopTimer();
  bool TimerActive() const;
  // UI thread. Reply time-outs, the end of U mode, and the end of a link whose
  // thread died on a port error.
  void TimerTick();
  // Any thread. 100 ms ticks left until the reply is overdue; -1 not armed.
  std::int32_t ReplyCountdown() const;

  // UI thread. Counts a data reply not decoded for its length; it is a bad
  // reply as a checksum error is.
  void CountLengthError();
  // UI thread. Reports the receiver counters to the client (OnCounters).
  void ShowCounters();
  // Any thread. The receiver counters since the link started.
  int ResetCount() const;
  int ChecksumErrorCount() const;
  // Milliseconds from the last queued write to the end of its reply.
  int ResponseTimeMs() const;
  // Any thread. 1 when no queued request waits for its reply.
  bool WriterIdle() const;

  // Tests: the link's state without threads (the queue, the current request).
  static std::unique_ptr<KLineLink> WithoutThreads(LinkClient& client, std::shared_ptr<ExchangeTrace> trace);
  link_detail::LinkCore& Core() { return *core_; }

 private:
  KLineLink(LinkClient& client, std::shared_ptr<ExchangeTrace> trace);

  std::shared_ptr<link_detail::LinkCore> core_;
  LinkClient& client_;
  PortId port_ = kNoPort;  // none without threads
  // The threads own themselves; these are kept to ask them to end and to
  // notice one that died.
  std::shared_ptr<WorkerThread> reader_;
  std::shared_ptr<WorkerThread> writer_;
  UiTimer timer_;
};
