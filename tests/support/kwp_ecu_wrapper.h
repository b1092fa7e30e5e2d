#pragma once
// The simulated ECU behind a wrapper, for tests that add a twist on the
// line's thread: a subclass overrides Receive, passes the byte on through
// KwpEcuWrapper::Receive and then does its own part.

#include <cstdint>
#include <memory>

#include "sim/kwp_ecu.h"
#include "sim/sim.h"

class KwpEcuWrapper : public sim::SimDevice {
 public:
  explicit KwpEcuWrapper(std::shared_ptr<sim::KwpEcu> ecu) : ecu_(std::move(ecu)) {}
  sim::LineSettings Settings() const override { return ecu_->Settings(); }
  void OnByte(std::uint8_t b, const sim::LineSettings& program) override { ecu_->OnByte(b, program); }
  void Receive(std::uint8_t b, const sim::LineSettings& program) override { ecu_->Receive(b, program); }
  void Attach(sim::SimLine* line) override {
    SimDevice::Attach(line);
    ecu_->Attach(line);
  }

 protected:
  sim::KwpEcu& Ecu() { return *ecu_; }

 private:
  std::shared_ptr<sim::KwpEcu> ecu_;
};
