// Placeholder until the session lands; replaced by its owner.
#include "ecu/session.h"

SharedValue<std::uint8_t> LinkState;
SharedValue<std::uint8_t> UnidirMode;
SharedValue<std::uint8_t> LeaveUnidirRequest;
SharedValue<std::int32_t> ReplyCountdown{-1};
SharedValue<std::int8_t> RequestedCorrUOZ;
SharedValue<std::uint8_t> StartRetryCount;
SharedValue<std::uint32_t> NegativeReplyCount;

void EcuConnect(const std::string&, int, bool, bool) {}
void EcuDisconnect() {}
void EcuTeardown() {}
void SendRequest(const std::vector<std::uint8_t>&) {}
void RequestData() {}
