// The request queue, the transmitter's wake-up event and the current request.

#include <cstring>

#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

std::atomic<std::int32_t> QueueHead{-1};
std::atomic<std::int32_t> QueueTail{-1};
ManualResetEvent WriterEvent;
std::atomic<std::uint8_t> WriterIdle{1};

namespace {
// One lock for the producers (UI and receiver threads) and the consumer.
std::mutex g_queueMutex;
struct Slot {
  MsgBlock bytes{};
  std::uint8_t length = 0;
};
Slot g_slots[kQueueSlots];

int NextIndex(int i) { return i >= kQueueSlots - 1 ? 0 : i + 1; }
}  // namespace

namespace link_detail {

std::mutex RxLock;
KLineFramer Framer;
MsgBlock CurrentRequest{};
std::uint8_t CurrentRequestLen = 0;
std::uint64_t RxGeneration = 0;

void ArmReceiver(RxStateValue state) {
  Framer.Arm(state, CurrentRequest.data(), CurrentRequestLen);
  ++RxGeneration;
}

bool TakeRequest(MsgBlock& slot, std::uint8_t& length) {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  int head = QueueHead.load();
  if (head == QueueTail.load()) return false;
  head = NextIndex(head);
  slot = g_slots[head].bytes;
  length = g_slots[head].length;
  QueueHead.store(head);
  return true;
}

void DropRequests(bool restart) {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  if (restart) {
    QueueHead.store(-1);
    QueueTail.store(-1);
  } else {
    QueueHead.store(QueueTail.load());
  }
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

namespace {
bool Enqueue(const MsgBlock& block, std::uint8_t length, bool onlyIfEmpty) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(g_queueMutex);
    const int head = QueueHead.load();
    const int tail = QueueTail.load();
    const bool wasEmpty = head == tail;
    if (onlyIfEmpty && !wasEmpty) return false;
    const int i = NextIndex(tail);
    // With equal indices meaning empty, a 201st pending request would make the
    // queue look empty and lose all 200: refuse it instead.
    if (i == head || (head == -1 && i == kQueueSlots - 1)) return false;
    g_slots[i].bytes = block;
    g_slots[i].length = length;
    QueueTail.store(i);
    wake = wasEmpty && WriterIdle.load() == 1;
    if (wake) TraceAppendLine(TraceRunWriterLine());
  }
  if (wake) WriterEvent.Set();
  return true;
}
}  // namespace

bool QueueRequest(MsgBlock block, std::uint8_t length) { return Enqueue(block, length, false); }

// Checked and queued under one lock: a stop request queued between a separate
// check and the queueing would otherwise be overtaken by a data poll.
bool QueueRequestIfEmpty(MsgBlock block, std::uint8_t length) { return Enqueue(block, length, true); }

void DropPendingRequests() { link_detail::DropRequests(false); }

bool QueueEmpty() {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  return QueueHead.load() == QueueTail.load();
}

int PendingRequests() {
  std::lock_guard<std::mutex> lock(g_queueMutex);
  const int head = QueueHead.load();
  const int tail = QueueTail.load();
  if (head == tail) return 0;
  // Indices run -1 (fresh queue) or 0..200.
  const int h = head < 0 ? kQueueSlots - 1 : head;
  const int t = tail < 0 ? kQueueSlots - 1 : tail;
  return (t - h + kQueueSlots) % kQueueSlots;
}

int CurrentServiceId() {
  std::lock_guard<std::mutex> lock(link_detail::RxLock);
  using link_detail::CurrentRequest;
  if (link_detail::CurrentRequestLen == 0) return -1;
  return CurrentRequest[0] == 0x80 ? CurrentRequest[4] : CurrentRequest[3];
}
