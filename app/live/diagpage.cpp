#include "app/live/diagpage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/widgets/font_fit.h"

namespace {

// The boxes' object names, in the order of kDiagBoxCaptions.
constexpr std::array<const char*, kDiagBoxCount> kBoxNames = {"lblRPM2", "lblTHR", "lblAFR",   "lblTWAT",
                                                              "lblTAIR", "lblUOZ", "lblAIR",   "lblGBC",
                                                              "lblINJ",  "lblSSM", "lblPress", "lblErrCnt"};

}  // namespace

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
  for (int i = 0; i < kDiagBoxCount; ++i) values_[i] = box(kBoxNames[i], kDiagBoxCaptions[i]);
  grid->setRowStretch(row, 1);

  auto* flagPanel = new QFrame(this);
  flagPanel->setObjectName("pnlFlags");
  flagPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* flags = new QVBoxLayout(flagPanel);
  auto check = [&](const char* caption) {
    auto* cb = new QCheckBox(QString::fromUtf8(caption), flagPanel);
    cb->setObjectName("cb" + QString::fromUtf8(caption));
    flags->addWidget(cb);
    return cb;
  };
  for (int i = 0; i < kDiagFlagCount; ++i) flags_[i] = check(kDiagFlagCaptions[i]);
  flags->addStretch(1);
  flagPanel->setEnabled(false);
  // Disabled, so the user cannot change them, but drawn as clearly as the
  // value boxes: the disabled colours are the normal ones.
  QPalette clear = flagPanel->palette();
  for (int role = 0; role < QPalette::NColorRoles; ++role) {
    const auto r = static_cast<QPalette::ColorRole>(role);
    clear.setColor(QPalette::Disabled, r, clear.color(QPalette::Active, r));
  }
  flagPanel->setPalette(clear);

  outer->addLayout(grid);
  outer->addSpacing(20);
  outer->addWidget(flagPanel, 0, Qt::AlignTop);
  outer->addStretch(1);
}

void TDiagPage::Show(const std::array<std::string, kDiagBoxCount>& texts,
                     const std::array<bool, kDiagFlagCount>& flags) {
  for (int i = 0; i < kDiagBoxCount; ++i) values_[i]->setText(QString::fromStdString(texts[i]));
  for (int i = 0; i < kDiagFlagCount; ++i) flags_[i]->setChecked(flags[i]);
}
