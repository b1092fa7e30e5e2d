#pragma once
// The moving average of SpinAccel over the last L + 1 samples (fewer while
// fewer have arrived). User-interface thread.

#include <vector>

class AccelFilter {
 public:
  // Unidirectional mode requested: L zeros, no real samples yet (L 0..20).
  void Reset(int length);
  // Takes one sample and returns the mean of the last L + 1 (or all) samples.
  double Add(double spinAccel);

  int Length() const { return static_cast<int>(values_.size()); }
  int Count() const { return count_; }
  const std::vector<double>& Values() const { return values_; }

 private:
  std::vector<double> values_;  // oldest first
  int count_ = 0;               // real samples in values_, 0..L
};
