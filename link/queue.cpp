// The request queue, the transmitter's wake-up event and the current request.

#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

namespace {
int NextIndex(int i) { return i >= kQueueSlots - 1 ? 0 : i + 1; }
}  // namespace

namespace link_detail {

void LinkCore::ArmReceiver(RxStateValue state) {
  framer.Arm(state, currentRequest.data(), currentRequestLen);
  ++rxGeneration;
}

bool LinkCore::TakeRequest(MsgBlock& slot, std::uint8_t& length) {
  std::lock_guard<std::mutex> lock(queueMutex);
  if (head == tail) return false;
  head = NextIndex(head);
  slot = entries[head].bytes;
  length = entries[head].length;
  return true;
}

void LinkCore::DropRequests(bool restart) {
  std::lock_guard<std::mutex> lock(queueMutex);
  if (restart) {
    head = -1;
    tail = -1;
  } else {
    head = tail;
  }
}

bool LinkCore::Enqueue(const MsgBlock& block, std::uint8_t length, bool onlyIfEmpty) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    const bool wasEmpty = head == tail;
    if (onlyIfEmpty && !wasEmpty) return false;
    const int i = NextIndex(tail);
    // With equal indices meaning empty, a 201st pending request would make the
    // queue look empty and lose all 200: refuse it instead.
    if (i == head || (head == -1 && i == kQueueSlots - 1)) return false;
    entries[i].bytes = block;
    entries[i].length = length;
    tail = i;
    wake = wasEmpty && writerIdle.load() == 1;
    if (wake) trace->AppendLine(TraceRunWriterLine());
  }
  if (wake) writerEvent.Set();
  return true;
}

bool LinkCore::QueueEmpty() const {
  std::lock_guard<std::mutex> lock(queueMutex);
  return head == tail;
}

int LinkCore::PendingRequests() const {
  std::lock_guard<std::mutex> lock(queueMutex);
  if (head == tail) return 0;
  // Indices run -1 (fresh queue) or 0..200.
  const int h = head < 0 ? kQueueSlots - 1 : head;
  const int t = tail < 0 ? kQueueSlots - 1 : tail;
  return (t - h + kQueueSlots) % kQueueSlots;
}

}  // namespace link_detail

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

bool ManualResetEvent::WaitFor(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; });
}

bool KLineLink::QueueRequest(const MsgBlock& block, std::uint8_t length) {
  return core_->Enqueue(block, length, false);
}

// Checked and queued under one lock: a stop request queued between a separate
// check and the queueing would otherwise be overtaken by a data poll.
bool KLineLink::QueueRequestIfEmpty(const MsgBlock& block, std::uint8_t length) {
  return core_->Enqueue(block, length, true);
}

void KLineLink::DropPendingRequests() { core_->DropRequests(false); }

bool KLineLink::QueueEmpty() const { return core_->QueueEmpty(); }

int KLineLink::PendingRequests() const { return core_->PendingRequests(); }

int KLineLink::CurrentServiceId() const { return LinkSender(*core_, port_).CurrentServiceId(); }

bool LinkSender::QueueRequest(const MsgBlock& block, std::uint8_t length) {
  return core_.Enqueue(block, length, false);
}

bool LinkSender::QueueRequestIfEmpty(const MsgBlock& block, std::uint8_t length) {
  return core_.Enqueue(block, length, true);
}

int LinkSender::CurrentServiceId() const {
  std::lock_guard<std::mutex> lock(core_.rxLock);
  if (core_.currentRequestLen == 0) return -1;
  const MsgBlock& r = core_.currentRequest;
  return r[0] == 0x80 ? r[4] : r[3];
}

void LinkSender::WriteRaw(const std::uint8_t* bytes, int count) {
  if (port_ != kNoPort) WritePortBlocking(port_, bytes, count);
}
