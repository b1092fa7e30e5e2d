#pragma once
// The simulator's line with the ECU's boot code behind it (the same on every
// system, see tests/support/sim_lines.h), a temporary folder standing in for
// the executable's directory (Loader.dat lives there), and the two firmware
// commands run as the window runs them, with RecordingFlash answering the file
// dialogs.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/config.h"
#include "common/paths.h"
#include "flash/flash.h"
#include "link/kline_port.h"
#include "sim/boot_ecu.h"
#include "tests/support/recording_flash.h"
#include "tests/support/sim_lines.h"
#include "tests/support/temp_dir.h"

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Every byte value, in an order that differs from block to block.
inline std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return v;
}

class FlashSim : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAppDirOverride(dir.File());
    // The bare protocol; tests of the safe write turn these on.
    TCfg.FlashBackup = 0;
    TCfg.FlashVerify = 0;
    loader = Pattern(359, 7);
    WriteFileBytes(Path("Loader.dat"), loader);
    boot = std::make_unique<BootLine>();
    boot->SetIdentifier("SIMECU01");
    boot->SetEraseMs(1);
    port = boot->Port();
  }
  void TearDown() override {
    boot.reset();
    SetAppDirOverride("");
  }

  std::string Path(const std::string& name) const { return dir.File(name); }

  // "Считать": the save dialog is answered once the read is through.
  void Read(const std::string& name) {
    const auto image = FlashRead(Opener(name), ui);
    if (image) SaveReadFirmware(*image, ui.TakeSaveAnswer(), ui);
  }
  void Read() { Read(port); }
  // "Записать": the file is chosen first.
  void Write() {
    const auto file = ui.TakeOpenAnswer();
    if (file) FlashWrite(*file, Opener(port), ui);
  }
  FlashPortOpener Opener(const std::string& name) {
    return FlashPortNamed(name, [this] { return sessionHoldsPort; });
  }
  // The command let go of the device: it opens again.
  bool PortReleased() const {
    try {
      return KLinePort::OpenForFlash(port)->IsOpen();
    } catch (const EcuError&) {
      return false;
    }
  }

  // A 64 KiB image in the simulated flash, returned for comparison.
  BootLine::FlashImage PreloadImage(unsigned seed) {
    BootLine::FlashImage image;
    auto p = Pattern(image.size(), seed);
    std::copy(p.begin(), p.end(), image.begin());
    boot->SetImage(image);
    return image;
  }

  TempDir dir;
  RecordingFlash ui;
  bool sessionHoldsPort = false;
  std::vector<std::uint8_t> loader;
  std::unique_ptr<BootLine> boot;
  std::string port;
};

inline const std::string kBadAnswerText = " Неверный ответ ЭБУ    ";

inline std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }
