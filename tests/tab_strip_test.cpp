#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <set>

#include "core/pages/page_catalog.h"
#include "core/window/tab_layout.h"
#include "gui/tab_strip.h"

using namespace m84;

namespace {

constexpr int kFontHeight = 14;  // rows 24 pixels high
constexpr int kIndent = 10;
constexpr int kCut = 5;

std::vector<QRect> StripRects(const TabGeometry& g) {
  std::vector<QRect> rects;
  for (int i = 0; i < g.TabCount(); ++i) rects.push_back(StripTabRect(g, i));
  return rects;
}

TabGeometry Strip(const std::vector<int>& labelWidths, int width) {
  return LayOutStripRows(LayOutControlTabs(labelWidths, kFontHeight, width, 0), kIndent, kCut);
}

// Three tabs of 62 pixels in a 150-pixel control: two in the front row, one in the top row.
TabGeometry TwoRows() { return Strip({50, 50, 50}, 150); }

}  // namespace

TEST(ControlTabLayout, FillsRowsInOrderStretchesThemAndPutsTheSelectedRowInFront) {
  struct Case {
    const char* what;
    std::vector<int> labelWidths;
    int width;
    int selected;
    std::vector<QRect> rects;
    int rowCount;
  };
  const Case cases[] = {
      {"one row: the free width is shared, the last tab takes the odd pixel",
       {30, 40},
       205,
       0,
       {{2, 2, 95, 24}, {97, 2, 106, 24}},
       1},
      {"two rows, the first in front", {50, 50, 50}, 150, 0, {{2, 26, 73, 24}, {75, 26, 73, 24}, {2, 2, 146, 24}}, 2},
      {"the selected tab's row comes to the front",
       {50, 50, 50},
       150,
       2,
       {{2, 2, 73, 24}, {75, 2, 73, 24}, {2, 26, 146, 24}},
       2},
      {"three rows keep their cyclic order around the selected one",
       {50, 50, 50},
       70,
       1,
       {{2, 2, 66, 24}, {2, 50, 66, 24}, {2, 26, 66, 24}},
       3},
      {"a tab wider than the control gets a row of its own",
       {30, 200, 30},
       150,
       0,
       {{2, 50, 146, 24}, {2, 26, 212, 24}, {2, 2, 146, 24}},
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ControlTabLayout layout = LayOutControlTabs(c.labelWidths, kFontHeight, c.width, c.selected);
    EXPECT_EQ(layout.rects, c.rects);
    EXPECT_EQ(layout.rowCount, c.rowCount);
  }
  EXPECT_TRUE(LayOutControlTabs({}, kFontHeight, 150, 0).rects.empty());
}

TEST(StripRows, ShortenEveryRowAndStepTheCardsRight) {
  struct Case {
    const char* what;
    std::vector<int> labelWidths;
    int width;
    int indent;
    std::vector<int> rows;
    std::vector<QRect> rects;
  };
  const Case cases[] = {
      {"one row: no indent, the control's own widths", {30, 40}, 205, 0, {0, 0}, {{2, 2, 95, 24}, {97, 2, 106, 24}}},
      {"two rows: 10 pixels off each row, the top row ends where the control ended it",
       {50, 50, 50},
       150,
       10,
       {0, 0, 1},
       {{2, 26, 68, 24}, {70, 26, 68, 24}, {12, 2, 136, 24}}},
      // 20 pixels off a row of three: 6 each, and one more from each of the last two.
      {"three rows: the odd pixels come off the last tabs first",
       {20, 20, 20, 100, 100},
       124,
       10,
       {0, 0, 0, 1, 2},
       {{2, 50, 34, 24}, {36, 50, 33, 24}, {69, 50, 33, 24}, {12, 26, 100, 24}, {22, 2, 100, 24}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TabGeometry g = Strip(c.labelWidths, c.width);
    EXPECT_EQ(g.indent, c.indent);
    EXPECT_EQ(g.rowHeight, 24);
    EXPECT_EQ(g.rows, c.rows);
    EXPECT_EQ(StripRects(g), c.rects);
  }
  EXPECT_EQ(StripTabRect(TwoRows(), 3), QRect());
  EXPECT_EQ(LayOutStripRows(ControlTabLayout(), kIndent, kCut).TabCount(), 0);
}

TEST(StripWindowShape, FollowsTheCardsAndTheTopRowsCutCorners) {
  const std::vector<QPoint> expected = {// left side, top card then front card
                                        {22, 2},
                                        {17, 2},
                                        {12, 7},
                                        {12, 26},
                                        {12, 26},
                                        {7, 26},
                                        {2, 31},
                                        {2, 50},
                                        {2, 99},
                                        // bottom-right staircase
                                        {129, 99},
                                        {139, 99},
                                        {139, 75},
                                        {139, 75},
                                        {149, 75},
                                        {149, 51},
                                        {149, 7},
                                        // around the top row's one tab, then the closing vertex
                                        {143, 1},
                                        {17, 2},
                                        {12, 7},
                                        {19, 3}};
  EXPECT_EQ(StripWindowShape(TwoRows(), QSize(150, 100)), expected);
  EXPECT_TRUE(StripWindowShape(Strip({30, 40}, 205), QSize(205, 100)).empty());
}

TEST(StripPress, OnlyAnotherTabSelectsAndABackRowComesToTheFront) {
  struct Case {
    const char* what;
    QPoint point;
    int selectedTab;  // -1: nothing changes
    std::vector<int> rows;
  };
  const Case cases[] = {
      {"the selected tab", {20, 30}, -1, {0, 0, 1}},
      {"outside every tab", {1, 1}, -1, {0, 0, 1}},
      {"just right of the top tab", {148, 2}, -1, {0, 0, 1}},
      {"another front tab, at its top-left corner", {70, 26}, 1, {0, 0, 1}},
      {"the top row of two swaps the rows", {12, 2}, 2, {1, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TabGeometry g = TwoRows();
    EXPECT_EQ(PressStripTab(g, 0, c.point), c.selectedTab);
    EXPECT_EQ(g.rows, c.rows);
  }

  TabGeometry swapped = TwoRows();
  PressStripTab(swapped, 0, {12, 2});
  EXPECT_EQ(StripRects(swapped), (std::vector<QRect>{{12, 2, 68, 24}, {80, 2, 68, 24}, {2, 26, 136, 24}}));

  struct Rotation {
    int row;
    std::vector<int> rows;
  };
  for (const Rotation& r : {Rotation{0, {0, 1, 2}}, Rotation{1, {1, 0, 2}}, Rotation{2, {1, 2, 0}}}) {
    TabGeometry g;
    g.rows = {0, 1, 2};
    BringRowToFront(g, r.row);
    EXPECT_EQ(g.rows, r.rows) << "row " << r.row;
  }
}

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QColor kFace(240, 240, 240);
const QColor kLight(255, 255, 255);
const QColor kMidlight(200, 252, 100);  // softened: (204, 255, 102)
const QColor kDark(100, 100, 100);

QFont PixelFont(int pixels, bool antialiased) {
  QFont font("Liberation Sans");
  font.setPixelSize(pixels);
  if (!antialiased) font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// The main window's setting: the twelve tabs in a strip of about its size.
class TabStripWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(560, 420);
    strip_ = new TabStrip(&window_);
    strip_->setGeometry(7, 56, 540, 330);
    strip_->setFont(PixelFont(13, true));
    QPalette palette = strip_->palette();
    palette.setColor(QPalette::Button, kFace);
    palette.setColor(QPalette::Light, kLight);
    palette.setColor(QPalette::Midlight, kMidlight);
    palette.setColor(QPalette::Dark, kDark);
    strip_->setPalette(palette);
    for (const PageInfo& page : kTabPages) strip_->AddTab(page.tabLabel, page.tabTip);
    strip_->SetTabFont(PixelFont(12, false));
    strip_->LayoutTabs(kIndent, kCut);
  }

  std::vector<int> Tops() const {
    std::set<int> tops;
    for (int i = 0; i < kTabPageCount; ++i) tops.insert(strip_->TabRect(i).y());
    return {tops.begin(), tops.end()};
  }

  QImage Render() const { return strip_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // Where the black pixels are inside a tab, clear of its frame lines.
  static QRect BlackInside(const QImage& image, const QRect& tab) {
    QRect found;
    for (int y = tab.y(); y < tab.bottom(); ++y) {
      for (int x = tab.x() + kCut + 1; x < tab.right() - kCut; ++x) {
        if (image.pixel(x, y) == kBlack) found |= QRect(x, y, 1, 1);
      }
    }
    return found;
  }

  static int CountInside(const QImage& image, const QRect& tab, QRgb colour) {
    int count = 0;
    for (int y = tab.y(); y < tab.bottom(); ++y) {
      for (int x = tab.x(); x < tab.right(); ++x) count += image.pixel(x, y) == colour;
    }
    return count;
  }

  // The black pixels of a label drawn with its line's top-left corner at (0, 0).
  QRect GlyphBox(const QString& text) const {
    QImage image(200, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QFont font = PixelFont(12, false);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(20, 20 + QFontMetrics(font, &image).ascent(), text);
    painter.end();
    return BlackInside(image, image.rect()).translated(-20, -20);
  }

  QWidget window_;
  TabStrip* strip_ = nullptr;
};

}  // namespace

TEST_F(TabStripWidget, ClickOnTheTopRowBringsItToTheFrontAndSelectsTheTab) {
  const std::vector<int> tops = Tops();
  ASSERT_GE(tops.size(), 2u);
  const int frontTop = tops.back();
  int topTab = 0;
  while (strip_->TabRect(topTab).y() != tops.front()) ++topTab;
  EXPECT_EQ(strip_->TabRect(0).y(), frontTop);
  EXPECT_FALSE(strip_->mask().isEmpty());
  window_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));

  QSignalSpy changed(strip_, &TabStrip::CurrentChanged);
  const QRegion shapeBefore = strip_->mask();
  QTest::mouseClick(strip_, Qt::LeftButton, {}, strip_->TabRect(topTab).center());
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toInt(), topTab);
  EXPECT_EQ(strip_->CurrentIndex(), topTab);
  EXPECT_EQ(strip_->TabRect(topTab).y(), frontTop);
  EXPECT_EQ(strip_->TabRect(0).y(), tops[tops.size() - 2]);  // one step back
  EXPECT_NE(strip_->mask(), shapeBefore);

  // The tip follows the tab to its new place.
  const QPoint tipAt = strip_->TabRect(topTab).center();
  QHelpEvent help(QEvent::ToolTip, tipAt, strip_->mapToGlobal(tipAt));
  QApplication::sendEvent(strip_, &help);
  EXPECT_EQ(QToolTip::text(), kTabPages[static_cast<size_t>(topTab)].tabTip);
  QToolTip::hideText();

  QTest::mouseClick(strip_, Qt::LeftButton, {}, strip_->TabRect(topTab).center());
  QTest::mouseClick(strip_, Qt::LeftButton, {}, QPoint(0, 0));
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(strip_->CurrentIndex(), topTab);
}

TEST_F(TabStripWidget, KeyboardSelectsWithoutMovingTheRows) {
  auto* field = new QLineEdit(strip_);  // stands in for a page's control
  field->setGeometry(5, 250, 100, 20);
  window_.show();
  window_.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  std::vector<QRect> before;
  for (int i = 0; i < kTabPageCount; ++i) before.push_back(strip_->TabRect(i));
  const QRegion shapeBefore = strip_->mask();
  QSignalSpy changed(strip_, &TabStrip::CurrentChanged);

  strip_->setFocus();
  QTest::keyClick(strip_, Qt::Key_Left);  // already at the first tab
  EXPECT_EQ(changed.count(), 0);
  QTest::keyClick(strip_, Qt::Key_Right);
  field->setFocus();
  QTest::keyClick(field, Qt::Key_Tab, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(field, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(field, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);  // wraps round

  std::vector<int> selected;
  for (const QList<QVariant>& signal : changed) selected.push_back(signal.at(0).toInt());
  EXPECT_EQ(selected, (std::vector<int>{1, 2, 1, 0, kTabPageCount - 1}));
  EXPECT_EQ(strip_->CurrentIndex(), kTabPageCount - 1);
  for (int i = 0; i < kTabPageCount; ++i) EXPECT_EQ(strip_->TabRect(i), before[static_cast<size_t>(i)]) << i;
  EXPECT_EQ(strip_->mask(), shapeBefore);

  strip_->SetCurrentIndex(3);
  EXPECT_EQ(strip_->CurrentIndex(), 3);
  EXPECT_EQ(changed.count(), 5);
}

TEST_F(TabStripWidget, SelectedTabOpensIntoThePageTallerWiderAndEmbossed) {
  const QRect selected = strip_->TabRect(0);
  const QRect neighbour = strip_->TabRect(1);
  ASSERT_EQ(neighbour.y(), selected.y());  // both in the front row
  const QImage image = Render();
  const int selectedX = selected.center().x();
  const int neighbourX = neighbour.center().x();
  const int bottom = selected.y() + selected.height();
  const int right = selected.x() + selected.width();
  const int middleY = selected.y() + selected.height() / 2;

  EXPECT_EQ(image.pixel(neighbourX, bottom), kBlack);
  EXPECT_EQ(image.pixel(selectedX, bottom), kFace.rgb());

  EXPECT_EQ(image.pixel(selectedX, selected.y() - 1), kBlack);
  EXPECT_EQ(image.pixel(selectedX, selected.y()), kLight.rgb());
  EXPECT_EQ(image.pixel(neighbourX, neighbour.y()), kBlack);
  EXPECT_EQ(image.pixel(neighbourX, neighbour.y() + 1), qRgb(204, 255, 102));

  EXPECT_EQ(image.pixel(right + 3, middleY), kBlack);
  EXPECT_EQ(image.pixel(right, middleY), kFace.rgb());

  // Labels centred in the tab as drawn: the selected one's black copy a pixel above, the others a pixel below.
  const QFontMetrics metrics(PixelFont(12, false), &image);
  auto origin = [&](const QString& text, int l, int t, int r, int b) {
    return QPoint(l + (r - l - metrics.horizontalAdvance(text)) / 2, t + (b - t - metrics.height()) / 2);
  };
  const QString selectedLabel = kTabPages[0].tabLabel;
  const QString neighbourLabel = kTabPages[1].tabLabel;
  const QPoint selectedAt = origin(selectedLabel, selected.x(), selected.y() - 1, right + 3, bottom);
  const QPoint neighbourAt =
      origin(neighbourLabel, neighbour.x(), neighbour.y(), neighbour.x() + neighbour.width(), bottom);
  const QRect selectedInside(selected.x(), selected.y(), selected.width(), selected.height());
  const QRect neighbourInside(neighbour.x(), neighbour.y() + 1, neighbour.width(), neighbour.height() - 1);
  EXPECT_EQ(BlackInside(image, selectedInside), GlyphBox(selectedLabel).translated(selectedAt + QPoint(0, -1)));
  EXPECT_EQ(BlackInside(image, neighbourInside), GlyphBox(neighbourLabel).translated(neighbourAt + QPoint(0, 1)));
  EXPECT_GT(CountInside(image, selectedInside, qRgb(188, 188, 188)), 0);
  EXPECT_GT(CountInside(image, selectedInside, qRgb(128, 128, 128)), 0);
  EXPECT_EQ(CountInside(image, neighbourInside, qRgb(128, 128, 128)), 0);
}
