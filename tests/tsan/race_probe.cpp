// Deliberate data races for the ThreadSanitizer check (tests/tsan/
// check_race_probe.sh): a worker writes two plain variables while the
// user-interface thread reads one inside a hand-off (dispatched by Qt Core)
// and the other in a window's key handler (called by Qt Gui). Two more
// workers make ordinary hand-offs beside them, the traffic whose Qt-internal
// reports the suppression file silences. With the file in place both races,
// and only they, must be reported.

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "common/worker.h"

namespace {

int g_handOffValue = 0;
int g_keyValue = 0;

__attribute__((noinline)) void RaceProbeWrite(int v) {
  g_handOffValue = v;
  g_keyValue = v;
}
__attribute__((noinline)) int RaceProbeReadInHandOff() { return g_handOffValue; }
__attribute__((noinline)) int RaceProbeReadInKeyHandler() { return g_keyValue; }

class Writer : public WorkerThread {
  void Execute() override {
    for (int i = 0; !Terminated(); ++i) {
      RaceProbeWrite(i);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

// Hand-offs as the K-line receiver makes them; one of them reads a variable.
class HandOffs : public WorkerThread {
 public:
  explicit HandOffs(bool read) : read_(read) {}

 private:
  void Execute() override {
    for (int i = 0; i < 200 && !Terminated(); ++i)
      Synchronize([this] { sink_ += read_ ? RaceProbeReadInHandOff() : 1; });
  }
  const bool read_;
  long sink_ = 0;
};

class ProbeWindow : public QWindow {
 protected:
  void keyPressEvent(QKeyEvent*) override { sink_ += RaceProbeReadInKeyHandler(); }

 private:
  long sink_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  ProbeWindow window;
  WorkerThread::Start(std::make_shared<Writer>());
  std::vector<std::shared_ptr<WorkerThread>> steps{
      std::make_shared<HandOffs>(false), std::make_shared<HandOffs>(false), std::make_shared<HandOffs>(true)};
  for (const auto& s : steps) WorkerThread::Start(s);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &key);
    for (const auto& s : steps)
      if (!s->Finished()) return;
    app.quit();
  });
  poll.start(10);
  app.exec();
  return TerminateAllWorkers(std::chrono::seconds(10)) ? 0 : 1;
}
