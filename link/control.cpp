// Start and stop of the link threads, the switches between request/reply and
// unidirectional mode, and the 100 ms link timer.

#include <string>
#include <thread>

#include "common/config.h"
#include "common/error.h"
#include "common/timing.h"
#include "common/ui.h"
#include "link/link.h"
#include "link/link_internal.h"
#include "link/trace.h"

using namespace link_detail;

namespace {
// User-interface thread only. The threads own themselves; these are kept to
// ask them to end and to notice one that died.
std::shared_ptr<WorkerThread> g_reader;
std::shared_ptr<WorkerThread> g_writer;
// The session of the running link; set by StartLinkThreads.
LinkClient* g_client = nullptr;
UiTimer g_linkTimer([] { LinkTimerTick(); });
std::int64_t g_lastTxSeen = 0;

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

SharedValue<std::uint8_t> UnidirMode;
SharedValue<std::int32_t> ReplyCountdown{-1};

void link_detail::ResetState() {
  DropRequests(true);
  WriterEvent.Reset();
  WriterIdle.store(1);
  ResetCount.store(0);
  ChecksumErrorCount.store(0);
  LengthErrorCount.store(0);
  LastRxTime.store(0);
  LastTxTime.store(0);
  ResponseTimeMs.store(0);
  UnidirMode = 0;
  ReplyCountdown = -1;
  std::lock_guard<std::mutex> lock(RxLock);
  CurrentRequestLen = 0;
  ArmReceiver(RxIdle);
}

void StartLinkThreads(LinkClient& client) {
  g_client = &client;
  WriterEvent.Reset();
  ResetCount.store(0);
  ChecksumErrorCount.store(0);
  LengthErrorCount.store(0);
  {
    std::lock_guard<std::mutex> lock(RxLock);
    CurrentRequestLen = 0;
    ArmReceiver(RxIdle);
  }
  const PortId port = PortHandle.load();
  g_reader = MakeReceiver(port, client);
  WorkerThread::Start(g_reader);
  LastRxTime.store(0);
  DropRequests(true);
  WriterIdle.store(1);
  g_writer = MakeTransmitter(port);
  WorkerThread::Start(g_writer);
}

void StopLinkThreads() {
  if (g_reader) g_reader->Terminate();
  if (g_writer) g_writer->Terminate();
  g_reader.reset();
  g_writer.reset();
  DropRequests(false);
  WriterEvent.Set();
  std::this_thread::yield();
}

bool LinkThreadsRunning() { return g_reader && g_writer && !g_reader->Finished() && !g_writer->Finished(); }

void EnterUnidirMode() {
  UnidirMode = 1;
  DelayMs(50);
  DropRequests(true);
}

void LeaveUnidirMode() {
  WriterIdle.store(1);
  {
    std::lock_guard<std::mutex> lock(RxLock);
    CurrentRequestLen = 0;  // no echo expected
    ArmReceiver(RxEcho);
  }
  ReplyCountdown = 15;
  UnidirMode = 0;
  Ui().ClearPause();
  if (g_client && Ui().MsgTimerEnabled() && TCfg.DataInterval.load() == 0)
    g_client->RequestNextData();
  // A request queued while the stream ran (a disconnect) found the transmitter
  // busy; it leaves now.
  if (!QueueEmpty()) WriterEvent.Set();
  Ui().RefreshControls();
  Ui().SetStatusText(kPanelMode, "0");
}

void StartLinkTimer() { g_linkTimer.Start(100); }

void StopLinkTimer() { g_linkTimer.Stop(); }

bool LinkTimerActive() { return g_linkTimer.Active(); }

void LinkTimerTick() {
  if (!g_client) return;
  // A link thread that died on a port error (or a vanished port) would leave
  // the link waiting forever: end it as on a time-out, saying why.
  for (const auto* t : {&g_reader, &g_writer}) {
    if (Died(*t)) {
      g_client->OnLinkLost(DeathText(*t));
      return;
    }
  }
  std::int32_t c = ReplyCountdown;
  if (c < 0) return;
  ReplyCountdown = --c;
  if (c != 0) return;
  if (UnidirMode.load()) {
    TraceAppendLine(TraceUModeTimeOutLine());
    LeaveUnidirMode();
  } else {
    g_client->OnLinkLost(kNoAnswerText);
  }
}

void ShowLinkCounters() {
  Ui().SetStatusText(kPanelResets, std::to_string(ResetCount.load()));
  Ui().SetStatusText(kPanelBadReplies, std::to_string(ChecksumErrorCount.load() + LengthErrorCount.load()));
}

void UpdateResponseTime() {
  const std::int64_t tx = LastTxTime.load();
  if (tx == g_lastTxSeen) return;
  g_lastTxSeen = tx;
  const std::int64_t ms = (PerfCounter() - tx) * 1000 / PerfFrequency();
  ResponseTimeMs.store(static_cast<std::int32_t>(ms));
  Ui().ShowResponseTime(static_cast<std::int32_t>(ms));
}
