#include "app/statusbar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionFrame>

namespace {
constexpr int kWidths[TStatusBar::kPanels] = {150, 150, 50, 40, 40, 40, 40, 85, 50};
constexpr Qt::Alignment kAlign[TStatusBar::kPanels] = {Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignCenter,
                                                       Qt::AlignLeft | Qt::AlignVCenter,
                                                       Qt::AlignLeft | Qt::AlignVCenter};
constexpr int kDrawnPanel = 3;

// The panel widths were chosen for a small Windows font. The longest texts the
// program writes must stay readable in them, so the panels' font is made small
// enough for those (never below 6 points) instead of cutting the numbers off.
QFont PanelFont(const QFont& base) {
  const struct {
    const char* text;
    int panel;
  } longest[] = {{" LC1 AFR: 14.7", 7},
                 {"25.4 п/сек", 8},
                 {"Не подключен", 0},
                 {"1000 мс", 2},
                 {"Переподключение 5 из 5", 0}};
  QFont f = base;
  for (double pt = base.pointSizeF(); pt >= 6; pt -= 0.5) {
    f.setPointSizeF(pt);
    const QFontMetrics m(f);
    bool fits = true;
    for (const auto& l : longest)
      fits = fits && m.horizontalAdvance(QString::fromUtf8(l.text)) + 6 <= kWidths[l.panel];
    if (fits) break;
  }
  return f;
}
}  // namespace

void TDrawnPanel::SetText(const QString& text) {
  text_ = text;
  update();
}

void TDrawnPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.frameShape = QFrame::Panel;
  frame.state |= QStyle::State_Sunken;
  frame.lineWidth = 1;
  style()->drawControl(QStyle::CE_ShapedFrame, &frame, &p, this);
  if (draw_) draw_(p, rect());
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
  const QFont panelFont = PanelFont(font());
  for (int i = 0; i < kPanels; ++i) {
    QWidget* w;
    if (i == kDrawnPanel) {
      drawn_ = new TDrawnPanel(this);
      w = drawn_;
    } else {
      auto* label = new QLabel(this);
      label->setAlignment(kAlign[i]);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
      labels_[i] = label;
      w = label;
    }
    w->setFixedWidth(kWidths[i]);
    w->setFont(panelFont);
    addWidget(w);
  }
}

void TStatusBar::SetText(int panel, const QString& text) {
  if (panel < 0 || panel >= kPanels) return;
  if (panel == kDrawnPanel)
    drawn_->SetText(text);
  else
    labels_[panel]->setText(text);
}

QString TStatusBar::Text(int panel) const {
  if (panel < 0 || panel >= kPanels) return {};
  return panel == kDrawnPanel ? drawn_->Text() : labels_[panel]->text();
}

int TStatusBar::PanelWidth(int panel) const {
  return panel == kDrawnPanel ? drawn_->maximumWidth() : labels_[panel]->maximumWidth();
}

Qt::Alignment TStatusBar::PanelAlignment(int panel) const {
  return panel == kDrawnPanel ? Qt::Alignment() : labels_[panel]->alignment();
}
