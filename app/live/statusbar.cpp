#include "app/live/statusbar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionFrame>

#include "app/widgets/font_fit.h"
#include "common/ui.h"

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
constexpr int kDrawnPanel = kPanelMode;

// The widths were laid out for a small Windows font; they grow together with
// the window's font so that the longest texts the program writes fit.
double PanelScale(const QFont& font) {
  const QFontMetrics m(font);
  // Frame on both sides, the indent a framed label keeps, one spare pixel.
  const int pad = 3 + m.horizontalAdvance(QLatin1Char('x')) / 2;
  return FitScale(m, {{"Подключение ...", kWidths[kPanelLink], pad},
                      {"Переподключение 5 из 5", kWidths[kPanelLink], pad},
                      {"Подключение ...", kWidths[kPanelLambda], pad},
                      {"9999 мс", kWidths[kPanelResponseTime], pad},
                      {"9999", kWidths[kPanelResets], pad},
                      {" LC1 AFR: 14.7", kWidths[kPanelLambdaAfr], pad},
                      {"99.9 п/сек", kWidths[kPanelReplyRate], pad}});
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
  const double scale = PanelScale(font());
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
    w->setFixedWidth(Scaled(kWidths[i], scale));
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
