#pragma once
// A colour as plain data, for the logic that chooses colours without Qt.

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
