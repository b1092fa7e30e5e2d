#include "common/worker.h"

#include <thread>
#include <vector>

#include "common/timing.h"
#include "common/ui.h"

namespace {

// Every worker started and not yet ended.
class WorkerRegistry {
 public:
  void Started(const std::shared_ptr<WorkerThread>& thread) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++live_;
    std::erase_if(threads_, [](const auto& w) { return w.expired(); });
    threads_.push_back(thread);
  }
  void Ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    --live_;
    cv_.notify_all();
  }
  std::vector<std::shared_ptr<WorkerThread>> Alive() const {
    std::vector<std::shared_ptr<WorkerThread>> alive;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& w : threads_)
      if (auto t = w.lock()) alive.push_back(t);
    return alive;
  }
  bool WaitAllEnded(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return live_ == 0; });
  }
  int Live() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::weak_ptr<WorkerThread>> threads_;
  int live_ = 0;
};

// Process-wide: the program's exit stops and waits for every worker, whoever started it.
WorkerRegistry g_workers;

enum class CallState { Pending, Running, Done, Cancelled };

struct SyncCall {
  CallState state = CallState::Pending;
  std::exception_ptr error;
};

}  // namespace

void WorkerThread::Start(const std::shared_ptr<WorkerThread>& thread) {
  g_workers.Started(thread);
  std::thread([thread] { thread->Run(); }).detach();
}

void WorkerThread::Run() {
  try {
    Execute();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    fatal_ = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.store(true, std::memory_order_release);
  }
  cv_.notify_all();
  g_workers.Ended();
}

void WorkerThread::Terminate() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    terminated_.store(true, std::memory_order_release);
  }
  cv_.notify_all();
}

std::exception_ptr WorkerThread::FatalError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fatal_;
}

bool WorkerThread::Synchronize(const std::function<void()>& fn) {
  if (OnUiThread()) {
    fn();
    return true;
  }
  auto call = std::make_shared<SyncCall>();
  std::shared_ptr<WorkerThread> self = shared_from_this();
  const bool posted = PostToUiThread([call, self, fn] {
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (call->state == CallState::Cancelled) return;
      call->state = CallState::Running;
    }
    try {
      fn();
    } catch (...) {
      call->error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      call->state = CallState::Done;
    }
    self->cv_.notify_all();
  });
  if (!posted) {
    fn();
    return true;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // A step that has started must be waited for: it may use the worker's data.
  cv_.wait(lock, [&] {
    return call->state == CallState::Done || (Terminated() && call->state == CallState::Pending);
  });
  if (call->state != CallState::Done) {
    call->state = CallState::Cancelled;
    return false;
  }
  if (call->error) std::rethrow_exception(call->error);
  return true;
}

bool WorkerThread::WaitFinished(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return cv_.wait_for(lock, timeout, [this] { return Finished(); });
}

bool WorkerThread::SleepFor(std::chrono::nanoseconds d) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !cv_.wait_for(lock, d, [this] { return Terminated(); });
}

bool WorkerThread::PauseMs(std::uint16_t ms) { return PauseUntilMs(ms, PerfCounter()); }

bool WorkerThread::PauseUntilMs(std::uint16_t ms, std::int64_t start) {
  if (Terminated()) return false;
  return DelayUntilMs(ms, start, [this] { return SleepFor(std::chrono::milliseconds(1)); });
}

bool TerminateAllWorkers(std::chrono::milliseconds timeout) {
  for (auto& t : g_workers.Alive()) t->Terminate();
  return g_workers.WaitAllEnded(timeout);
}

int LiveWorkerCount() { return g_workers.Live(); }
