#pragma once
// The KWP2000 frame on the K-line (ISO 14230 short header): addresses, the
// requests the program sends, the speed bytes and the reply header check.
// Pure functions over bytes; any thread.

#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "link/framing.h"
#include "link/port.h"

// Service identifiers of the requests.
inline constexpr std::uint8_t SID_StartCommunication = 0x81;
inline constexpr std::uint8_t SID_StopCommunication = 0x82;
inline constexpr std::uint8_t SID_StartDiagnosticSession = 0x10;
inline constexpr std::uint8_t SID_StopDiagnosticSession = 0x20;
inline constexpr std::uint8_t SID_ReadDataByLocalIdentifier = 0x21;
inline constexpr std::uint8_t SID_InputOutputControl = 0x30;
inline constexpr std::uint8_t SID_NegativeReply = 0x7F;
// A positive reply carries the request's identifier plus this.
inline constexpr std::uint8_t kPositiveReplyOffset = 0x40;
constexpr std::uint8_t PositiveReply(std::uint8_t sid) {
  return static_cast<std::uint8_t>(sid + kPositiveReplyOffset);
}
// Local identifier of the diagnostic data record.
inline constexpr std::uint8_t kDataLocalId = 0x0D;
// InputOutputControl's identifier of the unidirectional packet stream.
inline constexpr std::uint8_t kUnidirLocalId = 0x72;
// Data reply: 61 0D, the 95-byte record and the checksum.
inline constexpr int kDataRecordLen = 95;
inline constexpr int kDataReplyBodyLen = 2 + kDataRecordLen + 1;

// Requests without their checksum (SendRequest appends it).
extern const std::vector<std::uint8_t> ReqStartCommunication;     // 81 10 F1 81
extern const std::vector<std::uint8_t> ReqReadData;               // 82 10 F1 21 0D
extern const std::vector<std::uint8_t> ReqUnidirectionalMode;     // 83 10 F1 30 72 01
extern const std::vector<std::uint8_t> ReqStopDiagnosticSession;  // 81 10 F1 20
extern const std::vector<std::uint8_t> ReqStopCommunication;      // 81 10 F1 82

// Raw commands of the unidirectional packet stream (no header, no checksum).
inline constexpr std::uint8_t kRawCommand = 0xEE;
inline constexpr std::uint8_t kRawSwitchBack = 0x88;

// Speed byte of StartDiagnosticSession by speed index CBR (0x0A, 0x26, 0x39).
extern const std::uint8_t SpeedByteTable[3];

// StartDiagnosticSession 83 10 F1 10 81 and the speed byte of TCfg.CBR, read now.
std::vector<std::uint8_t> BuildSessionRequest();

// The frame with its checksum appended (the low 8 bits of the sum of all bytes).
std::vector<std::uint8_t> WithChecksum(std::vector<std::uint8_t> frame);
