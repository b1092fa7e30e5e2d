// Firmware read and write of the whole 64 KiB against the simulated boot code
// at real wire timing (38400 baud, 8 data bits, two stop bits). Prints each
// transfer beside its wire time (every byte counted once, the echo being the
// same byte on the single wire) and the ratio of the two: the read, the bare
// write (512 blocks), and the safe write from the identifier read of its
// backup to the end of its read-back.
#include "flash/flash.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/config.h"
#include "common/paths.h"
#include "common/timing.h"
#include "link/kline_port.h"
#include "sim/boot_ecu.h"
#include "sim/sim.h"

namespace {

// Times from the panel caption that starts with `first` to the last step of
// the one that starts with `last`.
class PhaseClock : public FlashProgress {
 public:
  PhaseClock(std::string first, std::string last) : first_(std::move(first)), last_(std::move(last)) {}
  void BeginStage(const std::string& caption, int steps) override {
    const std::int64_t now = PerfCounter();
    if (caption.rfind(first_, 0) == 0) start_ = now;
    ending_ = caption.rfind(last_, 0) == 0;
    steps_ = steps;
    phases_.push_back({caption, now, now});
  }
  void StepDone(int /*done*/, int /*steps*/) override {
    phases_.back().end = PerfCounter();
    if (ending_ && --steps_ == 0) {
      seconds = double(PerfCounter() - start_) / double(PerfFrequency());
      ending_ = false;
    }
  }
  // Each panel phase from `first` on, and the time between phases (file
  // saving, for one), so a slow run shows where its time went.
  void PrintPhases() const {
    bool on = false;
    for (std::size_t i = 0; i < phases_.size(); ++i) {
      const Phase& p = phases_[i];
      on = on || p.caption.rfind(first_, 0) == 0;
      if (!on) continue;
      const double gap = i + 1 < phases_.size() ? Seconds(p.end, phases_[i + 1].start) : 0;
      std::printf("    %-48s %7.3f s, then %6.3f s\n", p.caption.c_str(), Seconds(p.start, p.end), gap);
    }
  }
  void StageFailed(const std::string& /*caption*/) override {}
  void EndProgress() override {}
  void ShowError(const std::string& text) override { error = text; }
  void ShowMessage(const std::string& /*text*/) override {}

  double seconds = -1;
  std::string error;

 private:
  struct Phase {
    std::string caption;
    std::int64_t start, end;
  };
  static double Seconds(std::int64_t from, std::int64_t to) {
    return double(to - from) / double(PerfFrequency());
  }

  std::vector<Phase> phases_;
  std::string first_, last_;
  bool ending_ = false;
  int steps_ = 0;
  std::int64_t start_ = 0;
};

constexpr int kReadLoopBytes = 1 + 256 * (1 + 256 + 1);   // 0A, then per block 12, data, check byte
constexpr int kWriteLoopBytes = 1 + 512 * (1 + 129 + 1);  // 0A, then per block 13, data, check byte, 00
constexpr int kEraseBytes = 2;                            // 10 and its answer 00
constexpr int kIdentifierBytes = 4 + 8;

bool Report(const char* what, const PhaseClock& clock, int wireBytes, double goal) {
  if (!clock.error.empty() || clock.seconds < 0) {
    std::printf("%-10s failed: %s\n", what, clock.error.c_str());
    return false;
  }
  const double wire = wireBytes * 11.0 / 38400.0;
  const double ratio = clock.seconds / wire;
  std::printf("%-10s %6d bytes  measured %7.3f s  wire %7.3f s  ratio %.3f  (goal <= %.2f)%s\n", what,
              wireBytes, clock.seconds, wire, ratio, goal, ratio <= goal ? "" : "  ABOVE GOAL");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Every exchange waits on three threads (the program, the simulator, the
  // kernel's tty worker): on a busy machine their scheduling shows in the ratios.
  double load[1] = {0};
  if (getloadavg(load, 1) == 1)
    std::printf("load average %.2f on %u processors\n", load[0], std::thread::hardware_concurrency());
  QTemporaryDir dir;
  if (!dir.isValid()) return 1;
  auto path = [&](const char* name) { return QDir(dir.path()).filePath(name).toStdString(); };
  SetAppDirOverride(dir.path().toStdString());
  {
    std::ofstream loader(path("Loader.dat"), std::ios::binary);
    for (int i = 0; i < 359; ++i) loader.put(char(i * 7));
  }
  auto boot = std::make_shared<sim::BootEcu>();
  std::array<std::uint8_t, sim::BootEcu::kImageSize> image;
  for (int i = 0; i < sim::BootEcu::kImageSize; ++i) image[i] = std::uint8_t(i * 31 + (i >> 8));
  boot->SetImage(image);
  boot->SetEraseMs(0);
  sim::SimLine line(path("kline"), std::make_shared<sim::SimEcuSwitch>(nullptr, boot),
                    sim::SimLineOptions{.timeScale = 1.0});

  const FlashPortOpener open = [&] { return KLinePort::OpenForFlash(line.LinkPath()); };
  PhaseClock read("Чтение прошивки ", "Чтение прошивки ");
  if (const auto got = FlashRead(open, read)) SaveReadFirmware(*got, path("read.bin"), read);
  // The bare write: the blocks alone (each read block and write block counts
  // its own bytes; the 0A is left out as it is of the read).
  PhaseClock write("Запись прошивки ", "Запись прошивки ");
  TCfg.FlashBackup = 0;
  TCfg.FlashVerify = 0;
  FlashWrite(path("read.bin"), open, write);
  PhaseClock safe("Чтение идентификатора ", "Проверка записи ");
  TCfg.FlashBackup = 1;
  TCfg.FlashVerify = 1;
  FlashWrite(path("read.bin"), open, safe);

  bool ok = Report("read", read, kReadLoopBytes - 1, 1.03);
  ok = Report("write", write, kWriteLoopBytes - 1, 1.10) && ok;
  ok = Report("safe write", safe,
              kIdentifierBytes + kReadLoopBytes + 2 * kEraseBytes + kWriteLoopBytes + kReadLoopBytes, 1.08) &&
       ok;
  safe.PrintPhases();
  if (ok && boot->Image() != image) {
    std::printf("the written image differs from the one read\n");
    ok = false;
  }
  return ok ? 0 : 1;
}
