// The transmitter thread: sends queued requests one exchange at a time.

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/timing.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

namespace {

class TComWriteThread : public WorkerThread {
 public:
  TComWriteThread(PortId port, std::shared_ptr<link_detail::LinkCore> core)
      : port_(port), core_(std::move(core)), c_(*core_) {}

 protected:
  void Execute() override {
    RaiseThreadPriority();
    LowerTimerSlack();
    while (!Terminated()) {
      if (!Trace({TraceStopWriterLine()})) break;
      // The wait also rechecks the termination request, so a worker that is
      // only terminated (process end) still ends without being signalled.
      while (!c_.writerEvent.WaitFor(200))
        if (Terminated()) return;
      // An ended link's transmitter must not swallow the next link's signal.
      if (Terminated()) break;
      c_.writerEvent.Reset();
      // Lines with no port work between them go over in one hand-off.
      const bool pending = !c_.QueueEmpty();
      if (pending) {
        if (!Trace({TraceStartWriterLine(), TraceBeginWriterPauseLine()})) break;
        // However long the pause, a stop of the link ends it at once.
        if (!PauseUntilMs(TCfg.WriterPause.load(), c_.lastRxTime.load())) break;
      } else if (!Trace({TraceStartWriterLine()})) {
        break;
      }
      if (Terminated()) break;
      MsgBlock request{};
      std::uint8_t length = 0;
      const bool taken = c_.TakeRequest(request, length);
      std::vector<std::string> lines;
      if (pending) lines.push_back(TraceEndWriterPauseLine());
      if (taken) lines.push_back(TraceWriteLine(request.data(), length));
      if (!lines.empty() && !Trace(lines)) break;
      if (!taken) continue;
      c_.writerIdle.store(0);
      {
        std::lock_guard<std::mutex> lock(c_.rxLock);
        c_.currentRequestLen = length;
        c_.currentRequest = request;
        c_.ArmReceiver(TCfg.Echo.load() ? RxEcho : RxHeader);
      }
      PurgePort(port_, PURGE_TXCLEAR | PURGE_RXCLEAR);
      WritePortBlocking(port_, request.data(), length);
      c_.replyCountdown = 10;
      const std::int64_t now = PerfCounter();
      c_.lastTxTime.store(now);  // atomic: no hand-off needed
    }
  }

 private:
  bool Trace(std::vector<std::string> lines) {
    return Synchronize([this, lines = std::move(lines)] {
             for (const std::string& l : lines) c_.trace->AppendLine(l);
           }) &&
           !Terminated();
  }

  PortId port_;
  std::shared_ptr<link_detail::LinkCore> core_;
  link_detail::LinkCore& c_;
};

}  // namespace

namespace link_detail {
std::shared_ptr<WorkerThread> MakeTransmitter(PortId port, std::shared_ptr<LinkCore> core) {
  return std::make_shared<TComWriteThread>(port, std::move(core));
}
}  // namespace link_detail
