#include "lambda/lc1_reader.h"

#include <algorithm>
#include <thread>

#include "common/error.h"
#include "common/worker.h"
#include "lambda/lc1_framer.h"

namespace {
const char* const kNoLambdaHint = "Если LC-1 не используется: «Настройки» → «Порт LC-1» → «Нет».";
}  // namespace

// The reader thread. It owns a copy of the port id: after a disconnect the id
// is dead for good, so a late operation fails instead of reaching a newer port.
class Lc1Reader::ReadThread : public WorkerThread {
 public:
  ReadThread(PortId port, std::shared_ptr<Shared> shared, Lc1Events& events)
      : port_(port), shared_(std::move(shared)), events_(events) {}

 protected:
  void Execute() override;

 private:
  // Returns false when the stop was seen and the body must end.
  bool CompletePacket(double reading);

  PortId port_;
  std::shared_ptr<Shared> shared_;
  Lc1Events& events_;
};

void Lc1Reader::ReadThread::Execute() {
  Lc1Framer framer;
  MsgBlock chunk{};
  while (!Terminated()) {
    shared_->passes.fetch_add(1, std::memory_order_relaxed);
    // A closed port or a pulled lead (hang-up) fails the wait for good: end
    // quietly rather than loop; the silence timer then reports the time-out.
    if (!WaitRxChar(port_)) return;
    if (Terminated()) return;

    std::uint32_t waiting = PortInQueue(port_);
    // Everything waiting is read, also when it is fewer bytes than the header
    // or body still needs: the wait returns while bytes are waiting, so leaving
    // them in the queue would turn it into a busy loop. The outcome is the same,
    // as a short read ends the pass with its bytes kept.
    int take = static_cast<int>(std::min<std::uint32_t>(waiting, framer.Room()));
    if (take <= 0) continue;
    int got = ReadPortBlocking(port_, chunk.data(), take);
    if (got <= 0) continue;
    const std::optional<double> reading = framer.Feed(chunk.data(), got);
    if (!reading) continue;
    if (!CompletePacket(*reading)) return;
    // Whatever followed the packet is dropped, including the start of the next
    // one; the header search then skips its remains.
    PurgePort(port_, PURGE_RXABORT | PURGE_RXCLEAR);
  }
}

bool Lc1Reader::ReadThread::CompletePacket(double reading) {
  // The stop is checked under the lock that Disconnect passes through after
  // asking the reader to end: once it has returned, nothing more is stored.
  if (!shared_->reading.Store(reading, [this] { return Terminated(); })) return false;
  // A call abandoned at the stop may still run later: it then tells nobody,
  // as the owner may be gone.
  Synchronize([this] {
    if (!Terminated()) events_.OnLc1Reading();
  });
  return !Terminated();
}

Lc1Reader::Lc1Reader(Lc1Events& events)
    : events_(events), shared_(std::make_shared<Shared>()), silenceTimer_([this] { TimerTick(); }) {}

Lc1Reader::~Lc1Reader() { Disconnect(); }

void Lc1Reader::Connect(const std::string& port) {
  // One reader at a time: a second connect first stops the running one.
  if (active_ || thread_) Disconnect();
  shared_->reading.ClearValue();
  PortId handle = kNoPort;
  try {
    handle = OpenAndConfigurePort(port, 19200, ONESTOPBIT, 20, 100);
  } catch (const PortOpenError& e) {
    // Say which of the two ports failed, and how to go on without an LC-1.
    throw EcuError(PortOpenText(port.empty() ? "LC-1" : "LC-1 " + port, e.reason()) + "\n" + kNoLambdaHint,
                   e.detail());
  }
  port_ = handle;
  // The no-data state is set before the reader starts, so a first packet that
  // arrives at once is not overwritten by it.
  shared_->reading.Begin();
  thread_ = std::make_shared<ReadThread>(handle, shared_, events_);
  lastThread_ = thread_;
  WorkerThread::Start(thread_);
  silenceTimer_.Start(100);
  active_ = true;
}

void Lc1Reader::Disconnect() {
  active_ = false;
  silenceTimer_.Stop();
  if (thread_) {
    thread_->Terminate();
    // A reader still finishing a packet either stored before this or sees the stop.
    shared_->reading.PassLock();
  }
  std::this_thread::yield();
  // Closing wakes the reader's wait; it then sees the request and ends.
  ClosePortHandle(port_);
  thread_.reset();
}

void Lc1Reader::TimerTick() {
  if (shared_->reading.Tick()) events_.OnLc1Silence();
}

bool Lc1Reader::ReaderRunning() const {
  std::shared_ptr<ReadThread> thread = lastThread_.lock();
  return thread && !thread->Finished();
}

std::uint64_t Lc1Reader::ReaderPasses() const { return shared_->passes.load(std::memory_order_relaxed); }
