#pragma once
// The ECU session: link state, handshake, reply dispatch, retries, teardown,
// and the requests of the KWP frame. User-interface thread unless stated.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/shared_value.h"
#include "common/ui.h"
#include "ecu/csvlog.h"
#include "ecu/ecu_data.h"
#include "ecu/session_events.h"
#include "link/link.h"
#include "link/port.h"
#include "link/trace.h"

class KLinePort;
class Lc1Reader;

// The message of a link whose speed the ECU refused (kNoAnswerText, link.h, is
// the other that ends a link).
inline constexpr const char* kSpeedRefusedText = "ЭБУ не поддерживает выбранную скорость соединения";

// One ECU connection after another, with the record they decode into, the
// polling, the reconnection of a lost session and the CSV log.
class EcuSession {
 public:
  // A session lost to a missing reply is connected again (with [Ecu]
  // AutoReconnect) after a wait, up to this many attempts in a row.
  static constexpr int kReconnectAttempts = 5;
  static constexpr int kReconnectDelayMs = 2000;

  // events hears what the session tells its owner; it must outlive the session.
  explicit EcuSession(SessionEvents& events);
  // Stops a link still running and closes its port (not the LC-1 reader).
  ~EcuSession();
  EcuSession(const EcuSession&) = delete;
  EcuSession& operator=(const EcuSession&) = delete;

  // The record of the last decoded frame and speed sample.
  EcuDataRecord& Data() { return data_; }
  const EcuDataRecord& Data() const { return data_; }

  // Sinks get each decoded data frame and completed speed sample, in the order
  // they were added, before the log row. A sink must outlive its registration.
  void AddSink(EcuDataSink& sink);
  void RemoveSink(EcuDataSink& sink);

  // 1 while a diagnostic session is established. Any thread.
  SharedValue<std::uint8_t>& LinkState() { return linkState_; }
  // The user asked to leave unidirectional mode. Any thread.
  SharedValue<std::uint8_t>& LeaveUnidirRequest() { return leaveUnidir_; }
  // The ignition correction asked for, -15..15 degrees. Any thread.
  SharedValue<std::int8_t>& RequestedCorrUOZ() { return requestedCorr_; }
  // Repeats of the current start request; negative replies (status panel 6).
  SharedValue<std::uint8_t>& StartRetryCount() { return startRetries_; }
  SharedValue<std::uint32_t>& NegativeReplyCount() { return negativeReplies_; }

  // The session's CSV log (opened and closed with each diagnostic session
  // while TCfg.WriteLog is on).
  CsvLog& Log() { return log_; }

  // The crank angle over which a speed sample of the packet stream is averaged.
  void SetAvgAngle(int degrees) { avgAngle_ = degrees; }
  int AvgAngle() const { return avgAngle_; }

  // The LC-1 reader whose reading goes into the record and which the teardown
  // stops; nullptr (as at start) for none.
  void SetLc1(Lc1Reader* reader) { lc1_ = reader; }
  Lc1Reader* Lc1() const { return lc1_; }
  // The LC-1 running alone: its reading into the record without a frame.
  void CopyLc1Reading();

  // The link of the current connection, also stopped after it ended (until the
  // next connect); nullptr before the first.
  KLineLink* Link() { return link_.get(); }
  // The port of the current connection; nullptr before the first. True while it is open.
  KLinePort* Port() { return port_.get(); }
  bool PortOpen() const;
  // True while the ECU streams crank packets.
  bool UnidirMode() const;
  // True from the connect until the teardown (the port open or the link timer running).
  bool LinkActive() const;
  // Polling on or off: the data requests every poll interval by the session's
  // timer, or with DataInterval 0 each as the last reply is in, by the link.
  void SetPolling(bool on);
  bool Polling() const { return polling_; }
  // The poll timer's interval (each connect takes DataInterval); 0 stops it.
  void SetPollInterval(int ms);
  int PollInterval() const { return pollIntervalMs_; }
  bool PollTimerActive() const { return pollTimer_.Active(); }

  // The connect command (F2): the LC-1 reader too when it is enabled, then
  // Connect. A failure is reported (OnLinkEnded) or, inside a reconnection,
  // counts as its attempt. Reconnections repeat it with the same arguments.
  void ConnectCommand(const std::string& port, int speedIndex, bool fastInit, bool echo);
  // True while a reconnection waits before its attempt.
  bool ReconnectWaiting() const { return reconnectTimer_.Active(); }
  int ReconnectAttempt() const { return reconnectAttempt_; }
  // Tests: a shorter wait.
  void SetReconnectDelay(int ms) { reconnectDelayMs_ = ms; }
  int ReconnectDelay() const { return reconnectDelayMs_; }
  // Ends a reconnection (its wait and its count); true when one waited.
  bool EndReconnection();

  // Opens the K-line port and starts the handshake. Port errors propagate.
  void Connect(const std::string& port, int speedIndex, bool fastInit, bool echo);
  // The user's disconnect (F3, closing the window): ends a reconnection, and
  // sends StopDiagnosticSession; the replies end the session.
  void Disconnect();
  // Stops the link threads and timer, closes the port, stops the LC-1 reader.
  void Teardown();
  // Program end: stops a link still running (threads, timer, port) and the LC-1
  // reader without touching the window or the log, so every worker's wait ends.
  // Call it before TerminateAllWorkers.
  void Shutdown();
  // Ends the link as on a reply time-out: closes the session's log, tears the
  // link down and, unless text is empty, reconnects or reports text.
  void EndLink(const std::string& text);

  // Frames a request (without checksum), appends the checksum and queues it
  // on the current link.
  void SendRequest(const std::vector<std::uint8_t>& frame);
  // Queues the data request 82 10 F1 21 0D.
  void RequestData();

  // The receiver's hand-off of one complete reply whose checksum matched; data
  // starts at the service identifier, count is data bytes plus checksum.
  void DispatchReply(const std::uint8_t* data, int count);
  // The receiver's hand-off of one crank packet (count >= 7).
  void HandlePacket(const std::uint8_t* packet, int count);
  // Receiver thread. Queues on link the repeat of the request whose exchange
  // was garbled. False when the repeats of a start request are used up (the
  // link must end).
  bool RetryLastRequest(LinkSender& link);
  // Receiver thread. The raw commands of the unidirectional stream, on link.
  void SendSwitchBack(LinkSender& link);
  void SendCorrUOZ(LinkSender& link, std::int8_t correction);

  // The exchange trace of this session's connections, kept across them. Any thread.
  ExchangeTrace& Trace() { return *trace_; }

  // Tests: the link becomes one without threads (its queue and current
  // request), replacing the last connection's.
  KLineLink& UseLinkWithoutThreads();

 private:
  class Client : public LinkClient {
   public:
    explicit Client(EcuSession& s) : s_(s) {}
    void OnReply(const std::uint8_t* data, int count) override { s_.DispatchReply(data, count); }
    void OnPacket(const std::uint8_t* data, int count) override { s_.HandlePacket(data, count); }
    bool OnGarbled(LinkSender& link) override { return s_.RetryLastRequest(link); }
    void OnLinkLost(const std::string& text) override { s_.EndLink(text); }
    void RequestNextData(LinkSender& link) override;
    bool SwitchBackRequested() override { return s_.leaveUnidir_.load() != 0; }
    void SendSwitchBack(LinkSender& link) override { s_.SendSwitchBack(link); }
    std::optional<std::int8_t> CorrectionToSend() override;
    void SendCorrection(LinkSender& link, std::int8_t correction) override {
      s_.SendCorrUOZ(link, correction);
    }
    void OnResponseTime(int ms) override { s_.events_.OnResponseTime(ms); }
    void OnCounters(int resets, int badReplies) override { s_.events_.OnLinkCounters(resets, badReplies); }
    void OnUnidirEnded() override { s_.events_.OnUnidirMode(false); }

   private:
    EcuSession& s_;
  };

  void ReleaseLink();
  bool ChangeSpeed(int speedIndex);
  void OnDataReply(const std::uint8_t* data, int count);
  void OnNegativeReply(const std::uint8_t* data, int count);
  // The only writer of AFR_LC1 (and ALF_LC1 with it).
  void StoreLc1(double afr, bool withAlf);
  double Lc1Value() const;
  void Publish();
  void CountReply();
  void PollTick();
  void RestartPollTimer();
  void AttemptConnection();
  // Schedules the next reconnection attempt, or reports text when none follows.
  void ReportLinkEnd(const std::string& text, bool sessionLost);
  bool ScheduleReconnect(const std::string& text, bool sessionLost);

  struct ConnectArgs {
    std::string port;
    int speedIndex = 0;
    bool fastInit = false;
    bool echo = true;
  };

  SessionEvents& events_;
  EcuDataRecord data_;
  std::vector<EcuDataSink*> sinks_;
  CsvLog log_;
  int avgAngle_ = 360;
  bool polling_ = false;    // also at interval 0
  int pollIntervalMs_ = 0;  // set by each connect command
  UiTimer pollTimer_;
  ConnectArgs lastConnect_;
  int reconnectAttempt_ = 0;       // attempt of the running reconnection; 0 none
  bool userDisconnected_ = false;  // F3 since the last connect
  int reconnectDelayMs_ = kReconnectDelayMs;
  UiTimer reconnectTimer_;
  SharedValue<std::uint8_t> linkState_;
  SharedValue<std::uint8_t> leaveUnidir_;
  SharedValue<std::int8_t> requestedCorr_;
  SharedValue<std::uint8_t> startRetries_;
  SharedValue<std::uint32_t> negativeReplies_;
  Lc1Reader* lc1_ = nullptr;
  Client client_{*this};
  // Shared with the link threads, which may outlive a stopped link for a while.
  std::shared_ptr<ExchangeTrace> trace_ = std::make_shared<ExchangeTrace>();
  // The port and the link of the current connection (kept, stopped, after it
  // ends, until the next one: a link may end from inside its own timer tick).
  // User-interface thread.
  std::unique_ptr<KLinePort> port_;
  std::unique_ptr<KLineLink> link_;
};
