// What the LC-1 reader costs: passes and processor time per packet at the real
// wire speed (19200 baud, one packet every 80 ms), with clean packets, with
// headers split by a pause, and with garbage between packets.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

#include "app/qt_ui_hooks.h"
#include "common/ui.h"
#include "lambda/lc1_reader.h"
#include "sim/lc1.h"
#include "sim/sim.h"

namespace {

class CountingEvents : public Lc1Events {
 public:
  void OnLc1Reading() override { ++refreshes; }
  void OnLc1Silence() override { ++refreshes; }
  int refreshes = 0;
};

// Runs the event loop for ms milliseconds (the reader's hand-offs and the
// silence timer need it).
void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Run(const char* name, int garbage, double headerPauseMs) {
  QtUiHooks ui;
  SetUiHooks(&ui);
  CountingEvents events;
  Lc1Reader reader(events);
  auto device = std::make_shared<sim::Lc1Device>();
  device->SetGarbageBytes(garbage);
  device->SetHeaderPauseMs(headerPauseMs);
  const std::string path = "/tmp/bench-lc1-" + std::to_string(::getpid());
  sim::SimLineOptions options;
  options.echo = false;
  sim::SimLine line(path, device, options);

  reader.Connect(path);
  for (int i = 0; i < 100 && reader.NoData(); ++i) Wait(20);
  const int refreshes0 = events.refreshes;
  const std::uint64_t passes0 = reader.ReaderPasses();
  const std::uint64_t sent0 = device->PacketsSent();
  const double cpu0 = ProcessCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  Wait(3000);
  const double cpu = ProcessCpuSeconds() - cpu0;
  const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
  const std::uint64_t sent = device->PacketsSent() - sent0;
  const int decoded = events.refreshes - refreshes0;
  const std::uint64_t passes = reader.ReaderPasses() - passes0;
  reader.Disconnect();
  SetUiHooks(nullptr);

  std::printf("%-22s %5.2f s  sent %4llu  decoded %4d  passes/packet %5.2f  cpu %5.2f%% (reader+simulator)\n",
              name, seconds, static_cast<unsigned long long>(sent), decoded,
              decoded ? static_cast<double>(passes) / decoded : 0.0, 100.0 * cpu / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Run("clean packets", 0, 0);
  Run("split headers (20 ms)", 0, 20);
  Run("40 garbage bytes", 40, 0);
  return 0;
}
