#include "sim/engine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kStep = 0.001;  // model step, seconds
constexpr double kPi = 3.14159265358979323846;

std::uint8_t U8(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }
std::uint8_t S8(double v) {
  return static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(std::lround(v), -128L, 127L)));
}
std::uint16_t U16(double v) { return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L)); }
void Put16(std::array<std::uint8_t, 95>& r, int at, std::uint16_t v) {
  r[at] = static_cast<std::uint8_t>(v & 0xFF);
  r[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The mixture byte of the record and of the packets: AFR = (b + 128) × 14.7 / 256.
std::uint8_t MixtureByte(double afr) { return U8(afr * 256 / 14.7 - 128); }

}  // namespace

std::array<std::uint8_t, 95> EncodeDataRecord(const EngineState& s) {
  std::array<std::uint8_t, 95> r{};
  r[0] = static_cast<std::uint8_t>((s.fXX << 1) | (s.fPOW << 2) | (s.fFUELOFF << 3) | (s.fLAMREG << 4) |
                                   (s.fDETZONE << 5) | (s.fLEARN << 7));
  r[1] = static_cast<std::uint8_t>(s.fXX << 1);  // fXXPrev follows fXX
  r[8] = U8(s.twat + 40);
  r[9] = MixtureByte(s.afr);
  r[11] = U8(s.throttle);
  r[12] = U8(s.rpm / 40);
  // The ECU reports the crank period; 5000000 div period gives RPM back.
  const long rpm = std::lround(s.rpm);
  Put16(r, 14, rpm >= 77 ? U16(5000000.0 / rpm) : 0);
  r[16] = U8(s.idleTarget / 10.0);
  r[17] = U8(s.ssm);
  r[18] = 128;  // COEFF 1.0
  r[20] = S8(s.uoz * 2);
  r[27] = U8(s.ubat / 0.093);
  r[29] = U8((0.5 + s.throttle * 0.04) / 0.01953125);
  r[30] = U8((4.5 - s.twat * 0.035) / 0.01953125);
  r[31] = U8((4.0 - s.tair * 0.035) / 0.01953125);
  r[33] = static_cast<std::uint8_t>(s.fLAMRDY | (s.fLAMHEAT << 1));
  r[34] = S8(s.corrUoz * 2);
  r[35] = s.spd;
  r[37] = U8(s.tair + 40);
  // ADCLAM decodes ((b + 1) div 2) steps: odd bytes carry each step exactly.
  const long lamSteps = std::clamp(std::lround(s.lambdaVolts / 0.01953125), 0L, 128L);
  r[38] = static_cast<std::uint8_t>(lamSteps == 0 ? 0 : 2 * lamSteps - 1);
  Put16(r, 39, U16(s.dgtcRich * 256));
  Put16(r, 41, U16(s.dgtcLean * 256));
  Put16(r, 43, U16(s.inj * 125));
  Put16(r, 45, U16(s.air * 10));
  Put16(r, 47, U16(s.gbc * 6));
  r[58] = 128;  // KGBC 1.0
  Put16(r, 89, U16(s.press * 100));
  return r;
}

EngineModel::EngineModel(std::uint32_t seed) : rng_(seed) {
  s_.rpm = 1050;
  Step(0);
}

void EngineModel::Advance(double seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  const long steps = std::lround(seconds / kStep);
  for (long i = 0; i < steps; ++i) Step(kStep);
  // Time run without packets is not reported: the next packet starts from
  // the last tooth edge.
  pendingUnits_ = 0;
  pendingTime_ = 0;
}

EngineState EngineModel::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return s_;
}

std::array<std::uint8_t, 95> EngineModel::DataRecord() const { return EncodeDataRecord(State()); }

double EngineModel::Mixture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return s_.afr;
}

void EngineModel::SetCorrection(double degrees) {
  std::lock_guard<std::mutex> lock(mutex_);
  s_.corrUoz = std::round(std::clamp(degrees, -15.0, 15.0) * 2) / 2;
}

double EngineModel::Correction() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return s_.corrUoz;
}

void EngineModel::Blip() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (phase_ == Phase::Idle) {
    phase_ = Phase::Blip;
    phaseTime_ = 0;
  }
}

void EngineModel::StartRunUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  phase_ = Phase::RunUp;
  phaseTime_ = 0;
}

bool EngineModel::InRunUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phase_ == Phase::RunUp;
}

bool EngineModel::Idling() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phase_ == Phase::Idle;
}

void EngineModel::SetRandomEvents(double blipsPerSecond, double runUpsPerSecond) {
  std::lock_guard<std::mutex> lock(mutex_);
  blipRate_ = std::max(0.0, blipsPerSecond);
  runUpRate_ = std::max(0.0, runUpsPerSecond);
}

double EngineModel::RunUpAccel() const {
  // A torque curve peaking at 4500 rpm; each degree of correction is worth 1%.
  const double x = (s_.rpm - 4500) / 4500;
  return 1600 * (1 - 0.5 * x * x) * (1 + 0.01 * s_.corrUoz);
}

void EngineModel::Step(double dt) {
  s_.time += dt;
  phaseTime_ += dt;
  s_.twat += (92 - s_.twat) * dt / 120;  // a few minutes to warm up
  s_.idleTarget = static_cast<std::uint16_t>(850 + std::max(0.0, 70 - s_.twat) * 4);
  std::normal_distribution<double> noise(0, 1);
  idleNoise_ = 0.995 * idleNoise_ + 2 * noise(rng_);
  StartRandomEvent(dt);
  const bool warm = s_.twat > 60;
  const double afrTarget = MovePhase(dt, warm);
  s_.rpm = std::max(0.0, s_.rpm);
  s_.afr += (afrTarget + 0.03 * noise(rng_) - s_.afr) * std::min(1.0, 8 * dt);
  UpdateReadings(warm);
  TurnCrank(dt);
}

void EngineModel::StartRandomEvent(double dt) {
  if (phase_ != Phase::Idle || !(dt > 0)) return;
  std::uniform_real_distribution<double> chance(0, 1);
  const double u = chance(rng_);
  if (u < runUpRate_ * dt) {
    phase_ = Phase::RunUp;
    phaseTime_ = 0;
  } else if (u < (runUpRate_ + blipRate_) * dt) {
    phase_ = Phase::Blip;
    phaseTime_ = 0;
  }
}

double EngineModel::MovePhase(double dt, bool warm) {
  double afrTarget = 14.7;
  switch (phase_) {
    case Phase::Idle: {
      s_.throttle = 0;
      const double target = s_.idleTarget + idleNoise_;
      s_.rpm += std::clamp((target - s_.rpm) * 5 * dt, -2500 * dt, 3000 * dt);
      afrTarget = warm ? 14.7 + 0.25 * std::sin(2 * kPi * 1.2 * s_.time) : 13.6;
      break;
    }
    case Phase::Blip:
      s_.throttle = 35;
      s_.rpm += std::clamp((2600 - s_.rpm) * 5 * dt, -2500 * dt, 3000 * dt);
      afrTarget = 13.2;
      if (phaseTime_ >= 0.4) {
        phase_ = Phase::FallBack;
        phaseTime_ = 0;
      }
      break;
    case Phase::RunUp:
      s_.throttle = 100;
      s_.rpm += RunUpAccel() * dt;
      afrTarget = 12.6;
      if (s_.rpm >= kRevLimit) {
        phase_ = Phase::FallBack;
        phaseTime_ = 0;
      }
      break;
    case Phase::FallBack:
      s_.throttle = 0;
      s_.rpm -= 2200 * dt;
      afrTarget = s_.rpm > 1500 ? 22.0 : 14.7;  // fuel cut on the overrun
      if (s_.rpm <= s_.idleTarget + 50) {
        phase_ = Phase::Idle;
        phaseTime_ = 0;
      }
      break;
  }
  return afrTarget;
}

void EngineModel::UpdateReadings(bool warm) {
  s_.fXX = s_.throttle == 0 && s_.rpm < 1500;
  s_.fPOW = s_.throttle > 70;
  s_.fFUELOFF = phase_ == Phase::FallBack && s_.rpm > 1500;
  s_.fLAMREG = warm && !s_.fPOW && !s_.fFUELOFF;
  s_.fDETZONE = s_.rpm > 3000 && s_.throttle > 70;
  s_.fLEARN = s_.twat > 70;
  s_.fLAMRDY = s_.twat > 30;
  s_.fLAMHEAT = true;
  s_.uoz = std::clamp(12 + (s_.rpm - 850) / 250 - s_.throttle * 0.08, 0.0, 40.0) + s_.corrUoz;
  s_.inj = s_.fFUELOFF ? 0.0 : 2.0 + s_.throttle * 0.08 + s_.rpm / 3000;
  s_.air = s_.rpm * (0.0095 + s_.throttle * 0.00016);
  s_.gbc = s_.rpm > 0 ? std::min(10000.0, s_.air * 1000 / (s_.rpm * 0.12)) : 0;
  s_.press = 30 + s_.throttle * 0.7;
  s_.ssm = static_cast<std::uint16_t>(std::clamp(40 + (s_.idleTarget - s_.rpm) * 0.05, 0.0, 120.0));
  s_.dgtcRich = 1.0 + 0.02 * std::sin(2 * kPi * 0.1 * s_.time);
  s_.lambdaVolts = !s_.fLAMRDY ? 0.45 : (s_.afr < 14.7 ? 0.8 : 0.1);
}

// Crank teeth: each whole 18° passed is a unit edge with its time.
void EngineModel::TurnCrank(double dt) {
  const double degPerSec = s_.rpm * 6;
  double remaining = dt;
  while (degPerSec > 0 && angleResidual_ + degPerSec * remaining >= 18) {
    const double toEdge = (18 - angleResidual_) / degPerSec;
    pendingTime_ += sinceLastEdge_ + toEdge;
    sinceLastEdge_ = 0;
    ++pendingUnits_;
    remaining -= toEdge;
    angleResidual_ = 0;
  }
  angleResidual_ += degPerSec * remaining;
  sinceLastEdge_ += remaining;
}

CrankPacket EngineModel::NextCrankPacket(double interval) {
  std::lock_guard<std::mutex> lock(mutex_);
  const long steps = std::lround(interval / kStep);
  for (long i = 0; i < steps; ++i) Step(kStep);

  // A packet carries at most 255 units; the rest, with its share of the
  // time, goes into the next one.
  const int units = std::min(pendingUnits_, 255);
  const double time = pendingUnits_ == 0 ? 0 : pendingTime_ * units / pendingUnits_;
  const std::uint16_t ticks = U16(time / 6e-6);
  // The rounding to 6 µs is carried, so packet times add up to model time.
  pendingTime_ -= ticks * 6e-6;
  pendingUnits_ -= units;
  const std::uint16_t rich = U16(s_.dgtcRich * 256);
  return {static_cast<std::uint8_t>(units),
          static_cast<std::uint8_t>(ticks & 0xFF),
          static_cast<std::uint8_t>(ticks >> 8),
          S8(s_.corrUoz * 2),
          MixtureByte(s_.afr),
          static_cast<std::uint8_t>(rich & 0xFF),
          static_cast<std::uint8_t>(rich >> 8)};
}
