#include "core/window/tab_layout.h"

namespace m84 {

namespace {

int RightOf(const QRect& r) { return r.x() + r.width(); }
int BottomOf(const QRect& r) { return r.y() + r.height(); }

// Row number (in fill order) of each tab: a new row when the next tab does not fit. A tab wider
// than the control still gets a row of its own.
std::vector<int> FillRows(const std::vector<int>& tabWidths, int available) {
  std::vector<int> fillRows(tabWidths.size());
  int row = 0;
  int used = 0;
  for (size_t i = 0; i < tabWidths.size(); ++i) {
    if (used > 0 && used + tabWidths[i] > available) {
      ++row;
      used = 0;
    }
    fillRows[i] = row;
    used += tabWidths[i];
  }
  return fillRows;
}

// Shares the free width of a row among its tabs; the last tab takes what does not divide evenly,
// so the row ends exactly at the control's edge.
void StretchRow(std::vector<int>& tabWidths, const std::vector<int>& tabs, int available) {
  int used = 0;
  for (int i : tabs) used += tabWidths[static_cast<size_t>(i)];
  const int extra = available - used;
  if (extra <= 0 || tabs.empty()) return;
  const int count = static_cast<int>(tabs.size());
  for (int i : tabs) tabWidths[static_cast<size_t>(i)] += extra / count;
  tabWidths[static_cast<size_t>(tabs.back())] += extra % count;
}

// Takes `total` pixels off a row one at a time, from its last tab towards its first and round again:
// every tab loses total / count, and the last total % count tabs one pixel more.
void ShortenRow(std::vector<int>& tabWidths, const std::vector<int>& tabs, int total) {
  const int count = static_cast<int>(tabs.size());
  if (count == 0) return;
  for (int p = 0; p < count; ++p) {
    const int fromLast = count - 1 - p;
    tabWidths[static_cast<size_t>(tabs[static_cast<size_t>(p)])] -= total / count + (fromLast < total % count ? 1 : 0);
  }
}

std::vector<int> TabsWhere(int count, const std::vector<int>& keys, int key) {
  std::vector<int> tabs;
  for (int i = 0; i < count; ++i) {
    if (keys[static_cast<size_t>(i)] == key) tabs.push_back(i);
  }
  return tabs;
}

int PreviousTabInRow(const TabGeometry& g, int index) {
  for (int j = index - 1; j >= 0; --j) {
    if (g.rows[static_cast<size_t>(j)] == g.rows[static_cast<size_t>(index)]) return j;
  }
  return -1;
}

bool Holds(const QRect& r, QPoint p) {
  return p.x() >= r.x() && p.x() < RightOf(r) && p.y() >= r.y() && p.y() < BottomOf(r);
}

}  // namespace

ControlTabLayout LayOutControlTabs(const std::vector<int>& labelWidths, int fontHeight, int controlWidth,
                                   int selected) {
  ControlTabLayout layout;
  const int count = static_cast<int>(labelWidths.size());
  if (count == 0) return layout;
  const int available = controlWidth - 2 * kControlInset;
  const int height = fontHeight + kTabPaddingY;

  std::vector<int> widths(labelWidths.size());
  for (size_t i = 0; i < labelWidths.size(); ++i) widths[i] = labelWidths[i] + 2 * kTabPaddingX;
  const std::vector<int> fillRows = FillRows(widths, available);
  layout.rowCount = fillRows.back() + 1;
  for (int row = 0; row < layout.rowCount; ++row) StretchRow(widths, TabsWhere(count, fillRows, row), available);

  const int front = fillRows[static_cast<size_t>(selected >= 0 && selected < count ? selected : 0)];
  layout.rects.resize(labelWidths.size());
  int left = kControlInset;
  for (int i = 0; i < count; ++i) {
    const int fillRow = fillRows[static_cast<size_t>(i)];
    if (i > 0 && fillRow != fillRows[static_cast<size_t>(i - 1)]) left = kControlInset;
    // The rows keep their cyclic order, turned so that the selected tab's row is in front.
    const int rowNumber = (fillRow - front + layout.rowCount) % layout.rowCount;
    const int visualRow = layout.rowCount - 1 - rowNumber;
    layout.rects[static_cast<size_t>(i)] =
        QRect(left, kControlInset + visualRow * height, widths[static_cast<size_t>(i)], height);
    left += widths[static_cast<size_t>(i)];
  }
  return layout;
}

TabGeometry LayOutStripRows(const ControlTabLayout& control, int indent, int cut) {
  TabGeometry g;
  const int count = static_cast<int>(control.rects.size());
  if (count == 0) return g;
  g.cut = cut;
  g.rowHeight = control.rects.back().height();
  g.rowCount = control.rowCount;
  if (g.rowHeight <= 0) return TabGeometry();
  const int n = g.rowCount;
  const int h = g.rowHeight;

  std::vector<int> widths(control.rects.size());
  std::vector<int> tops(control.rects.size());
  g.rows.resize(control.rects.size());
  for (size_t i = 0; i < control.rects.size(); ++i) {
    const QRect& r = control.rects[i];
    widths[i] = r.width();
    tops[i] = r.y();
    g.rows[i] = n - (BottomOf(r) - kControlInset) / h;
  }

  if (n >= 2) {
    g.indent = indent;
    for (int v = 0; v < n; ++v) ShortenRow(widths, TabsWhere(count, tops, kControlInset + v * h), (n - 1) * indent);
  }

  g.rightOffsets.resize(control.rects.size());
  for (int row = 0; row < n; ++row) {
    int offset = 0;
    for (int i : TabsWhere(count, g.rows, row)) {
      offset += widths[static_cast<size_t>(i)];
      g.rightOffsets[static_cast<size_t>(i)] = offset;
    }
  }
  return g;
}

QRect StripTabRect(const TabGeometry& g, int index) {
  if (index < 0 || index >= g.TabCount()) return QRect();
  const int k = g.rows[static_cast<size_t>(index)];
  const int top = g.margin + (g.rowCount - k - 1) * g.rowHeight;
  const int rowLeft = g.margin + k * g.indent;
  const int previous = PreviousTabInRow(g, index);
  const int left = rowLeft + (previous >= 0 ? g.rightOffsets[static_cast<size_t>(previous)] : 0);
  const int right = rowLeft + g.rightOffsets[static_cast<size_t>(index)];
  return QRect(left, top, right - left, g.rowHeight);
}

int StripTabAt(const TabGeometry& g, QPoint point) {
  for (int i = 0; i < g.TabCount(); ++i) {
    if (Holds(StripTabRect(g, i), point)) return i;
  }
  return -1;
}

void BringRowToFront(TabGeometry& g, int row) {
  for (int& j : g.rows) {
    if (j <= row) j = (j + 1) % (row + 1);
  }
}

int PressStripTab(TabGeometry& g, int selected, QPoint point) {
  const int hit = StripTabAt(g, point);
  if (hit < 0 || hit == selected) return -1;
  const int row = g.rows[static_cast<size_t>(hit)];
  if (row != 0) BringRowToFront(g, row);
  return hit;
}

std::vector<QPoint> StripWindowShape(const TabGeometry& g, QSize client) {
  std::vector<QPoint> shape;
  const int n = g.rowCount;
  if (n < 2) return shape;
  const int m = g.margin;
  const int c = g.cut;
  const int d = g.indent;
  const int h = g.rowHeight;
  const int w = client.width();
  const int ht = client.height();

  // Left side, top down: each card's cut top-left corner and its left edge.
  for (int v = 0; v < n; ++v) {
    const int s = n - 1 - v;
    shape.insert(shape.end(), {QPoint(m + (s + 1) * d, m + v * h), QPoint(m + s * d + c, m + v * h),
                               QPoint(m + s * d, m + v * h + c), QPoint(m + s * d, m + (v + 1) * h)});
  }
  shape.emplace_back(m, ht - m + 1);
  // Bottom right: the staircase of the cards' bottom and right edges, from the front card back.
  for (int j = 0; j < n; ++j) {
    shape.insert(shape.end(), {QPoint(w - (n - j) * d - m + 1, ht - j * h - m + 1),
                               QPoint(w - (n - j - 1) * d - m + 1, ht - j * h - m + 1),
                               QPoint(w - (n - j - 1) * d - m + 1, ht - (j + 1) * h - m + 1)});
  }
  shape.emplace_back(w - m + 1, m + c);
  // Along the top row's tabs, right to left, around each tab's cut corners.
  const std::vector<int> topTabs = TabsWhere(g.TabCount(), g.rows, n - 1);
  for (auto it = topTabs.rbegin(); it != topTabs.rend(); ++it) {
    const QRect r = StripTabRect(g, *it);
    shape.insert(shape.end(), {QPoint(RightOf(r) - c, r.y() - 1), QPoint(r.x() + c, r.y()), QPoint(r.x(), r.y() + c)});
  }
  if (!topTabs.empty()) {
    const QRect first = StripTabRect(g, topTabs.front());
    shape.emplace_back(first.x() + m + c, first.y() + m - 1);
  }
  return shape;
}

}  // namespace m84
