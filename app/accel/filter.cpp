#include "app/accel/filter.h"

#include <algorithm>

void AccelFilter::Reset(int length) {
  count_ = 0;
  values_.assign(static_cast<std::size_t>(std::clamp(length, 0, 20)), 0.0);
}

double AccelFilter::Add(double spinAccel) {
  double sum = 0;
  const int l = Length();
  if (l > 0) {
    // The oldest value is summed before it drops out; the starting zeros add
    // nothing while the divisor counts only real samples.
    for (int i = 0; i + 1 < l; ++i) {
      sum += values_[i];
      values_[i] = values_[i + 1];
    }
    sum += values_[l - 1];
    values_[l - 1] = spinAccel;
  }
  sum += spinAccel;
  const double avg = sum / (count_ + 1);
  if (l > count_) ++count_;
  return avg;
}
