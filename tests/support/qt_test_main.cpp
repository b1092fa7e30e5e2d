// The window's test programs run with a Qt application on the offscreen
// platform, so they can create widgets; the core's hand-offs and timers run
// on its event loop. (The core's test programs use GoogleTest's own main.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

#if defined(__SANITIZE_THREAD__)
#include <QSemaphore>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);

namespace {

// Runs step once on each thread of Qt's global pool: every task waits until
// all have started, so no thread takes two. The tasks are handed over under
// a lock of the program's own, which ThreadSanitizer sees (the pool's it does
// not).
void OnEveryPoolThread(const std::function<void()>& step) {
  static std::mutex handOver;
  QThreadPool* pool = QThreadPool::globalInstance();
  const int threads = pool->maxThreadCount();
  auto started = std::make_shared<QSemaphore>();
  auto go = std::make_shared<QSemaphore>();
  {
    std::lock_guard<std::mutex> lock(handOver);
    for (int i = 0; i < threads; ++i)
      pool->start([step, started, go] {
        { std::lock_guard<std::mutex> seen(handOver); }
        step();
        started->release();
        go->acquire();
      });
  }
  started->acquire(threads);
  go->release(threads);
}

// Drawing hands parts of big fills and image conversions to Qt's global pool,
// whose locks ThreadSanitizer cannot see in the uninstrumented library, and
// whose reports have no function name to suppress. The program itself never
// uses that pool, so its threads' own accesses are left unchecked; the
// program's threads and the user-interface thread are checked as before.
class QtPoolUnchecked {
 public:
  QtPoolUnchecked() {
    QThreadPool::globalInstance()->setExpiryTimeout(-1);  // the threads stay marked
    OnEveryPoolThread([] {
      AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
      AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
    });
  }
  // A thread must not end with its accesses ignored.
  ~QtPoolUnchecked() {
    OnEveryPoolThread([] {
      AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
      AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
    });
    QThreadPool::globalInstance()->setExpiryTimeout(kQtExpiryMs);
  }

 private:
  static constexpr int kQtExpiryMs = 30000;  // Qt's own
};

}  // namespace
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
#if defined(__SANITIZE_THREAD__)
  // Not when the build only lists the tests: no pool is needed for that.
  std::optional<QtPoolUnchecked> poolUnchecked;
  if (!::testing::GTEST_FLAG(list_tests)) poolUnchecked.emplace();
#endif
  return RUN_ALL_TESTS();
}
