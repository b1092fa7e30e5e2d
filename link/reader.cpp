// The K-line receiver thread: strips the echo, frames replies and packets and
// hands each complete one to the session on the user-interface thread.

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "common/ui.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

using namespace link_detail;

namespace {

using Event = KLineFramer::Event;

class TComReadThread : public WorkerThread {
 public:
  TComReadThread(PortId port, std::uint32_t fastestBaud, std::shared_ptr<LinkCore> core, LinkClient& client)
      : port_(port), fastestBaud_(fastestBaud), core_(std::move(core)), c_(*core_), client_(client) {}

 protected:
  void Execute() override {
    LowerTimerSlack();
    while (!Terminated()) {
      if (!WaitRxChar(port_)) {
        if (Terminated()) break;
        // Closed by the session without asking us to end: nothing more can
        // arrive on this port, so end instead of failing pass after pass.
        if (!PortIsOpen(port_)) return;
        throw EcuError(kPortLostText, "WaitRxChar: the K-line port hung up or failed");
      }
      try {
        Pass();
      } catch (const EcuError&) {
        // The same when the session closed the port between the wait and a read.
        if (!PortIsOpen(port_)) return;
        throw;
      }
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
    const std::uint64_t gen = c_.rxGeneration;
    lk.unlock();
    const bool ran = HandOff(fn);
    lk.lock();
    return ran && !Terminated() && gen == c_.rxGeneration;
  }
  bool HandOff(const std::function<void()>& fn) {
    std::vector<std::string> lines;
    lines.swap(lines_);
    return Synchronize([this, &lines, &fn] {
      for (const std::string& l : lines) c_.trace->AppendLine(l);
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
    const std::uint64_t gen = c_.rxGeneration;
    lk.unlock();
    fn();
    lk.lock();
    return !Terminated() && gen == c_.rxGeneration;
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
    SleepFor(std::chrono::microseconds(us));
  }

  void Pass() {
    Lock lk(c_.rxLock);
    const bool unidir = c_.unidirMode.load() != 0;
    const int needed = c_.framer.Missing(unidir);
    if (needed < 0) {
      PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
      return;
    }
    const std::uint32_t waiting = PortInQueue(port_);
    // More than 255 bytes wait only when the receiver has fallen behind the
    // packet stream. Their count is not cut to 8 bits: 257 read as 1 would
    // leave a packet that lacks more waiting for bytes that are already here.
    int chunk = static_cast<int>(std::min<std::uint32_t>(waiting, 255));
    // The buffer never overflows: take only what fits, the rest stays queued.
    const int room = c_.framer.Room();
    if (room <= 0) {
      c_.framer.Discard();  // unreachable with headers of at most 255 bytes; never overflow
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
    c_.framer.Append(chunkBuf, got);
    FramingLoop(lk);
  }

  void FramingLoop(Lock& lk) {
    for (;;) {
      const Event event = c_.framer.Next(c_.unidirMode.load() != 0);
      switch (event) {
        case Event::None:
          return;
        case Event::BadEcho:
          ReceiverReset(lk, 150);
          return;
        case Event::BadHeader:
          ReceiverReset(lk, 100);
          return;
        case Event::NoSync:
          c_.replyCountdown = 10;
          return;
        case Event::WaitBody: {
          const std::string line = TraceWaitMsgEndLine(c_.framer.Count(), c_.framer.Expected());
          c_.replyCountdown = 10;
          Trace(lk, line);
          return;
        }
        case Event::Reply:
        case Event::BadChecksum:
        case Event::Packet:
          if (!MessageComplete(lk, event)) return;
          break;
      }
    }
  }

  // A complete reply or packet: the raw commands due before it, its hand-off,
  // then the end of the exchange (B mode) or the step to the next packet (U
  // mode). True when the next packet is already here.
  bool MessageComplete(Lock& lk, Event event) {
    c_.replyCountdown = -1;
    if (client_.SwitchBackRequested()) {
      if (!Unlocked(lk, [this] { client_.SendSwitchBack(sender_); })) return false;
      if (!Trace(lk, TraceSendSwitchToBModeLine())) return false;
    }
    const MsgBlock message = c_.framer.Buffer();
    const std::uint8_t count = c_.framer.MessageLength();
    // The steps after the hand-off that run on the user-interface thread
    // go with it: the MsgEnd line and, still in B mode, the response time
    // and whether polling runs. Nothing of this thread happens between them.
    bool polling = false;
    bool exchangeClosed = false;
    auto afterHandOff = [this, &polling, &exchangeClosed] {
      // Also when the hand-off ended the link (C2, 7F 81, 7F 10): the trace
      // shows the pass to its end.
      c_.trace->AppendLine(TraceMsgEndLine());
      if (Terminated() || c_.unidirMode.load()) return;
      c_.UpdateResponseTime(client_);
      polling = c_.polling.load();
      exchangeClosed = true;
    };
    if (event == Event::Packet) {
      const std::optional<std::int8_t> correction = client_.CorrectionToSend();
      if (correction && !Unlocked(lk, [this, &correction] { client_.SendCorrection(sender_, *correction); }))
        return false;
      if (!OnUi(lk, [&] {
            client_.OnPacket(message.data(), count);
            afterHandOff();
          }))
        return false;
    } else if (event == Event::Reply) {
      if (!OnUi(lk, [&] {
            client_.OnReply(message.data(), count);
            afterHandOff();
          }))
        return false;
    } else {
      c_.checksumErrorCount.fetch_add(1);
      if (!OnUi(lk, [&] {
            c_.ShowCounters(client_);
            afterHandOff();
          }))
        return false;
    }

    // The hand-off may have changed the mode: after the reply that switched
    // to the packet stream, what follows it is the stream's start.
    if (c_.unidirMode.load()) {
      c_.framer.MessageHandled(true);
      c_.replyCountdown = 15;
      if (c_.framer.Count() >= 2) return true;
      c_.lastRxTime.store(PerfCounter());
      return false;
    }

    c_.framer.MessageHandled(false);
    if (!exchangeClosed && !OnUi(lk, [this, &polling] {
          c_.UpdateResponseTime(client_);
          polling = c_.polling.load();
        }))
      return false;
    lk.unlock();
    if (polling) client_.RequestNextData(sender_);
    PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    c_.lastRxTime.store(PerfCounter());
    c_.writerIdle.store(1);
    if (!Terminated()) c_.writerEvent.Set();
    lk.lock();
    return false;
  }

  // After a bad echo or header: count, repeat the request, drop the input.
  void ReceiverReset(Lock& lk, int ms) {
    c_.resetCount.fetch_add(1);
    lk.unlock();
    HandOff([this] { c_.ShowCounters(client_); });
    if (client_.OnGarbled(sender_)) {
      HandOff([this] { c_.trace->AppendLine(TraceResetLine()); });
    } else {
      // The repeats of a start request are used up: end as on a time-out. The
      // Reset line goes first; once the link has ended nothing more is handed over.
      HandOff([this] {
        c_.trace->AppendLine(TraceResetLine());
        client_.OnLinkLost(kNoAnswerText);
      });
    }
    lk.lock();
    c_.replyCountdown = -1;
    c_.framer.SetIdle();
    lk.unlock();
    if (ms > 0) PauseMs(static_cast<std::uint16_t>(ms));
    // A receiver of an ended link stays quiet: its signal could wake the
    // transmitter of the next link in the middle of an exchange.
    if (Terminated()) {
      lk.lock();
      return;
    }
    PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
    c_.writerIdle.store(1);
    c_.writerEvent.Set();
    lk.lock();
  }

  PortId port_;
  std::uint32_t fastestBaud_;
  std::shared_ptr<LinkCore> core_;
  LinkCore& c_;
  LinkClient& client_;
  // What the session's calls from this thread act on: this link alone.
  LinkSender sender_{c_, port_};
  std::vector<std::string> lines_;               // trace lines not yet handed over
  std::uint32_t lastShortWaiting_ = UINT32_MAX;  // queue count at the last short sleep
};

}  // namespace

namespace link_detail {
std::shared_ptr<WorkerThread> MakeReceiver(PortId port, std::shared_ptr<LinkCore> core, LinkClient& client) {
  const std::uint32_t baud = std::max<std::uint32_t>(BaudTable[0], BaudTable[ValidSpeedIndex(TCfg.CBR)]);
  return std::make_shared<TComReadThread>(port, baud, std::move(core), client);
}
}  // namespace link_detail
