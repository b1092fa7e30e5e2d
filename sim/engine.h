#pragma once
// A small engine model the simulated devices share: the ECU reads its data
// record and crank packets from it, the LC-1 its mixture. Deterministic under
// a seed. Every method may be called from any thread (one lock inside).

#include <array>
#include <cstdint>
#include <mutex>
#include <random>

struct EngineState {
  double time = 0;        // simulated seconds since start
  double rpm = 0;         // crankshaft speed
  double throttle = 0;    // percent
  double twat = 20;       // coolant, °C
  double tair = 20;       // intake air, °C
  double afr = 14.7;      // air-fuel ratio of the exhaust
  double uoz = 10;        // ignition advance, degrees
  double corrUoz = 0;     // ignition correction in force, degrees (half-degree steps)
  double inj = 0;         // injection time, ms
  double air = 0;         // air flow, kg/h
  double gbc = 0;         // air per cycle, mg
  double press = 100;     // manifold pressure, kPa
  double ubat = 14.0;     // battery, V
  double dgtcRich = 1.0;  // rich fuel correction
  double dgtcLean = 1.0;  // lean fuel correction
  double lambdaVolts = 0.45;
  std::uint8_t spd = 0;    // vehicle speed, km/h
  std::uint16_t ssm = 40;  // idle valve steps
  std::uint16_t idleTarget = 850;
  bool fXX = false, fPOW = false, fFUELOFF = false, fLAMREG = false, fDETZONE = false, fLEARN = false,
       fLAMRDY = false, fLAMHEAT = true;
};

// The 95-byte record of the data reply (after 61 0D) for a state: the exact
// inverse of the data frame decoding for the fields the model carries,
// within each field's resolution.
std::array<std::uint8_t, 95> EncodeDataRecord(const EngineState& s);

// One crank packet (after the sync): angle in 18° units, time in 6 µs units,
// correction in half degrees, mixture byte, DGTC_RICH raw.
using CrankPacket = std::array<std::uint8_t, 7>;

class EngineModel {
 public:
  explicit EngineModel(std::uint32_t seed = 1);

  // Runs the model forward by seconds of simulated time (1 ms steps). The
  // crank angle covered meanwhile is not reported in the next packet.
  void Advance(double seconds);
  EngineState State() const;
  std::array<std::uint8_t, 95> DataRecord() const;
  // The mixture the LC-1 sees.
  double Mixture() const;

  // Advances by interval seconds and reports the crank angle covered since the
  // previous packet, as whole 18° units with the time they took.
  CrankPacket NextCrankPacket(double interval);

  // Ignition correction in force, clamped to -15..15 and kept in half degrees.
  void SetCorrection(double degrees);
  double Correction() const;

  // A short throttle blip at idle (about 2500 rpm and back).
  void Blip();
  // Full throttle from the present speed up to the rev limit, then fuel cut
  // and back to idle. A more advanced correction accelerates a little faster.
  void StartRunUp();
  bool InRunUp() const;
  // Idling: no blip, run-up or fall back in progress (random events start
  // only then).
  bool Idling() const;
  // Random events while idling: blips and run-ups per simulated second of
  // idling. They come from the seeded generator, whether the model is run
  // by Advance or by NextCrankPacket.
  void SetRandomEvents(double blipsPerSecond, double runUpsPerSecond);

  static constexpr double kRevLimit = 7600;

 private:
  enum class Phase { Idle, Blip, RunUp, FallBack };
  void Step(double dt);
  void StartRandomEvent(double dt);        // a run-up or a blip from idle, by chance
  double MovePhase(double dt, bool warm);  // rpm and throttle; the mixture it aims at
  void UpdateReadings(bool warm);          // the flags and the derived readings
  void TurnCrank(double dt);
  double RunUpAccel() const;  // rpm per second at full throttle

  mutable std::mutex mutex_;
  std::mt19937 rng_;
  EngineState s_;
  Phase phase_ = Phase::Idle;
  double phaseTime_ = 0;
  double blipRate_ = 0, runUpRate_ = 0;
  double idleNoise_ = 0;
  // Crank accounting for packets: angle beyond the last whole 18° unit, and
  // units and time since the previous packet up to the last unit edge.
  double angleResidual_ = 0;
  int pendingUnits_ = 0;
  double pendingTime_ = 0;    // time up to the last unit edge
  double sinceLastEdge_ = 0;  // time after it
};
