// Round trip of one byte through the port layer and the simulator's line
// (wire timing off): the program writes a byte, the adapter echoes it and the
// device answers; the program waits for the received-byte event and reads.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/timing.h"
#include "link/port.h"
#include "sim/sim.h"

namespace {

class Answer : public sim::SimDevice {
 public:
  sim::LineSettings Settings() const override { return {57600, 1}; }
  void OnByte(std::uint8_t b, const sim::LineSettings&) override { Send({static_cast<std::uint8_t>(b + 1)}); }
};

double Ms(std::int64_t ticks) {
  return static_cast<double>(ticks) * 1e3 / static_cast<double>(PerfFrequency());
}

void Report(const char* what, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::printf("%-34s median %.1f us, p99 %.1f us, worst %.1f us (%zu runs)\n", what, v[v.size() / 2] * 1e3,
              v[v.size() * 99 / 100] * 1e3, v.back() * 1e3, v.size());
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/bench_port.XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  {
    sim::SimLineOptions o;
    o.timeScale = 0;
    for (bool echo : {false, true}) {
      o.echo = echo;
      sim::SimLine line(dir + "/line", std::make_shared<Answer>(), o);
      PortId id = OpenAndConfigurePort(line.LinkPath(), 57600, ONESTOPBIT, 20, 100);
      std::vector<double> times;
      const int expect = echo ? 2 : 1;
      for (int i = 0; i < 2000; ++i) {
        std::uint8_t b = static_cast<std::uint8_t>(i), got[2];
        std::int64_t t0 = PerfCounter();
        WritePortBlocking(id, &b, 1);
        int n = 0;
        while (n < expect && WaitRxChar(id)) n += ReadPortBlocking(id, got + n, expect - n);
        if (n != expect || got[expect - 1] != static_cast<std::uint8_t>(b + 1)) {
          std::fprintf(stderr, "lost byte at run %d\n", i);
          return 1;
        }
        times.push_back(Ms(PerfCounter() - t0));
      }
      Report(echo ? "byte -> echo + answer" : "byte -> answer (no echo)", times);
      ClosePortHandle(id);
    }
  }
  std::filesystem::remove_all(dir);
  return 0;
}
