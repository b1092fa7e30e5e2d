#pragma once
// The window's pixel sizes were laid out for a smaller system font. Each group
// of sizes grows by one factor, so order and proportions stay, just enough
// for the longest text each element shows at the current font; never below
// the designed size, and no text is drawn smaller than the window's font.
// User-interface thread.

#include <QFontMetrics>
#include <QString>
#include <initializer_list>

struct TextFit {
  QString text;     // the longest text the element shows
  int designWidth;  // its designed width in pixels
  int padding;      // what the element needs besides the text (frame, gaps)
};

// Factor >= 1 by which the designed widths grow so that every text fits.
double FitScale(const QFontMetrics& fm, std::initializer_list<TextFit> texts);
// A designed size grown by the factor, rounded up.
int Scaled(int designed, double scale);
