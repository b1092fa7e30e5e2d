#pragma once
// The simulated LC-1 wideband lambda controller: a stream of 6-byte packets at
// 19200 baud 8N1 (header pair, function code with the AFR multiplier, 14-bit
// reading), one about every 80 ms, reading the mixture of a MixtureSource.
//
// Threads: SimDevice calls run on the line's thread; the switches may be set
// from any thread and take effect with the next packet.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/engine.h"
#include "sim/sim.h"

namespace sim {

// Where the controller's reading comes from: the current air-fuel ratio.
// Called on the line's thread.
class MixtureSource {
 public:
  virtual ~MixtureSource() = default;
  virtual double AirFuelRatio() = 0;
};

// A fixed mixture, until an engine model drives the controller.
class ConstantMixture : public MixtureSource {
 public:
  explicit ConstantMixture(double afr) : afr_(afr) {}
  double AirFuelRatio() override { return afr_.load(); }
  void Set(double afr) { afr_ = afr; }

 private:
  std::atomic<double> afr_;
};

// A mixture read through a function (an engine model's current AFR).
class FunctionMixture : public MixtureSource {
 public:
  explicit FunctionMixture(std::function<double()> fn) : fn_(std::move(fn)) {}
  double AirFuelRatio() override { return fn_(); }

 private:
  std::function<double()> fn_;
};

// The engine model's exhaust mixture (the model locks inside).
class EngineMixture : public MixtureSource {
 public:
  explicit EngineMixture(std::shared_ptr<const EngineModel> engine) : engine_(std::move(engine)) {}
  double AirFuelRatio() override { return engine_->Mixture(); }

 private:
  std::shared_ptr<const EngineModel> engine_;
};

class Lc1Device : public SimDevice {
 public:
  // The multiplier the controller reports: 14.7 for petrol, so the reading
  // encodes lambda.
  static constexpr int kPetrolMultiplier = 147;

  explicit Lc1Device(std::shared_ptr<MixtureSource> mixture = std::make_shared<ConstantMixture>(14.7));

  // The packet for function code f (0..7), multiplier af (0..255) and reading
  // l (0..16383), with the given header pair.
  static std::array<std::uint8_t, 6> EncodePacket(int f, int af, int l, std::uint8_t h0 = 0xB2,
                                                  std::uint8_t h1 = 0x82);
  // The reading that encodes an air-fuel ratio with the petrol multiplier:
  // (L + 500) / 1000 = lambda, clamped to 0..16383.
  static int ReadingForAfr(double afr) {
    const double l = std::round(afr / (kPetrolMultiplier / 10.0) * 1000.0 - 500.0);
    if (!(l > 0)) return 0;  // also NaN
    return static_cast<int>(std::min(l, 16383.0));
  }

  LineSettings Settings() const override { return {19200, 1}; }
  // The controller ignores what the program sends.
  void OnByte(std::uint8_t, const LineSettings&) override {}
  void OnTick() override;
  void Attach(SimLine* line) override;

  // --- Switches (any thread). ---
  // Time between packet starts, real milliseconds (default 80).
  void SetPeriodMs(double ms) { periodMs_ = ms; }
  // Function code of the packets: 0 normal; 1 reading / 10; 6 warming up (the
  // program shows --); 2..5 and 7 other states (the program shows 0).
  void SetFunctionCode(int f) { function_ = f & 7; }
  // Bytes without any header pair sent before each packet.
  void SetGarbageBytes(int n) { garbage_ = n; }
  // Pause between the two header bytes, real milliseconds (0 = none).
  void SetHeaderPauseMs(double ms) { headerPauseMs_ = ms; }
  // Extra bytes sent right after the fourth body byte, in the same burst
  // (the reader drops them).
  void SetTrailingBytes(std::vector<std::uint8_t> bytes);
  // Packets off: only the garbage (if any) keeps coming.
  void SetPacketsOn(bool on) { packetsOn_ = on; }
  // Header bytes other than B2 82 that still match the header masks.
  void SetHeaderBytes(std::uint8_t h0, std::uint8_t h1) {
    h0_ = h0;
    h1_ = h1;
  }
  // The controller stops sending (its lead is in, it just says nothing).
  void SetSilent(bool on) { silent_ = on; }
  // Replaces the mixture source (any thread).
  void SetMixture(std::shared_ptr<MixtureSource> mixture);

  // Packets sent so far (any thread).
  std::uint64_t PacketsSent() const { return packets_.load(); }

 private:
  std::shared_ptr<MixtureSource> Mixture();

  std::mutex mutex_;  // guards mixture_ and trailing_
  std::shared_ptr<MixtureSource> mixture_;
  std::vector<std::uint8_t> trailing_;
  std::atomic<double> periodMs_{80};
  std::atomic<int> function_{0};
  std::atomic<int> garbage_{0};
  std::atomic<double> headerPauseMs_{0};
  std::atomic<bool> packetsOn_{true};
  std::atomic<std::uint8_t> h0_{0xB2}, h1_{0x82};
  std::atomic<bool> silent_{false};
  std::atomic<std::uint64_t> packets_{0};
  std::uint32_t noise_ = 0x12345678;  // line thread only
};

}  // namespace sim
