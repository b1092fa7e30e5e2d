// The simulator's lines on Linux: a bench of this process, in a folder of its
// own, worked by the same commands ecusim serves.
#include "tests/support/sim_bench_local.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "sim/control.h"
#include "tests/support/sim_lines.h"

namespace {

struct Local {
  Local() {
    char tmpl[] = "/tmp/varnek-bench.XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    dir = tmpl;
    bench = std::make_unique<sim::Bench>(dir, false);
    bench->AddCommands(commands);
  }
  ~Local() {
    bench.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
  sim::CommandSet commands;
  std::unique_ptr<sim::Bench> bench;
};

Local& TheLocal() {
  static Local local;
  return local;
}

}  // namespace

sim::Bench& LocalBench() { return *TheLocal().bench; }

std::string SimCommand(const std::string& command) {
  const std::string answer = TheLocal().commands.Execute(command);
  if (answer == "ok") return {};
  if (answer.rfind("ok ", 0) == 0) return answer.substr(3);
  throw std::runtime_error(command + ": " + answer);
}

std::string SimPortOf(const std::string& line) { return TheLocal().dir + "/" + line; }

bool LinesShowEveryRate() { return true; }
