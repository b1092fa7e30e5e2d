#pragma once
// The LC-1 reader's own state. Not for use outside lambda/ (tests may look).

#include <atomic>
#include <cstdint>
#include <mutex>

#include "common/shared_value.h"
#include "lambda/lambda.h"
#include "link/port.h"

// Guards LambdaValue; lives for the whole process.
extern std::mutex LambdaLock;
// Last reading; read and written only under LambdaLock.
extern double LambdaValue;

// The LC-1 port; kNoPort when closed. Written on the user-interface thread.
extern std::atomic<PortId> LambdaPortHandle;
// 100 ms ticks since the last packet; -1 until the first one. Written by the
// reader and the silence timer, both under LambdaLock.
extern SharedValue<std::int32_t> LambdaSilenceTicks;

namespace lambda_detail {
// Back to the state of a program that has just started: no reader, no
// reading. Tests, between cases.
void ResetState();
}  // namespace lambda_detail
