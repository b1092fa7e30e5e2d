// Cost of turning one data reply into a CSV row: DecodeDataFrame plus
// FormatLogRow, per frame. Goal: under 20 µs.

#include "ecu/dataframe.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include "ecu/csvlog.h"
#include "ecu/ecu_data.h"
#include "sim/engine.h"

int main() {
  // Frames from an engine that idles, blips and runs up, so every column moves.
  EngineModel engine(1);
  engine.SetRandomEvents(0.5, 0.1);
  std::vector<std::array<std::uint8_t, 97>> frames(1000);
  for (auto& f : frames) {
    engine.Advance(0.04);
    f[0] = 0x61;
    f[1] = 0x0D;
    const auto record = engine.DataRecord();
    std::copy(record.begin(), record.end(), f.begin() + 2);
  }

  using Clock = std::chrono::steady_clock;
  // CPU time of this thread: the figure that does not depend on other load.
  auto cpuUs = [] {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
  };
  const double cpuStart = cpuUs();
  EcuDataRecord d;
  std::size_t sink = 0;
  std::vector<double> perFrameUs;
  for (int round = 0; round < 20; ++round) {
    const auto start = Clock::now();
    for (std::size_t i = 0; i < frames.size(); ++i) {
      DecodeDataFrame(frames[i].data(), d);
      sink += FormatLogRow(d, static_cast<std::int64_t>(i) * 40).size();
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    perFrameUs.push_back(us / frames.size());
  }
  const double cpuPerFrame = (cpuUs() - cpuStart) / (20.0 * frames.size());
  std::sort(perFrameUs.begin(), perFrameUs.end());

  const auto start = Clock::now();
  for (int round = 0; round < 20; ++round)
    for (const auto& f : frames) DecodeDataFrame(f.data(), d);
  const double decodeUs =
      std::chrono::duration<double, std::micro>(Clock::now() - start).count() / (20.0 * frames.size());

  std::printf(
      "DecodeDataFrame + FormatLogRow per frame: median %.2f us, best %.2f us, worst %.2f us (goal < 20 "
      "us)\n",
      perFrameUs[perFrameUs.size() / 2], perFrameUs.front(), perFrameUs.back());
  std::printf("  CPU time per frame: %.2f us (wall time above includes waiting for a busy machine)\n",
              cpuPerFrame);
  std::printf("DecodeDataFrame alone: %.3f us per frame\n", decodeUs);
  std::printf("row length %zu bytes on average\n", sink / (20 * frames.size()));
  return 0;
}
