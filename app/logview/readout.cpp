#include "app/logview/readout.h"

#include <QPainter>
#include <algorithm>

TLogReadout::TLogReadout(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
}

void TLogReadout::SetContent(QString title, int titleTop, std::vector<Group> groups) {
  title_ = std::move(title);
  titleTop_ = titleTop;
  groups_ = std::move(groups);
  update();
}

void TLogReadout::SetWidths(int nameWidth, int valueWidth, int statsWidth) {
  nameWidth_ = nameWidth;
  const QFontMetrics fm = fontMetrics();
  setFixedWidth(std::max({kSwatch + kGap + nameWidth + kGap + valueWidth + kGap, statsWidth + 2 * kGap,
                          fm.horizontalAdvance("Время: 00000.000 с") + kGap}));
}

void TLogReadout::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics fm = fontMetrics();
  const int lineHeight = fm.height();
  for (const Group& g : groups_) {
    int y = g.top;
    for (std::size_t i = 0; i < g.lines.size(); ++i, y += 2 * lineHeight) {
      const Line& l = g.lines[i];
      if (i > 0 && y + 2 * lineHeight > g.bottom) {  // no room left on this track
        p.setPen(Qt::black);
        p.drawText(QRect(kSwatch + kGap, y - lineHeight, width(), lineHeight), Qt::AlignRight, "…");
        break;
      }
      p.fillRect(QRect(0, y + (lineHeight - kSwatch) / 2, kSwatch, kSwatch), l.colour);
      p.setPen(l.colour);
      p.drawText(QRect(kSwatch + kGap, y, nameWidth_, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, l.name);
      p.setPen(Qt::black);
      p.drawText(QRect(0, y, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter, l.value);
      p.setPen(QColor(110, 110, 110));
      p.drawText(QRect(0, y + lineHeight, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter,
                 l.stats);
    }
  }
  p.setPen(Qt::black);
  p.drawText(QRect(0, titleTop_, width() - kGap, lineHeight), Qt::AlignRight | Qt::AlignVCenter, title_);
}
