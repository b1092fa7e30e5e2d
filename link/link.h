#pragma once
// The K-line link: the request queue, the transmitter and receiver threads,
// the 100 ms link timer and the switches between request/reply (B) and
// unidirectional (U) mode. Each function names the threads that may call it.

#include <cstdint>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/shared_value.h"

// The ECU session as the link sees it. StartLinkThreads registers it for the
// link's life: what the receiver frames goes to it, and the link asks it for
// what only the session knows (the repeat of a garbled request, the next data
// request, the raw commands of the packet stream). Each method runs on the
// thread it names.
class LinkClient {
 public:
  virtual ~LinkClient() = default;
  // UI thread. A complete reply whose checksum matched: data starts at the
  // service identifier; count holds the data and the checksum byte.
  virtual void OnReply(const std::uint8_t* data, int count) = 0;
  // UI thread. A crank packet of the unidirectional stream: its 7 bytes and
  // any that followed them in the same read (count >= 7).
  virtual void OnPacket(const std::uint8_t* data, int count) = 0;
  // Receiver thread. The exchange was garbled (a bad echo or reply header):
  // queues its repeat. False when the repeats are used up and the link must end.
  virtual bool OnGarbled() = 0;
  // UI thread. The link must end: text says why (no answer in time, the
  // repeats used up, a link thread that died); empty when it ended quietly.
  virtual void OnLinkLost(const std::string& text) = 0;
  // UI or receiver thread. Queues the next data request unless another
  // request is pending (QueueRequestIfEmpty).
  virtual void RequestNextData() = 0;
  // Receiver thread, before a complete message is handed over: the raw
  // commands of the packet stream. True once the user asked to leave the
  // stream; SendSwitchBack then writes the command that ends it.
  virtual bool SwitchBackRequested() = 0;
  virtual void SendSwitchBack() = 0;
  // U mode: the ignition correction to send while the one the ECU reports
  // differs from the one asked for.
  virtual std::optional<std::int8_t> CorrectionToSend() = 0;
  virtual void SendCorrection(std::int8_t correction) = 0;
};

// Link state shared by the window, the session and the link threads.
extern SharedValue<std::uint8_t> UnidirMode;      // 1 while the ECU streams packets
extern SharedValue<std::int32_t> ReplyCountdown;  // 100 ms ticks left; -1 not armed

// The message of a link that got no answer in time.
inline constexpr const char* kNoAnswerText = " Нет ответа от ЭБУ      ";

// UI thread. Counts a data reply not decoded for its length; status panel 5
// shows them with the checksum errors.
void CountLengthError();

// The request queue's slots; one stays free, so 200 requests can wait.
inline constexpr int kQueueSlots = 201;

// UI or receiver thread. Queues a request (bytes with checksum). Returns false
// and drops it when 200 requests are already pending.
bool QueueRequest(MsgBlock block, std::uint8_t length);
// UI or receiver thread. Queues the request only when none is pending.
bool QueueRequestIfEmpty(MsgBlock block, std::uint8_t length);
// UI thread. Drops every pending request.
void DropPendingRequests();
// Any thread. True when no request is pending.
bool QueueEmpty();
// Any thread. Number of pending requests.
int PendingRequests();

// Any thread. Service identifier of the request whose reply is awaited; -1 when none.
int CurrentServiceId();

// UI thread. Starts the receiver and transmitter on the open K-line port;
// client takes what they frame until the link ends.
void StartLinkThreads(LinkClient& client);
// UI thread. Asks both threads to end (never waits) and drops pending requests;
// the caller closes the port next, which wakes the receiver.
void StopLinkThreads();
// UI thread. True while link threads started by StartLinkThreads have been
// neither stopped nor died.
bool LinkThreadsRunning();
// UI thread. The ECU confirmed the packet stream: U mode, queue emptied.
void EnterUnidirMode();
// UI thread (link timer). The packet stream ended: back to B mode.
void LeaveUnidirMode();
// UI thread. The 100 ms link timer calling LinkTimerTick, run by the window
// (UiTimer).
void StartLinkTimer();
void StopLinkTimer();
bool LinkTimerActive();
// UI thread. Reply time-outs, the end of U mode, and the end of a link whose
// thread died on a port error.
void LinkTimerTick();

// UI thread. Status panels 4 and 5 from the receiver counters (panel 5: the
// replies dropped for their checksum or their length).
void ShowLinkCounters();
// UI thread. Status panel 2 from the time since the last queued write, once per write.
void UpdateResponseTime();
