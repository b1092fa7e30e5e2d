#pragma once
// The acceleration table's cell colours and text placement; the grid widget
// paints every cell with these. User-interface thread.

#include "app/widgets/rgb.h"

// Header cells (column 0 or row 0): face, light edge (top, left), dark edge
// (bottom, right). Their text is in the system's button-text colour.
constexpr Rgb kHeaderFace{220, 220, 223};
constexpr Rgb kHeaderLight{255, 255, 255};
constexpr Rgb kHeaderShadow{150, 150, 150};
constexpr Rgb kCellText{0, 0, 0};

// Background of a run cell: selected or not, highlighted as the row's best or not.
Rgb CellBackground(bool selected, bool best);

// Text placement: right end 7 pixels left of the right edge, top 3 below the top.
constexpr int kCellTextRightGap = 7;
constexpr int kCellTextTopGap = 3;
// x of the text's left end for a cell whose right edge is at right.
inline int CellTextLeft(int right, int textWidth) { return right - textWidth - kCellTextRightGap; }
