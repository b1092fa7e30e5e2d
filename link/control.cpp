// Start and stop of the link threads, the switches between request/reply and
// unidirectional mode, and the 100 ms link timer.

#include <algorithm>
#include <string>
#include <thread>

#include "common/error.h"
#include "common/timing.h"
#include "common/ui.h"
#include "link/kline_port.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

using namespace link_detail;

namespace {

bool Died(const std::shared_ptr<WorkerThread>& t) { return t && t->Finished() && !t->Terminated(); }

// The text for a link thread that ended on its own; empty when it ended
// quietly because the session closed the port.
std::string DeathText(const std::shared_ptr<WorkerThread>& t) {
  if (std::exception_ptr e = t->FatalError()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      return ex.what();
    } catch (...) {
    }
    return kPortLostText;
  }
  return {};
}

}  // namespace

KLineLink::KLineLink(LinkClient& client, std::shared_ptr<ExchangeTrace> trace)
    : core_(std::make_shared<LinkCore>()), client_(client), timer_([this] { TimerTick(); }) {
  core_->trace = std::move(trace);
  std::lock_guard<std::mutex> lock(core_->rxLock);
  core_->ArmReceiver(RxIdle);
}

KLineLink::KLineLink(const KLinePort& port, LinkClient& client, std::shared_ptr<ExchangeTrace> trace)
    : KLineLink(client, std::move(trace)) {
  port_ = port.Id();
  reader_ = MakeReceiver(port.Id(), core_, client);
  WorkerThread::Start(reader_);
  writer_ = MakeTransmitter(port.Id(), core_);
  WorkerThread::Start(writer_);
}

std::unique_ptr<KLineLink> KLineLink::WithoutThreads(LinkClient& client,
                                                     std::shared_ptr<ExchangeTrace> trace) {
  return std::unique_ptr<KLineLink>(new KLineLink(client, std::move(trace)));
}

KLineLink::~KLineLink() { Stop(); }

void KLineLink::Stop() {
  if (reader_) reader_->Terminate();
  if (writer_) writer_->Terminate();
  core_->DropRequests(false);
  core_->writerEvent.Set();
  // A stopped link streams nothing: the window shows B mode again.
  core_->unidirMode = 0;
  timer_.Stop();
  std::this_thread::yield();
}

bool KLineLink::ThreadsRunning() const {
  for (const auto* t : {&reader_, &writer_})
    if (!*t || (*t)->Terminated() || (*t)->Finished()) return false;
  return true;
}

bool KLineLink::WaitThreadsEnded(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (const auto* t : {&reader_, &writer_}) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (*t && !(*t)->WaitFinished(std::max(left, std::chrono::milliseconds(0)))) return false;
  }
  return true;
}

void KLineLink::SetPolling(bool on) { core_->polling.store(on); }

bool KLineLink::Unidir() const { return core_->unidirMode.load() != 0; }

void KLineLink::EnterUnidirMode() {
  core_->unidirMode = 1;
  DelayMs(50);
  core_->DropRequests(true);
}

void KLineLink::LeaveUnidirMode() {
  core_->writerIdle.store(1);
  {
    std::lock_guard<std::mutex> lock(core_->rxLock);
    core_->currentRequestLen = 0;  // no echo expected
    core_->ArmReceiver(RxEcho);
  }
  core_->replyCountdown = 15;
  core_->unidirMode = 0;
  if (core_->polling.load()) {
    LinkSender sender = Sender();
    client_.RequestNextData(sender);
  }
  // A request queued while the stream ran (a disconnect) found the transmitter
  // busy; it leaves now.
  if (!QueueEmpty()) core_->writerEvent.Set();
  client_.OnUnidirEnded();
}

void KLineLink::StartTimer() { timer_.Start(100); }

void KLineLink::StopTimer() { timer_.Stop(); }

bool KLineLink::TimerActive() const { return timer_.Active(); }

void KLineLink::TimerTick() {
  // A link thread that died on a port error (or a vanished port) would leave
  // the link waiting forever: end it as on a time-out, saying why.
  for (const auto* t : {&reader_, &writer_}) {
    if (Died(*t)) {
      client_.OnLinkLost(DeathText(*t));
      return;
    }
  }
  std::int32_t c = core_->replyCountdown;
  if (c < 0) return;
  core_->replyCountdown = --c;
  if (c != 0) return;
  if (core_->unidirMode.load()) {
    core_->trace->AppendLine(TraceUModeTimeOutLine());
    LeaveUnidirMode();
  } else {
    client_.OnLinkLost(kNoAnswerText);
  }
}

std::int32_t KLineLink::ReplyCountdown() const { return core_->replyCountdown; }

void KLineLink::CountLengthError() { core_->lengthErrorCount.fetch_add(1); }

void KLineLink::ShowCounters() { core_->ShowCounters(client_); }

int KLineLink::ResetCount() const { return core_->resetCount.load(); }

int KLineLink::ChecksumErrorCount() const { return core_->checksumErrorCount.load(); }

int KLineLink::ResponseTimeMs() const { return core_->responseTimeMs.load(); }

bool KLineLink::WriterIdle() const { return core_->writerIdle.load() == 1; }

void LinkCore::ShowCounters(LinkClient& client) const {
  client.OnCounters(resetCount.load(), checksumErrorCount.load() + lengthErrorCount.load());
}

void LinkCore::UpdateResponseTime(LinkClient& client) {
  const std::int64_t tx = lastTxTime.load();
  if (tx == lastTxSeen) return;
  lastTxSeen = tx;
  const std::int64_t ms = (PerfCounter() - tx) * 1000 / PerfFrequency();
  responseTimeMs.store(static_cast<std::int32_t>(ms));
  client.OnResponseTime(static_cast<std::int32_t>(ms));
}
