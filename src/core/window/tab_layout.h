#pragma once
// Geometry of the tab strip: where a multi-line tab control puts its tabs, how the strip turns
// that into stacked cards (rows stepped to the right, cut corners), which tab a point hits, how the
// rows rotate on a click, and the outline the strip's window takes. No drawing here.
//
// Rectangles are QRects whose width and height are (right - left) and (bottom - top): a tab's
// right and bottom edges, as the drawing code uses them, are x() + width() and y() + height().

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

namespace m84 {

constexpr int kTabPaddingX = 6;   // on each side of a label
constexpr int kTabPaddingY = 10;  // added once to the font height
constexpr int kControlInset = 2;  // the control keeps its tabs this far inside its left, right and top edges
constexpr int kStripMargin = 2;

// The tabs as the control itself lays them out: rows filled in tab order, each row stretched to the
// full width, the row of the selected tab in front (nearest the page area, at the bottom).
struct ControlTabLayout {
  std::vector<QRect> rects;  // by tab index
  int rowCount = 0;
};

ControlTabLayout LayOutControlTabs(const std::vector<int>& labelWidths, int fontHeight, int controlWidth, int selected);

// The strip's own tab geometry. Row 0 touches the page area; rows rise towards the top.
struct TabGeometry {
  int margin = kStripMargin;
  int cut = 0;
  int indent = 0;  // 0 with fewer than two rows
  int rowHeight = 0;
  int rowCount = 0;
  std::vector<int> rows;          // by tab index
  std::vector<int> rightOffsets;  // within the tab's row: its width plus the widths of the tabs before it

  int TabCount() const { return static_cast<int>(rows.size()); }
};

// Builds the strip's rows from the control's layout: every row is shortened by (rows - 1) x indent,
// so each card can stand one indent further right than the card in front of it.
TabGeometry LayOutStripRows(const ControlTabLayout& control, int indent, int cut);

// The tab as the strip draws it; an empty rectangle for an index out of range.
QRect StripTabRect(const TabGeometry& geometry, int index);

// The first tab (by index) whose rectangle holds the point, or -1.
int StripTabAt(const TabGeometry& geometry, QPoint point);

// Brings row k to the front; the rows in front of it each move one step back, rows behind stay.
void BringRowToFront(TabGeometry& geometry, int row);

// A left-button press: the tab to select, or -1 when nothing changes (no tab hit, or the selected
// one). A hit in a back row first brings that row to the front.
int PressStripTab(TabGeometry& geometry, int selected, QPoint point);

// The outline of the strip's window, in vertex order, to be filled with the winding rule. Empty
// with fewer than two rows: a single card keeps the plain rectangle.
std::vector<QPoint> StripWindowShape(const TabGeometry& geometry, QSize client);

}  // namespace m84
