#include "common/worker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "tests/support/test_ui.h"

namespace {

class ProbeThread : public WorkerThread {
 public:
  std::atomic<int> ranOnUi{0};
  std::atomic<bool> ranOffUi{false};
  std::atomic<bool> abandoned{false};

 protected:
  void Execute() override {
    bool ran = Synchronize([this] { ranOnUi = 1; });
    if (!ran) abandoned = true;
    while (!Terminated()) {
      if (!Synchronize([this] {
            if (!OnUiThread()) ranOffUi = true;
            ++ranOnUi;
          }))
        abandoned = true;
    }
  }
};

}  // namespace

TEST(WorkerThread, HandOffRunsOnUiThreadAndIsAbandonedOnTerminate) {
  RecordingUi ui;  // this thread is the user-interface thread
  auto t = std::make_shared<ProbeThread>();
  WorkerThread::Start(t);
  ASSERT_TRUE(WaitFor([&] { return t->ranOnUi.load() >= 3; }, 10000));
  EXPECT_FALSE(t->ranOffUi);
  // Stop serving the loop, then terminate: the pending hand-off is abandoned.
  t->Terminate();
  ASSERT_TRUE(TerminateAllWorkers(std::chrono::milliseconds(10000)));
  EXPECT_TRUE(t->Finished());
}

TEST(WorkerThread, ErrorEndsTheBodyAndIsKept) {
  struct Failing : WorkerThread {
    void Execute() override { throw std::runtime_error("boom"); }
  };
  auto t = std::make_shared<Failing>();
  WorkerThread::Start(t);
  ASSERT_TRUE(WaitFor([&] { return t->Finished(); }, 10000));
  EXPECT_TRUE(t->FatalError() != nullptr);
}
