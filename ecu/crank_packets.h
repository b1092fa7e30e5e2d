#pragma once
// The crank packets of the unidirectional stream (the link finds them behind
// their sync pair): their decoding and the speed samples derived from them.

#include <cstdint>

#include "common/bytes.h"
#include "link/framing.h"

struct EcuDataRecord;

// User-interface thread. Adds one packet to the running sample; true when a
// sample completed. avgAngle is the window's "Осреднять за" value.
bool DecodeSpinPacket(const std::uint8_t* packet, int avgAngle, EcuDataRecord& d);
// Entering the mode clears the running sample.
void ResetSpinSample(EcuDataRecord& d);
