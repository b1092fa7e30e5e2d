#pragma once
// The LC-1 wideband lambda reader. User-interface thread unless stated.

#include <cstdint>
#include <string>

#include "common/shared_value.h"
#include "link/port.h"

extern SharedValue<std::uint8_t> LambdaActive;  // reader running
extern SharedValue<std::uint8_t> LambdaNoData;  // no packet since connect or for 1 s
// Opens the port at 19200 8N1 and starts the reader and the silence timer.
// Port errors propagate with nothing started; an open failure says that it is
// the LC-1's port and how to do without one.
void ConnectLambda(const std::string& port);
void DisconnectLambda();
// Copies LambdaValue under LambdaLock. Any thread.
double ReadLambdaValue();

// One tick of the 100 ms silence timer: after 10 ticks without a packet the
// reading turns to 0 and LambdaNoData to 1, once.
void LambdaTimerTick();

// True for a header pair of the LC-1 stream (masks 0xB2 and 0x82). Any thread.
bool IsLambdaHeader(std::uint8_t h0, std::uint8_t h1);
// The reading of one packet body (the 4 bytes after the header): the air-fuel
// ratio for function 0, L / 10 for function 1, -1 for function 6, otherwise 0.
// Any thread.
double DecodeLambdaPacket(const std::uint8_t* body);

// For tests and benchmarks: whether the reader body is still running, and how
// many wait passes it has made (a stuck loop shows as a racing count).
// LambdaReaderRunning: user-interface thread; LambdaReaderPasses: any thread.
bool LambdaReaderRunning();
std::uint64_t LambdaReaderPasses();
