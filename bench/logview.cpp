// Opening and looking at one hour of log: 90 000 rows at 25 rows a second,
// written by the program's own row formatting from the simulated engine.
// Prints the time and memory to read it, and the time to redraw the log view
// with 8 variables on 8 tracks after a zoom or a pan.
// Goals: read in under 1 s and under 100 MB; redraw in under 30 ms.
// Then the analysis pages on the same log: the cell table with the filters
// and a computed channel recomputed (goal: under 50 ms), a scatter plot of
// every row drawn (under 100 ms), and the process's memory (under 150 MB).
#include <malloc.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/logview/cell_page.h"
#include "app/logview/histogram_page.h"
#include "app/logview/scatter_page.h"
#include "app/logview/window.h"
#include "app/widgets/user_dialogs.h"
#include "ecu/csvlog.h"
#include "tests/support/log_rows.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 90000;

// Dialogs answered silently: a benchmark never waits on a modal box.
class QuietUi : public UserDialogs {};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Processor time of this thread: on a shared, busy machine it shows the work
// itself, where wall time also shows the waits for a core.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// A field of /proc/self/status in MiB (VmRSS: resident now; VmHWM: the peak).
double StatusMiB(const char* field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(line.find(':') + 1)) / 1024;
  return -1;
}

// Starts a new peak: VmHWM falls back to the present resident size.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct Redraw {
  double medianCpu = 0, medianWall = 0, maxWall = 0;
};

// Sets each range in turn and replots it at once, as a wheel step or a drag does.
Redraw MeasureRedraw(TfrmLogView& view, const std::vector<TimeRange>& ranges) {
  std::vector<double> cpu, wall;
  for (const TimeRange& r : ranges) {
    const double c = CpuMs();
    const auto s = Clock::now();
    view.SetVisibleTime(r);
    wall.push_back(Ms(Clock::now() - s));
    cpu.push_back(CpuMs() - c);
  }
  return {Median(cpu), Median(wall), *std::max_element(wall.begin(), wall.end())};
}

// A simulated hour of log rows in a temporary file.
std::filesystem::path WriteLog() {
  std::filesystem::path file = std::filesystem::temp_directory_path() / "varnek-bench-log.csv";
  {
    std::ofstream out(file, std::ios::binary);
    out << LogHeader() << "\r\n";
    for (const std::string& row : SimulatedLogRows(kRows, 7)) out << row << "\r\n";
  }
  malloc_trim(0);  // the generated rows are not the program's memory
  std::printf("log: %d rows (1 hour at 25 rows/s), %.1f MiB on disk\n\n", kRows,
              static_cast<double>(std::filesystem::file_size(file)) / (1 << 20));

  return file;
}

bool MeasureReading(const std::filesystem::path& file) {
  // Reading: the first read warms the file cache; the figures are of the rest.
  std::vector<double> wall, cpu, peak;
  double heldMiB = 0, tableMiB = 0;
  for (int i = 0; i < 6; ++i) {
    const double before = StatusMiB("VmRSS:");
    ResetPeak();
    const double c = CpuMs();
    const auto s = Clock::now();
    LogReadResult r = ReadLogFile(file.string());
    const double w = Ms(Clock::now() - s);
    if (!r.error.empty() || r.table.RowCount() != static_cast<std::size_t>(kRows)) {
      std::printf("read failed: %s\n", r.error.c_str());
      return false;
    }
    if (i == 0) continue;
    wall.push_back(w);
    cpu.push_back(CpuMs() - c);
    peak.push_back(StatusMiB("VmHWM:") - before);
    heldMiB = StatusMiB("VmRSS:") - before;
    tableMiB = static_cast<double>(r.table.MemoryBytes()) / (1 << 20);
  }
  std::printf("read (goal: under 1 s, under 100 MB)\n");
  std::printf("  time: median %.0f ms wall, %.0f ms processor; slowest %.0f ms wall\n", Median(wall),
              Median(cpu), *std::max_element(wall.begin(), wall.end()));
  std::printf("  memory: peak %.1f MiB above the process before reading; the loaded log holds %.1f MiB\n",
              *std::max_element(peak.begin(), peak.end()), heldMiB);
  std::printf("          (its values and times: %.1f MiB)\n\n", tableMiB);

  return true;
}

void MeasureOpening(TfrmLogView& view, const std::filesystem::path& file) {
  const double beforeView = StatusMiB("VmRSS:");
  std::printf("the process before opening (Qt and the empty view): %.1f MiB\n", beforeView);
  ResetPeak();
  const auto s = Clock::now();
  view.ShowLog(ReadLogFile(file.string()), file.string());
  view.SetTracks({{"RPM"}, {"THR"}, {"UOZ"}, {"AFR"}, {"INJ"}, {"GBC"}, {"fXX"}, {"fPOW"}});
  QApplication::processEvents();
  std::printf("open in the view with 8 tracks (read, graphs, first draw): %.0f ms, peak %.1f MiB;\n",
              Ms(Clock::now() - s), StatusMiB("VmHWM:") - beforeView);
  std::printf("  the whole process then holds %.1f MiB\n\n", StatusMiB("VmRSS:"));
}

void MeasureRedraws(TfrmLogView& view) {
  const double start = view.Table().Times().front(), end = view.Table().Times().back();
  std::printf("redraw with 8 variables (goal: under 30 ms): median processor / median wall / slowest wall\n");
  for (const double width : {end - start, 600.0, 60.0, 10.0}) {
    // A wheel step at several places, then a drag across the log at this width.
    std::vector<TimeRange> zooms, pans;
    for (int i = 0; i < 15; ++i) {
      const double centre = start + (end - start) * (i + 0.5) / 15;
      zooms.push_back({centre - width * 0.425, centre + width * 0.425});  // one wheel step: 0.85
      zooms.push_back({centre - width / 2, centre + width / 2});
    }
    for (int i = 0; i < 30; ++i) {
      const double lower = start + (end - start - width) * i / 29;
      pans.push_back({lower, lower + width});
    }
    const Redraw z = MeasureRedraw(view, zooms);
    const Redraw p = MeasureRedraw(view, pans);
    std::printf("  %6.0f s visible: zoom %5.1f / %5.1f / %5.1f ms   pan %5.1f / %5.1f / %5.1f ms\n", width,
                z.medianCpu, z.medianWall, z.maxWall, p.medianCpu, p.medianWall, p.maxWall);
  }
}

void MeasureAnalysis(TfrmLogView& view) {
  // The analysis pages: median of several runs each, processor / wall time.
  auto measure = [](int runs, const auto& step) {
    std::vector<double> cpu, wall;
    for (int i = 0; i < runs; ++i) {
      const double c = CpuMs();
      const auto s = Clock::now();
      step(i);
      wall.push_back(Ms(Clock::now() - s));
      cpu.push_back(CpuMs() - c);
    }
    return std::make_pair(Median(cpu), Median(wall));
  };
  const LogTable& table = view.Table();
  std::printf("\nanalysis pages (median processor / wall)\n");
  LogChannels channels;
  auto [evalCpu, evalWall] = measure(9, [&](int) {
    channels.Reset(&table, {{"LC1/AFR", "AFR_LC1/AFR"}, {"LOAD", "RPM*THR/100"}});
  });
  std::printf("  two computed channels (AFR_LC1/AFR, RPM*THR/100) over all rows: %.1f / %.1f ms\n", evalCpu,
              evalWall);
  const LogFilters filters;  // idle, fuel cut, no LC-1, THR transients: all on
  std::vector<std::uint32_t> rows;
  auto [filterCpu, filterWall] = measure(15, [&](int) { rows = FilterRows(channels, table, filters, 0, 0); });
  std::printf("  filters: %.1f / %.1f ms (%zu of %zu rows pass)\n", filterCpu, filterWall, rows.size(),
              table.RowCount());
  CellTable cells;
  const auto rpm = *channels.IndexOf("RPM"), gbc = *channels.IndexOf("GBC"),
             ratio = *channels.IndexOf("LC1/AFR");
  auto [cellCpu, cellWall] = measure(15, [&](int) {
    rows = FilterRows(channels, table, filters, 0, 0);
    cells.Compute(rows, channels.Values(rpm), channels.Values(gbc), channels.Values(ratio),
                  EvenBreakpoints(600, 6400, 16, 0),
                  EvenBreakpoints(channels.Min(gbc), channels.Max(gbc), 16, 2));
  });
  std::printf("  cell table 16 x 16 of LC1/AFR with the filters (goal: under 50 ms): %.1f / %.1f ms\n",
              cellCpu, cellWall);
  auto [allCpu, allWall] = measure(9, [&](int) {
    channels.Reset(&table, {{"LC1/AFR", "AFR_LC1/AFR"}});
    rows = FilterRows(channels, table, filters, 0, 0);
    cells.Compute(rows, channels.Values(rpm), channels.Values(gbc), channels.Values(ratio),
                  EvenBreakpoints(600, 6400, 16, 0),
                  EvenBreakpoints(channels.Min(gbc), channels.Max(gbc), 16, 2));
  });
  std::printf("  the same with LC1/AFR worked out anew for every row: %.1f / %.1f ms\n", allCpu, allWall);
  view.findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(view.cellPage);
  QApplication::processEvents();
  auto [pageCpu, pageWall] = measure(15, [&](int) { view.cellPage->RefreshNow(); });
  std::printf("  the same on the page, filled and coloured: %.1f / %.1f ms\n", pageCpu, pageWall);
  LogFilters none;
  none.idle = none.fuelCut = none.noLambda = none.transients = false;
  view.SetFilters(none);
  view.findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(view.scatterPage);
  QApplication::processEvents();
  auto [scatterCpu, scatterWall] = measure(9, [&](int) { view.scatterPage->RefreshNow(); });
  std::printf(
      "  scatter of all %zu rows, RPM by GBC coloured by LC1/AFR, drawn (goal: under 100 ms): "
      "%.1f / %.1f ms\n",
      view.Analysis().rows.size(), scatterCpu, scatterWall);
  const QPointF centre = view.scatterPage->plot->axisRect()->center();
  auto [nearCpu, nearWall] =
      measure(15, [&](int i) { view.scatterPage->NearestRow(centre + QPointF(i, i)); });
  std::printf("  nearest point to the mouse: %.2f / %.2f ms\n", nearCpu, nearWall);
  view.findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(view.histogramPage);
  QApplication::processEvents();
  auto [histCpu, histWall] = measure(9, [&](int) { view.histogramPage->RefreshNow(); });
  std::printf("  histogram of all rows, 40 bins, drawn: %.1f / %.1f ms\n", histCpu, histWall);
  std::printf(
      "memory: the whole process with the log, its channels and every page shown: %.1f MiB, peak %.1f MiB "
      "(goal: under 150 MB)\n",
      StatusMiB("VmRSS:"), StatusMiB("VmHWM:"));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::filesystem::path file = WriteLog();
  if (!MeasureReading(file)) return 1;
  // The view with 8 variables, each on its own track, two of them flags.
  QuietUi quiet;
  TfrmLogView view(quiet);
  view.resize(1280, 800);
  view.show();
  QApplication::processEvents();
  MeasureOpening(view, file);
  MeasureRedraws(view);
  MeasureAnalysis(view);
  std::filesystem::remove(file);
  return 0;
}
