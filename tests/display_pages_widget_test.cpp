// The Display, Reminders and Duplicate Message pages' controls: enabling rules driven by clicks,
// the voltage edits under real key and focus events, Enter on a rejected voltage, the hint line,
// and nothing clipped at the window's size.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "core/pages/voltage_code.h"
#include "gui/main_window.h"
#include "gui/pages/display_page_widget.h"
#include "gui/pages/duplicate_page_widget.h"
#include "gui/pages/reminders_page_widget.h"
#include "gui/pages/voltage_edit.h"
#include "gui/tab_strip.h"
#include "qstring_printer.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::basic_key;
using namespace m84::display_key;
using namespace m84::widget_test;

namespace {

uint16_t CodeAt(const PagerImage& image, int offset) { return uint16_t(image[offset] | image[offset + 1] << 8); }

template <typename Model, typename Widget>
using PageFixture = PageWidgetFixture<Model, Widget, 620, 330>;

struct DisplayFixture : PageFixture<DisplayPageModel, DisplayPageWidget> {
  VoltageEdit* Voltage(BatteryMark mark) { return Control<VoltageEdit>(display_key::Voltage(mark)); }
  // Types into a voltage edit from its first position, as a user does after a click there.
  void TypeVoltage(BatteryMark mark, const char* keys) {
    VoltageEdit* edit = Voltage(mark);
    edit->setFocus(Qt::MouseFocusReason);
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, QString::fromLatin1(keys));
  }
};

using RemindersFixture = PageFixture<RemindersPageModel, RemindersPageWidget>;
using DuplicateFixture = PageFixture<DuplicatePageModel, DuplicatePageWidget>;

}  // namespace

TEST_F(DisplayFixture, DefaultImageShowsAsListedAndStoresOnlyTheDisplayTime) {
  EXPECT_EQ(Control(kStartupText)->text(), "Welcome to M84");
  EXPECT_EQ(Control(kStandbyText1)->text(), "DR. Nora Clifts");
  EXPECT_TRUE(Control(kStandbyText1)->isEnabled());
  EXPECT_EQ(Control(kStandbyText2)->text(), "Welcome to M84");
  EXPECT_FALSE(Control(kStandbyText2)->isEnabled());
  EXPECT_TRUE(Control<QCheckBox>(kSmallText)->isChecked());
  EXPECT_FALSE(Control<QCheckBox>(kPreviewMode)->isChecked());
  EXPECT_EQ(Control<QCheckBox>(kPreviewMode)->text(), "Enable message preview  mode");
  EXPECT_EQ(Control<QComboBox>(kDateFormat)->currentText(), " M/D/Y");
  EXPECT_EQ(Control<QComboBox>(kStoredMessages)->currentText(), "  60");
  EXPECT_EQ(Control<QComboBox>(kNumberMode)->currentText(), "Only number");
  EXPECT_EQ(Control<QComboBox>(kNumberOrder)->currentText(), "Increment");
  EXPECT_EQ(Control<QComboBox>(kDisplayTime)->currentText(), "10 seconds");
  EXPECT_EQ(Control<QComboBox>(kContrast)->currentText(), "  Level 15");
  EXPECT_EQ(Voltage(BatteryMark::High)->text(), "1.40");
  EXPECT_EQ(Voltage(BatteryMark::Middle)->text(), "1.30");
  EXPECT_EQ(Voltage(BatteryMark::Low)->text(), "1.20");
  page->ExchangeImage(Direction::Store);
  PagerImage expected = PagerImage::Defaults();
  expected[kDisplayTimeOffset] = 10;
  expected[kDisplayHalfTimeOffset] = 5;
  EXPECT_EQ(data.image, expected);
}

TEST_F(DisplayFixture, MessageNumberDisplayGovernsItsTwoLists) {
  auto* numbers = Control<QCheckBox>(kMessageNumber);
  ClickBox(numbers);
  EXPECT_FALSE(Control<QComboBox>(kNumberMode)->isEnabled());
  EXPECT_FALSE(Control<QComboBox>(kNumberOrder)->isEnabled());
  EXPECT_TRUE(Control<QComboBox>(kStoredMessages)->isEnabled());
  ClickBox(numbers);
  EXPECT_TRUE(Control<QComboBox>(kNumberMode)->isEnabled());
  EXPECT_TRUE(Control<QComboBox>(kNumberOrder)->isEnabled());
}

// The display bits of the Basic page decide which standby texts this page lets the user edit.
TEST_F(DisplayFixture, StandbyTextsFollowTheBasicPagesBits) {
  struct Case {
    bool date, alternative, line1, line2;
  };
  for (const Case& c : {Case{true, false, false, false}, Case{true, true, true, true}, Case{false, true, true, true}}) {
    SCOPED_TRACE(testing::Message() << "date " << c.date << " alternative " << c.alternative);
    data.image[kDisplayOptionsOffset] = uint8_t(c.date ? kShowDateBit : 0);
    data.image[kAlternativeScreenOffset] = uint8_t(c.alternative ? kAlternativeScreenBit : 0);
    page->ExchangeImage(Direction::Load);
    EXPECT_EQ(Control(kStandbyText1)->isEnabled(), c.line1);
    EXPECT_EQ(Control(kStandbyText2)->isEnabled(), c.line2);
  }
}

TEST_F(DisplayFixture, VoltageEditTakesKeysByItsMask) {
  VoltageEdit* high = Voltage(BatteryMark::High);
  TypeVoltage(BatteryMark::High, "2");  // only 0 or 1 at position 0
  EXPECT_EQ(high->text(), "1.40");
  EXPECT_EQ(high->cursorPosition(), 0);
  QTest::keyClicks(high, "1");
  EXPECT_EQ(high->text(), "1.40");
  EXPECT_EQ(high->cursorPosition(), 2);
  QTest::keyClicks(high, "2x59");  // a letter is ignored, the fifth character has no place
  EXPECT_EQ(high->text(), "1.25");
  EXPECT_EQ(high->cursorPosition(), 4);
  QTest::keyClick(high, Qt::Key_Backspace);
  EXPECT_EQ(high->text(), "1.2 ");
  high->setCursorPosition(2);
  QTest::keyClick(high, Qt::Key_Left);
  EXPECT_EQ(high->cursorPosition(), 0);
  QTest::keyClick(high, Qt::Key_Right);
  EXPECT_EQ(high->cursorPosition(), 2);
  high->selectAll();
  QTest::keyClick(high, Qt::Key_Delete);
  EXPECT_EQ(high->text(), " .  ");
  EXPECT_EQ(high->cursorPosition(), 0);
}

// Leaving with a valid voltage stores the page; an invalid one brings back the text the edit had
// on gaining the focus, keeps the focus and beeps, with no message.
TEST_F(DisplayFixture, LeavingAVoltageEditChecksIt) {
  const int middle = BatteryMarkOffset(BatteryMark::Middle);
  TypeVoltage(BatteryMark::Middle, "125");
  Control(kStartupText)->setText(QStringLiteral("Stored too"));
  Leave(Voltage(BatteryMark::Middle));
  EXPECT_EQ(CodeAt(data.image, middle), VoltageCodeForHundredths(125));
  EXPECT_EQ(data.image[kStartupTextOffset], 'S');  // the whole page was stored
  EXPECT_TRUE(host.beeps.empty());

  const struct {
    const char* typed;
  } rejected[] = {{"151"}, {"089"}, {"0"}};  // 1.51, 0.89, 0.00 (the rest of the old text stays)
  for (const auto& r : rejected) {
    SCOPED_TRACE(r.typed);
    host.beeps.clear();
    host.statuses.clear();
    TypeVoltage(BatteryMark::Middle, r.typed);
    Leave(Voltage(BatteryMark::Middle));
    EXPECT_EQ(Voltage(BatteryMark::Middle)->text(), "1.25");
    EXPECT_EQ(QApplication::focusWidget(), Voltage(BatteryMark::Middle));
    EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
    EXPECT_TRUE(host.statuses.isEmpty());
    EXPECT_EQ(CodeAt(data.image, middle), VoltageCodeForHundredths(125));
  }
}

TEST_F(DisplayFixture, RejectedVoltageInAnotherVoltageEditComesBackAlone) {
  TypeVoltage(BatteryMark::High, "15");  // 1.50
  QTest::mouseClick(Voltage(BatteryMark::Low), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), Voltage(BatteryMark::Low));
  EXPECT_EQ(CodeAt(data.image, BatteryMarkOffset(BatteryMark::High)), 2457);

  TypeVoltage(BatteryMark::Low, "19");  // 1.90
  QTest::mouseClick(Voltage(BatteryMark::High), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), Voltage(BatteryMark::Low));
  EXPECT_EQ(Voltage(BatteryMark::Low)->text(), "1.20");
  EXPECT_EQ(Voltage(BatteryMark::High)->text(), "1.50");
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
}

// Enter on a voltage that fails the check is answered as leaving the edit: nothing is stored,
// the focus stays and the edit shows the voltage it had when the user entered it.
TEST_F(DisplayFixture, EnterOnARejectedVoltageIsAnsweredAsLeavingIt) {
  data.image[kContrastOffset] = 30;
  TypeVoltage(BatteryMark::Low, "0");  // 0.20
  Control<QComboBox>(kContrast)->setCurrentIndex(0);
  QTest::keyClick(Voltage(BatteryMark::Low), Qt::Key_Return);
  EXPECT_EQ(CodeAt(data.image, BatteryMarkOffset(BatteryMark::Low)), 0x07AE);
  EXPECT_EQ(data.image[kContrastOffset], 30);  // nothing of the page was stored
  EXPECT_EQ(Voltage(BatteryMark::Low)->text(), "1.20");
  EXPECT_EQ(QApplication::focusWidget(), Voltage(BatteryMark::Low));
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
}

TEST_F(DisplayFixture, HintsOverTheControls) {
  const std::pair<QString, QString> hints[] = {
      {display_key::Voltage(BatteryMark::Low), kVoltageHint},
      {kStartupText, kBasicTextHint},
      {kStandbyText2, kBasicTextHint},
      {kContrast, QString()},
      {kTimeStamp, QString()},
  };
  for (const auto& [name, hint] : hints) {
    SCOPED_TRACE(name.toStdString());
    host.statuses << QStringLiteral("before");
    Hover(Control<QWidget>(name));
    EXPECT_EQ(host.statuses.back(), hint);
  }
  EXPECT_EQ(kVoltageHint, "Enter voltage for battery mark (0.90v to 1.50v)");
}

TEST_F(RemindersFixture, AlertGovernsBothListsAndTheMouseLeavesTheStatusLine) {
  auto* alert = Control<QCheckBox>(reminders_key::kReminderAlert);
  EXPECT_TRUE(alert->isChecked());
  EXPECT_EQ(Control<QComboBox>(reminders_key::kInterval)->currentText(), "  2  minute");
  ClickBox(alert);
  EXPECT_FALSE(Control<QComboBox>(reminders_key::kInterval)->isEnabled());
  EXPECT_FALSE(Control<QComboBox>(reminders_key::kDuration)->isEnabled());
  ClickBox(alert);
  EXPECT_TRUE(Control<QComboBox>(reminders_key::kInterval)->isEnabled());
  EXPECT_TRUE(Control<QComboBox>(reminders_key::kDuration)->isEnabled());

  for (const QString& key : {reminders_key::kReminderAlert, reminders_key::kInterval}) Hover(Control<QWidget>(key));
  EXPECT_TRUE(host.statuses.isEmpty());
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image, PagerImage::Defaults());
}

TEST_F(DuplicateFixture, EnableGovernsTheRejectionOptionsAndTheMouseLeavesTheStatusLine) {
  using namespace duplicate_key;
  auto* enable = Control<QCheckBox>(kRejection);
  const QString dependent[] = {kDetectTime, kSourceIndependent, kAutoDeletion};
  for (const QString& key : dependent) EXPECT_FALSE(Control<QWidget>(key)->isEnabled()) << key.toStdString();
  ClickBox(enable);
  for (const QString& key : dependent) EXPECT_TRUE(Control<QWidget>(key)->isEnabled()) << key.toStdString();
  EXPECT_TRUE(Control<QWidget>(kRepeatIcon)->isEnabled());
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image[kDuplicateOptionsOffset], 0xFB);  // 0x7B with rejection on
  ClickBox(enable);
  for (const QString& key : dependent) EXPECT_FALSE(Control<QWidget>(key)->isEnabled()) << key.toStdString();

  for (const QString& key : {kRejection, kDetectTime, kRepeatTone}) Hover(Control<QWidget>(key));
  EXPECT_TRUE(host.statuses.isEmpty());
  EXPECT_EQ(Control<QCheckBox>(kAutoDeletion)->text(), "Enable auto MSG deletion when receiving the duplicated MSG ");
}

// In the window, at its fixed size: every label, check box and list of the three pages shows its
// whole text.
TEST(DisplayPagesInTheWindow, NothingClipped) {
  PagerData data;
  MainWindow window(data, WindowOptions{});
  Activate(&window);
  window.SwitchToAdvancedMode();
  for (PageId id : {PageId::Display, PageId::Reminders, PageId::Duplicate}) {
    SettingsPage* page = window.Page(id);
    ASSERT_NE(page, nullptr);
    auto* tabs = window.findChild<TabStrip*>();
    ASSERT_NE(tabs, nullptr);
    ClickTab(tabs, id);
    QApplication::processEvents();
    ASSERT_EQ(window.ShownTabPage(), page);
    SCOPED_TRACE(testing::Message() << "page " << TabIndexOf(id) << " " << page->width() << "x" << page->height());
    // Each control at least as large as it asks to be, and inside the page.
    for (QWidget* control : page->findChildren<QWidget*>()) {
      const bool shown = qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control) ||
                         qobject_cast<QComboBox*>(control) ||
                         (qobject_cast<QLineEdit*>(control) && !qobject_cast<QComboBox*>(control->parent()));
      if (!shown) continue;
      const QString name =
          control->objectName().isEmpty() ? control->property("text").toString() : control->objectName();
      SCOPED_TRACE(name.toStdString());
      // An edit's own width is set for its text; everything else shows its text whole.
      if (!qobject_cast<QLineEdit*>(control)) EXPECT_GE(control->width(), control->sizeHint().width());
      EXPECT_GE(control->height(), control->sizeHint().height());
      const QPoint corner = control->mapTo(page, QPoint(control->width(), control->height()));
      EXPECT_LE(corner.x(), page->width());
      EXPECT_LE(corner.y(), page->height());
    }
  }
}
