#pragma once
// The link and session tests' rig with the simulator's KWP ECU on line1,
// worked through its commands: the same tests on every system.

#include <memory>
#include <string>
#include <vector>

#include "tests/link/link_rig_base.h"
#include "tests/support/sim_lines.h"

class KwpLineRig : public LinkRigBase {
 protected:
  // The adapter and the ECU; timeScale 0 puts bytes on the wire at once.
  void StartLine(double timeScale = 0.0, bool echo = true) {
    line = std::make_unique<KwpLine>();
    if (timeScale != 0) line->SetTimeScale(timeScale);
    if (!echo) line->SetEcho(false);
  }

  std::string PortName() const override { return line->Port(); }
  std::vector<sim::KwpEcu::Request> EcuRequests() const override { return line->Requests(); }
  void DropLine() override { line.reset(); }

  std::unique_ptr<KwpLine> line;
};
