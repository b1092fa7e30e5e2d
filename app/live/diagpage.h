#pragma once
// The page "Диагностика": twelve read-only number boxes with captions and the
// seven flag check boxes in a disabled panel (object names lblRPM2 ..
// lblErrCnt, cbfSTOP .. cbfLEARN, pnlFlags). User-interface thread.

#include <QCheckBox>
#include <QLabel>
#include <QWidget>
#include <array>
#include <string>

#include "app/live/display_texts.h"

class TDiagPage : public QWidget {
 public:
  explicit TDiagPage(QWidget* parent);

  // The box texts and the flags in the order of DiagnosticsTexts and DiagnosticsFlags.
  void Show(const std::array<std::string, kDiagBoxCount>& texts,
            const std::array<bool, kDiagFlagCount>& flags);

 private:
  std::array<QLabel*, kDiagBoxCount> values_{};
  std::array<QCheckBox*, kDiagFlagCount> flags_{};
};
