#pragma once
// The unidirectional packet stream: sync search, packet decoding and the speed
// samples derived from it.

#include <cstdint>

#include "common/bytes.h"

struct EcuDataRecord;

// Receiver thread. Finds the sync pair, removes it and what came before,
// sets sum to 0 and returns 7; -1 (buffer unchanged) when there is none.
int FindSpinSync(MsgBlock& buffer, std::uint8_t& count, std::uint16_t& sum);
// User-interface thread. Adds one packet to the running sample; true when a
// sample completed. avgAngle is the window's "Осреднять за" value.
bool DecodeSpinPacket(const std::uint8_t* packet, int avgAngle, EcuDataRecord& d);
// User-interface thread, the receiver's hand-off of one packet (count >= 7).
void HandleSpinPacket(const std::uint8_t* packet, int count);
// Entering the mode clears the running sample.
void ResetSpinSample(EcuDataRecord& d);
