// Replies per second of the data polling at 10400, 38400 and 57600 baud with
// DataInterval 0 and WriterPause 20, against a simulated ECU at real wire
// timing that answers at once; printed beside the wire limit, with the
// program's processor time per reply. The simulator runs in a child process
// so that the processor time measured is the program's alone.
// On Windows (under Wine) the simulator is ecusim outside, on a COM port:
//   bench_link_rate.exe [seconds] [port] [speed index...]   (1 = 38400, 2 = 57600)

#ifndef _WIN32
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/qt_ui_hooks.h"
#include "common/config.h"
#include "common/timing.h"
#include "common/ui.h"
#include "common/worker.h"
#include "ecu/session.h"
#include "link/link.h"
#include "link/port.h"
#ifdef _WIN32
// Last: its macros would clash with the port's names.
#include <windows.h>
#else
#include "sim/kwp_ecu.h"
#include "sim/sim.h"
#endif

namespace {

class CountingUi : public QtUiHooks, public SessionEvents {
 public:
  void OnReply() override { ++replies; }
  void OnResponseTime(int ms) override {
    responseSum += ms;
    ++responses;
  }
  void OnLinkEnded(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
  void OnError(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
  void OnMessage(const std::string& text) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
  int replies = 0;
  long long responseSum = 0;
  int responses = 0;
};

// Runs the event loop until pred holds (checked every 10 ms) or ms have passed.
bool WaitFor(const std::function<bool()>& pred, int ms) {
  if (pred()) return true;
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (pred()) loop.quit();
  });
  check.start(10);
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  return pred();
}

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

#ifdef _WIN32
double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto seconds = [](const FILETIME& t) {
    return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The simulator is already running on the port given.
using SimProcess = int;
SimProcess StartSimulator(const std::string&) { return 0; }
void StopSimulator(SimProcess) {}
#else
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the adapter and ECU in a child process until it is killed.
pid_t StartSimulator(const std::string& link) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(ready[0]);
    sim::SimLineOptions o;
    o.timeScale = 1.0;
    o.absorbWakeByte = true;
    auto ecu = std::make_shared<sim::KwpEcu>();
    sim::SimLine line(link, std::make_shared<sim::SimEcuSwitch>(ecu, nullptr), o);
    const char ok = 1;
    (void)!write(ready[1], &ok, 1);
    for (;;) pause();
  }
  close(ready[1]);
  char ok = 0;
  (void)!read(ready[0], &ok, 1);
  close(ready[0]);
  return ok ? pid : -1;
}

using SimProcess = pid_t;
void StopSimulator(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
#ifdef _WIN32
  const std::string link = argc > 2 ? argv[2] : "COM1";
  std::vector<int> speeds;
  for (int i = 3; i < argc; ++i) speeds.push_back(std::atoi(argv[i]));
  if (speeds.empty()) speeds = {1, 2};  // Wine cannot set 10400 on a pseudo-terminal
#else
  const std::string dir =
      std::filesystem::temp_directory_path() / ("varnek-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string link = dir + "/kline";
  const std::vector<int> speeds = {0, 1, 2};
#endif

  CountingUi ui;
  SetUiHooks(&ui);
  EcuSession session{ui};
  TCfg.Echo = 1;
  TCfg.WriterPause = 20;
  TCfg.DataInterval = 0;
  TCfg.NotCheckReplyLen = 1;

  std::printf("K-line data polling, DataInterval 0, WriterPause 20, %.0f s per speed\n", seconds);
  std::printf("%8s %12s %12s %7s %14s %10s %12s %12s\n", "baud", "replies/s", "wire limit", "ratio",
              "CPU ms/reply", "CPU % core", "resp. ms", "wire ms");
  for (const int cbr : speeds) {
    const SimProcess sim = StartSimulator(link);
    if (sim < 0) {
      std::fprintf(stderr, "cannot start the simulator\n");
      return 1;
    }
    ui.replies = 0;
    try {
      session.Connect(link, cbr, false, true);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "connect failed: %s\n", e.what());
      StopSimulator(sim);
      return 1;
    }
    if (!WaitFor([&] { return session.LinkState().load() == 1; }, 5000)) {
      std::fprintf(stderr, "no session at speed index %d\n", cbr);
      return 1;
    }
    Wait(500);
    const int r0 = ui.replies;
    ui.responseSum = 0;
    ui.responses = 0;
    const double c0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    Wait(static_cast<int>(seconds * 1000));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - c0;
    const int replies = ui.replies - r0;

    const double baud = BaudTable[cbr];
    const double limit = 1.0 / (108 * 10 / baud + 0.020);
    const double rate = replies / wall;
    // Response time: from the end of the write to the end of the reply; the
    // wire needs the echo and the reply for it.
    std::printf("%8.0f %12.2f %12.2f %7.3f %14.3f %10.2f %12.1f %12.1f\n", baud, rate, limit, rate / limit,
                replies ? cpu * 1000 / replies : 0.0, cpu / wall * 100,
                ui.responses ? static_cast<double>(ui.responseSum) / ui.responses : 0.0,
                108 * 10 * 1000 / baud);
    std::fflush(stdout);

    session.SetPolling(false);
    session.Disconnect();
    WaitFor([&] { return !session.LinkActive(); }, 3000);
    if (session.PortOpen()) session.Teardown();
    WaitFor([] { return LiveWorkerCount() == 0; }, 3000);
    StopSimulator(sim);
  }
  SetUiHooks(nullptr);
#ifndef _WIN32
  std::filesystem::remove_all(dir);
#endif
  return 0;
}
