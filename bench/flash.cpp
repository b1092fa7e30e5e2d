// Firmware read and write of the whole 64 KiB against the simulated boot code
// at real wire timing (38400 baud, 8 data bits, two stop bits). Prints each
// transfer beside its wire time (every byte counted once, the echo being the
// same byte on the single wire) and the ratio of the two.
#include "flash/flash.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "common/paths.h"
#include "common/timing.h"
#include "common/ui.h"
#include "link/port.h"
#include "sim/boot_ecu.h"
#include "sim/sim.h"

namespace {

// Times one phase: from the panel's caption to its last step.
class PhaseClock : public UiHooks {
 public:
  PhaseClock(std::string caption, std::optional<std::string> file)
      : caption_(std::move(caption)), file_(std::move(file)) {}
  void ShowProgress(const std::string& caption, std::uint16_t steps) override {
    running_ = caption.rfind(caption_, 0) == 0;
    if (running_) {
      steps_ = steps;
      start_ = PerfCounter();
    }
  }
  void StepProgress() override {
    if (running_ && --steps_ == 0) {
      seconds = double(PerfCounter() - start_) / double(PerfFrequency());
      running_ = false;
    }
  }
  void ShowError(const std::string& text) override { error = text; }
  std::optional<std::string> AskOpenFileName(const std::string&) override { return file_; }
  std::optional<std::string> AskSaveFileName(const std::string&) override { return file_; }

  double seconds = -1;
  std::string error;

 private:
  std::string caption_;
  std::optional<std::string> file_;
  bool running_ = false;
  int steps_ = 0;
  std::int64_t start_ = 0;
};

bool Report(const char* what, const PhaseClock& clock, int blocks, int bytesPerBlock, double goal) {
  if (!clock.error.empty() || clock.seconds < 0) {
    std::printf("%-6s failed: %s\n", what, clock.error.c_str());
    return false;
  }
  const double wire = blocks * bytesPerBlock * 11.0 / 38400.0;
  const double ratio = clock.seconds / wire;
  std::printf("%-6s %3d blocks x %3d bytes  measured %7.3f s  wire %7.3f s  ratio %.3f  (goal <= %.2f)%s\n",
              what, blocks, bytesPerBlock, clock.seconds, wire, ratio, goal,
              ratio <= goal ? "" : "  ABOVE GOAL");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
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

  PhaseClock read("Чтение прошивки ", path("read.bin"));
  SetUiHooks(&read);
  FlashRead(line.LinkPath());
  PhaseClock write("Запись прошивки ", path("read.bin"));
  SetUiHooks(&write);
  FlashWrite(line.LinkPath());
  SetUiHooks(nullptr);

  bool ok = Report("read", read, 256, 1 + 256 + 1, 1.08);
  ok = Report("write", write, 512, 1 + 129 + 1, 1.18) && ok;
  if (ok && boot->Image() != image) {
    std::printf("the written image differs from the one read\n");
    ok = false;
  }
  return ok ? 0 : 1;
}
