#pragma once
// The session's own counters. Not for use outside ecu/ (tests may look).

#include <cstdint>

#include "common/shared_value.h"

extern SharedValue<std::uint8_t> StartRetryCount;     // repeats of the current start request
extern SharedValue<std::uint32_t> NegativeReplyCount;  // status panel 6

namespace session_detail {
// Back to the state of a program that has just started: no session, no
// correction asked for, counters at zero. Tests, between cases.
void ResetState();
}  // namespace session_detail
