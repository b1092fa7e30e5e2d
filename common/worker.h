#pragma once
// Base of the program's worker threads (K-line receiver and transmitter, LC-1
// reader). A worker is created running, owns itself while its body runs and is
// never joined from the user-interface thread: stopping it means Terminate()
// plus waking whatever it waits on.
//
// Synchronize() is the synchronous call into the user-interface thread: the
// step is posted there through the registered UiHooks and the worker waits for
// it, but gives up as soon as Terminate() is called and the step has not
// started, so a worker never deadlocks behind a modal box or at shutdown.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class WorkerThread : public std::enable_shared_from_this<WorkerThread> {
 public:
  virtual ~WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts the body on a new detached thread that keeps the object alive.
  static void Start(const std::shared_ptr<WorkerThread>& thread);

  // Any thread. Asks the body to end and abandons a pending Synchronize.
  void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Any thread but the worker's own. Waits up to timeout for the body to
  // return; true when it has.
  bool WaitFinished(std::chrono::milliseconds timeout) const;
  // The error that ended the body, if any (nobody shows it; link time-outs take over).
  std::exception_ptr FatalError() const;

 protected:
  WorkerThread() = default;
  virtual void Execute() = 0;
  // Worker thread only. Runs fn on the user-interface thread and waits.
  // Returns false when abandoned (fn did not run). Rethrows what fn threw.
  // Runs fn directly when called on the user-interface thread or when no
  // loop runs hand-offs (nothing registered).
  bool Synchronize(const std::function<void()>& fn);
  // Worker thread only. Sleeps up to d; Terminate() ends the sleep at once.
  // False when terminated.
  bool SleepFor(std::chrono::nanoseconds d);
  // DelayMs and DelayUntilMs (timing.h) whose 1 ms sleeps Terminate() ends at
  // once, whatever the length of the wait. False when terminated.
  bool PauseMs(std::uint16_t ms);
  bool PauseUntilMs(std::uint16_t ms, std::int64_t start);

 private:
  void Run();

  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  std::exception_ptr fatal_;
};

// Called once the event loop has ended: asks every live worker to end and waits
// up to the given time for their bodies to return. Returns true when all ended.
bool TerminateAllWorkers(std::chrono::milliseconds timeout);
// Number of worker bodies still running (for tests).
int LiveWorkerCount();
