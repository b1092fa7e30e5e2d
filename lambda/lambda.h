#pragma once
// The LC-1 wideband lambda reader. User-interface thread unless stated.

#include <cstdint>
#include <mutex>
#include <string>

#include "common/shared_value.h"

extern SharedValue<std::uint8_t> LambdaActive;  // reader running
extern SharedValue<std::uint8_t> LambdaNoData;  // no packet since connect or for 1 s
// Guards LambdaValue; lives for the whole process.
extern std::mutex LambdaLock;
// Last reading; read and written only under LambdaLock.
extern double LambdaValue;

// Opens the port at 19200 8N1 and starts the reader and the silence timer.
// Port errors propagate with nothing started.
void ConnectLambda(const std::string& port);
void DisconnectLambda();
// Copies LambdaValue under LambdaLock. Any thread.
double ReadLambdaValue();
