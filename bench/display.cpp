// Cost of the live display as a recording grows: one UpdateDisplay that adds
// chart points, and one replot of the chart, at 1 000, 10 000 and 100 000
// points already plotted. Prints figures; goals: UpdateDisplay under 50 us and
// not growing with the count, replot under 5 ms at 100 000 points.
#include <qcustomplot.h>

#include <QApplication>
#include <QComboBox>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "app/live/live_view.h"
#include "app/mainwindow.h"
#include "app/widgets/user_dialogs.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "link/link.h"

namespace {

using Clock = std::chrono::steady_clock;

// Dialogs answered silently: a benchmark never waits on a modal box.
class QuietUi : public UserDialogs {};

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Processor time of this thread in microseconds: on a shared, busy machine it
// shows the work itself, where wall time also shows the waits for a core.
double CpuUs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One completed speed sample of an engine at about 3000 rpm; the speed
// changes from sample to sample, so the top strip's text changes too.
void Sample(TfrmMain& w, double dt) {
  static int n = 0;
  w.Session().Data().RPM = static_cast<std::uint16_t>(3000 + n++ % 100);
  w.Session().Data().SpinDt = dt;
  w.Session().Data().SpinAccel = 5;
  w.Session().Data().AFR = 13.2;
  w.Session().Data().AFR_LC1 = 13.4;
  w.Session().Data().DGTC_RICH = 1.1;
  w.UpdateDisplay();
}

struct Replot {
  double cpuMs;   // median processor time
  double wallMs;  // fastest wall time
};

struct Figures {
  double updateCpuUs;   // mean processor time of one UpdateDisplay
  double updateWallUs;  // mean wall time of one UpdateDisplay
  Replot follow;        // bottom axis showing the newest seconds
  Replot all;           // bottom axis showing every point
};

Replot MeasureReplot(QCustomPlot* chart) {
  std::vector<double> cpu, wall;
  for (int i = 0; i < 21; ++i) {
    const double c = CpuUs();
    const auto s = Clock::now();
    chart->replot();
    wall.push_back(Us(Clock::now() - s) / 1000);
    cpu.push_back((CpuUs() - c) / 1000);
  }
  return {Median(cpu), *std::min_element(wall.begin(), wall.end())};
}

// Plots `points` samples (per series) of `dt` seconds, then measures.
Figures Measure(TfrmMain& w, int points, double dt) {
  QCustomPlot* chart = w.Live().Chart()->Plot();
  w.Live().ResetReplyCount();  // a new recording or run
  for (int i = 0; i < points; ++i) Sample(w, dt);
  w.Live().ReplotNow();

  constexpr int kCalls = 2000;
  const double c0 = CpuUs();
  const auto t0 = Clock::now();
  for (int i = 0; i < kCalls; ++i) Sample(w, dt);
  Figures f{};
  f.updateWallUs = Us(Clock::now() - t0) / kCalls;
  f.updateCpuUs = (CpuUs() - c0) / kCalls;

  f.follow = MeasureReplot(chart);
  const QCPRange saved = chart->xAxis->range();
  double last = 0;  // the newest point's time, over every series
  for (int g = 0; g < chart->graphCount(); ++g) {
    bool found = false;
    const QCPRange keys = chart->graph(g)->getKeyRange(found);
    if (found) last = std::max(last, keys.upper);
  }
  chart->xAxis->setRange(0, last);
  f.all = MeasureReplot(chart);
  chart->xAxis->setRange(saved);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QuietUi quiet;
  TfrmMain w(&quiet);
  w.resize(1280, 800);
  w.show();
  QApplication::processEvents();

  std::printf(
      "UpdateDisplay: mean per call, processor / wall time. Replot: median processor time /\n"
      "fastest wall time; \"newest\" shows the last 10 s, \"all\" every point.\n");
  std::printf("%-27s %7s %20s %22s %22s\n", "mode", "points", "UpdateDisplay us", "replot newest ms",
              "replot all ms");
  for (int mode : {1, 0}) {
    w.findChild<QComboBox*>("bcmbMode")->setCurrentIndex(mode);
    w.Session().LinkState() = 1;
    w.Session().UseLinkWithoutThreads().EnterUnidirMode();
    for (int n : {1000, 10000, 100000}) {
      // The additional-fuel mode records at a realistic 20 ms per sample; a
      // run of the acceleration mode is cut at 25 s, so its samples are made
      // short enough for n points to fit.
      const double dt = mode == 1 ? 0.02 : 20.0 / (n + 2000);
      const Figures f = Measure(w, n, dt);
      std::printf("%-27s %7d %9.2f / %-8.2f %10.3f / %-9.3f %10.3f / %-9.3f\n",
                  mode == 1 ? "additional fuel (4 series)" : "acceleration (2 series)", n, f.updateCpuUs,
                  f.updateWallUs, f.follow.cpuMs, f.follow.wallMs, f.all.cpuMs, f.all.wallMs);
    }
    w.Session().LinkState() = 0;
    w.Session().Link()->Stop();  // a stopped link is out of the packet stream
  }
  return 0;
}
