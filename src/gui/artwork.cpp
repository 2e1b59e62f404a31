#include "gui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace m84 {

namespace {

// The installed desktop entry's icon, so that the window and the application menu show the same
// picture. Drawn through the renderer rather than the SVG icon-engine plugin, which a system may lack.
const char kIconResource[] = ":/icons/org.m84dpt.Programmer.svg";

void DrawPager(QPainter& p, const QRectF& box) {
  QSvgRenderer renderer{QString::fromLatin1(kIconResource)};
  p.setRenderHint(QPainter::Antialiasing);
  renderer.render(&p, box);
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
