#pragma once
// The ECU session: link state, handshake, reply dispatch, retries, teardown,
// and the requests of the KWP frame. User-interface thread unless stated.

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/shared_value.h"
#include "link/link.h"

class KLinePort;
class Lc1Reader;

// Session state shared by the window, the session and the link threads.
extern SharedValue<std::uint8_t> LinkState;           // 1 while a diagnostic session is established
extern SharedValue<std::uint8_t> LeaveUnidirRequest;  // user asked to leave unidirectional mode
extern SharedValue<std::int8_t> RequestedCorrUOZ;     // -15..15 degrees

// The LC-1 reader whose reading the session copies into EcuData and which its
// teardown stops; nullptr (as at start) for none. Set by the window that owns it.
void SetSessionLc1(Lc1Reader* reader);
Lc1Reader* SessionLc1();

// The link of the current connection, also stopped after it ended (until the
// next connect); nullptr before the first.
KLineLink* EcuLink();
// The port of the current connection; nullptr before the first. True while it is open.
KLinePort* EcuPort();
bool EcuPortOpen();
// True while the ECU streams crank packets.
bool EcuUnidirMode();
// True from the connect until the teardown (the port open or the link timer running).
bool EcuLinkActive();
// Polling on or off: the data requests at DataInterval by the window's timer
// (UiHooks::SetMsgTimerEnabled), or with DataInterval 0 each as the last reply
// is in, by the link.
void EcuSetPolling(bool on);

// Opens the K-line port and starts the handshake. Port errors propagate.
void EcuConnect(const std::string& port, int speedIndex, bool fastInit, bool echo);
// Sends StopDiagnosticSession; the replies end the session.
void EcuDisconnect();
// Stops the link threads and timer, closes the port, stops the LC-1 reader.
void EcuTeardown();

// Frames a request (without checksum), appends the checksum and queues it.
// Any thread.
void SendRequest(const std::vector<std::uint8_t>& frame);
// Queues the data request 82 10 F1 21 0D. Any thread.
void RequestData();

// The message of a link whose speed the ECU refused (kNoAnswerText, link.h, is
// the other that ends a link).
inline constexpr const char* kSpeedRefusedText = "ЭБУ не поддерживает выбранную скорость соединения";

// The receiver's hand-off of one complete reply whose checksum matched; data
// starts at the service identifier, count is data bytes plus checksum.
void DispatchReply(const std::uint8_t* data, int count);
// Receiver thread. Queues the repeat of the request whose exchange was garbled.
// False when the repeats of a start request are used up (the link must end).
bool RetryLastRequest();
// Receiver thread. The raw commands of the unidirectional stream.
void SendSwitchBack();
void SendCorrUOZ(std::int8_t correction);
// Program end: stops a link still running (threads, timer, port) and the LC-1
// reader without touching the window or the log, so every worker's wait ends.
// Call it before TerminateAllWorkers.
void EcuShutdown();
// Ends the link as on a reply time-out: closes the session's log, tears the
// link down and reports text (UiHooks::LinkEnded) unless it is empty or the
// window is closing.
void EcuEndLink(const std::string& text);
