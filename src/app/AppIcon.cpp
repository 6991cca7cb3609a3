//===- app/AppIcon.cpp - The program's icon -------------------------------===//

#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace korvex::app {
namespace {

// A white cloud on a blue rounded square, as packaging/icons draws it.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 64.0;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x6f, 0xd1));
  p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
  QPainterPath cloud;
  cloud.addEllipse(QPointF(24 * s, 36 * s), 10 * s, 10 * s);
  cloud.addEllipse(QPointF(34 * s, 28 * s), 13 * s, 13 * s);
  cloud.addEllipse(QPointF(45 * s, 37 * s), 9 * s, 9 * s);
  cloud.addRect(QRectF(24 * s, 36 * s, 21 * s, 10 * s));
  p.setBrush(Qt::white);
  p.drawPath(cloud.simplified());
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon drawn;
  for (const int size : {16, 24, 32, 48, 64, 128}) drawn.addPixmap(Draw(size));
  return QIcon::fromTheme("korvexdata", drawn);
}

}  // namespace korvex::app
