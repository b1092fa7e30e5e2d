#include "app/live/diagpage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/widgets/font_fit.h"

TDiagPage::TDiagPage(QWidget* parent) : QWidget(parent) {
  auto* outer = new QHBoxLayout(this);
  auto* grid = new QGridLayout;
  grid->setVerticalSpacing(4);
  int row = 0;
  const QFontMetrics fm(font());
  const int valueWidth =
      Scaled(80, FitScale(fm, {{"-10200.0", 80, 8 + fm.horizontalAdvance(QLatin1Char('x'))}}));
  auto box = [&](const char* name, const char* caption) {
    auto* cap = new QLabel(QString::fromUtf8(caption), this);
    auto* value = new QLabel(this);
    value->setObjectName(name);
    // A styled frame is drawn on all four sides, like a read-only edit box.
    value->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    value->setAutoFillBackground(true);
    value->setBackgroundRole(QPalette::Base);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFixedWidth(valueWidth);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(cap, row, 0);
    grid->addWidget(value, row, 1);
    ++row;
    return value;
  };
  lblRPM2 = box("lblRPM2", "RPM");
  lblTHR = box("lblTHR", "THR");
  lblAFR = box("lblAFR", "AFR");
  lblTWAT = box("lblTWAT", "TWAT");
  lblTAIR = box("lblTAIR", "TAIR");
  lblUOZ = box("lblUOZ", "UOZ");
  lblAIR = box("lblAIR", "AIR");
  lblGBC = box("lblGBC", "GBC");
  lblINJ = box("lblINJ", "INJ");
  lblSSM = box("lblSSM", "SSM");
  lblPress = box("lblPress", "PRESS");
  lblErrCnt = box("lblErrCnt", "ERR");
  grid->setRowStretch(row, 1);

  pnlFlags = new QFrame(this);
  pnlFlags->setObjectName("pnlFlags");
  pnlFlags->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* flags = new QVBoxLayout(pnlFlags);
  auto check = [&](const char* name) {
    auto* cb = new QCheckBox(QString::fromUtf8(name).mid(2), pnlFlags);
    cb->setObjectName(name);
    flags->addWidget(cb);
    return cb;
  };
  cbfSTOP = check("cbfSTOP");
  cbfXX = check("cbfXX");
  cbfFUELOFF = check("cbfFUELOFF");
  cbfDETZONE = check("cbfDETZONE");
  cbfDET = check("cbfDET");
  cbfLAMREG = check("cbfLAMREG");
  cbfLEARN = check("cbfLEARN");
  flags->addStretch(1);
  pnlFlags->setEnabled(false);
  // Disabled, so the user cannot change them, but drawn as clearly as the
  // value boxes: the disabled colours are the normal ones.
  QPalette clear = pnlFlags->palette();
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    const auto r = static_cast<QPalette::ColorRole>(role);
    clear.setColor(QPalette::Disabled, r, clear.color(QPalette::Active, r));
  }
  pnlFlags->setPalette(clear);

  outer->addLayout(grid);
  outer->addSpacing(20);
  outer->addWidget(pnlFlags, 0, Qt::AlignTop);
  outer->addStretch(1);
}
