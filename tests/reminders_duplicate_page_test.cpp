// The Reminders and Duplicate Message page models: value ranges on load, what each selection
// stores, the bits of other pages, and their report sections.
#include <gtest/gtest.h>

#include "core/pages/duplicate_page.h"
#include "core/pages/reminders_page.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::page_test;

namespace {

template <typename Model>
PagerImage StoredDefaults() {
  PagerData data;
  Model page;
  page.Load(data);
  page.Store(data);
  return data.image;
}

}  // namespace

TEST(RemindersPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  using namespace reminders_key;
  PagerData data;
  RemindersPageModel page;
  page.Load(data);
  EXPECT_TRUE(page.Values().Flag(kReminderAlert));
  EXPECT_TRUE(page.Values().Flag(kUnreadIndication));
  EXPECT_EQ(EntriesOf(page, kInterval)[page.Values().Number(kInterval)], "  2  minute");
  EXPECT_EQ(EntriesOf(page, kDuration)[page.Values().Number(kDuration)], "Remind until message has been read");
  EXPECT_TRUE(ReminderListsEnabled(page.Values().Flag(kReminderAlert)));
  EXPECT_EQ(StoredDefaults<RemindersPageModel>(), PagerImage::Defaults());
}

// An interval in the image (seconds), the entry it loads as, and the two bytes stored back.
TEST(RemindersPage, IntervalLoadsAsTheFirstEntryNotBelowIt) {
  using namespace reminders_key;
  EXPECT_EQ(EntriesOf(RemindersPageModel(), kInterval),
            (QStringList{"30 second  ", "  1  minute", "  2  minute", "  5  minute", " 10 minute", " 15 minute"}));
  struct Case {
    int seconds;
    int entry;
    uint8_t low, high;
  };
  const Case cases[] = {
      {0, 0, 0x1E, 0x00},   {30, 0, 0x1E, 0x00},  {31, 1, 0x3C, 0x00},  {45, 1, 0x3C, 0x00},
      {60, 1, 0x3C, 0x00},  {120, 2, 0x78, 0x00}, {121, 3, 0x2C, 0x01}, {300, 3, 0x2C, 0x01},
      {600, 4, 0x58, 0x02}, {601, 5, 0x84, 0x03}, {900, 5, 0x84, 0x03}, {0xFFFF, 5, 0x84, 0x03},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    PagerData data;
    data.image[kReminderIntervalOffset] = uint8_t(c.seconds & 0xFF);
    data.image[kReminderIntervalOffset + 1] = uint8_t(c.seconds >> 8);
    RemindersPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Number(kInterval), c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[kReminderIntervalOffset], c.low);
    EXPECT_EQ(data.image[kReminderIntervalOffset + 1], c.high);
  }
  // No selection stores the longest interval.
  PagerData data;
  RemindersPageModel page;
  page.Load(data);
  page.Values().Set(kInterval, -1);
  page.Store(data);
  EXPECT_EQ(data.image[kReminderIntervalOffset], 0x84);
  EXPECT_EQ(data.image[kReminderIntervalOffset + 1], 0x03);
}

TEST(RemindersPage, DurationReadsOnlyItsFirstByte) {
  using namespace reminders_key;
  struct Case {
    uint8_t first, second;
    int entry;
    uint8_t storedFirst, storedSecond;
  };
  const Case cases[] = {
      {0xFF, 0xFF, 0, 0xFF, 0xFF}, {0xFF, 0x00, 0, 0xFF, 0xFF}, {0x00, 0x00, 1, 0x08, 0x07},
      {0x08, 0x07, 1, 0x08, 0x07}, {0xFE, 0xFF, 1, 0x08, 0x07},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.first) << " " << int(c.second));
    PagerData data;
    data.image[kReminderDurationOffset] = c.first;
    data.image[kReminderDurationOffset + 1] = c.second;
    RemindersPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Number(kDuration), c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[kReminderDurationOffset], c.storedFirst);
    EXPECT_EQ(data.image[kReminderDurationOffset + 1], c.storedSecond);
  }
}

TEST(RemindersPage, StoringNeverChangesTheOtherBitsOfItsByte) {
  using namespace reminders_key;
  for (const uint8_t others : {uint8_t(0x00), uint8_t(0xFC), uint8_t(0xA4)}) {
    for (int flags = 0; flags < 4; ++flags) {
      SCOPED_TRACE(testing::Message() << "others " << int(others) << " flags " << flags);
      PagerData data;
      data.image[kReminderOptionsOffset] = others | 0x03;
      RemindersPageModel page;
      page.Load(data);
      page.Values().Set(kReminderAlert, (flags & 1) != 0);
      page.Values().Set(kUnreadIndication, (flags & 2) != 0);
      page.Store(data);
      EXPECT_EQ(data.image[kReminderOptionsOffset], others | flags);
    }
  }
}

TEST(RemindersPage, ReportSections) {
  using namespace reminders_key;
  PagerData data;
  RemindersPageModel page;
  page.Load(data);
  EXPECT_EQ(
      Section(page, data),
      (QStringList{"[Reminders]", "Unread message reminder alert: Yes", "Reminder user every   2  minute",
                   "Number of reminder beeps: Remind until message has been read", "Unread message indication: Yes"}));
  data.image[kReminderOptionsOffset] = 0xFC;
  data.image[kReminderIntervalOffset] = 0x10;  // 16 s
  data.image[kReminderIntervalOffset + 1] = 0x00;
  data.image[kReminderDurationOffset] = 0x00;
  page.Load(data);
  EXPECT_FALSE(ReminderListsEnabled(page.Values().Flag(kReminderAlert)));
  EXPECT_EQ(Section(page, data),
            (QStringList{"[Reminders]", "Unread message reminder alert: No ", "Reminder user every 30 second  ",
                         "Number of reminder beeps: Maximum 30 minute", "Unread message indication: No "}));
}

TEST(DuplicatePage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  using namespace duplicate_key;
  PagerData data;
  DuplicatePageModel page;
  page.Load(data);
  const PageValues& v = page.Values();
  EXPECT_FALSE(v.Flag(kRejection));
  EXPECT_FALSE(RejectionOptionsEnabled(v.Flag(kRejection)));
  EXPECT_EQ(EntriesOf(page, kDetectTime)[v.Number(kDetectTime)], "6 minutes");
  EXPECT_TRUE(v.Flag(kSourceIndependent));
  EXPECT_TRUE(v.Flag(kAutoDeletion));
  EXPECT_TRUE(v.Flag(kRepeatIcon));
  EXPECT_EQ(EntriesOf(page, kRepeatTone)[v.Number(kRepeatTone)], "Normal tone");
  EXPECT_EQ(StoredDefaults<DuplicatePageModel>(), PagerImage::Defaults());
}

TEST(DuplicatePage, DetectTimeLoadsAndStores) {
  using namespace duplicate_key;
  EXPECT_EQ(EntriesOf(DuplicatePageModel(), kDetectTime),
            (QStringList{"1 minute", "2 minutes", "4 minutes", "6 minutes"}));
  struct Case {
    uint8_t minutes;
    int entry;
    uint8_t stored;
  };
  const Case cases[] = {{0, 3, 6}, {1, 0, 1}, {2, 1, 2}, {3, 1, 2},  {4, 2, 4},
                        {5, 2, 4}, {6, 3, 6}, {7, 3, 6}, {255, 3, 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.minutes));
    PagerData data;
    data.image[kDetectTimeOffset] = c.minutes;
    DuplicatePageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Number(kDetectTime), c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[kDetectTimeOffset], c.stored);
  }
}

// Every combination of the page's five bits over both states of the three bits it leaves alone.
TEST(DuplicatePage, OptionBitsAndTheBitsOfAnotherPage) {
  using namespace duplicate_key;
  struct Flag {
    QString key;
    uint8_t bit;
  };
  const Flag flags[] = {{kRejection, kDuplicateRejectionBit},
                        {kRepeatIcon, kRepeatIconBit},
                        {kSourceIndependent, kSourceIndependentBit},
                        {kAutoDeletion, kAutoDeletionBit}};
  for (const uint8_t others : {uint8_t(0x00), uint8_t(0x07), uint8_t(0x05)}) {
    for (int combination = 0; combination < 32; ++combination) {
      SCOPED_TRACE(testing::Message() << "others " << int(others) << " combination " << combination);
      PagerData data;
      data.image[kDuplicateOptionsOffset] = uint8_t(0xF8 | others);  // every bit of the page set
      DuplicatePageModel page;
      page.Load(data);
      uint8_t expected = others;
      for (int i = 0; i < 4; ++i) {
        const bool on = (combination >> i & 1) != 0;
        page.Values().Set(flags[i].key, on);
        if (on) expected |= flags[i].bit;
      }
      const bool normalTone = (combination & 16) != 0;
      page.Values().Set(kRepeatTone, normalTone ? 0 : 1);
      if (normalTone) expected |= kRepeatNormalToneBit;
      page.Store(data);
      EXPECT_EQ(data.image[kDuplicateOptionsOffset], expected);
      page.Load(data);
      EXPECT_EQ(page.Values().Number(kRepeatTone), normalTone ? 0 : 1);
    }
  }
}

TEST(DuplicatePage, ReportSections) {
  using namespace duplicate_key;
  PagerData data;
  DuplicatePageModel page;
  page.Load(data);
  EXPECT_EQ(Section(page, data),
            (QStringList{"[Duplicate Message]", "Duplicate message rejection: Disable",
                         "Duplicate message detect time: 6 minutes",
                         "Enable source independent duplicated message rejection: Yes",
                         "Enable auto deletion when receiving duplicated message: Yes",
                         "Display repeat message icon: Yes", "Repeat message tone pattern: Normal tone"}));
  data.image[kDuplicateOptionsOffset] = kDuplicateRejectionBit | 0x07;
  data.image[kDetectTimeOffset] = 3;
  page.Load(data);
  EXPECT_TRUE(RejectionOptionsEnabled(page.Values().Flag(kRejection)));
  EXPECT_EQ(Section(page, data),
            (QStringList{"[Duplicate Message]", "Duplicate message rejection: Enable ",
                         "Duplicate message detect time: 2 minutes",
                         "Enable source independent duplicated message rejection: No ",
                         "Enable auto deletion when receiving duplicated message: No ",
                         "Display repeat message icon: No ", "Repeat message tone pattern: Short beep"}));
  EXPECT_EQ(data.image[kDetectTimeOffset], 2);
}
