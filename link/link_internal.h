#pragma once
// State shared by the link's own units (queue, transmitter, receiver, timer).
// Not for use outside link/.

#include <cstdint>
#include <memory>
#include <mutex>

#include "common/bytes.h"
#include "common/worker.h"
#include "link/framing.h"
#include "link/link.h"
#include "link/port.h"

namespace link_detail {

// Guards the receiver's framer and the current request. The receiver holds it
// while it works on its buffer and releases it around every hand-off into the
// user-interface thread; the transmitter (arming before a write) and
// LeaveUnidirMode take it, so a re-arm never lands in the middle of the
// receiver's work on a chunk.
extern std::mutex RxLock;
// Guarded by RxLock.
extern KLineFramer Framer;
extern MsgBlock CurrentRequest;
extern std::uint8_t CurrentRequestLen;
// Bumped by every re-arm; a receiver that sees it change across a hand-off
// drops what it was working on.
extern std::uint64_t RxGeneration;

// RxLock held. Clears the framer and enters state, expecting the echo of the
// current request.
void ArmReceiver(RxStateValue state);

// Takes the next pending request into slot; false when none. Transmitter.
bool TakeRequest(MsgBlock& slot, std::uint8_t& length);
// Drops every pending request. UI thread.
void DropRequests(bool restart);

// Text shown when the K-line port vanished under a running link.
inline constexpr const char* kPortLostText = "Связь с адаптером K-line потеряна";

std::shared_ptr<WorkerThread> MakeReceiver(PortId port, LinkClient& client);
std::shared_ptr<WorkerThread> MakeTransmitter(PortId port);

}  // namespace link_detail
