#include "gui/tab_strip.h"

#include "gui/accessibility.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QShortcut>
#include <QToolTip>
#include <algorithm>
#include <initializer_list>

namespace m84 {

namespace {

const QColor kEmbossLight(188, 188, 188);
const QColor kEmbossShade(128, 128, 128);
const QColor kLabelColour(0, 0, 0);
constexpr int kMaxLabelLength = 255;
constexpr int kSoftPercent = 102;  // the back tabs' highlight is a shade brighter than the 3D light colour
constexpr int kWidePenWidth = 2;
constexpr int kSelectedExtraWidth = 3;

// The drawing works with a tab's four edges, right and bottom outside the tab.
struct Edges {
  int l, t, r, b;
};

Edges EdgesOf(const QRect& rect) { return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()}; }

int Softened(int channel) { return std::min(255, channel * kSoftPercent / 100); }

QColor Softened(const QColor& colour) {
  return QColor(Softened(colour.red()), Softened(colour.green()), Softened(colour.blue()));
}

// A thin flat-capped line leaves out its end point, so a run of lines meets without overdrawing;
// the wide pens are round at their ends and joins, so a run drawn in two pens has no notch.
QPen ThinPen(const QColor& colour) { return QPen(colour, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin); }
QPen WidePen(const QColor& colour) { return QPen(colour, kWidePenWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// One paint of the strip into an off-screen image: background, tabs from the back row to the
// front row, the cards' frame, then the page area's raised edges.
class CardPainter {
 public:
  CardPainter(QPainter& painter, const TabGeometry& geometry, QSize client, const QPalette& palette,
              const std::vector<QString>& labels, int selected)
      : p_(painter),
        g_(geometry),
        labels_(labels),
        selected_(selected),
        w_(client.width()),
        h_(client.height()),
        n_(geometry.rowCount),
        frontRight_(client.width() - (geometry.rowCount - 1) * geometry.indent - geometry.margin),
        face_(palette.color(QPalette::Button)),
        black_(ThinPen(Qt::black)),
        light_(WidePen(palette.color(QPalette::Light))),
        soft_(WidePen(Softened(palette.color(QPalette::Midlight)))),
        dark_(WidePen(palette.color(QPalette::Dark))),
        metrics_(painter.font(), painter.device()) {}

  void Paint() {
    FillBackground();
    for (int row = n_ - 1; row >= 0; --row) {
      for (int i = g_.TabCount() - 1; i >= 0; --i) {
        if (g_.rows[static_cast<size_t>(i)] == row) DrawTab(i);
      }
    }
    DrawCardFrames();
    DrawPageEdges();
  }

 private:
  void FillBackground() {
    const int m = g_.margin, h = g_.rowHeight, c = g_.cut, d = g_.indent;
    Fill({0, m + 2 * h, w_, h_});
    Fill({0, 0, w_, m + h + c});
    Fill({w_ - d - m, m + h + c, w_, h_});
  }

  void DrawTab(int index) {
    const int c = g_.cut;
    const bool selected = index == selected_;
    Edges e = EdgesOf(StripTabRect(g_, index));
    if (selected) {
      // The selected tab stands out: a pixel taller and, unless that would cross the front
      // card's right edge, a little wider over its right neighbour.
      e.t -= 1;
      if (w_ - e.r > (n_ - 1) * g_.indent + g_.margin + 2) e.r += kSelectedExtraWidth;
    }
    const auto [l, t, r, b] = e;
    const int fillBottom = selected ? b + 1 : b;
    p_.setPen(Qt::NoPen);
    p_.setBrush(face_);
    p_.drawPolygon(QPolygon({QPoint(l + 1, fillBottom), QPoint(l + 1, t + c), QPoint(l + c, t + 1),
                             QPoint(r - c, t + 1), QPoint(r, t + c), QPoint(r, fillBottom)}));
    p_.setBrush(Qt::NoBrush);

    Stroke(black_, {{l, b}, {l, t + c}, {l + c, t}, {r - c, t}, {r, t + c}, {r, b + 1}});
    Stroke(selected ? light_ : soft_, {{l + 2, b + 2}, {l + 2, t + c}, {l + c, t + 2}, {r - c, t + 2}});
    Stroke(dark_, {{r - c, t + 2}, {r - 1, t + c + 1}, {r - 1, selected ? b : b - 1}});
    // A front tab that is not selected is closed off from the page area below it.
    if (!selected && g_.rows[static_cast<size_t>(index)] == 0) Stroke(black_, {{r, b}, {l, b}});
    DrawLabel(labels_[static_cast<size_t>(index)].left(kMaxLabelLength), e, selected);
  }

  void DrawLabel(const QString& text, Edges e, bool selected) {
    const int x = e.l + (e.r - e.l - metrics_.horizontalAdvance(text)) / 2;
    const int y = e.t + (e.b - e.t - metrics_.height()) / 2;
    if (!selected) {
      DrawText(text, x, y + 1, kLabelColour);
      return;
    }
    DrawText(text, x + 1, y, kEmbossLight);
    DrawText(text, x, y, kEmbossShade);
    DrawText(text, x + 1, y - 1, kEmbossShade);
    DrawText(text, x, y - 1, kLabelColour);
  }

  // The front card's left, bottom and right edges, then the bottom and right edges of the cards behind.
  void DrawCardFrames() {
    const int m = g_.margin, h = g_.rowHeight, c = g_.cut, d = g_.indent;
    Stroke(black_, {{m, m + n_ * h}, {m, h_ - m}, {frontRight_, h_ - m}, {frontRight_, m + (n_ - 1) * h + c}});
    for (int i = 1; i < n_; ++i) {
      const int k = n_ - i;
      Stroke(black_, {{w_ - k * d - m, h_ - i * h - m},
                      {w_ - (k - 1) * d - m, h_ - i * h - m},
                      {w_ - (k - 1) * d - m, m + k * h}});
    }
  }

  // Light along the page area's top (left and right of the selected tab) and left edge, dark
  // along its bottom and right edges and those of the cards behind.
  void DrawPageEdges() {
    const int m = g_.margin, h = g_.rowHeight, c = g_.cut, d = g_.indent;
    if (selected_ >= 0 && selected_ < g_.TabCount()) {
      const Edges s = EdgesOf(StripTabRect(g_, selected_));
      if (s.l > m) Stroke(light_, {{m + 2, s.b + 2}, {s.l + 2, s.b + 2}});
      if (w_ - s.r > (n_ - 1) * d + m + 4) Stroke(light_, {{s.r + 1, s.b + 2}, {frontRight_ - 4, s.b + 2}});
    }
    Stroke(light_, {{m + 2, m + n_ * h + 1}, {m + 2, h_ - m - 1}});
    Stroke(dark_, {{m + 2, h_ - m - 1}, {frontRight_ - 1, h_ - m - 1}, {frontRight_ - 1, m + (n_ - 1) * h + c - 1}});
    for (int i = 1; i < n_; ++i) {
      const int k = n_ - i;
      Stroke(dark_, {{w_ - k * d - m + 1, h_ - i * h - m - 1},
                     {w_ - (k - 1) * d - m - 1, h_ - i * h - m - 1},
                     {w_ - (k - 1) * d - m - 1, m + k * h}});
    }
  }

  void Fill(Edges e) { p_.fillRect(QRect(e.l, e.t, e.r - e.l, e.b - e.t), face_); }

  void Stroke(const QPen& pen, std::initializer_list<QPoint> points) {
    p_.setPen(pen);
    p_.drawPolyline(points.begin(), static_cast<int>(points.size()));
  }

  // (x, y) is the top-left corner of the text's line; the background stays as it is.
  void DrawText(const QString& text, int x, int y, const QColor& colour) {
    p_.setPen(colour);
    p_.drawText(x, y + metrics_.ascent(), text);
  }

  QPainter& p_;
  const TabGeometry& g_;
  const std::vector<QString>& labels_;
  const int selected_;
  const int w_, h_, n_;
  const int frontRight_;  // the front card's right edge
  const QColor face_;
  const QPen black_, light_, soft_, dark_;
  const QFontMetrics metrics_;
};

}  // namespace

TabStrip::TabStrip(QWidget* parent) : QWidget(parent) {
  InstallAccessibleInterfaces();
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel comes from the off-screen image

  // Page to page from anywhere inside the strip, the pages' own controls included.
  auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
  next->setContext(Qt::WidgetWithChildrenShortcut);
  connect(next, &QShortcut::activated, this, [this] { StepByKeyboard(+1); });
  auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), this);
  previous->setContext(Qt::WidgetWithChildrenShortcut);
  connect(previous, &QShortcut::activated, this, [this] { StepByKeyboard(-1); });
}

void TabStrip::AddTab(const QString& label, const QString& tip) {
  labels_.push_back(label);
  tips_.push_back(tip);
  if (current_ < 0) current_ = 0;  // like the control, the first tab comes selected
}

void TabStrip::SetTabFont(const QFont& font) {
  tabFont_ = font;
  update();
}

void TabStrip::LayoutTabs(int indent, int cut) {
  // The rows come out as the control would lay them out, in the widget's own (dialog) font.
  const QFontMetrics metrics(font());
  std::vector<int> labelWidths;
  for (const QString& label : labels_) labelWidths.push_back(metrics.horizontalAdvance(label));
  geometry_ = LayOutStripRows(LayOutControlTabs(labelWidths, metrics.height(), width(), current_), indent, cut);
  UpdateWindowShape();
  update();
}

void TabStrip::SetCurrentIndex(int index) {
  if (index < 0 || index >= static_cast<int>(labels_.size()) || index == current_) return;
  current_ = index;
  update();
  AnnounceCurrentTab(this);
}

QRect TabStrip::TabRect(int index) const { return StripTabRect(geometry_, index); }

bool TabStrip::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int tab = StripTabAt(geometry_, help->pos());
    if (tab >= 0 && !tips_[static_cast<size_t>(tab)].isEmpty()) {
      QToolTip::showText(help->globalPos(), tips_[static_cast<size_t>(tab)], this, TabRect(tab));
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QWidget::event(event);
}

void TabStrip::paintEvent(QPaintEvent*) {
  QImage canvas(size(), QImage::Format_RGB32);
  // The three background fills leave a band under a single row uncovered; start from the face colour.
  canvas.fill(palette().color(QPalette::Button));
  if (geometry_.TabCount() > 0) {
    QPainter painter(&canvas);
    painter.setFont(tabFont_);
    CardPainter(painter, geometry_, size(), palette(), labels_, current_).Paint();
  }
  QPainter(this).drawImage(0, 0, canvas);
}

void TabStrip::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  if (const int pressed = StripTabAt(geometry_, event->position().toPoint());
      pressed >= 0 && pressed != current_ && mayLeave_ && !mayLeave_())
    return;
  const std::vector<int> rowsBefore = geometry_.rows;
  const int tab = PressStripTab(geometry_, current_, event->position().toPoint());
  if (tab < 0) return;
  if (geometry_.rows != rowsBefore) UpdateWindowShape();
  current_ = tab;
  AnnounceCurrentTab(this);
  emit CurrentChanged(tab);
  repaint();
}

void TabStrip::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: SelectByUser(current_ - 1); break;
    case Qt::Key_Right:
    case Qt::Key_Down: SelectByUser(current_ + 1); break;
    default: QWidget::keyPressEvent(event);
  }
}

void TabStrip::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  UpdateWindowShape();
}

// The rows stay where they are: only a click brings a row to the front.
void TabStrip::SelectByUser(int index) {
  if (index < 0 || index >= static_cast<int>(labels_.size()) || index == current_) return;
  if (mayLeave_ && !mayLeave_()) return;
  current_ = index;
  update();
  AnnounceCurrentTab(this);
  emit CurrentChanged(index);
}

void TabStrip::StepByKeyboard(int step) {
  const int count = static_cast<int>(labels_.size());
  if (count == 0) return;
  SelectByUser(((current_ + step) % count + count) % count);
}

void TabStrip::UpdateWindowShape() {
  const std::vector<QPoint> shape = StripWindowShape(geometry_, size());
  if (shape.empty()) {
    clearMask();
    return;
  }
  setMask(QRegion(QPolygon(QList<QPoint>(shape.begin(), shape.end())), Qt::WindingFill));
}

}  // namespace m84
