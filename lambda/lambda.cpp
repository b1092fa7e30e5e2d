#include "lambda/lambda.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <thread>

#include "common/bytes.h"
#include "common/ui.h"
#include "common/worker.h"
#include "lambda/lambda_internal.h"

SharedValue<std::uint8_t> LambdaActive;
SharedValue<std::uint8_t> LambdaNoData;
std::mutex LambdaLock;
double LambdaValue = 0;
std::atomic<PortId> LambdaPortHandle{kNoPort};
SharedValue<std::int32_t> LambdaSilenceTicks{-1};

void lambda_detail::ResetState() {
  LambdaActive = 0;
  LambdaNoData = 0;
  LambdaPortHandle.store(kNoPort);
  std::lock_guard<std::mutex> lock(LambdaLock);
  LambdaValue = 0;
  LambdaSilenceTicks = -1;
}

namespace {
const char* const kNoLambdaHint = "Если LC-1 не используется: «Настройки» → «Порт LC-1» → «Нет».";
}  // namespace

namespace lambda_reader {

std::atomic<std::uint64_t> g_passes{0};

// The LC-1 reader thread. It owns a copy of the port id: after a disconnect the
// id is dead for good, so a late operation fails instead of reaching a newer port.
class TComReadThread : public WorkerThread {
 public:
  explicit TComReadThread(PortId port) : port_(port) {}

 protected:
  void Execute() override;

 private:
  // Header, function code and reading make one packet: 2 + 4 bytes.
  static constexpr int kBodyLength = 4;
  // The count stays an 8-bit quantity: a read never takes more than fits below 256.
  static constexpr int kMaxCount = 255;

  // Returns false when the stop was seen and the body must end.
  bool CompletePacket(const MsgBlock& packet);

  PortId port_;
};

void TComReadThread::Execute() {
  MsgBlock packet{};
  MsgBlock chunk{};
  int count = 0;
  int state = 0;  // 0 seeking a header, 1 reading the body

  while (!Terminated()) {
    g_passes.fetch_add(1, std::memory_order_relaxed);
    // A closed port or a pulled lead (hang-up) fails the wait for good: end
    // quietly rather than loop; the silence timer then reports the time-out.
    if (!WaitRxChar(port_)) return;
    if (Terminated()) return;

    std::uint32_t waiting = PortInQueue(port_);
    // Everything waiting is read, also when it is fewer bytes than the header
    // or body still needs: the wait returns while bytes are waiting, so leaving
    // them in the queue would turn it into a busy loop. The outcome is the same,
    // as a short read ends the pass with its bytes kept.
    int take = static_cast<int>(std::min<std::uint32_t>(waiting, kMaxCount - count));
    if (take <= 0) continue;
    int got = ReadPortBlocking(port_, chunk.data(), take);
    if (got <= 0) continue;
    count = AppendBytes(packet, chunk.data(), count, got);

    if (state == 0) {
      int p = 0;
      while (p + 1 < count && !IsLambdaHeader(packet[p], packet[p + 1])) ++p;
      if (p + 1 >= count) {
        // No header yet: its first byte may be the last one here.
        if (count > 0) {
          packet[0] = packet[count - 1];
          count = 1;
        }
        continue;
      }
      std::copy(packet.begin() + p + 2, packet.begin() + count, packet.begin());
      count -= p + 2;
      state = 1;
    }
    if (count < kBodyLength) continue;

    if (!CompletePacket(packet)) return;
    state = 0;
    count = 0;
    // Whatever followed the packet is dropped, including the start of the next
    // one; the header search then skips its remains.
    PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  }
}

bool TComReadThread::CompletePacket(const MsgBlock& packet) {
  {
    // The stop is checked under the lock that DisconnectLambda passes through
    // after asking the reader to end: once it has returned, nothing more is stored.
    std::lock_guard<std::mutex> lock(LambdaLock);
    if (Terminated()) return false;
    LambdaNoData = 0;
    LambdaValue = DecodeLambdaPacket(packet.data());
    LambdaSilenceTicks = 0;
  }
  Synchronize([] { Ui().RefreshControls(); });
  return !Terminated();
}

std::shared_ptr<TComReadThread> g_reader;
// The newest reader, also after a disconnect, until its body has returned.
std::weak_ptr<TComReadThread> g_lastReader;
UiTimer g_silenceTimer([] { LambdaTimerTick(); });

}  // namespace lambda_reader

using namespace lambda_reader;

bool IsLambdaHeader(std::uint8_t h0, std::uint8_t h1) { return (h0 & 0xB2) == 0xB2 && (h1 & 0x82) == 0x82; }

double DecodeLambdaPacket(const std::uint8_t* body) {
  const int function = (body[0] >> 2) & 7;
  const int af = ((body[0] & 1) << 7) | (body[1] & 0x7F);
  const int reading = ((body[2] & 0x7F) << 7) | (body[3] & 0x7F);
  switch (function) {
    case 0: {
      const double multiplier = af / 10.0;
      return (reading + 500) / 1000.0 * multiplier;
    }
    case 1:
      return reading / 10.0;
    case 6:
      return -1;
    default:
      return 0;
  }
}

void ConnectLambda(const std::string& port) {
  // One reader at a time: a second connect first stops the running one.
  if (LambdaActive || g_reader) DisconnectLambda();
  {
    std::lock_guard<std::mutex> lock(LambdaLock);
    LambdaValue = 0;
  }
  PortId handle = kNoPort;
  try {
    handle = OpenAndConfigurePort(port, 19200, ONESTOPBIT, 20, 100);
  } catch (const PortOpenError& e) {
    // Say which of the two ports failed, and how to go on without an LC-1.
    throw EcuError(PortOpenText(port.empty() ? "LC-1" : "LC-1 " + port, e.reason()) + "\n" + kNoLambdaHint,
                   e.detail());
  }
  LambdaPortHandle = handle;
  // The no-data state is set before the reader starts, so a first packet that
  // arrives at once is not overwritten by it.
  {
    std::lock_guard<std::mutex> lock(LambdaLock);
    LambdaNoData = 1;
    LambdaSilenceTicks = -1;
  }
  g_reader = std::make_shared<TComReadThread>(handle);
  g_lastReader = g_reader;
  WorkerThread::Start(g_reader);
  g_silenceTimer.Start(100);
  LambdaActive = 1;
}

void DisconnectLambda() {
  LambdaActive = 0;
  g_silenceTimer.Stop();
  if (g_reader) {
    g_reader->Terminate();
    // Passing through the lock orders the stop before any later store: a
    // reader still finishing a packet either stored before this or sees it.
    { std::lock_guard<std::mutex> lock(LambdaLock); }
  }
  std::this_thread::yield();
  // Closing wakes the reader's wait; it then sees the request and ends.
  ClosePortHandle(LambdaPortHandle);
  g_reader.reset();
}

double ReadLambdaValue() {
  std::lock_guard<std::mutex> lock(LambdaLock);
  return LambdaValue;
}

void LambdaTimerTick() {
  bool silenceBegins = false;
  {
    // Under the lock, so a packet's reset of the count is never lost to a tick.
    std::lock_guard<std::mutex> lock(LambdaLock);
    std::int32_t ticks = LambdaSilenceTicks;
    if (ticks != -1 && ticks < std::numeric_limits<std::int32_t>::max()) LambdaSilenceTicks = ++ticks;
    if (ticks == 10) {
      LambdaNoData = 1;
      LambdaValue = 0;
      silenceBegins = true;
    }
  }
  if (silenceBegins) Ui().RefreshControls();
}

bool LambdaReaderRunning() {
  std::shared_ptr<TComReadThread> reader = g_lastReader.lock();
  return reader && !reader->Finished();
}

std::uint64_t LambdaReaderPasses() { return g_passes.load(std::memory_order_relaxed); }
