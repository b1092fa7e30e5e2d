#pragma once
// The session's own counters. Not for use outside ecu/ (tests may look).

#include <cstdint>

#include "common/shared_value.h"

class KLineLink;

extern SharedValue<std::uint8_t> StartRetryCount;      // repeats of the current start request
extern SharedValue<std::uint32_t> NegativeReplyCount;  // status panel 6

// The LC-1 value as the session stores it in AFR_LC1: the reader's reading
// (0 without a reader), or -1 when the LC-1 is not enabled.
double Lc1ValueForEcuData();

namespace session_detail {
// Back to the state of a program that has just started: no session, no
// correction asked for, counters at zero. Tests, between cases.
void ResetState();
// Tests: the session's link becomes one without threads (its queue and
// current request), replacing the last connection's.
KLineLink& UseLinkWithoutThreads();
}  // namespace session_detail
