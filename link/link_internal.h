#pragma once
// State shared by the link object and its threads. Not for use outside link/.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/bytes.h"
#include "common/shared_value.h"
#include "common/worker.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/port.h"
#include "link/trace.h"

// A manual-reset event: stays signalled until Reset. Any thread.
class ManualResetEvent {
 public:
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until signalled or ms have passed; true when signalled.
  bool WaitFor(int ms);

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

namespace link_detail {

// Text shown when the K-line port vanished under a running link.
inline constexpr const char* kPortLostText = "Связь с адаптером K-line потеряна";

// What one link's object and threads share; the threads hold it until they end.
struct LinkCore {
  // Queues a request; false when refused (full, or not empty with onlyIfEmpty).
  bool Enqueue(const MsgBlock& block, std::uint8_t length, bool onlyIfEmpty);
  // Takes the next pending request into slot; false when none. Transmitter.
  bool TakeRequest(MsgBlock& slot, std::uint8_t& length);
  // Drops every pending request; restart also sets the indices back to -1.
  void DropRequests(bool restart);
  bool QueueEmpty() const;
  int PendingRequests() const;
  // RxLock held. Clears the framer and enters state, expecting the echo of the
  // current request.
  void ArmReceiver(RxStateValue state);
  // UI thread. The counters to the client.
  void ShowCounters(LinkClient& client) const;
  // UI thread. The time since the last queued write to the client, once per write.
  void UpdateResponseTime(LinkClient& client);

  // Request queue indices: the slot sent last and the slot filled last; -1 at
  // the start of a link; equal when the queue is empty. Guarded by queueMutex.
  mutable std::mutex queueMutex;
  struct Slot {
    MsgBlock bytes{};
    std::uint8_t length = 0;
  };
  Slot entries[kQueueSlots];  // not "slots": a Qt keyword where the window includes this
  std::int32_t head = -1;
  std::int32_t tail = -1;

  // The only wake-up of the transmitter.
  ManualResetEvent writerEvent;
  // 1 when no queued request waits for its reply; only then does queueing into
  // an empty queue wake the transmitter.
  std::atomic<std::uint8_t> writerIdle{1};

  // Receiver counters (status panels 4 and 5); data replies not decoded for
  // their length (CountLengthError).
  std::atomic<std::int32_t> resetCount{0};
  std::atomic<std::int32_t> checksumErrorCount{0};
  std::atomic<std::int32_t> lengthErrorCount{0};
  // Counter values at the end of the last reception and of the last queued write.
  std::atomic<std::int64_t> lastRxTime{0};
  std::atomic<std::int64_t> lastTxTime{0};
  // Milliseconds from the last queued write to the end of its reply.
  std::atomic<std::int32_t> responseTimeMs{0};
  std::int64_t lastTxSeen = 0;  // UI thread

  SharedValue<std::uint8_t> unidirMode;          // 1 while the ECU streams packets
  SharedValue<std::int32_t> replyCountdown{-1};  // 100 ms ticks left; -1 not armed
  std::atomic<bool> polling{false};              // the receiver asks for the next data

  // The session's trace; never null.
  std::shared_ptr<ExchangeTrace> trace;

  // Guards the receiver's framer and the current request. The receiver holds it
  // while it works on its buffer and releases it around every hand-off into the
  // user-interface thread; the transmitter (arming before a write) and
  // LeaveUnidirMode take it, so a re-arm never lands in the middle of the
  // receiver's work on a chunk.
  mutable std::mutex rxLock;
  // Guarded by rxLock.
  KLineFramer framer;
  MsgBlock currentRequest{};
  std::uint8_t currentRequestLen = 0;
  // Bumped by every re-arm; a receiver that sees it change across a hand-off
  // drops what it was working on.
  std::uint64_t rxGeneration = 0;
};

std::shared_ptr<WorkerThread> MakeReceiver(PortId port, std::shared_ptr<LinkCore> core, LinkClient& client);
std::shared_ptr<WorkerThread> MakeTransmitter(PortId port, std::shared_ptr<LinkCore> core);

}  // namespace link_detail
