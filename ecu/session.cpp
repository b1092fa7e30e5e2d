// The ECU session: handshake, reply dispatch, repeats, time-out ending and
// teardown. User-interface thread unless a function says otherwise.

#include "ecu/session.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "common/config.h"
#include "common/error.h"
#include "common/ui.h"
#include "ecu/crank_packets.h"
#include "ecu/csvlog.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "ecu/kwp.h"
#include "ecu/session_internal.h"
#include "lambda/lc1_reader.h"
#include "link/kline_port.h"
#include "link/link.h"
#include "link/port.h"
#include "link/trace.h"

EcuDataRecord EcuData;
SharedValue<std::uint8_t> LinkState;
SharedValue<std::uint8_t> LeaveUnidirRequest;
SharedValue<std::int8_t> RequestedCorrUOZ;
SharedValue<std::uint8_t> StartRetryCount;
SharedValue<std::uint32_t> NegativeReplyCount;

namespace {
// The window's reader; the session becomes an object of its own later.
Lc1Reader* g_lc1 = nullptr;
// The port and the link of the current connection (kept, stopped, after it
// ends, until the next one: a link may end from inside its own timer tick).
// User-interface thread.
std::unique_ptr<KLinePort> g_port;
std::unique_ptr<KLineLink> g_link;
// The same for the receiver thread, which queues repeats and writes the
// stream's raw commands: cleared before the link or the port is replaced.
std::atomic<KLineLink*> g_threadLink{nullptr};
std::atomic<PortId> g_threadPort{kNoPort};

// Drops the last connection's link and port (both stopped and closed first).
void ReleaseLink() {
  g_threadLink = nullptr;
  g_threadPort = kNoPort;
  g_link.reset();
  g_port.reset();
}

MsgBlock Framed(const std::vector<std::uint8_t>& frame, std::uint8_t& len) {
  MsgBlock block{};
  const std::size_t n = std::min<std::size_t>(frame.size(), 254);
  std::memcpy(block.data(), frame.data(), n);
  len = static_cast<std::uint8_t>(n);
  AppendChecksum(block, len);
  return block;
}
}  // namespace

void SetSessionLc1(Lc1Reader* reader) { g_lc1 = reader; }
Lc1Reader* SessionLc1() { return g_lc1; }

double Lc1ValueForEcuData() {
  if (!TCfg.LambdaEnabled) return -1.0;
  return g_lc1 ? g_lc1->Value() : 0.0;
}

void session_detail::ResetState() {
  ReleaseLink();
  LinkState = 0;
  LeaveUnidirRequest = 0;
  RequestedCorrUOZ = 0;
  StartRetryCount = 0;
  NegativeReplyCount = 0;
}

namespace {

constexpr int kStartRetryLimit = 5;

// Changes the line speed; a failure ends the link and shows the port's error.
bool ChangeSpeed(int speedIndex) {
  try {
    CheckSpeedIndex(speedIndex);
    // Without a port this fails as on a closed one.
    if (g_port)
      g_port->SetSpeed(speedIndex);
    else
      SetPortBaud(kNoPort, BaudTable[speedIndex]);
    return true;
  } catch (const std::exception& e) {
    EcuEndLink(e.what());
    return false;
  }
}

void OnDataReply(const std::uint8_t* data, int count) {
  EcuData.AFR_LC1 = Lc1ValueForEcuData();
  if (TCfg.LambdaEnabled) EcuData.ALF_LC1 = EcuData.AFR_LC1 / 14.7;
  if (count < 2 || data[1] != kDataLocalId) return;
  // Without the length check a longer reply is decoded from its first bytes;
  // a shorter one is never decoded (its record would be partly stale bytes).
  const bool lengthOk = count == kDataReplyBodyLen || (TCfg.NotCheckReplyLen && count >= kDataReplyBodyLen);
  if (!lengthOk) {
    // Never silently: a firmware with another record length would otherwise
    // leave every value frozen under "Подключен".
    if (g_link) {
      g_link->CountLengthError();
      g_link->ShowCounters();
    }
    TraceAppendLine(TraceDataLengthLine(count, kDataReplyBodyLen));
    return;
  }
  DecodeDataFrame(data, EcuData);
  Ui().UpdateDisplay();
  Ui().CountReply();
  if (TCfg.WriteLog) WriteLogRow();
}

void OnNegativeReply(const std::uint8_t* data, int count) {
  NegativeReplyCount = NegativeReplyCount + 1;
  Ui().SetStatusText(kPanelNegativeReplies, std::to_string(NegativeReplyCount.load()));
  if (count >= 2 && data[1] == SID_StartDiagnosticSession) {
    // The ECU refused the line speed. The controls are left as they are: the
    // connect command stays disabled until the settings have been looked at.
    if (g_link) g_link->Stop();
    if (g_port) g_port->Close();
    Ui().ShowMessage(kSpeedRefusedText);
  }
  if (g_link && g_link->CurrentServiceId() == SID_StartCommunication) EcuTeardown();
}

// What the link's receiver and timer hand to the session.
class SessionLinkClient : public LinkClient {
 public:
  void OnReply(const std::uint8_t* data, int count) override { DispatchReply(data, count); }
  void OnPacket(const std::uint8_t* data, int count) override { HandleSpinPacket(data, count); }
  bool OnGarbled() override { return RetryLastRequest(); }
  void OnLinkLost(const std::string& text) override { EcuEndLink(text); }
  void RequestNextData() override {
    std::uint8_t len = 0;
    const MsgBlock block = Framed(ReqReadData, len);
    if (KLineLink* link = g_threadLink.load()) (void)link->QueueRequestIfEmpty(block, len);
  }
  bool SwitchBackRequested() override { return LeaveUnidirRequest.load() != 0; }
  void SendSwitchBack() override { ::SendSwitchBack(); }
  std::optional<std::int8_t> CorrectionToSend() override {
    const int inForce = static_cast<int>(EcuData.CorrUOZ.load());  // truncated toward zero
    const std::int8_t wanted = RequestedCorrUOZ.load();
    if (inForce == wanted) return std::nullopt;
    return wanted;
  }
  void SendCorrection(std::int8_t correction) override { SendCorrUOZ(correction); }
};

SessionLinkClient g_linkClient;

}  // namespace

void EcuConnect(const std::string& port, int speedIndex, bool fastInit, bool echo) {
  ReleaseLink();
  CheckSpeedIndex(speedIndex);
  TCfg.CBR = speedIndex;
  // The wake-up or the pulse failing after the open closes the port again.
  std::unique_ptr<KLinePort> opened = KLinePort::OpenForEcu(port, speedIndex);
  if (fastInit) opened->FastInitPulse();
  g_port = std::move(opened);
  TCfg.Echo = echo ? 1 : 0;
  LeaveUnidirRequest = 0;
  NegativeReplyCount = 0;
  g_link = std::make_unique<KLineLink>(*g_port, g_linkClient);
  g_threadPort = g_port->Id();
  g_threadLink = g_link.get();
  g_link->StartTimer();
  std::this_thread::yield();
  StartRetryCount = 0;
  SendRequest(ReqStartCommunication);
}

void EcuDisconnect() {
  if (LinkState.load() != 1) {
    if (g_port) g_port->Close();
    return;
  }
  // In the packet stream the stop request waits until the stream has ended.
  if (EcuUnidirMode()) LeaveUnidirRequest = 1;
  // A queue full of piled-up data polls would refuse the stop request.
  if (g_link && g_link->PendingRequests() >= kQueueSlots - 1) g_link->DropPendingRequests();
  SendRequest(ReqStopDiagnosticSession);
}

void EcuTeardown() {
  if (g_link) g_link->Stop();
  if (g_port) g_port->Close();
  if (g_lc1 && g_lc1->Active()) g_lc1->Disconnect();
  Ui().ClearPause();
  Ui().RefreshControls();
  if (Ui().CloseDeferred()) Ui().CloseMainWindow();
}

void EcuShutdown() {
  if (g_link) g_link->Stop();
  if (g_port) g_port->Close();
  ReleaseLink();
  // Only closing its port wakes the LC-1 reader.
  if (g_lc1) g_lc1->Disconnect();
}

void EcuEndLink(const std::string& text) {
  const bool sessionLost = LinkState.load() != 0;
  if (sessionLost) {
    EcuSetPolling(false);
    LinkState = 0;
    if (TCfg.WriteLog) CloseLog();
  }
  EcuTeardown();
  // A deferred close has just closed the window: no box for a closing window.
  if (!Ui().CloseDeferred() && !text.empty()) Ui().LinkEnded(text, sessionLost);
}

void DispatchReply(const std::uint8_t* data, int count) {
  if (count < 1) return;
  switch (data[0]) {
    case PositiveReply(SID_StartCommunication):
      StartRetryCount = 0;
      SendRequest(BuildSessionRequest());
      break;
    case PositiveReply(SID_StartDiagnosticSession): {
      const int cbr = ValidSpeedIndex(TCfg.CBR);
      if (cbr != 0 && !ChangeSpeed(cbr)) return;
      LinkState = 1;
      EcuSetPolling(true);
      Ui().RefreshControls();
      if (TCfg.WriteLog) OpenLog();
      Ui().ResetReplyCount();
      break;
    }
    case PositiveReply(SID_ReadDataByLocalIdentifier):
      OnDataReply(data, count);
      break;
    case PositiveReply(SID_InputOutputControl):
      if (count < 2 || data[1] != kUnidirLocalId) return;
      if (g_link) g_link->EnterUnidirMode();
      Ui().RefreshControls();
      Ui().SetStatusText(kPanelMode, "1");
      ResetSpinSample(EcuData);
      Ui().ResetReplyCount();
      break;
    case PositiveReply(SID_StopDiagnosticSession):
      LinkState = 0;
      if (TCfg.WriteLog) CloseLog();
      if (!ChangeSpeed(0)) return;
      SendRequest(ReqStopCommunication);
      break;
    case PositiveReply(SID_StopCommunication):
      EcuTeardown();
      break;
    case SID_NegativeReply:
      OnNegativeReply(data, count);
      break;
    default:
      break;
  }
}

bool RetryLastRequest() {
  KLineLink* link = g_threadLink.load();
  const int sid = link ? link->CurrentServiceId() : -1;
  switch (sid) {
    case SID_StartCommunication:
    case SID_StartDiagnosticSession: {
      const bool start = sid == SID_StartCommunication;
      StartRetryCount = static_cast<std::uint8_t>(StartRetryCount.load() + 1);
      if (StartRetryCount.load() > kStartRetryLimit) return false;
      SendRequest(start ? ReqStartCommunication : BuildSessionRequest());
      return true;
    }
    case SID_StopDiagnosticSession:
      SendRequest(ReqStopDiagnosticSession);
      return true;
    case SID_StopCommunication:
      SendRequest(ReqStopCommunication);
      return true;
    case SID_ReadDataByLocalIdentifier:
      RequestData();
      return true;
    default:
      return true;
  }
}

void SendSwitchBack() {
  LeaveUnidirRequest = 0;
  MsgBlock block{};
  block[0] = kRawCommand;
  block[1] = kRawSwitchBack;
  WritePortBlocking(g_threadPort.load(), block.data(), 2);
}

void SendCorrUOZ(std::int8_t correction) {
  MsgBlock block{};
  block[0] = kRawCommand;
  block[1] = static_cast<std::uint8_t>(2 * correction);
  WritePortBlocking(g_threadPort.load(), block.data(), 2);
}

void SendRequest(const std::vector<std::uint8_t>& frame) {
  std::uint8_t len = 0;
  const MsgBlock block = Framed(frame, len);
  // A full queue (200 pending) refuses the request; the session's own
  // requests are few, so this drops only piled-up data polls.
  if (KLineLink* link = g_threadLink.load()) (void)link->QueueRequest(block, len);
}

void RequestData() { SendRequest(ReqReadData); }

void EcuSetPolling(bool on) {
  if (g_link) g_link->SetPolling(on && TCfg.DataInterval.load() == 0);
  Ui().SetMsgTimerEnabled(on);
}

KLineLink* EcuLink() { return g_link.get(); }

KLinePort* EcuPort() { return g_port.get(); }

bool EcuPortOpen() { return g_port && g_port->IsOpen(); }

bool EcuUnidirMode() { return g_link && g_link->Unidir(); }

bool EcuLinkActive() { return EcuPortOpen() || (g_link && g_link->TimerActive()); }

KLineLink& session_detail::UseLinkWithoutThreads() {
  ReleaseLink();
  g_link = KLineLink::WithoutThreads(g_linkClient);
  g_threadLink = g_link.get();
  return *g_link;
}
