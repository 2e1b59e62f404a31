// The Out of Range / Display Cap page model: the flag bytes beside other pages' bits, the detect
// time, the twelve code names and the report section.
#include <gtest/gtest.h>

#include "core/pages/out_of_range_page.h"
#include "core/report/text_report.h"

using namespace m84;
using namespace m84::out_of_range_key;

namespace {

struct LoadedPage {
  PagerData data;
  OutOfRangePageModel page;
  LoadedPage() { page.Load(data); }
  PageValues& values() { return page.Values(); }
};

QByteArray Field(const PagerImage& image, int offset, int n) {
  return QByteArray(reinterpret_cast<const char*>(image.data()) + offset, n);
}

QStringList ReportOf(OutOfRangePageModel& page, PagerData& data) {
  page.Store(data);
  TextReportCursor report;
  report.BeginPage();
  page.PrintSection(report);
  report.EndPage();
  return report.Lines();
}

}  // namespace

TEST(OutOfRangePage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  const PageValues& v = p.values();
  EXPECT_FALSE(v.Flag(kEnable));
  EXPECT_FALSE(OutOfRangeOptionsEnabled(v));
  EXPECT_TRUE(v.Flag(kWarning));
  EXPECT_FALSE(v.Flag(kVibrate));
  EXPECT_EQ(kShowIconEntries[v.Number(kShowIcon)], " In Range");
  EXPECT_EQ(kRangeDetectTimeEntries[v.Number(kDetectTime)], "2 minutes");
  EXPECT_TRUE(v.Flag(kDisplayText));
  EXPECT_TRUE(CodeNamesEnabled(v));
  for (int capcode = 1; capcode <= kCapcodeNameCount; ++capcode)
    EXPECT_EQ(v.Text(CapcodeName(capcode)), QStringLiteral("CAP -%1").arg(capcode));
  for (int beep = 0; beep < kBeepCodeNameCount; ++beep)
    EXPECT_EQ(v.Text(BeepCodeName(beep)), QStringLiteral("BEEP-") + BeepCodeLetter(beep));
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

// Byte 0x70 as the image holds it: the entry shown and the byte a store leaves.
TEST(OutOfRangePage, DetectTimeLoadAndStoreCases) {
  struct Case {
    uint8_t byte;
    const char* entry;
    uint8_t stored;
  };
  const Case cases[] = {
      {1, "1 minute", 1},    {2, "2 minutes", 2},    {3, "2 minutes", 2},
      {4, "4 minutes", 4},   {5, "4 minutes", 4},    {0, "30 minutes", 30},
      {6, "30 minutes", 30}, {30, "30 minutes", 30}, {255, "30 minutes", 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.byte));
    PagerData data;
    data.image[kRangeDetectTimeOffset] = c.byte;
    OutOfRangePageModel page;
    page.Load(data);
    EXPECT_EQ(kRangeDetectTimeEntries[page.Values().Number(kDetectTime)], c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[kRangeDetectTimeOffset], c.stored);
  }
  EXPECT_EQ(RangeDetectTimeMinutes(-1), 30);  // no selection
}

// The page's bits of 0x84 and 0x8A change; the others stay, whatever they hold.
TEST(OutOfRangePage, StoreKeepsTheOtherPagesBits) {
  struct Case {
    uint8_t before84, before8A;
    bool enable, warning, vibrate, displayText;
    int showIcon;
    uint8_t after84, after8A;
  };
  const Case cases[] = {
      {0x00, 0x00, true, false, true, true, 0, 0xD0, 0x08},
      {0x0F, 0xFF, false, true, false, false, 1, 0x2F, 0xF7},
      {0xFF, 0xF7, true, true, true, true, -1, 0xBF, 0xFF},  // no selection clears 0x40
      {0x05, 0x0A, false, false, false, false, 0, 0x45, 0x02},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << int(c.before84) << ' ' << int(c.before8A));
    LoadedPage p;
    p.data.image[kOutOfRangeOffset] = c.before84;
    p.data.image[kDisplayTextOptionsOffset] = c.before8A;
    p.values().Set(kEnable, c.enable);
    p.values().Set(kWarning, c.warning);
    p.values().Set(kVibrate, c.vibrate);
    p.values().Set(kDisplayText, c.displayText);
    p.values().Set(kShowIcon, c.showIcon);
    p.page.Store(p.data);
    EXPECT_EQ(p.data.image[kOutOfRangeOffset], c.after84);
    EXPECT_EQ(p.data.image[kDisplayTextOptionsOffset], c.after8A);
    p.page.Load(p.data);
    EXPECT_EQ(OutOfRangeOptionsEnabled(p.values()), c.enable);
    EXPECT_EQ(CodeNamesEnabled(p.values()), c.displayText);
    EXPECT_EQ(p.values().Number(kShowIcon), c.showIcon == 0 ? 0 : 1);
  }
}

TEST(OutOfRangePage, NamesAreSixBytesSevenApart) {
  LoadedPage p;
  p.data.image[kCapcodeNameOffset + 6] = 0xAB;  // the byte after cap code 1's name
  p.values().Set(CapcodeName(1), QStringLiteral("Hi"));
  p.values().Set(CapcodeName(8), QStringLiteral("Seventh"));
  p.values().Set(BeepCodeName(3), QStringLiteral("D"));
  p.page.Store(p.data);
  EXPECT_EQ(Field(p.data.image, kCapcodeNameOffset, 7), QByteArray("Hi    \xAB"));
  EXPECT_EQ(p.values().Text(CapcodeName(1)), "Hi    ");
  EXPECT_EQ(Field(p.data.image, 0x1A5, 7), QByteArray("Sevent\0", 7));
  EXPECT_EQ(Field(p.data.image, 0x1C1, 7), QByteArray("D     \0", 7));
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Text(CapcodeName(1)), "Hi");
  EXPECT_EQ(p.values().Text(CapcodeName(8)), "Sevent");
  EXPECT_EQ(p.values().Text(BeepCodeName(3)), "D");
  EXPECT_EQ(p.values().Text(CapcodeName(4)), "CAP -4");
  EXPECT_EQ(p.values().Text(BeepCodeName(1)), "BEEP-B");
}

TEST(OutOfRangePage, ReportLines) {
  LoadedPage p;
  const QStringList defaults = {
      "[Out of Range & Display Cap]",
      "In/Out of Range check: Disable",
      "Enable warning message when out of range: Yes",
      "Enable vibrate when out of range: No ",
      "Show icon when  In Range",
      "Range detect time: 2 minutes",
      "Display text for capcode and beep code: Yes",
      "Cap code 1 description: [CAP -1]",
      "Cap code 2 description: [CAP -2]",
      "Cap code 3 description: [CAP -3]",
      "Cap code 4 description: [CAP -4]",
      "Cap code 5 description: [CAP -5]",
      "Cap code 6 description: [CAP -6]",
      "Cap code 7 description: [CAP -7]",
      "Cap code 8 description: [CAP -8]",
      "Beep code A description: [BEEP-A]",
      "Beep code B description: [BEEP-B]",
      "Beep code C description: [BEEP-C]",
      "Beep code D description: [BEEP-D]",
  };
  EXPECT_EQ(ReportOf(p.page, p.data), defaults);

  p.values().Set(kEnable, true);
  p.values().Set(kVibrate, true);
  p.values().Set(kWarning, false);
  p.values().Set(kShowIcon, 1);
  p.values().Set(kDetectTime, 3);
  p.values().Set(kDisplayText, false);
  p.values().Set(CapcodeName(2), QStringLiteral("Ab"));
  QStringList changed = defaults;
  changed[1] = "In/Out of Range check: Enable ";
  changed[2] = "Enable warning message when out of range: No ";
  changed[3] = "Enable vibrate when out of range: Yes";
  changed[4] = "Show icon when Out Range";
  changed[5] = "Range detect time: 30 minutes";
  changed[6] = "Display text for capcode and beep code: No ";
  changed[8] = "Cap code 2 description: [Ab    ]";
  EXPECT_EQ(ReportOf(p.page, p.data), changed);
}
