#pragma once
// The page "Диагностика": twelve read-only number boxes with captions and the
// seven flag check boxes in a disabled panel. Filled by the display routine.
// User-interface thread.

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QWidget>

class TDiagPage : public QWidget {
 public:
  explicit TDiagPage(QWidget* parent);

  QLabel *lblRPM2, *lblTHR, *lblAFR, *lblTWAT, *lblTAIR, *lblUOZ, *lblAIR, *lblGBC, *lblINJ, *lblSSM,
      *lblPress, *lblErrCnt;
  QFrame* pnlFlags;  // disabled: the user cannot change the flags
  QCheckBox *cbfSTOP, *cbfXX, *cbfFUELOFF, *cbfDETZONE, *cbfDET, *cbfLAMREG, *cbfLEARN;
};
