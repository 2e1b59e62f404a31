// The General page's controls: load and store through the widgets, the edit checks on leaving,
// the masked frequency edit under real key events, and the right-button unlock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"
#include "gui/pages/frequency_edit.h"
#include "gui/pages/general_page_widget.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::general_key;
using namespace m84::widget_test;

namespace {

struct GeneralPageFixture : PageWidgetFixture<GeneralPageModel, GeneralPageWidget, 520, 320> {
  QLineEdit* other = nullptr;  // somewhere to move the focus to

  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(PageWidgetFixture::SetUp());
    other = Edit(kSerial);
  }
  QLineEdit* Capcode(int row) { return Edit(capcode_key::Capcode(row)); }

  // Types into an edit that has the focus, then moves the focus away.
  void TypeAndLeave(QLineEdit* edit, const QString& text, QWidget* next) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    next->setFocus();
  }
};

}  // namespace

TEST_F(GeneralPageFixture, DefaultImageShowsAndStoresBackUnchanged) {
  const char* frames[kCapcodeRowCount] = {"7", "0", "1", "2", "3", "4", "5", "6"};
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Capcode(row)->text(), QString::number(1234567 + row));
    EXPECT_TRUE(Capcode(row)->isEnabled());
    EXPECT_EQ(Edit(capcode_key::Frame(row))->text(), frames[row]);
    EXPECT_TRUE(Control<QCheckBox>(capcode_key::Enable(row))->isChecked());
    auto* privateBox = Control<QCheckBox>(capcode_key::Private(row));
    EXPECT_TRUE(privateBox->isChecked());
    EXPECT_EQ(privateBox->isEnabled(), row >= 3 && row <= 5);  // only the public capcodes 4, 5, 6
    EXPECT_EQ(Control<QComboBox>(capcode_key::Step(row))->currentText(), " 0");
    EXPECT_EQ(Capcode(row)->toolTip(), CapcodeTip(row));
  }
  EXPECT_EQ(Edit(kFrequency)->text(), "457.5750");
  EXPECT_EQ(Edit(kBand)->text(), "454-462");
  EXPECT_EQ(Control<QComboBox>(kBaudRate)->currentText(), "  512bps");
  EXPECT_EQ(Control<QComboBox>(kPolarity)->currentText(), "Standard");
  EXPECT_EQ(Control<QComboBox>(kPllDevice)->currentText(), "5170");
  EXPECT_EQ(Edit(kSerial)->text(), "1234567890");
  EXPECT_EQ(Edit(kBumpTime)->text(), "15");
  EXPECT_EQ(Edit(kBsTime)->text(), "13");
  for (const QString& locked : {kBumpTime, kBsTime, kPllDevice}) EXPECT_FALSE(Control<QWidget>(locked)->isEnabled());
  EXPECT_EQ(Control<QCheckBox>(kKeepSerial)->text(), "Don't write Serial Number         (Keep existing)");

  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image, PagerImage::Defaults());
  EXPECT_EQ(data.selection, SelectionState());
}

TEST_F(GeneralPageFixture, CapcodeFrameFollowsTypingAndLeavingChecksTheRange) {
  QLineEdit* capcode = Capcode(0);
  capcode->setFocus();
  capcode->selectAll();
  QTest::keyClicks(capcode, "1234575");
  EXPECT_EQ(Edit(capcode_key::Frame(0))->text(), "7");
  other->setFocus();
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(model.Values().Number(capcode_key::Capcode(0)), 1234575);

  // A rejected number stays in the edit (the page follows its controls) and keeps the focus.
  TypeAndLeave(capcode, "2097152", other);
  EXPECT_TRUE(RejectedWith(capcode, kCapcodeRangeMessage));
  EXPECT_EQ(capcode->text(), "2097152");
  EXPECT_EQ(Edit(capcode_key::Frame(0))->text(), "3");  // of 209715, the last text that passed

  // An emptied edit is no number: the last number comes back.
  capcode->clear();
  other->setFocus();
  EXPECT_TRUE(RejectedWith(capcode, kCapcodeRangeMessage));
  EXPECT_EQ(capcode->text(), "2097152");
  host.beeps.clear();
  TypeAndLeave(capcode, "1048575", other);
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(QApplication::focusWidget(), other);
}

TEST_F(GeneralPageFixture, EnableBoxGovernsItsCapcodeEdit) {
  auto* enable = Control<QCheckBox>(capcode_key::Enable(2));
  ClickBox(enable);
  EXPECT_FALSE(enable->isChecked());
  EXPECT_FALSE(Capcode(2)->isEnabled());
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image[CapcodeFieldOffset(2)] & kCapcodeEnableBit, kCapcodeEnableBit);
  page->ExchangeImage(Direction::Load);
  EXPECT_FALSE(Capcode(2)->isEnabled());
}

TEST_F(GeneralPageFixture, ManuallyIncrementAddsEachRowsStep) {
  Control<QComboBox>(capcode_key::Step(0))->setCurrentIndex(4);  // "+8"
  Capcode(1)->setText("8");
  Control<QComboBox>(capcode_key::Step(1))->setCurrentIndex(0);  // "-8"
  QTest::mouseClick(Control<QPushButton>("manuallyIncrement"), Qt::LeftButton);
  EXPECT_EQ(Capcode(0)->text(), "1234575");
  EXPECT_EQ(Edit(capcode_key::Frame(0))->text(), "7");
  EXPECT_EQ(Capcode(1)->text(), "0");
  EXPECT_EQ(Capcode(2)->text(), "1234569");
  EXPECT_EQ(data.image, PagerImage::Defaults());  // nothing stored until the next store
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(ReadCapcode(data.image, 0), 1234575u);
  EXPECT_EQ(ReadCapcode(data.image, 1), 8u);
  EXPECT_EQ(Capcode(1)->text(), "8");
}

TEST_F(GeneralPageFixture, FrequencyEditShowsTheBandLiveAndChecksOnLeaving) {
  auto* frequency = Control<FrequencyEdit>(kFrequency);
  frequency->setFocus();
  frequency->setCursorPosition(0);
  QTest::keyClicks(frequency, "1750001");
  EXPECT_EQ(frequency->text(), "175.0001");
  EXPECT_EQ(Edit(kBand)->text(), "Invalid Value");
  other->setFocus();
  EXPECT_TRUE(RejectedWith(frequency, kFrequencyErrorMessage));
  EXPECT_EQ(frequency->text(), "175.0001");
  EXPECT_EQ(data.image, PagerImage::Defaults());

  // Saving with the rejected text still shown keeps the image's frequency and words.
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(ReadBcd(data.image, kFrequencyOffset, kFrequencySize), 4575750u);

  frequency->setCursorPosition(0);
  QTest::keyClicks(frequency, "9290125");
  EXPECT_EQ(Edit(kBand)->text(), "929-932");
  other->setFocus();
  EXPECT_EQ(QApplication::focusWidget(), other);
  EXPECT_EQ(ReadBcd(data.image, kFrequencyOffset, kFrequencySize), 9290125u);
  const uint8_t block[] = {0xC0, 0xD0, 0x8D, 0x11, 0x00, 0x05, 0x18};
  EXPECT_TRUE(std::equal(std::begin(block), std::end(block), data.image.data() + kSynthesizerOffset));

  // A blank digit is no digit while typing, but counts as 0 on leaving.
  frequency->setFocus();
  frequency->setCursorPosition(0);
  QTest::keyClicks(frequency, "1501250");
  frequency->setSelection(2, 1);
  QTest::keyClick(frequency, Qt::Key_Delete);
  EXPECT_EQ(frequency->text(), "15 .1250");
  EXPECT_EQ(Edit(kBand)->text(), "Invalid Value");
  other->setFocus();
  EXPECT_EQ(QApplication::focusWidget(), other);
  EXPECT_EQ(Edit(kBand)->text(), "143-151");
  EXPECT_EQ(ReadBcd(data.image, kFrequencyOffset, kFrequencySize), 1501250u);
}

// A frequency the store rejects keeps the image's frequency and words; the variable, the edit
// and the report then show that frequency, not the rejected digits.
TEST_F(GeneralPageFixture, RejectedFrequencyStoreShowsWhatTheImageHolds) {
  const char* rejected[] = {
      "500.0000",  // in no band
      "175.0001",  // in a band, off every raster
      "151.0030",  // in a band, off the raster: the 2.0 kHz step would truncate it
  };
  auto* frequency = Control<FrequencyEdit>(kFrequency);
  for (const char* text : rejected) {
    SCOPED_TRACE(text);
    frequency->setText(QString::fromLatin1(text));
    TextReportCursor report;
    report.BeginPage();
    page->PrintSection(report);  // stores first
    report.EndPage();
    EXPECT_EQ(data.image, PagerImage::Defaults());
    EXPECT_EQ(model.Values().Text(kFrequency), "457.5750");
    EXPECT_EQ(frequency->text(), "457.5750");
    EXPECT_EQ(Edit(kBand)->text(), "454-462");
    EXPECT_TRUE(report.Lines().contains("Frequency: 457.5750MHz, Band: 454-462 MHz"))
        << report.Lines().join('\n').toStdString();
  }
}

// Enter checks a capcode as leaving it would; a rejected capcode that still reaches a store
// (a Save by keyboard) is stored as the nearest valid one, which the edit then shows.
TEST_F(GeneralPageFixture, RejectedCapcodeReachingAStoreIsStoredAsTheNearestValid) {
  const std::pair<const char*, int> cases[] = {{"7", kCapcodeMin}, {"2097152", kCapcodeMax}};
  for (const auto& [typed, stored] : cases) {
    SCOPED_TRACE(typed);
    Capcode(2)->setText(QString::fromLatin1(typed));
    page->ExchangeImage(Direction::Store);
    EXPECT_EQ(ReadCapcode(data.image, 2), uint32_t(stored));
    EXPECT_EQ(Capcode(2)->text(), QString::number(stored));
    EXPECT_EQ(model.Values().Number(capcode_key::Capcode(2)), stored);
  }
}

TEST_F(GeneralPageFixture, BumpTimeIsCheckedWhenThePageLosesTheMouseCapture) {
  auto* bumpTime = Edit(kBumpTime);
  QTest::mouseDClick(bumpTime, Qt::RightButton, {}, bumpTime->rect().center());
  ASSERT_TRUE(bumpTime->isEnabled());
  bumpTime->selectAll();
  QTest::keyClicks(bumpTime, "0");
  // A press and release on the page's background: the focus stays in the edit.
  QTest::mouseClick(page.get(), Qt::LeftButton, {}, QPoint(page->width() - 2, page->height() / 2));
  EXPECT_TRUE(RejectedWith(bumpTime, kBumpTimeMessage));
  EXPECT_EQ(host.beeps.size(), 1u);
  // A label passes its release on to the page: once.
  for (QLabel* label : page->findChildren<QLabel*>())
    if (label->text() == "Bump Time") QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_TRUE(RejectedWith(bumpTime, kBumpTimeMessage));
  EXPECT_EQ(host.beeps.size(), 2u);
  EXPECT_EQ(data.image[kBumpTimeOffset], 15);
}

TEST_F(GeneralPageFixture, SerialNumberIsPaddedAndStoredOnLeaving) {
  QLineEdit* serial = Edit(kSerial);
  TypeAndLeave(serial, "1234567", Capcode(0));
  EXPECT_EQ(serial->text(), "1234567000");
  EXPECT_EQ(ReadZeroPaddedText(data.image, kSerialOffset, kSerialSize), "1234567000");
}

TEST_F(GeneralPageFixture, KeepSerialNumberFollowsTheBoxOnceLoaded) {
  PagerData fresh;
  fresh.selection.SetKeepSerial(false);
  ModelPageSet freshModels(fresh);
  auto& freshModel = static_cast<GeneralPageModel&>(freshModels.Page(PageId::General));
  GeneralPageWidget freshPage(freshModel, fresh, host);
  EXPECT_TRUE(KeepPagerSerialNumber(freshModels));  // basic mode never loads the page
  freshPage.ExchangeImage(Direction::Load);
  EXPECT_FALSE(KeepPagerSerialNumber(freshModels));
  freshPage.findChild<QCheckBox*>(kKeepSerial)->setChecked(true);
  // A write stores the pages before it asks.
  freshPage.ExchangeImage(Direction::Store);
  EXPECT_TRUE(KeepPagerSerialNumber(freshModels));
  EXPECT_TRUE(fresh.selection.KeepSerial());
  EXPECT_FALSE(KeepPagerSerialNumber(freshModels, false));  // the command line's --no-keep-serial
}

TEST_F(GeneralPageFixture, RightDoubleClickUnlocksAndTheTimesAreChecked) {
  auto* bumpTime = Edit(kBumpTime);
  QTest::mouseDClick(bumpTime, Qt::LeftButton, {}, bumpTime->rect().center());
  EXPECT_FALSE(bumpTime->isEnabled());
  QTest::mouseDClick(bumpTime, Qt::RightButton, {}, bumpTime->rect().center());
  ASSERT_TRUE(bumpTime->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), bumpTime);
  EXPECT_FALSE(Edit(kBsTime)->isEnabled());

  TypeAndLeave(bumpTime, "64", other);
  EXPECT_TRUE(RejectedWith(bumpTime, kBumpTimeMessage));
  TypeAndLeave(bumpTime, "63", other);
  EXPECT_EQ(data.image[kBumpTimeOffset], 63);

  // Inside the rectangle, edges included.
  auto* pll = Control<QComboBox>(kPllDevice);
  QTest::mouseDClick(pll, Qt::RightButton, {}, QPoint(pll->width() - 1, pll->height() - 1));
  EXPECT_TRUE(pll->isEnabled());
  page->ExchangeImage(Direction::Load);
  EXPECT_TRUE(bumpTime->isEnabled());  // unlocked for good
}

TEST_F(GeneralPageFixture, HintsForTheMouse) {
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(Capcode(5), &enter);
  EXPECT_EQ(host.statuses.back(), kCapcodeHint);
  QApplication::sendEvent(Edit(kSerial), &enter);
  EXPECT_EQ(host.statuses.back(), kSerialHint);
  QApplication::sendEvent(Edit(kFrequency), &enter);
  EXPECT_EQ(host.statuses.back(), "");
  EXPECT_EQ(Edit(kFrequency)->toolTip(), kFrequencyTip);
}

TEST_F(GeneralPageFixture, ToolTipOpensAfterItsShortDelay) {
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(Capcode(5), &enter);
  EXPECT_FALSE(QToolTip::isVisible());
  // Well before the style's own delay of 700 ms.
  EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 400));
  EXPECT_EQ(QToolTip::text(), "Capcode 6 range 8 to 2097151");
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Capcode(5), &leave);
  EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 1000));
}

// The masked edit alone, driven by key events.
struct MaskFixture : ::testing::Test {
  FrequencyEdit edit;
  int edits = 0;
  void SetUp() override {
    QObject::connect(&edit, &FrequencyEdit::Edited, [this] { ++edits; });
    edit.setText("457.5750");
    ASSERT_NO_FATAL_FAILURE(Activate(&edit));
    edit.setFocus();
  }
  void Keys(int caret, const QString& keys) {
    edit.setCursorPosition(caret);
    QTest::keyClicks(&edit, keys);
  }
  void Key(int caret, Qt::Key key) {
    edit.setCursorPosition(caret);
    QTest::keyClick(&edit, key);
  }
};

TEST_F(MaskFixture, TypingOverwritesAndStepsOverThePoint) {
  Keys(0, "15");
  EXPECT_EQ(edit.text(), "157.5750");
  EXPECT_EQ(edit.cursorPosition(), 2);
  QTest::keyClicks(&edit, "0");
  EXPECT_EQ(edit.text(), "150.5750");
  EXPECT_EQ(edit.cursorPosition(), 4);
  QTest::keyClicks(&edit, "1259");  // the ninth character has no place
  EXPECT_EQ(edit.text(), "150.1259");
  EXPECT_EQ(edit.cursorPosition(), 8);
  EXPECT_GT(edits, 0);
  edits = 0;

  Keys(0, "0");  // no leading zero
  EXPECT_EQ(edit.text(), "150.1259");
  EXPECT_EQ(edit.cursorPosition(), 0);
  Keys(3, "2");  // nothing on the point; the caret moves past it
  EXPECT_EQ(edit.text(), "150.1259");
  EXPECT_EQ(edit.cursorPosition(), 4);
  Keys(5, "a.-");
  EXPECT_EQ(edit.text(), "150.1259");
  EXPECT_EQ(edit.cursorPosition(), 5);
  EXPECT_EQ(edits, 0);
}

TEST_F(MaskFixture, BackspaceZeroesTheDigitLeftOfTheCaret) {
  Key(6, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), "457.5050");
  EXPECT_EQ(edit.cursorPosition(), 5);
  Key(4, Qt::Key_Backspace);  // right after the point: the digit before the point
  EXPECT_EQ(edit.text(), "450.5050");
  EXPECT_EQ(edit.cursorPosition(), 2);
  Key(0, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), "450.5050");
  EXPECT_EQ(edit.cursorPosition(), 0);
}

TEST_F(MaskFixture, DeleteAndBackspaceBlankASelection) {
  edit.setSelection(2, 4);  // "7.57"
  QTest::keyClick(&edit, Qt::Key_Delete);
  EXPECT_EQ(edit.text(), "45 .  50");
  EXPECT_EQ(edit.cursorPosition(), 2);
  EXPECT_FALSE(edit.hasSelectedText());

  edit.setText("457.5750");
  edit.setSelection(5, 3);  // "750"; Backspace blanks it, then zeroes the digit before it
  QTest::keyClick(&edit, Qt::Key_Backspace);
  EXPECT_EQ(edit.text(), "457.0   ");
  EXPECT_EQ(edit.cursorPosition(), 4);

  Key(6, Qt::Key_Delete);  // no selection: nothing to delete in overwrite mode
  EXPECT_EQ(edit.text(), "457.0   ");
}

TEST_F(MaskFixture, ArrowsJumpOverThePoint) {
  Key(4, Qt::Key_Left);
  EXPECT_EQ(edit.cursorPosition(), 2);
  Key(2, Qt::Key_Right);
  EXPECT_EQ(edit.cursorPosition(), 4);
  Key(6, Qt::Key_Left);
  EXPECT_EQ(edit.cursorPosition(), 5);
  Key(8, Qt::Key_Right);
  EXPECT_EQ(edit.cursorPosition(), 8);
  EXPECT_EQ(edits, 0);
}
