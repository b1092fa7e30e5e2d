// Test lines on Linux: a simulated line of this process in a folder of its own.
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "sim/control.h"
#include "sim/sim.h"
#include "tests/support/test_line.h"

namespace {

class LocalLine : public TestLine {
 public:
  LocalLine() {
    char tmpl[] = "/tmp/varnek-testline.XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    puppet_ = std::make_shared<sim::PuppetDevice>();
    sim::SimLineOptions o;
    o.timeScale = 0;
    o.anyRate = true;
    line_ = std::make_unique<sim::SimLine>(dir_ + "/line", puppet_, o);
  }
  ~LocalLine() override {
    line_.reset();
    std::filesystem::remove_all(dir_);
  }
  std::string PortName() const override { return line_->LinkPath(); }
  void SetEcho(bool on) override { line_->SetEcho(on); }
  void SetAbsorbWakeByte(bool on) override { line_->SetAbsorbWakeByte(on); }
  void DeviceSends(const std::vector<std::uint8_t>& bytes, double gapMs) override {
    puppet_->SendLater(bytes, gapMs);
  }
  std::vector<std::uint8_t> DeviceReceived() override { return puppet_->Received(); }
  LineView ProgramSettings() override {
    const sim::SimLine::ProgramView v = line_->ProgramSettings();
    return LineView{v.baud, v.dataBits, v.parity, v.stopBits, v.raw};
  }

 private:
  std::string dir_;
  std::shared_ptr<sim::PuppetDevice> puppet_;
  std::unique_ptr<sim::SimLine> line_;
};

}  // namespace

std::unique_ptr<TestLine> MakeTestLine(int) { return std::make_unique<LocalLine>(); }

bool LinesShowEveryRate() { return true; }
