// The Display page model (texts, options, lists, battery marks, report section), the voltage
// codes and check, and the voltage edit's key rules.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <optional>

#include "core/pages/display_page.h"
#include "core/pages/voltage_code.h"
#include "core/pages/voltage_mask.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::basic_key;
using namespace m84::display_key;
using namespace m84::page_test;

namespace {

using LoadedPage = LoadedModel<DisplayPageModel>;

uint16_t CodeAt(const PagerImage& image, int offset) { return uint16_t(image[offset] | image[offset + 1] << 8); }

void PutCode(PagerImage& image, int offset, uint16_t code) {
  image[offset] = uint8_t(code & 0xFF);
  image[offset + 1] = uint8_t(code >> 8);
}

}  // namespace

TEST(DisplayPage, DefaultImageLoadsAsListed) {
  LoadedPage p;
  const PageValues& v = p.values();
  EXPECT_EQ(v.Text(kStartupText), "Welcome to M84");
  EXPECT_EQ(v.Text(kStandbyText1), "DR. Nora Clifts");
  EXPECT_EQ(v.Text(kStandbyText2), "Welcome to M84");
  EXPECT_FALSE(v.Flag(kPreviewMode));
  EXPECT_TRUE(v.Flag(kSmallText));
  EXPECT_TRUE(v.Flag(kTimeStamp));
  EXPECT_TRUE(v.Flag(kMessageNumber));
  EXPECT_TRUE(v.Flag(kAddressFunction));
  EXPECT_FALSE(v.Flag(kMaxMessagesAlert));
  EXPECT_EQ(kDateFormatEntries[v.Number(kDateFormat)], " M/D/Y");
  EXPECT_EQ(kStoredMessagesEntries[v.Number(kStoredMessages)], "  60");
  EXPECT_EQ(kNumberModeEntries[v.Number(kNumberMode)], "Only number");
  EXPECT_EQ(kNumberOrderEntries[v.Number(kNumberOrder)], "Increment");
  EXPECT_TRUE(v.Flag(kLowBatteryAlarm));
  EXPECT_TRUE(v.Flag(kLowBatteryDisplay));
  EXPECT_FALSE(v.Flag(kLowBatteryVibrate));
  EXPECT_EQ(v.Text(Voltage(BatteryMark::High)), "1.40");
  EXPECT_EQ(v.Text(Voltage(BatteryMark::Middle)), "1.30");
  EXPECT_EQ(v.Text(Voltage(BatteryMark::Low)), "1.20");
  EXPECT_EQ(kDisplayTimeEntries[v.Number(kDisplayTime)], "10 seconds");
  EXPECT_EQ(kContrastEntries[v.Number(kContrast)], "  Level 15");
  // Standby text "2ND" disabled, "1ST" enabled; the message number lists enabled.
  EXPECT_FALSE(StandbyText2Enabled(v.Flag(kAlternativeScreen)));
  EXPECT_TRUE(StandbyText1Enabled(v.Flag(kShowDate), v.Flag(kAlternativeScreen)));
  EXPECT_TRUE(MessageNumberListsEnabled(v.Flag(kMessageNumber)));
}

TEST(DisplayPage, DefaultImageStoresBackWithTheDisplayTimeRewritten) {
  LoadedPage p;
  p.page.Store(p.data);
  PagerImage expected = PagerImage::Defaults();
  EXPECT_EQ(expected[kDisplayTimeOffset], 15);
  EXPECT_EQ(expected[kDisplayHalfTimeOffset], 8);
  expected[kDisplayTimeOffset] = 10;
  expected[kDisplayHalfTimeOffset] = 5;
  EXPECT_EQ(p.data.image, expected);
}

TEST(DisplayPage, ListEntriesInTheirOrder) {
  EXPECT_EQ(kDateFormatEntries, (QStringList{" M/D/Y", " D/M/Y"}));
  EXPECT_EQ(kStoredMessagesEntries, (QStringList{"  60", "  10", "   1"}));
  EXPECT_EQ(kNumberModeEntries, (QStringList{"Only number", "  No. / Total"}));
  EXPECT_EQ(kNumberOrderEntries, (QStringList{"Increment", "Decrement"}));
  EXPECT_EQ(kDisplayTimeEntries, (QStringList{"10 seconds", "30 seconds", "60 seconds", "  No limit"}));
  ASSERT_EQ(kContrastEntries.size(), 20);
  EXPECT_EQ(kContrastEntries.first(), "   Level 1");
  EXPECT_EQ(kContrastEntries[8], "   Level 9");
  EXPECT_EQ(kContrastEntries[9], "  Level 10");
  EXPECT_EQ(kContrastEntries.last(), "  Level 20");
}

// A byte in the image, the entry it loads as, and the byte the page then stores back.
TEST(DisplayPage, WholeByteListsLoadAndStore) {
  struct Case {
    int offset;
    uint8_t byte;
    QString key;
    int entry;
    uint8_t stored;
  };
  const Case cases[] = {
      {kStoredMessagesOffset, 60, kStoredMessages, 0, 60},
      {kStoredMessagesOffset, 10, kStoredMessages, 1, 10},
      {kStoredMessagesOffset, 1, kStoredMessages, 2, 1},
      {kStoredMessagesOffset, 0, kStoredMessages, 0, 60},
      {kStoredMessagesOffset, 30, kStoredMessages, 0, 60},
      {kDisplayTimeOffset, 10, kDisplayTime, 0, 10},
      {kDisplayTimeOffset, 30, kDisplayTime, 1, 30},
      {kDisplayTimeOffset, 60, kDisplayTime, 2, 60},
      {kDisplayTimeOffset, 0, kDisplayTime, 3, 0},
      {kDisplayTimeOffset, 15, kDisplayTime, 0, 10},
      {kDisplayTimeOffset, 255, kDisplayTime, 0, 10},
      {kContrastOffset, 24, kContrast, 0, 24},
      {kContrastOffset, 38, kContrast, 14, 38},
      {kContrastOffset, 43, kContrast, 19, 43},
      {kContrastOffset, 23, kContrast, 10, 34},
      {kContrastOffset, 44, kContrast, 10, 34},
      {kContrastOffset, 0, kContrast, 10, 34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key.toStdString() << " byte " << int(c.byte));
    PagerData data;
    data.image[c.offset] = c.byte;
    DisplayPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Number(c.key), c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[c.offset], c.stored);
  }
}

TEST(DisplayPage, DisplayTimeWritesSecondsAndHalfSecondsButReadsOnlySeconds) {
  struct Case {
    int entry;
    uint8_t seconds, halfSeconds;
  };
  for (const Case& c : {Case{0, 10, 5}, Case{1, 30, 15}, Case{2, 60, 30}, Case{3, 0, 0}, Case{-1, 10, 5}}) {
    SCOPED_TRACE(c.entry);
    LoadedPage p;
    p.values().Set(kDisplayTime, c.entry);
    p.page.Store(p.data);
    EXPECT_EQ(p.data.image[kDisplayTimeOffset], c.seconds);
    EXPECT_EQ(p.data.image[kDisplayHalfTimeOffset], c.halfSeconds);
  }
  PagerData data;
  data.image[kDisplayTimeOffset] = 60;
  data.image[kDisplayHalfTimeOffset] = 0;  // the half-second byte says "No limit"; it is not read
  DisplayPageModel page;
  page.Load(data);
  EXPECT_EQ(page.Values().Number(kDisplayTime), 2);
}

// Each option of the page turned against its default: exactly its own bit changes, and the bits
// of other pages in the same bytes (all set here) stay.
TEST(DisplayPage, OptionBitsTouchOnlyTheirOwnBits) {
  struct Case {
    QString key;
    QVariant value;
    int offset;
    uint8_t mask;
    bool set;
  };
  const Case cases[] = {
      {kPreviewMode, true, kDisplayOptionsOffset, kPreviewModeBit, true},
      {kSmallText, false, kDisplayOptionsOffset, kLargeTextBit, true},
      {kSmallText, true, kDisplayOptionsOffset, kLargeTextBit, false},
      {kDateFormat, 1, kDisplayOptionsOffset, kDayFirstDateBit, true},
      {kDateFormat, -1, kDisplayOptionsOffset, kDayFirstDateBit, true},  // no selection: not the first entry
      {kDateFormat, 0, kDisplayOptionsOffset, kDayFirstDateBit, false},
      {kTimeStamp, false, kMessageDisplayOffset, kTimeStampBit, false},
      {kMessageNumber, false, kMessageDisplayOffset, kMessageNumberBit, false},
      {kAddressFunction, false, kMessageDisplayOffset, kAddressFunctionBit, false},
      {kMaxMessagesAlert, true, kMessageDisplayOffset, kMaxMessagesAlertBit, true},
      {kNumberMode, 1, kMessageDisplayOffset, kNumberOfTotalBit, true},
      {kNumberMode, 0, kMessageDisplayOffset, kNumberOfTotalBit, false},
      {kNumberOrder, 1, kMessageDisplayOffset, kDecrementBit, true},
      {kNumberOrder, 0, kMessageDisplayOffset, kDecrementBit, false},
      {kLowBatteryAlarm, false, kBatteryOptionsOffset, kLowBatteryAlarmBit, false},
      {kLowBatteryDisplay, false, kBatteryOptionsOffset, kLowBatteryDisplayBit, false},
      {kLowBatteryVibrate, true, kBatteryOptionsOffset, kLowBatteryVibrateBit, true},
  };
  const uint8_t pageBits[] = {kPreviewModeBit | kLargeTextBit | kDayFirstDateBit,
                              kTimeStampBit | kAddressFunctionBit | kMessageNumberBit | kNumberOfTotalBit |
                                  kDecrementBit | kMaxMessagesAlertBit,
                              kLowBatteryAlarmBit | kLowBatteryDisplayBit | kLowBatteryVibrateBit};
  const int offsets[] = {kDisplayOptionsOffset, kMessageDisplayOffset, kBatteryOptionsOffset};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key.toStdString() << " = " << c.value.toString().toStdString());
    PagerData data;
    for (int i = 0; i < 3; ++i) data.image[offsets[i]] |= uint8_t(~pageBits[i]);
    DisplayPageModel page;
    page.Load(data);
    const PagerImage before = data.image;
    page.Values().Set(c.key, c.value);
    page.Store(data);
    PagerImage expected = before;
    expected[c.offset] = uint8_t(c.set ? expected[c.offset] | c.mask : expected[c.offset] & ~c.mask);
    expected[kDisplayTimeOffset] = 10;  // the default's 15 is normalised by every store
    expected[kDisplayHalfTimeOffset] = 5;
    EXPECT_EQ(data.image, expected);
    page.Load(data);
    EXPECT_EQ(page.Values().Value(c.key).toInt(), c.value.toInt() < 0 ? 1 : c.value.toInt());
  }
}

// The date, time and alternative-screen bits are the Basic page's: this page reads them, never
// writes them.
TEST(DisplayPage, BasicPageBitsAreReadNotWritten) {
  PagerData data;
  data.image[kDisplayOptionsOffset] |= kShowDateBit;
  data.image[kAlternativeScreenOffset] |= kAlternativeScreenBit;
  DisplayPageModel page;
  page.Load(data);
  EXPECT_TRUE(page.Values().Flag(kShowDate));
  EXPECT_TRUE(page.Values().Flag(kShowTime));
  EXPECT_TRUE(page.Values().Flag(kAlternativeScreen));
  const uint8_t options = data.image[kDisplayOptionsOffset];
  const uint8_t alternative = data.image[kAlternativeScreenOffset];
  page.Values().Set(kShowDate, false);
  page.Values().Set(kShowTime, false);
  page.Values().Set(kAlternativeScreen, false);
  page.Store(data);
  EXPECT_EQ(data.image[kDisplayOptionsOffset], options);
  EXPECT_EQ(data.image[kAlternativeScreenOffset], alternative);
}

TEST(DisplayPage, StartupTextOfFifteenCharactersKeepsTheSixteenthByte) {
  LoadedPage p;
  p.data.image[kStartupTextOffset + kBasicTextLength] = 0xA5;
  p.values().Set(kStartupText, QStringLiteral("ABCDEFGHIJKLMNO"));
  p.values().Set(kStandbyText2, QStringLiteral("Bye  "));
  p.page.Store(p.data);
  for (int i = 0; i < kBasicTextLength; ++i) EXPECT_EQ(p.data.image[kStartupTextOffset + i], 'A' + i);
  EXPECT_EQ(p.data.image[kStartupTextOffset + kBasicTextLength], 0xA5);
  EXPECT_EQ(p.data.image[kStandbyText2Offset + 4], ' ');  // the image keeps the blanks
  EXPECT_EQ(p.data.image[kStandbyText2Offset + 5], 0);
  EXPECT_EQ(p.values().Text(kStandbyText2), "Bye");  // the variable loses them
}

// The store removes trailing blanks from the variable and nothing else; the load removes the same,
// so that a text ending in a tab or another byte keeps it over a load and a store (the blanks
// go, as the window's load drops them).
TEST(DisplayPage, ALoadAndAStoreKeepEveryTrailingByteButBlanks) {
  struct Case {
    const char* bytes;
    const char* loaded;
  };
  const Case cases[] = {
      {"Hi\t", "Hi\t"}, {"Hi\t  ", "Hi\t"}, {"Hi\r", "Hi\r"}, {"Hi \x0B", "Hi \x0B"}, {"Hi\xA0", "Hi\xA0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loaded);
    PagerData data;
    const QByteArray bytes(c.bytes);
    std::fill_n(data.image.data() + kStandbyText1Offset, kBasicTextLength, 0);
    std::copy(bytes.begin(), bytes.end(), data.image.data() + kStandbyText1Offset);
    DisplayPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Text(kStandbyText1), QString::fromLatin1(c.loaded));
    page.Store(data);
    page.Load(data);
    page.Store(data);
    std::vector<uint8_t> expected(size_t(kBasicTextLength), 0);
    const QByteArray loaded(c.loaded);
    std::copy(loaded.begin(), loaded.end(), expected.begin());
    EXPECT_EQ(Bytes(data.image, kStandbyText1Offset, kBasicTextLength), expected);
  }
}

TEST(VoltageCode, TableAndConversions) {
  const VoltageCodeTable& codes = VoltageCodes();
  EXPECT_EQ(codes.front(), 1474);
  EXPECT_EQ(codes[50], 0x08F5);  // 1.40 V
  EXPECT_EQ(codes[40], 0x0851);  // 1.30 V
  EXPECT_EQ(codes[30], 0x07AE);  // 1.20 V
  EXPECT_EQ(codes[60], 2457);    // 1.50 V
  EXPECT_EQ(codes.back(), 3031);
  for (int h = kVoltageTableLow; h < kVoltageTableHigh; ++h) EXPECT_LT(codes[h - 90], codes[h - 89]) << h;

  struct Case {
    uint16_t code;
    const char* text;
  };
  const Case cases[] = {
      {1474, "0.90"}, {2457, "1.50"}, {0x08F5, "1.40"}, {3031, "1.85"},   {2458, "1.85"},  // no entry
      {2990, "1.85"}, {0, "0.90"},    {1473, "0.90"},   {0xFFFF, "1.85"},
  };
  for (const Case& c : cases) EXPECT_EQ(VoltageTextForCode(c.code), c.text) << c.code;
  EXPECT_EQ(VoltageCodeForHundredths(50), 1474);
  EXPECT_EQ(VoltageCodeForHundredths(300), 3031);
}

TEST(VoltageCode, TextCheck) {
  struct Case {
    const char* text;
    std::optional<int> hundredths;
  };
  const Case cases[] = {
      {"0.90", 90},
      {"1.50", 150},
      {"0.89", std::nullopt},
      {"1.51", std::nullopt},
      {"2.00", std::nullopt},
      {"", std::nullopt},  // reads as 0
      {"1.234", 123},
      {"1.5", 150},
      {"1", 100},
      {" 1.40 ", 140},
      {".95", 95},
      {"001.00", 100},
      {"1. 0", std::nullopt},
      {" .  ", std::nullopt},
      {"1.4x", std::nullopt},
      {"1.40x", 140},  // past two digits: ignored
      {"1,40", std::nullopt},
      {"-1.0", std::nullopt},
      {"1.2.3", std::nullopt},
      {"99999999999999999999.00", std::nullopt},  // no overflow
  };
  for (const Case& c : cases) EXPECT_EQ(CheckVoltageText(QString::fromLatin1(c.text)), c.hundredths) << c.text;
}

// What a store writes for each voltage text; a text that fails the check leaves the code.
TEST(DisplayPage, BatteryMarksStoreCodesOrKeepTheOldOnes) {
  struct Case {
    const char* text;
    uint16_t code;  // at 0x56 after the store, from the default 0x08F5
  };
  const Case cases[] = {
      {"1.5", 2457},    {"1.50", 2457},   {"0.90", 1474},   {"1", 1638},  {"1.234", 2015},
      {"0.89", 0x08F5}, {"1.51", 0x08F5}, {"2.00", 0x08F5}, {"", 0x08F5}, {" .  ", 0x08F5},
  };
  const int high = BatteryMarkOffset(BatteryMark::High);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LoadedPage p;
    p.values().Set(Voltage(BatteryMark::High), QString::fromLatin1(c.text));
    p.page.Store(p.data);
    EXPECT_EQ(CodeAt(p.data.image, high), c.code);
    EXPECT_EQ(CodeAt(p.data.image, BatteryMarkOffset(BatteryMark::Middle)), 0x0851);
    EXPECT_EQ(CodeAt(p.data.image, BatteryMarkOffset(BatteryMark::Low)), 0x07AE);
  }
}

// A pager's code above 1.50 V or without an entry survives a load and a store untouched.
TEST(DisplayPage, CodesTheEditWouldRejectSurviveARoundTrip) {
  struct Case {
    uint16_t code;
    const char* shown;
    uint16_t stored;
  };
  const Case cases[] = {{2458, "1.85", 2458},
                        {3031, "1.85", 3031},
                        {2990, "1.85", 2990},
                        {2473, "1.51", 2473},
                        {0, "0.90", 1474}};  // below the table: shown as 0.90, which is valid
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    PagerData data;
    PutCode(data.image, BatteryMarkOffset(BatteryMark::Low), c.code);
    DisplayPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Text(Voltage(BatteryMark::Low)), c.shown);
    page.Store(data);
    EXPECT_EQ(CodeAt(data.image, BatteryMarkOffset(BatteryMark::Low)), c.stored);
    EXPECT_EQ(page.Values().Text(Voltage(BatteryMark::Low)), c.shown);
  }
}

TEST(DisplayPage, VoltageCheckOnLeavingGoesBackToTheRememberedText) {
  LoadedPage p;
  const QString middle = Voltage(BatteryMark::Middle);
  p.page.RememberVoltage(BatteryMark::Middle);
  for (const char* rejected : {"1.51", "0.89", "2.00", "", "1. 0"}) {
    p.values().Set(middle, QString::fromLatin1(rejected));
    EXPECT_FALSE(p.page.CheckVoltageOnLeaving(BatteryMark::Middle)) << rejected;
    EXPECT_EQ(p.values().Text(middle), "1.30") << rejected;
  }
  p.values().Set(middle, QStringLiteral("1.25"));
  EXPECT_TRUE(p.page.CheckVoltageOnLeaving(BatteryMark::Middle));
  p.values().Set(middle, QStringLiteral("9.99"));
  EXPECT_FALSE(p.page.CheckVoltageOnLeaving(BatteryMark::Middle));
  EXPECT_EQ(p.values().Text(middle), "1.25");  // the last accepted text
}

TEST(DisplayPage, ReportSectionOfTheDefaultImage) {
  LoadedPage p;
  const QStringList expected = {
      "[Disply]",
      "Startup text: [Welcome to M84]",
      "Display current Date: No ",
      "Display current Time: Yes",
      "Standby text 1: [DR. Nora Clifts]",
      "Display alternative screen: No ",
      "Standby text 2: [Welcome to M84]",
      "Enable message preview mode: No ",
      "Set default text size small: Yes",
      "Time stamp messages: Yes",
      "Message number display: Yes",
      "Message address/function number: Yes",
      "Report alert when max messages reached: No ",
      "Time format:  M/D/Y",
      "Maximum number of stored message:   60",
      "Message number display format: Only number",
      "Message number ordering: Increment",
      "Low Battery alarm: Yes",
      "Low Battery display: Yes",
      "Vibrate when Battery low: No ",
      "Voltage for battery mark:  High:1.40V  Middle:1.30V  Low:1.20V",
      "LCD Display Time: 10 seconds",
      "LCD Contrast:   Level 15",
  };
  EXPECT_EQ(Section(p.page, p.data), expected);
}

TEST(DisplayPage, ReportSectionOfACraftedImage) {
  PagerData data;
  data.image[kDisplayOptionsOffset] = kShowDateBit | kPreviewModeBit | kLargeTextBit | kDayFirstDateBit;
  data.image[kAlternativeScreenOffset] = kAlternativeScreenBit;
  data.image[kMessageDisplayOffset] = kNumberOfTotalBit | kDecrementBit | kMaxMessagesAlertBit;
  data.image[kStoredMessagesOffset] = 1;
  data.image[kBatteryOptionsOffset] = kLowBatteryVibrateBit;
  data.image[kDisplayTimeOffset] = 0;
  data.image[kContrastOffset] = 24;
  PutCode(data.image, BatteryMarkOffset(BatteryMark::High), 2458);
  PutCode(data.image, BatteryMarkOffset(BatteryMark::Middle), VoltageCodeForHundredths(150));
  PutCode(data.image, BatteryMarkOffset(BatteryMark::Low), VoltageCodeForHundredths(90));
  DisplayPageModel page;
  page.Load(data);
  page.Values().Set(kStandbyText1, QStringLiteral("Line one  "));
  const QStringList expected = {
      "[Disply]",
      "Startup text: [Welcome to M84]",
      "Display current Date: Yes",
      "Display current Time: No ",
      "Standby text 1: [Line one]",
      "Display alternative screen: Yes",
      "Standby text 2: [Welcome to M84]",
      "Enable message preview mode: Yes",
      "Set default text size small: No ",
      "Time stamp messages: No ",
      "Message number display: No ",
      "Message address/function number: No ",
      "Report alert when max messages reached: Yes",
      "Time format:  D/M/Y",
      "Maximum number of stored message:    1",
      "Message number display format:   No. / Total",
      "Message number ordering: Decrement",
      "Low Battery alarm: No ",
      "Low Battery display: No ",
      "Vibrate when Battery low: Yes",
      "Voltage for battery mark:  High:1.85V  Middle:1.50V  Low:0.90V",
      "LCD Display Time:   No limit",
      "LCD Contrast:    Level 1",
  };
  EXPECT_EQ(Section(page, data), expected);
  EXPECT_EQ(CodeAt(data.image, BatteryMarkOffset(BatteryMark::High)), 2458);
}

// The voltage edit's keys, one row per case: the text and selection before, the key, and what
// the rules make of them (passOn: the key then takes its ordinary effect).
TEST(VoltageMask, KeyTable) {
  struct Case {
    const char* text;
    int start, end;
    MaskKey key;
    char digit;
    const char* after;
    int caret;
    int afterEnd;  // -1: a plain caret
    bool passOn;
  };
  const Case cases[] = {
      // Typing at each position.
      {"1.40", 0, 0, MaskKey::Digit, '2', "1.40", 0, -1, false},  // only 0 or 1 at position 0
      {"1.40", 0, 0, MaskKey::Digit, '9', "1.40", 0, -1, false},
      {"1.40", 0, 0, MaskKey::Digit, '1', "1.40", 2, -1, false},  // over the point at once
      {"1.40", 0, 0, MaskKey::Digit, '0', "0.40", 2, -1, false},
      {"1.40", 1, 1, MaskKey::Digit, '5', "1.40", 2, -1, false},  // on the point: only the caret moves
      {"1.40", 2, 2, MaskKey::Digit, '3', "1.30", 3, -1, false},
      {"1.40", 3, 3, MaskKey::Digit, '5', "1.45", 4, -1, false},
      {"1.40", 4, 4, MaskKey::Digit, '5', "1.40", 4, -1, false},
      {"1.40", 0, 4, MaskKey::Digit, '0', "0.40", 2, -1, false},  // one character replaced, selection gone
      {"1.40", 2, 4, MaskKey::Digit, '2', "1.20", 3, -1, false},
      {"1.40", 2, 2, MaskKey::Character, 0, "1.40", 2, -1, false},
      {"", 0, 0, MaskKey::Digit, '1', "1.", 2, -1, false},  // a text cut short gets its point back
      {"1.", 2, 2, MaskKey::Digit, '2', "1.2", 3, -1, false},
      // Backspace.
      {"1.40", 0, 0, MaskKey::Backspace, 0, "1.40", 0, -1, false},
      {"1.40", 2, 2, MaskKey::Backspace, 0, "1.40", 1, -1, false},  // steps back onto the point
      {"1.40", 1, 1, MaskKey::Backspace, 0, " .40", 0, -1, false},
      {"1.40", 3, 3, MaskKey::Backspace, 0, "1. 0", 2, -1, false},
      {"1.40", 4, 4, MaskKey::Backspace, 0, "1.4 ", 3, -1, false},
      {"1.40", 0, 4, MaskKey::Backspace, 0, " .  ", 0, -1, false},
      {"1.40", 1, 3, MaskKey::Backspace, 0, "1. 0", 1, -1, false},
      // Delete.
      {"1.40", 1, 1, MaskKey::Delete, 0, "1.40", 2, -1, false},
      {"1.40", 0, 0, MaskKey::Delete, 0, " .40", 0, -1, false},
      {"1.40", 3, 3, MaskKey::Delete, 0, "1.4 ", 3, -1, false},
      {"1.40", 4, 4, MaskKey::Delete, 0, "1.40", 4, -1, false},
      {"1.40", 0, 2, MaskKey::Delete, 0, " .40", 0, -1, false},
      {"1.40", 2, 4, MaskKey::Delete, 0, "1.  ", 2, -1, false},
      // Arrows and other keys.
      {"1.40", 2, 2, MaskKey::Left, 0, "1.40", 0, -1, false},
      {"1.40", 3, 3, MaskKey::Left, 0, "1.40", 3, -1, true},
      {"1.40", 0, 0, MaskKey::Right, 0, "1.40", 2, -1, false},
      {"1.40", 2, 2, MaskKey::Right, 0, "1.40", 2, -1, true},
      {"1.40", 4, 4, MaskKey::Right, 0, "1.40", 4, -1, false},
      {"1.40", 1, 3, MaskKey::Other, 0, "1.40", 1, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "\"" << c.text << "\" [" << c.start << "," << c.end << ") key " << int(c.key)
                                    << " '" << (c.digit ? c.digit : ' ') << "'");
    const MaskOutcome outcome =
        ApplyVoltageKey({QString::fromLatin1(c.text), c.start, c.end}, {c.key, QChar::fromLatin1(c.digit)});
    EXPECT_EQ(outcome.state.text, c.after);
    EXPECT_EQ(outcome.state.selectionStart, c.caret);
    EXPECT_EQ(outcome.state.selectionEnd, c.afterEnd < 0 ? c.caret : c.afterEnd);
    EXPECT_EQ(outcome.passOn, c.passOn);
  }
}

// Typed from an emptied edit, a voltage comes out in its form, whatever digits are tried at
// position 0 first.
TEST(VoltageMask, TypingIntoAClearedEdit) {
  MaskState state{QStringLiteral("1.40"), 0, 4};
  state = ApplyVoltageKey(state, {MaskKey::Delete, QChar()}).state;
  EXPECT_EQ(state.text, " .  ");
  for (const char typed : {'7', '1', '3', '5'})
    state = ApplyVoltageKey(state, {MaskKey::Digit, QChar::fromLatin1(typed)}).state;
  EXPECT_EQ(state.text, "1.35");
  EXPECT_EQ(CheckVoltageText(state.text), 135);
}

// Whatever keys arrive, the mask keeps the form d.dd: the point stays, the text keeps its length,
// position 0 holds no digit above 1, and a typed digit never leaves the caret on the point.
TEST(VoltageMask, RandomKeysKeepTheForm) {
  QRandomGenerator random(14);
  const MaskKey keys[] = {MaskKey::Digit, MaskKey::Backspace, MaskKey::Delete, MaskKey::Left,
                          MaskKey::Right, MaskKey::Character, MaskKey::Other};
  for (int run = 0; run < 2000; ++run) {
    MaskState state{QStringLiteral("1.40"), 0, 0};
    for (int step = 0; step < 30; ++step) {
      const int a = random.bounded(5), b = random.bounded(5);
      state.selectionStart = std::min(a, b);
      state.selectionEnd = random.bounded(2) ? std::max(a, b) : state.selectionStart;
      const MaskInput input{keys[random.bounded(int(std::size(keys)))], QChar('0' + random.bounded(10))};
      const MaskOutcome outcome = ApplyVoltageKey(state, input);
      ASSERT_EQ(outcome.state.text.size(), 4);
      ASSERT_EQ(outcome.state.text[1], QLatin1Char('.'));
      const QChar first = outcome.state.text[0];
      ASSERT_TRUE(first == QLatin1Char('0') || first == QLatin1Char('1') || first == QLatin1Char(' '));
      if (input.key == MaskKey::Digit) ASSERT_NE(outcome.state.selectionStart, 1);
      state = outcome.state;
    }
  }
}
