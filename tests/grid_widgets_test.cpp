// The Alerting, Tones and Cadence pages in the window: their grids laid out whole at the
// window's size, the tab order row by row, lists storing into their own bytes, the Cadence
// checks on leaving an edit, and the hint line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include "core/pages/alerting_page.h"
#include "core/pages/cadence_page.h"
#include "core/pages/tones_page.h"
#include "gui/beeps.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

struct GridWindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    window = std::make_unique<MainWindow>(data, WindowOptions{nullptr, tones, QStringLiteral("/nonexistent/port")});
    ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
    window->SwitchToAdvancedMode();
  }
  // The page as the user reaches it: a click on its tab.
  SettingsPage* ShowPage(PageId id) {
    ClickTab(window->findChild<TabStrip*>(), id);
    SettingsPage* page = window->Page(id);
    EXPECT_TRUE(page->isVisible());
    return page;
  }
  bool ErrorBeeped() const { return tones->LastPlayed(Beep::Error); }
};

// How much narrower than its text a label, check box or list is drawn; 0 when the text fits.
int Shortfall(QWidget* w) {
  const QFontMetrics metrics = w->fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(w))
    return metrics.horizontalAdvance(label->text()) - label->contentsRect().width();
  if (auto* box = qobject_cast<QCheckBox*>(w)) {
    if (box->text().isEmpty()) return 0;
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    return metrics.horizontalAdvance(box->text()) -
           box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width();
  }
  if (auto* list = qobject_cast<QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list);
    int widest = 0;
    for (int i = 0; i < list->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(list->itemText(i)));
    return widest - field.width();
  }
  return 0;
}

// The object names of the controls in the page's tab order.
QStringList TabOrderKeys(SettingsPage* page) {
  QStringList keys;
  for (QWidget* control : page->TabOrder()) keys << control->objectName();
  return keys;
}

QStringList GridKeysRowByRow(const ListGrid& grid) {
  QStringList keys;
  for (int tone = 0; tone < kGridToneCount; ++tone)
    for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) keys << GridCellKey(grid, capcode, tone);
  return keys;
}

}  // namespace

// At the window's size every grid is laid out at its full height and every text is whole; the
// Tones grids are wider than the page and scroll sideways together.
TEST_F(GridWindowFixture, GridsAreWholeAndNothingIsClipped) {
  for (PageId id : {PageId::Alerting, PageId::Tones, PageId::Cadence}) {
    SCOPED_TRACE(int(id));
    SettingsPage* page = ShowPage(id);
    QWidget* content = page;
    if (auto* scroll = page->findChild<QScrollArea*>()) {
      content = scroll->widget();
      EXPECT_LE(content->minimumSizeHint().height(), scroll->viewport()->height());
    }
    EXPECT_LE(content->minimumSizeHint().height(), content->height());
    EXPECT_LE(content->minimumSizeHint().width(), content->width());
    int controls = 0;
    for (QWidget* w : page->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      EXPECT_LE(Shortfall(w), 0) << w->metaObject()->className() << " " << w->objectName().toStdString();
      if (qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QLineEdit*>(w)) ++controls;
    }
    EXPECT_EQ(controls, int(page->Rows().size()));
  }
  // Both Alerting grids show the heading of their first column.
  SettingsPage* alerting = ShowPage(PageId::Alerting);
  int firstHeadings = 0;
  for (QLabel* label : alerting->findChildren<QLabel*>())
    if (label->text() == " Cap-1 " && label->isVisible()) ++firstHeadings;
  EXPECT_EQ(firstHeadings, 2);
}

TEST_F(GridWindowFixture, TabOrderRunsThroughTheGridsRowByRow) {
  using namespace alerting_key;
  const QStringList alerting = QStringList{kUserSelect, kAlertModes, kAlertVolume} + GridKeysRowByRow(kBeepCodeGrid) +
                               GridKeysRowByRow(kVibrateCodeGrid);
  EXPECT_EQ(TabOrderKeys(ShowPage(PageId::Alerting)), alerting);
  EXPECT_EQ(alerting.size(), 3 + 64);

  EXPECT_EQ(TabOrderKeys(ShowPage(PageId::Tones)), GridKeysRowByRow(kPriorityGrid) + GridKeysRowByRow(kDecodingGrid));

  QStringList cadence;
  for (int n = 0; n < kCadenceCount; ++n) {
    for (int slot = 0; slot < kCadenceSlotCount; ++slot) cadence << CadenceSlotKey(n, slot);
    for (const CadenceNumberColumn& column : kCadenceNumberColumns) cadence << CadenceNumberKey(column, n);
  }
  EXPECT_EQ(TabOrderKeys(ShowPage(PageId::Cadence)), cadence);
}

// A list chosen in a grid reaches its own byte alone when the window stores.
TEST_F(GridWindowFixture, GridListsStoreIntoTheirOwnBytes) {
  struct Case {
    PageId page;
    const ListGrid* grid;
    int capcode, tone, entry;
    uint8_t byte;
  };
  const Case cases[] = {
      {PageId::Alerting, &kBeepCodeGrid, 6, 1, 12, 13},    // "   J "
      {PageId::Alerting, &kVibrateCodeGrid, 0, 3, 4, 10},  // "   I "
      {PageId::Tones, &kPriorityGrid, 2, 2, 5, 0x1D},      // capcode 3, tone C: "Manual+Urgent"
      {PageId::Tones, &kDecodingGrid, 7, 0, 2, 0x02},      // "Numeric"
  };
  // Other pages normalise some default bytes on every store; the grids must add only their own.
  window->ExchangeAllPages(Direction::Store);
  const PagerImage storedDefaults = data.image;
  data.image = PagerImage::Defaults();
  window->ExchangeAllPages(Direction::Load);
  for (const Case& c : cases) {
    SCOPED_TRACE(GridCellKey(*c.grid, c.capcode, c.tone).toStdString());
    SettingsPage* page = ShowPage(c.page);
    auto* list = Control<QComboBox>(page, GridCellKey(*c.grid, c.capcode, c.tone));
    list->setFocus(Qt::TabFocusReason);
    for (int step = 0; step < list->count() && list->currentIndex() != c.entry; ++step)
      QTest::keyClick(list, list->currentIndex() < c.entry ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(list->currentIndex(), c.entry);
    window->ExchangeAllPages(Direction::Store);
    PagerImage expected = storedDefaults;
    expected[GridCellOffset(*c.grid, c.capcode, c.tone)] = c.byte;
    EXPECT_EQ(data.image, expected);
    data.image = PagerImage::Defaults();
    window->ExchangeAllPages(Direction::Load);
  }
}

// The Tones grids are wider than the page: a list that gets the focus by Enter comes into sight.
TEST_F(GridWindowFixture, EnterBringsTheNextTonesListIntoSight) {
  SettingsPage* page = ShowPage(PageId::Tones);
  auto* last = Control<QComboBox>(page, GridCellKey(kDecodingGrid, 7, 3));
  EXPECT_TRUE(last->visibleRegion().isEmpty());
  auto* before = Control<QComboBox>(page, GridCellKey(kDecodingGrid, 6, 3));
  before->setFocus(Qt::TabFocusReason);
  QTest::keyClick(before, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), last);
  EXPECT_EQ(last->visibleRegion().boundingRect(), last->rect());
  QTest::keyClick(last, Qt::Key_Return);  // wraps round to the first list
  auto* first = Control<QComboBox>(page, GridCellKey(kPriorityGrid, 0, 0));
  EXPECT_EQ(QApplication::focusWidget(), first);
  EXPECT_EQ(first->visibleRegion().boundingRect(), first->rect());
}

// Leaving a number edit: a valid text is stored at once; an invalid one brings the last accepted
// value back, with the column's message, the focus kept and the error beep.
TEST_F(GridWindowFixture, CadenceEditsAreCheckedOnLeaving) {
  struct Case {
    int column;
    const char* typed;
    int stored;  // -1: rejected
  };
  const Case cases[] = {
      {kCadenceMColumn, "4", -1},         {kCadenceMColumn, "0", -1},          {kCadenceMColumn, "3", 3},
      {kCadenceGColumn, "0", 0},          {kCadenceGColumn, "3", -1},          {kCadenceDurationColumn, "0", -1},
      {kCadenceDurationColumn, "60", 60}, {kCadenceDurationColumn, "61", -1},  {kCadenceDurationColumn, "100", -1},
      {kCadenceDurationColumn, "007", 7}, {kCadenceDurationColumn, "   ", -1}, {kCadenceDurationColumn, "", -1},
  };
  SettingsPage* page = ShowPage(PageId::Cadence);
  constexpr int kCadenceK = 10;  // M 2, G 2, duration 6
  for (const Case& c : cases) {
    const CadenceNumberColumn& column = kCadenceNumberColumns[size_t(c.column)];
    SCOPED_TRACE(testing::Message() << column.keyName << " '" << c.typed << "'");
    page->ExchangeImage(Direction::Load);
    const PagerImage before = data.image;
    tones->played.clear();
    window->ShowStatus(QString());
    QLineEdit* edit = Control(page, CadenceNumberKey(column, kCadenceK));
    const QString shown = edit->text();
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromLatin1(c.typed));
    Control<QCheckBox>(page, CadenceSlotKey(kCadenceK, 0))->setFocus(Qt::TabFocusReason);
    const int at = CadenceRecordOffset(kCadenceK) + column.recordByte;
    if (c.stored < 0) {
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), column.message);
      EXPECT_TRUE(ErrorBeeped());
      EXPECT_EQ(QApplication::focusWidget(), edit);
      EXPECT_EQ(edit->text(), shown);
      EXPECT_EQ(data.image, before);
    } else {
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "");
      EXPECT_TRUE(tones->played.empty());
      EXPECT_EQ(data.image[at], c.stored);
      data.image[at] = before[at];
      EXPECT_EQ(data.image, before);
    }
  }
}

// Cadence edits show their hints and its other controls clear the line; the Alerting and Tones
// pages have no hints and leave the line as it is.
TEST_F(GridWindowFixture, HintLine) {
  SettingsPage* cadence = ShowPage(PageId::Cadence);
  for (const CadenceNumberColumn& column : kCadenceNumberColumns) {
    QLineEdit* edit = Control(cadence, CadenceNumberKey(column, 4));
    QTest::mouseMove(edit, edit->rect().center());
    EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), column.hint);
  }
  QCheckBox* slot = Control<QCheckBox>(cadence, CadenceSlotKey(4, 3));
  QTest::mouseMove(slot, slot->rect().center());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "");

  const QString kept = QStringLiteral("Value must be in range 1 to 3");
  for (PageId id : {PageId::Alerting, PageId::Tones}) {
    SettingsPage* page = ShowPage(id);
    int moved = 0;
    for (const ControlRow& row : page->Rows()) {
      QWidget* control = row.Widget();
      if (control->visibleRegion().isEmpty()) continue;  // scrolled out of sight
      window->ShowStatus(kept);
      QTest::mouseMove(control, control->rect().center());
      EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), kept) << row.Key().toStdString();
      ++moved;
    }
    EXPECT_GE(moved, 40);
  }
}
