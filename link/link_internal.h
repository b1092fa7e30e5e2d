#pragma once
// State shared by the link's own units (queue, transmitter, receiver, timer).
// Not for use outside link/.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/bytes.h"
#include "common/worker.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/port.h"

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

// Request queue indices: the slot sent last and the slot filled last; -1 at the
// start of a link; equal when the queue is empty.
extern std::atomic<std::int32_t> QueueHead;
extern std::atomic<std::int32_t> QueueTail;
// The only wake-up of the transmitter.
extern ManualResetEvent WriterEvent;
// 1 when no queued request waits for its reply; only then does queueing into an
// empty queue wake the transmitter.
extern std::atomic<std::uint8_t> WriterIdle;

// Receiver counters since the receiver started (status panels 4 and 5).
extern std::atomic<std::int32_t> ResetCount;
extern std::atomic<std::int32_t> ChecksumErrorCount;
// Data replies not decoded for their length (CountLengthError).
extern std::atomic<std::int32_t> LengthErrorCount;
// Counter values at the end of the last reception and of the last queued write.
extern std::atomic<std::int64_t> LastRxTime;
extern std::atomic<std::int64_t> LastTxTime;
// Milliseconds from the last queued write to the end of its reply.
extern std::atomic<std::int32_t> ResponseTimeMs;


namespace link_detail {

// Back to the state of a program that has just started: no link, queue empty,
// counters at zero. Tests, between cases.
void ResetState();

// Guards the receiver's framer and the current request. The receiver holds it
// while it works on its buffer and releases it around every hand-off into the
// user-interface thread; the transmitter (arming before a write) and
// LeaveUnidirMode take it, so a re-arm never lands in the middle of the
// receiver's work on a chunk.
extern std::mutex RxLock;
// Guarded by RxLock.
extern KLineFramer Framer;
extern MsgBlock CurrentRequest;
extern std::uint8_t CurrentRequestLen;
// Bumped by every re-arm; a receiver that sees it change across a hand-off
// drops what it was working on.
extern std::uint64_t RxGeneration;

// RxLock held. Clears the framer and enters state, expecting the echo of the
// current request.
void ArmReceiver(RxStateValue state);

// Takes the next pending request into slot; false when none. Transmitter.
bool TakeRequest(MsgBlock& slot, std::uint8_t& length);
// Drops every pending request. UI thread.
void DropRequests(bool restart);

// Text shown when the K-line port vanished under a running link.
inline constexpr const char* kPortLostText = "Связь с адаптером K-line потеряна";

std::shared_ptr<WorkerThread> MakeReceiver(PortId port, LinkClient& client);
std::shared_ptr<WorkerThread> MakeTransmitter(PortId port);

}  // namespace link_detail
