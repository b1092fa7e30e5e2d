#include "sim/lc1.h"

#include <algorithm>
#include <cmath>

namespace sim {

Lc1Device::Lc1Device(std::shared_ptr<MixtureSource> mixture) : mixture_(std::move(mixture)) {}

std::array<std::uint8_t, 6> Lc1Device::EncodePacket(int f, int af, int l, std::uint8_t h0, std::uint8_t h1) {
  return {h0,
          h1,
          static_cast<std::uint8_t>(0x42 | ((f & 7) << 2) |
                                    ((af >> 7) & 1)),  // bits 6 and 1 set, as the controller sends
          static_cast<std::uint8_t>(af & 0x7F),
          static_cast<std::uint8_t>((l >> 7) & 0x7F),
          static_cast<std::uint8_t>(l & 0x7F)};
}

void Lc1Device::SetMixture(std::shared_ptr<MixtureSource> mixture) {
  std::lock_guard lock(mutex_);
  mixture_ = std::move(mixture);
}

void Lc1Device::SetTrailingBytes(std::vector<std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  trailing_ = std::move(bytes);
}

std::shared_ptr<MixtureSource> Lc1Device::Mixture() {
  std::lock_guard lock(mutex_);
  return mixture_;
}

void Lc1Device::Attach(SimLine* line) {
  SimDevice::Attach(line);
  if (line) ScheduleTick(periodMs_.load());
}

void Lc1Device::OnTick() {
  ScheduleTick(periodMs_.load());
  if (silent_) return;

  std::vector<std::uint8_t> garbage;
  for (int i = 0, n = garbage_.load(); i < n; ++i) {
    noise_ = noise_ * 1664525u + 1013904223u;
    // Bit 7 clear: no garbage byte can pass for the first header byte.
    garbage.push_back(static_cast<std::uint8_t>((noise_ >> 24) & 0x7F));
  }
  if (!garbage.empty()) Send(garbage);
  if (!packetsOn_) return;

  int f = function_.load();
  int reading = 0;
  if (f == 0) {
    std::shared_ptr<MixtureSource> mixture = Mixture();
    reading = ReadingForAfr(mixture ? mixture->AirFuelRatio() : 14.7);
  } else if (f == 1) {
    reading = 209;  // 20.9 (oxygen in free air, as in calibration)
  } else {
    reading = 500;
  }
  std::array<std::uint8_t, 6> packet = EncodePacket(f, kPetrolMultiplier, reading, h0_.load(), h1_.load());
  std::vector<std::uint8_t> rest(packet.begin() + 1, packet.end());
  {
    std::lock_guard lock(mutex_);
    rest.insert(rest.end(), trailing_.begin(), trailing_.end());
  }

  double pause = headerPauseMs_.load();
  if (pause > 0) {
    Send(packet.data(), 1);
    Send(rest, pause);
  } else {
    rest.insert(rest.begin(), packet[0]);
    Send(rest);
  }
  packets_++;
}

}  // namespace sim
