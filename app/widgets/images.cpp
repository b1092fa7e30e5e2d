#include "app/widgets/images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace {

void DrawGear(QPainter& p) {
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(QColor(150, 150, 160));
  QPainterPath gear;
  const QPointF c(8, 8);
  for (int i = 0; i < 16; ++i) {
    const double a = i * M_PI / 8;
    const double r = (i % 2 == 0) ? 7.5 : 5.5;
    const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    if (i == 0)
      gear.moveTo(pt);
    else
      gear.lineTo(pt);
  }
  gear.closeSubpath();
  gear.addEllipse(c, 2.5, 2.5);
  gear.setFillRule(Qt::OddEvenFill);
  p.drawPath(gear);
}

void DrawPlug(QPainter& p, bool connected) {
  // Two plug halves: joined for connect, apart with a red cross for disconnect.
  const QColor body = connected ? QColor(40, 150, 40) : QColor(120, 120, 120);
  p.setPen(Qt::NoPen);
  p.setBrush(body);
  const int gap = connected ? 0 : 3;
  p.drawRect(QRectF(1, 6, 5 - gap / 2.0, 4));
  p.drawRect(QRectF(10 + gap / 2.0, 5, 5 - gap / 2.0, 6));
  p.setPen(QPen(body, 1.5));
  p.drawLine(QPointF(6 - gap / 2.0, 7), QPointF(10 + gap / 2.0, 7));
  p.drawLine(QPointF(6 - gap / 2.0, 9), QPointF(10 + gap / 2.0, 9));
  if (!connected) {
    p.setPen(QPen(QColor(210, 30, 30), 2));
    p.drawLine(QPointF(5, 2), QPointF(11, 14));
    p.drawLine(QPointF(11, 2), QPointF(5, 14));
  }
}

void DrawArrow(QPainter& p, double y, bool right, const QColor& color) {
  p.setPen(QPen(color, 2));
  const double x0 = right ? 2 : 14, x1 = right ? 11 : 5;
  p.drawLine(QPointF(x0, y), QPointF(x1, y));
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const double tip = right ? 15 : 1;
  p.drawPolygon(QPolygonF({QPointF(tip, y), QPointF(x1, y - 3.5), QPointF(x1, y + 3.5)}));
}

}  // namespace

namespace ImageList1 {

QPixmap Pixmap(int index) {
  QPixmap pm(kSize, kSize);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:
      DrawGear(p);
      break;
    case 1:
      DrawPlug(p, true);
      break;
    case 2:
      DrawPlug(p, false);
      break;
    case 3:  // request and reply: one arrow each way
      DrawArrow(p, 4.5, true, QColor(30, 90, 200));
      DrawArrow(p, 11.5, false, QColor(30, 150, 60));
      break;
    case 4:  // the ECU streams: three arrows one way
      DrawArrow(p, 3, false, QColor(200, 110, 20));
      DrawArrow(p, 8, false, QColor(200, 110, 20));
      DrawArrow(p, 13, false, QColor(200, 110, 20));
      break;
    default:
      break;
  }
  return pm;
}

QIcon Icon(int index) { return QIcon(Pixmap(index)); }

}  // namespace ImageList1
