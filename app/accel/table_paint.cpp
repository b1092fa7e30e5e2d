#include "app/accel/table_paint.h"

Rgb CellBackground(bool selected, bool best) {
  if (selected) return best ? Rgb{170, 210, 170} : Rgb{192, 192, 192};
  return best ? Rgb{230, 250, 230} : Rgb{255, 255, 255};
}
