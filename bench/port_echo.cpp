// Round trip of one byte through the port layer on a port whose far end
// echoes (the simulator's lines, also under Wine): write a byte, wait for the
// received-byte event, read the echo. Usage: bench_port_echo PORT [RUNS] [BAUD]
// With a far end that keeps each byte on the wire for its time, the echo comes
// after the program waits, so the figure is the byte time plus the wake-up.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/timing.h"
#include "link/port.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [RUNS] [BAUD]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
  const long baud = argc > 3 ? std::max(1L, std::atol(argv[3])) : 57600;
  try {
    PortId id = OpenAndConfigurePort(argv[1], static_cast<std::uint32_t>(baud), ONESTOPBIT, 20, 100);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
      std::uint8_t b = static_cast<std::uint8_t>(i), got = 0;
      const std::int64_t t0 = PerfCounter();
      WritePortBlocking(id, &b, 1);
      int n = 0;
      while (n == 0 && WaitRxChar(id)) n = ReadPortBlocking(id, &got, 1);
      if (n != 1 || got != b) {
        std::fprintf(stderr, "lost the echo at run %d\n", i);
        return 1;
      }
      ms.push_back(static_cast<double>(PerfCounter() - t0) * 1e3 / static_cast<double>(PerfFrequency()));
    }
    ClosePortHandle(id);
    std::sort(ms.begin(), ms.end());
    std::printf(
        "byte -> echo on %s at %ld baud (%.2f ms a byte): median %.2f ms, p99 %.2f ms, worst %.2f ms (%d "
        "runs)\n",
        argv[1], baud, 10e3 / static_cast<double>(baud), ms[ms.size() / 2], ms[ms.size() * 99 / 100],
        ms.back(), runs);
  } catch (const EcuError& e) {
    std::fprintf(stderr, "%s (%s)\n", e.what(), e.detail().c_str());
    return 1;
  }
  return 0;
}
