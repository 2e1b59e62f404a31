#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace m84 {

namespace {

// A pager seen from the front: a rounded case, a display with two lines of text, one key.
void DrawPager(QPainter& p, const QRectF& box) {
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = box.width(), h = box.height();
  QLinearGradient body(box.topLeft(), box.bottomLeft());
  body.setColorAt(0, QColor(70, 84, 98));
  body.setColorAt(1, QColor(28, 34, 42));
  p.setPen(QPen(QColor(12, 16, 20), w * 0.03));
  p.setBrush(body);
  p.drawRoundedRect(box.adjusted(w * 0.04, h * 0.12, -w * 0.04, -h * 0.12), w * 0.14, w * 0.14);
  const QRectF screen(box.left() + w * 0.16, box.top() + h * 0.24, w * 0.68, h * 0.32);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(168, 204, 120));
  p.drawRoundedRect(screen, w * 0.04, w * 0.04);
  p.setBrush(QColor(40, 60, 30));
  for (int line = 0; line < 2; ++line)
    p.drawRect(QRectF(screen.left() + w * 0.06, screen.top() + h * (0.07 + line * 0.12), w * (line ? 0.36 : 0.52),
                      h * 0.05));
  p.setBrush(QColor(214, 120, 44));
  p.drawEllipse(QPointF(box.center().x(), box.top() + h * 0.72), w * 0.09, w * 0.09);
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    DrawPager(p, QRectF(0, 0, size, size));
    icon.addPixmap(pixmap);
  }
  return icon;
}

Banner::Banner(QWidget* parent) : QWidget(parent) {}

void Banner::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(rect().topLeft(), rect().topRight());
  sky.setColorAt(0, QColor(22, 44, 74));
  sky.setColorAt(0.6, QColor(52, 92, 130));
  sky.setColorAt(1, QColor(131, 156, 177));
  p.fillRect(rect(), sky);
  // Radio waves leaving the pager.
  const qreal h = height();
  const QPointF source(h * 0.95, h * 0.5);
  p.setBrush(Qt::NoBrush);
  for (int ring = 1; ring <= 3; ++ring) {
    p.setPen(QPen(QColor(255, 255, 255, 150 - ring * 35), h * 0.05));
    const qreal r = h * 0.25 * ring;
    p.drawArc(QRectF(source.x() - r, source.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
  }
  DrawPager(p, QRectF(h * 0.1, h * 0.08, h * 0.84, h * 0.84));
  QFont title(QStringLiteral("Arial"));
  title.setPixelSize(qRound(h * 0.36));
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(h * 1.9, 0, width() - h * 2, h * 0.62), Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("M84 Pager Programming"));
  QFont subtitle(QStringLiteral("Arial"));
  subtitle.setPixelSize(qRound(h * 0.2));
  p.setFont(subtitle);
  p.setPen(QColor(220, 232, 242));
  p.drawText(QRectF(h * 1.9, h * 0.64, width() - h * 2, h * 0.3), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("POCSAG multi-lingual alphanumeric pager"));
}

}  // namespace m84
