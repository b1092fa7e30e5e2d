// The K-line receiver thread: strips the echo, frames replies and packets and
// hands each complete one to the session on the user-interface thread.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "common/ui.h"
#include "ecu/ecu_data.h"
#include "ecu/kwp.h"
#include "ecu/session.h"
#include "ecu/spin.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

std::atomic<std::int32_t> ResetCount{0};
std::atomic<std::int32_t> ChecksumErrorCount{0};
std::atomic<std::int32_t> LengthErrorCount{0};
std::atomic<std::int64_t> LastRxTime{0};
std::atomic<std::int32_t> ResponseTimeMs{0};

using namespace link_detail;

namespace {

// Removes n bytes from the front of the receive buffer (RxLock held).
void DropFront(int n) {
  if (n >= RxCount) {
    RxCount = 0;
    return;
  }
  std::memmove(RxBuffer.data(), RxBuffer.data() + n, RxCount - n);
  RxCount = static_cast<std::uint8_t>(RxCount - n);
}

class TComReadThread : public WorkerThread {
 public:
  TComReadThread(PortId port, std::uint32_t fastestBaud) : port_(port), fastestBaud_(fastestBaud) {}

 protected:
  void Execute() override {
    LowerTimerSlack();
    while (!Terminated()) {
      if (!WaitRxChar(port_)) {
        if (Terminated()) break;
        // Closed by the session without asking us to end: nothing more can
        // arrive on this port, so end instead of failing pass after pass.
        if (PortHandle.load() != port_) return;
        throw EcuError(kPortLostText, "WaitRxChar: the K-line port hung up or failed");
      }
      Pass();
      FlushTrace();
    }
  }

 private:
  using Lock = std::unique_lock<std::mutex>;

  // Runs fn on the user-interface thread with RxLock released, after the
  // trace lines written since the last hand-off (one hand-off carries them
  // all, in order). False when the pass must stop: the thread was asked to
  // end (perhaps by fn itself), or the transmitter or LeaveUnidirMode
  // re-armed the receiver meanwhile.
  bool OnUi(Lock& lk, const std::function<void()>& fn) {
    const std::uint64_t gen = RxGeneration;
    lk.unlock();
    const bool ran = HandOff(fn);
    lk.lock();
    return ran && !Terminated() && gen == RxGeneration;
  }
  bool HandOff(const std::function<void()>& fn) {
    std::vector<std::string> lines;
    lines.swap(lines_);
    return Synchronize([&lines, &fn] {
      for (const std::string& l : lines) TraceAppendLine(l);
      fn();
    });
  }
  // Trace lines go to the user-interface thread with the next hand-off, or at
  // the end of the pass.
  bool Trace(Lock&, std::string line) {
    lines_.push_back(std::move(line));
    return true;
  }
  void FlushTrace() {
    if (!lines_.empty()) HandOff([] {});
  }
  // Runs fn on this thread with RxLock released (port writes, queueing).
  bool Unlocked(Lock& lk, const std::function<void()>& fn) {
    const std::uint64_t gen = RxGeneration;
    lk.unlock();
    fn();
    lk.lock();
    return !Terminated() && gen == RxGeneration;
  }

  // The rest of a message is still on the wire: sleep about the time it takes
  // (at the fastest speed this link may use, so never too long), since the
  // byte wait reports bytes already waiting and would return at once. When
  // nothing arrived since the last such sleep (a stray byte that nothing
  // follows), sleep 5 ms so the pass never spins.
  void SleepForBytes(int bytes, std::uint32_t waiting) {
    const long long byteUs = 10LL * 1000000 / fastestBaud_;
    const long long us =
        waiting == lastShortWaiting_ ? 5000 : std::clamp<long long>(bytes * byteUs, byteUs, 20000);
    lastShortWaiting_ = waiting;
    std::this_thread::sleep_for(std::chrono::microseconds(us));
  }

  void Pass() {
    Lock lk(RxLock);
    const bool unidir = UnidirMode.load() != 0;
    int needed = 0;
    switch (RxState) {
      case RxEcho:
        needed = CurrentRequestLen;
        break;
      case RxHeader:
        needed = unidir ? 2 : 4;
        break;
      case RxBody:
        needed = RxExpected;
        break;
      default:
        PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
        return;
    }
    needed = std::max(0, needed - RxCount);
    const std::uint32_t waiting = PortInQueue(port_);
    // More than 255 bytes wait only when the receiver has fallen behind the
    // packet stream. Their count is not cut to 8 bits: 257 read as 1 would
    // leave a packet that lacks more waiting for bytes that are already here.
    int chunk = static_cast<int>(std::min<std::uint32_t>(waiting, 255));
    // RxBuffer never overflows: take only what fits, the rest stays queued.
    const int room = 255 - RxCount;
    if (room <= 0) {
      RxCount = 0;  // unreachable with headers of at most 255 bytes; never overflow
      return;
    }
    chunk = std::min(chunk, room);
    if (chunk < needed || chunk == 0) {
      lk.unlock();
      FlushTrace();
      SleepForBytes(needed - chunk, waiting);
      return;
    }
    lastShortWaiting_ = UINT32_MAX;
    std::uint8_t chunkBuf[256];
    const int got = ReadPortBlocking(port_, chunkBuf, chunk);
    if (!Trace(lk, TraceReadLine(chunkBuf, got, unidir))) return;
    RxCount = static_cast<std::uint8_t>(AppendBytes(RxBuffer, chunkBuf, RxCount, got));

    if (RxState == RxEcho) {
      const int len = CurrentRequestLen;
      if (RxCount < len) return;
      if (!BytesEqual(RxBuffer.data(), CurrentRequest.data(), len)) {
        ReceiverReset(lk, 150);
        return;
      }
      DropFront(len);
      RxState = RxHeader;
      if (RxCount < 4 || UnidirMode.load()) return;
    }
    FramingLoop(lk);
  }

  void FramingLoop(Lock& lk) {
    for (;;) {
      const bool unidir = UnidirMode.load() != 0;
      if (RxState == RxHeader) {
        ReplyCountdown = -1;
        RxExpected =
            unidir ? FindSpinSync(RxBuffer, RxCount, sum_) : ParseReplyHeader(RxBuffer, RxCount, sum_);
        if (RxExpected == -1 && unidir) {
          if (RxCount > 0) {
            RxBuffer[0] = RxBuffer[RxCount - 1];
            RxCount = 1;
          }
          ReplyCountdown = 10;
          return;
        }
        // A header announcing more than the buffer holds is as bad as a wrong one.
        if (RxExpected == -1 || RxExpected > 255) {
          ReceiverReset(lk, 100);
          return;
        }
        RxState = RxBody;
        if (RxCount < RxExpected) {
          const std::string line = TraceWaitMsgEndLine(RxCount, RxExpected);
          ReplyCountdown = 10;
          Trace(lk, line);
          return;
        }
      }
      if (RxState != RxBody) return;

      // The message is complete.
      ReplyCountdown = -1;
      if (LeaveUnidirRequest.load()) {
        if (!Unlocked(lk, [] { SendSwitchBack(); })) return;
        if (!Trace(lk, TraceSendSwitchToBModeLine())) return;
      }
      const MsgBlock message = RxBuffer;
      // A reply ends where its header says. Bytes behind it in the same read
      // are not part of it: after the reply that starts the packet stream
      // they are its first packet, which may well come in the same read.
      const std::uint8_t count = unidir ? RxCount : static_cast<std::uint8_t>(RxExpected);
      // The steps after the hand-off that run on the user-interface thread
      // go with it: the MsgEnd line and, still in B mode, the response time
      // and whether polling runs. Nothing of this thread happens between them.
      bool polling = false;
      bool exchangeClosed = false;
      auto afterHandOff = [this, &polling, &exchangeClosed] {
        // Also when the hand-off ended the link (C2, 7F 81, 7F 10): the trace
        // shows the pass to its end.
        TraceAppendLine(TraceMsgEndLine());
        if (Terminated() || UnidirMode.load()) return;
        UpdateResponseTime();
        polling = Ui().MsgTimerEnabled();
        exchangeClosed = true;
      };
      if (unidir) {
        const int inForce = static_cast<int>(EcuData.CorrUOZ.load());  // truncated toward zero
        const std::int8_t wanted = RequestedCorrUOZ.load();
        if (inForce != wanted && !Unlocked(lk, [wanted] { SendCorrUOZ(wanted); })) return;
        if (!OnUi(lk, [&] {
              HandleSpinPacket(message.data(), count);
              afterHandOff();
            }))
          return;
      } else {
        const std::uint16_t total = static_cast<std::uint16_t>(sum_ + Sum16(RxBuffer.data(), count - 1));
        if ((total & 0xFF) == RxBuffer[count - 1]) {
          if (!OnUi(lk, [&] {
                DispatchReply(message.data(), count);
                afterHandOff();
              }))
            return;
        } else {
          ChecksumErrorCount.fetch_add(1);
          if (!OnUi(lk, [&] {
                ShowLinkCounters();
                afterHandOff();
              }))
            return;
        }
      }

      if (UnidirMode.load()) {
        RxState = RxHeader;
        // After the reply that switched to the packet stream, what follows it
        // is the stream's start.
        DropFront(unidir ? 7 : count);
        ReplyCountdown = 15;
        if (RxCount >= 2) continue;
        LastRxTime.store(PerfCounter());
        return;
      }

      RxState = RxIdle;
      if (!exchangeClosed && !OnUi(lk, [&polling] {
            UpdateResponseTime();
            polling = Ui().MsgTimerEnabled();
          }))
        return;
      lk.unlock();
      if (polling && TCfg.DataInterval.load() == 0 && QueueEmpty()) RequestData();
      PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
      LastRxTime.store(PerfCounter());
      WriterIdle.store(1);
      if (!Terminated()) WriterEvent.Set();
      lk.lock();
      return;
    }
  }

  // After a bad echo or header: count, repeat the request, drop the input.
  void ReceiverReset(Lock& lk, int ms) {
    ResetCount.fetch_add(1);
    lk.unlock();
    HandOff([] { ShowLinkCounters(); });
    if (RetryLastRequest()) {
      HandOff([] { TraceAppendLine(TraceResetLine()); });
    } else {
      // The repeats of a start request are used up: end as on a time-out. The
      // Reset line goes first; once the link has ended nothing more is handed over.
      HandOff([] {
        TraceAppendLine(TraceResetLine());
        EcuEndLink(kNoAnswerText);
      });
    }
    lk.lock();
    ReplyCountdown = -1;
    RxState = RxIdle;
    lk.unlock();
    if (ms > 0) DelayMs(static_cast<std::uint16_t>(ms));
    // A receiver of an ended link stays quiet: its signal could wake the
    // transmitter of the next link in the middle of an exchange.
    if (Terminated()) {
      lk.lock();
      return;
    }
    PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    WriterIdle.store(1);
    WriterEvent.Set();
    lk.lock();
  }

  PortId port_;
  std::uint32_t fastestBaud_;
  std::uint16_t sum_ = 0;                        // checksum accumulator: the header's sum
  std::vector<std::string> lines_;               // trace lines not yet handed over
  std::uint32_t lastShortWaiting_ = UINT32_MAX;  // queue count at the last short sleep
};

}  // namespace

namespace link_detail {
std::shared_ptr<WorkerThread> MakeReceiver(PortId port) {
  const std::uint32_t baud = std::max<std::uint32_t>(BaudTable[0], BaudTable[ValidSpeedIndex(TCfg.CBR)]);
  return std::make_shared<TComReadThread>(port, baud);
}
}  // namespace link_detail
