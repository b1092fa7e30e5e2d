// The ECU session: handshake, reply dispatch, repeats, time-out ending and
// teardown. User-interface thread unless a function says otherwise.

#include "ecu/session.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "common/config.h"
#include "common/error.h"
#include "ecu/crank_packets.h"
#include "ecu/csvlog.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "ecu/kwp.h"
#include "lambda/lc1_reader.h"
#include "link/kline_port.h"
#include "link/link.h"
#include "link/port.h"
#include "link/trace.h"

namespace {
constexpr int kStartRetryLimit = 5;
constexpr std::chrono::milliseconds kThreadsEnd{2000};

MsgBlock Framed(const std::vector<std::uint8_t>& frame, std::uint8_t& len) {
  MsgBlock block{};
  const std::size_t n = std::min<std::size_t>(frame.size(), 254);
  std::memcpy(block.data(), frame.data(), n);
  len = static_cast<std::uint8_t>(n);
  AppendChecksum(block, len);
  return block;
}

// A full queue (200 pending) refuses the request; the session's own requests
// are few, so this drops only piled-up data polls.
void QueueFramed(LinkSender& link, const std::vector<std::uint8_t>& frame) {
  std::uint8_t len = 0;
  const MsgBlock block = Framed(frame, len);
  (void)link.QueueRequest(block, len);
}
}  // namespace

EcuSession::EcuSession(SessionEvents& events)
    : events_(events),
      log_([&events](const std::string& text) { events.OnError(text); }),
      pollTimer_([this] { PollTick(); }),
      reconnectTimer_([this] {
        reconnectTimer_.Stop();  // one wait, one attempt
        AttemptConnection();
      }) {}

EcuSession::~EcuSession() {
  if (link_) link_->Stop();
  if (port_) port_->Close();
  // The stopped link's threads still call this session's client until they
  // end; closing the port has woken them, so this takes a moment at most.
  if (link_) link_->WaitThreadsEnded(kThreadsEnd);
  ReleaseLink();
}

void EcuSession::AddSink(EcuDataSink& sink) { sinks_.push_back(&sink); }

void EcuSession::RemoveSink(EcuDataSink& sink) { std::erase(sinks_, &sink); }

void EcuSession::Publish() {
  for (EcuDataSink* sink : sinks_) sink->OnEcuData(data_);
}

// The reader's reading (0 without a reader), or -1 when the LC-1 is not enabled.
double EcuSession::Lc1Value() const {
  if (!TCfg.LambdaEnabled) return -1.0;
  return lc1_ ? lc1_->Value() : 0.0;
}

void EcuSession::StoreLc1(double afr, bool withAlf) {
  data_.AFR_LC1 = afr;
  if (withAlf) data_.ALF_LC1 = afr / 14.7;
}

void EcuSession::CopyLc1Reading() { StoreLc1(lc1_ ? lc1_->Value() : 0.0, false); }

// Drops the last connection's link and port (both stopped and closed first).
void EcuSession::ReleaseLink() {
  link_.reset();
  port_.reset();
}

// Changes the line speed; a failure ends the link and shows the port's error.
bool EcuSession::ChangeSpeed(int speedIndex) {
  try {
    CheckSpeedIndex(speedIndex);
    // Without a port this fails as on a closed one.
    if (port_)
      port_->SetSpeed(speedIndex);
    else
      SetPortBaud(kNoPort, BaudTable[speedIndex]);
    return true;
  } catch (const std::exception& e) {
    EndLink(e.what());
    return false;
  }
}

void EcuSession::OnDataReply(const std::uint8_t* data, int count) {
  StoreLc1(Lc1Value(), TCfg.LambdaEnabled != 0);
  if (count < 2 || data[1] != kDataLocalId) return;
  // Without the length check a longer reply is decoded from its first bytes;
  // a shorter one is never decoded (its record would be partly stale bytes).
  const bool lengthOk = count == kDataReplyBodyLen || (TCfg.NotCheckReplyLen && count >= kDataReplyBodyLen);
  if (!lengthOk) {
    // Never silently: a firmware with another record length would otherwise
    // leave every value frozen under "Подключен".
    if (link_) {
      link_->CountLengthError();
      link_->ShowCounters();
    }
    trace_->AppendLine(TraceDataLengthLine(count, kDataReplyBodyLen));
    return;
  }
  DecodeDataFrame(data, data_);
  Publish();
  CountReply();
  log_.OnEcuData(data_);
}

void EcuSession::CountReply() {
  reconnectAttempt_ = 0;  // data again: a later loss starts a new reconnection
  events_.OnReply();
}

void EcuSession::HandlePacket(const std::uint8_t* packet, int count) {
  if (count < kCrankPacketLen) return;
  if (DecodeSpinPacket(packet, avgAngle_, data_)) {
    StoreLc1(Lc1Value(), false);
    Publish();
  }
  CountReply();
}

void EcuSession::OnNegativeReply(const std::uint8_t* data, int count) {
  negativeReplies_ = negativeReplies_ + 1;
  events_.OnNegativeReplies(negativeReplies_.load());
  if (count >= 2 && data[1] == SID_StartDiagnosticSession) {
    // The ECU refused the line speed. The controls are left as they are: the
    // connect command stays disabled until the settings have been looked at.
    if (link_) link_->Stop();
    if (port_) port_->Close();
    events_.OnMessage(kSpeedRefusedText);
  }
  if (link_ && link_->CurrentServiceId() == SID_StartCommunication) Teardown();
}

void EcuSession::Client::RequestNextData(LinkSender& link) {
  std::uint8_t len = 0;
  const MsgBlock block = Framed(ReqReadData, len);
  (void)link.QueueRequestIfEmpty(block, len);
}

std::optional<std::int8_t> EcuSession::Client::CorrectionToSend() {
  const int inForce = static_cast<int>(s_.data_.CorrUOZ.load());  // truncated toward zero
  const std::int8_t wanted = s_.requestedCorr_.load();
  if (inForce == wanted) return std::nullopt;
  return wanted;
}

void EcuSession::Connect(const std::string& port, int speedIndex, bool fastInit, bool echo) {
  ReleaseLink();
  CheckSpeedIndex(speedIndex);
  TCfg.CBR = speedIndex;
  // The wake-up or the pulse failing after the open closes the port again.
  std::unique_ptr<KLinePort> opened = KLinePort::OpenForEcu(port, speedIndex);
  if (fastInit) opened->FastInitPulse();
  port_ = std::move(opened);
  TCfg.Echo = echo ? 1 : 0;
  leaveUnidir_ = 0;
  negativeReplies_ = 0;
  link_ = std::make_unique<KLineLink>(*port_, client_, trace_);
  link_->StartTimer();
  std::this_thread::yield();
  startRetries_ = 0;
  SendRequest(ReqStartCommunication);
}

void EcuSession::ConnectCommand(const std::string& port, int speedIndex, bool fastInit, bool echo) {
  reconnectAttempt_ = 0;  // the user's own connect starts afresh
  lastConnect_ = {port, speedIndex, fastInit, echo};
  AttemptConnection();
}

void EcuSession::AttemptConnection() {
  userDisconnected_ = false;
  events_.OnConnecting(reconnectAttempt_, kReconnectAttempts);
  trace_->Clear();
  SetPollInterval(TCfg.DataInterval);
  try {
    if (TCfg.LambdaEnabled && lc1_ && !lc1_->Active()) lc1_->Connect(TCfg.LambdaPort);
    Connect(lastConnect_.port, lastConnect_.speedIndex, lastConnect_.fastInit, lastConnect_.echo);
  } catch (const std::exception& e) {
    if (lc1_ && lc1_->Active()) lc1_->Disconnect();
    ReportLinkEnd(e.what(), false);  // a reconnection tries again
    events_.OnDisconnected();
  }
}

bool EcuSession::EndReconnection() {
  reconnectAttempt_ = 0;
  const bool waited = reconnectTimer_.Active();
  reconnectTimer_.Stop();
  return waited;
}

void EcuSession::ReportLinkEnd(const std::string& text, bool sessionLost) {
  if (!ScheduleReconnect(text, sessionLost)) events_.OnLinkEnded(text);
}

bool EcuSession::ScheduleReconnect(const std::string& text, bool sessionLost) {
  // A reply lost in a running session starts a reconnection (not one lost
  // while F3 closes it); inside one, every failure counts as an attempt.
  const bool lostReply = sessionLost && text == kNoAnswerText && !userDisconnected_;
  if (!TCfg.AutoReconnect || !(lostReply || reconnectAttempt_ > 0)) return false;
  if (reconnectAttempt_ >= kReconnectAttempts) {
    reconnectAttempt_ = 0;
    return false;
  }
  ++reconnectAttempt_;
  reconnectTimer_.Start(reconnectDelayMs_);
  events_.OnReconnectWaiting(reconnectAttempt_, kReconnectAttempts);
  return true;
}

void EcuSession::Disconnect() {
  // F3 also ends a reconnection, in its wait or during its attempt.
  userDisconnected_ = true;
  if (EndReconnection()) events_.OnDisconnected();
  if (linkState_.load() != 1) {
    if (port_) port_->Close();
    return;
  }
  // In the packet stream the stop request waits until the stream has ended.
  if (UnidirMode()) leaveUnidir_ = 1;
  // A queue full of piled-up data polls would refuse the stop request.
  if (link_ && link_->PendingRequests() >= kQueueSlots - 1) link_->DropPendingRequests();
  SendRequest(ReqStopDiagnosticSession);
}

void EcuSession::Teardown() {
  if (link_) link_->Stop();
  if (port_) port_->Close();
  if (lc1_ && lc1_->Active()) lc1_->Disconnect();
  events_.OnDisconnected();
}

void EcuSession::Shutdown() {
  if (link_) link_->Stop();
  if (port_) port_->Close();
  ReleaseLink();
  // Only closing its port wakes the LC-1 reader.
  if (lc1_) lc1_->Disconnect();
}

void EcuSession::EndLink(const std::string& text) {
  const bool sessionLost = linkState_.load() != 0;
  if (sessionLost) {
    SetPolling(false);
    linkState_ = 0;
    if (TCfg.WriteLog) log_.Close();
  }
  Teardown();
  if (!text.empty()) ReportLinkEnd(text, sessionLost);
}

void EcuSession::DispatchReply(const std::uint8_t* data, int count) {
  if (count < 1) return;
  switch (data[0]) {
    case PositiveReply(SID_StartCommunication):
      startRetries_ = 0;
      SendRequest(BuildSessionRequest());
      break;
    case PositiveReply(SID_StartDiagnosticSession): {
      const int cbr = ValidSpeedIndex(TCfg.CBR);
      if (cbr != 0 && !ChangeSpeed(cbr)) return;
      linkState_ = 1;
      SetPolling(true);
      events_.OnConnected();
      if (TCfg.WriteLog) log_.Open();
      events_.OnReplyCountRestart();
      break;
    }
    case PositiveReply(SID_ReadDataByLocalIdentifier):
      OnDataReply(data, count);
      break;
    case PositiveReply(SID_InputOutputControl):
      if (count < 2 || data[1] != kUnidirLocalId) return;
      if (link_) link_->EnterUnidirMode();
      ResetSpinSample(data_);
      events_.OnUnidirMode(true);
      events_.OnReplyCountRestart();
      break;
    case PositiveReply(SID_StopDiagnosticSession):
      linkState_ = 0;
      if (TCfg.WriteLog) log_.Close();
      if (!ChangeSpeed(0)) return;
      SendRequest(ReqStopCommunication);
      break;
    case PositiveReply(SID_StopCommunication):
      Teardown();
      break;
    case SID_NegativeReply:
      OnNegativeReply(data, count);
      break;
    default:
      break;
  }
}

bool EcuSession::RetryLastRequest(LinkSender& link) {
  const int sid = link.CurrentServiceId();
  switch (sid) {
    case SID_StartCommunication:
    case SID_StartDiagnosticSession: {
      const bool start = sid == SID_StartCommunication;
      startRetries_ = static_cast<std::uint8_t>(startRetries_.load() + 1);
      if (startRetries_.load() > kStartRetryLimit) return false;
      QueueFramed(link, start ? ReqStartCommunication : BuildSessionRequest());
      return true;
    }
    case SID_StopDiagnosticSession:
      QueueFramed(link, ReqStopDiagnosticSession);
      return true;
    case SID_StopCommunication:
      QueueFramed(link, ReqStopCommunication);
      return true;
    case SID_ReadDataByLocalIdentifier:
      QueueFramed(link, ReqReadData);
      return true;
    default:
      return true;
  }
}

void EcuSession::SendSwitchBack(LinkSender& link) {
  leaveUnidir_ = 0;
  const std::uint8_t command[2] = {kRawCommand, kRawSwitchBack};
  link.WriteRaw(command, 2);
}

void EcuSession::SendCorrUOZ(LinkSender& link, std::int8_t correction) {
  const std::uint8_t command[2] = {kRawCommand, static_cast<std::uint8_t>(2 * correction)};
  link.WriteRaw(command, 2);
}

void EcuSession::SendRequest(const std::vector<std::uint8_t>& frame) {
  if (!link_) return;
  LinkSender sender = link_->Sender();
  QueueFramed(sender, frame);
}

void EcuSession::RequestData() { SendRequest(ReqReadData); }

void EcuSession::SetPolling(bool on) {
  if (link_) link_->SetPolling(on && TCfg.DataInterval.load() == 0);
  polling_ = on;
  RestartPollTimer();
}

void EcuSession::SetPollInterval(int ms) {
  pollIntervalMs_ = ms;
  RestartPollTimer();
}

// Interval 0 stops the timer: the link polls then.
void EcuSession::RestartPollTimer() {
  if (polling_ && pollIntervalMs_ > 0)
    pollTimer_.Start(pollIntervalMs_);
  else
    pollTimer_.Stop();
}

void EcuSession::PollTick() {
  if (linkState_.load() == 1 && TCfg.DataInterval != 0 && !UnidirMode()) RequestData();
}

bool EcuSession::PortOpen() const { return port_ && port_->IsOpen(); }

bool EcuSession::UnidirMode() const { return link_ && link_->Unidir(); }

bool EcuSession::LinkActive() const { return PortOpen() || (link_ && link_->TimerActive()); }

KLineLink& EcuSession::UseLinkWithoutThreads() {
  ReleaseLink();
  link_ = KLineLink::WithoutThreads(client_, trace_);
  return *link_;
}
