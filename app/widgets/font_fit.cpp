#include "app/widgets/font_fit.h"

#include <algorithm>
#include <cmath>

double FitScale(const QFontMetrics& fm, std::initializer_list<TextFit> texts) {
  double scale = 1.0;
  for (const TextFit& t : texts)
    scale = std::max(scale, static_cast<double>(fm.horizontalAdvance(t.text) + t.padding) / t.designWidth);
  return scale;
}

int Scaled(int designed, double scale) { return static_cast<int>(std::ceil(designed * scale - 1e-9)); }
