#pragma once
// The link and session tests' rig with the simulated ECU in the test's own
// process on a pseudo-terminal, for tests that reach into the ECU (Linux).

#include <memory>
#include <string>
#include <vector>

#include "sim/kwp_ecu.h"
#include "sim/sim.h"
#include "tests/link/link_rig_base.h"

class LinkRig : public LinkRigBase {
 protected:
  void SetUp() override {
    LinkRigBase::SetUp();
    ecu = std::make_shared<sim::KwpEcu>();
  }

  // The adapter and the ECU; timeScale 0 puts bytes on the wire at once.
  void StartLine(double timeScale = 0.0, bool echo = true) {
    sim::SimLineOptions o;
    o.timeScale = timeScale;
    o.echo = echo;
    o.absorbWakeByte = true;
    line = std::make_unique<sim::SimLine>(dir_.File("kline"),
                                          std::make_shared<sim::SimEcuSwitch>(ecu, nullptr), o);
  }

  std::string PortName() const override { return line->LinkPath(); }
  std::vector<sim::KwpEcu::Request> EcuRequests() const override { return ecu->Requests(); }
  void DropLine() override { line.reset(); }

  std::shared_ptr<sim::KwpEcu> ecu;
  std::unique_ptr<sim::SimLine> line;

 private:
  TempDir dir_;
};
