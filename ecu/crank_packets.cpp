#include "ecu/crank_packets.h"

#include "ecu/ecu_data.h"

bool DecodeSpinPacket(const std::uint8_t* p, int avgAngle, EcuDataRecord& d) {
  d.SpinAngle = static_cast<std::uint16_t>(d.SpinAngle + p[0] * 18);
  d.SpinTime += static_cast<double>(p[1] | (p[2] << 8)) * 0.006 / 1000;

  bool completed = false;
  if (avgAngle < d.SpinAngle) {
    if (d.SpinTime > 0) {
      const double previousRps = d.SpinRps;
      d.SpinRps = d.SpinAngle / 360.0 / d.SpinTime;
      d.RPM = static_cast<std::uint16_t>(static_cast<std::int64_t>(d.SpinRps * 60));
      d.SpinAccel = (d.SpinRps - previousRps) / d.SpinTime;
      d.SpinDt = d.SpinTime;
      completed = true;
    }
    // A sample without duration has no speed: it is dropped rather than
    // dividing by zero, and the last good sample stays in force.
    d.SpinAngle = 0;
    d.SpinTime = 0;
  }

  d.CorrUOZ = static_cast<double>(static_cast<std::int8_t>(p[3])) / 2;
  d.AFR = (static_cast<double>(p[4]) + 128) * 14.7 / 256;
  d.DGTC_RICH = static_cast<double>(p[5] | (p[6] << 8)) / 256;
  return completed;
}

void ResetSpinSample(EcuDataRecord& d) {
  d.SpinRps = 0;
  d.SpinAngle = 0;
  d.SpinTime = 0;
}
