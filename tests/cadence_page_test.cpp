// The Cadence page model: the thirteen records with their limits on load and store, the
// checks of the three number columns, and the "[Cadence]" report section.
#include <gtest/gtest.h>

#include "core/pages/cadence_page.h"
#include "core/pages/field_codecs.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::page_test;

namespace {

const CadenceNumberColumn& kM = kCadenceNumberColumns[kCadenceMColumn];
const CadenceNumberColumn& kG = kCadenceNumberColumns[kCadenceGColumn];
const CadenceNumberColumn& kDuration = kCadenceNumberColumns[kCadenceDurationColumn];

struct LoadedPage : LoadedModel<CadencePageModel> {
  int Number(const CadenceNumberColumn& column, int cadence) {
    return values().Number(CadenceNumberKey(column, cadence));
  }
};

}  // namespace

TEST(CadencePage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  struct Row {
    uint8_t pattern;
    int m, g, duration;
  };
  const Row defaults[kCadenceCount] = {
      {0xFE, 1, 0, 8},  {0xBE, 1, 0, 8},  {0xA8, 1, 0, 8},  {0xAA, 1, 1, 8},  {0xFF, 1, 1, 8},
      {0xFF, 1, 0, 12}, {0xFF, 3, 1, 11}, {0xFF, 2, 1, 11}, {0xFF, 1, 1, 11}, {0xFF, 1, 1, 11},
      {0xFF, 2, 2, 6},  {0xFF, 3, 2, 13}, {0xFF, 2, 1, 11},
  };
  LoadedPage p;
  for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
    SCOPED_TRACE(CadenceLabel(cadence).toStdString());
    const Row& row = defaults[cadence];
    for (int slot = 0; slot < kCadenceSlotCount; ++slot)
      EXPECT_EQ(p.values().Flag(CadenceSlotKey(cadence, slot)), (row.pattern & (0x80 >> slot)) != 0) << slot;
    EXPECT_EQ(p.Number(kM, cadence), row.m);
    EXPECT_EQ(p.Number(kG, cadence), row.g);
    EXPECT_EQ(p.Number(kDuration, cadence), row.duration);
  }
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

TEST(CadencePage, InitialValuesBeforeTheFirstLoad) {
  CadencePageModel page;
  for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
    EXPECT_EQ(page.Values().Number(CadenceNumberKey(kM, cadence)), 1);
    EXPECT_EQ(page.Values().Number(CadenceNumberKey(kG, cadence)), 0);
    EXPECT_EQ(page.Values().Number(CadenceNumberKey(kDuration, cadence)), 8);
    for (int slot = 0; slot < kCadenceSlotCount; ++slot)
      EXPECT_FALSE(page.Values().Flag(CadenceSlotKey(cadence, slot)));
  }
}

// M and G are kept at 3 from above only; the duration within 1 ... 60.
TEST(CadencePage, RecordBytesAreLimitedOnLoad) {
  struct Case {
    const CadenceNumberColumn* column;
    uint8_t byte;
    int loaded;  // and stored back
  };
  const Case cases[] = {
      {&kDuration, 0, 1}, {&kDuration, 200, 60}, {&kDuration, 61, 60}, {&kDuration, 60, 60},
      {&kDuration, 1, 1}, {&kM, 0, 0},           {&kM, 4, 3},          {&kM, 0xFF, 3},
      {&kG, 3, 3},        {&kG, 7, 3},           {&kG, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.column->keyName << " " << int(c.byte));
    PagerData data;
    const int at = CadenceRecordOffset(9) + c.column->recordByte;
    data.image[at] = c.byte;
    CadencePageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Number(CadenceNumberKey(*c.column, 9)), c.loaded);
    page.Store(data);
    EXPECT_EQ(data.image[at], c.loaded);
  }
}

// What Enter stores without a check: the image takes the limited value, the report shows the
// value entered.
TEST(CadencePage, EnteredValuesAreLimitedInTheImageOnly) {
  struct Case {
    const CadenceNumberColumn* column;
    int entered;
    uint8_t stored;
  };
  const Case cases[] = {{&kM, 9, 3}, {&kM, 0, 0}, {&kG, 5, 3}, {&kDuration, 0, 1}, {&kDuration, 99, 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.column->keyName << " " << c.entered);
    LoadedPage p;
    p.values().Set(CadenceNumberKey(*c.column, 0), c.entered);
    p.page.Store(p.data);
    PagerImage expected = PagerImage::Defaults();
    expected[kCadenceOffset + c.column->recordByte] = c.stored;
    EXPECT_EQ(p.data.image, expected);
    EXPECT_EQ(p.Number(*c.column, 0), c.entered);
  }
  LoadedPage p;
  p.values().Set(CadenceNumberKey(kM, 0), 9);
  p.values().Set(CadenceNumberKey(kDuration, 0), 0);
  p.page.Store(p.data);
  EXPECT_NE(ReportLines(p.page).find("\n Cadence [A]: Y Y Y Y Y Y Y N      9   0     0\n"), std::string::npos);
}

// Slot 1 is bit 0x80 down to slot 8 in bit 0x01; each box reaches its own bit alone.
TEST(CadencePage, EachSlotChangesOnlyItsOwnBit) {
  for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
    for (int slot = 0; slot < kCadenceSlotCount; ++slot) {
      SCOPED_TRACE(testing::Message() << CadenceLabel(cadence).toStdString() << " slot " << slot + 1);
      LoadedPage p;
      const QString key = CadenceSlotKey(cadence, slot);
      p.values().Set(key, !p.values().Flag(key));
      p.page.Store(p.data);
      PagerImage expected = PagerImage::Defaults();
      expected[0x130 + 4 * cadence] ^= static_cast<uint8_t>(0x80 >> slot);
      EXPECT_EQ(p.data.image, expected);
    }
  }
}

TEST(CadencePage, NumberColumnChecks) {
  struct Case {
    const CadenceNumberColumn* column;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {&kM, "0", false},          {&kM, "1", true},          {&kM, "3", true},           {&kM, "4", false},
      {&kM, "007", false},        {&kM, " 2 ", true},        {&kG, "0", true},           {&kG, "2", true},
      {&kG, "3", false},          {&kDuration, "0", false},  {&kDuration, "60", true},   {&kDuration, "61", false},
      {&kDuration, "100", false}, {&kDuration, "007", true}, {&kDuration, "   ", false}, {&kDuration, "", false},
      {&kG, "  ", false},         {&kDuration, "1x", false}, {&kDuration, "-1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.column->keyName << " '" << c.text << "'");
    EXPECT_EQ(CheckDecimalRange(QString::fromLatin1(c.text), uint32_t(c.column->checkLo), uint32_t(c.column->checkHi)),
              c.accepted);
  }
  EXPECT_EQ(kM.message, "Value must be in range 1 to 3");
  EXPECT_EQ(kG.message, "Value must be in range 0 to 2");
  EXPECT_EQ(kDuration.message, "Value must be in range 1 to 60");
  EXPECT_EQ(kM.hint, "Enter value range 1 to 3");
  EXPECT_EQ(kG.hint, "Enter gap value range 0 to 2");
  EXPECT_EQ(kDuration.hint, "Enter length value range 1 to 60");
}

TEST(CadencePage, ReportLinesOfTheDefaultImage) {
  LoadedPage p;
  p.page.Store(p.data);
  const QStringList expected = {
      "[Cadence]",
      " Cadence      1 2 3 4 5 6 7 8      Mx  Gx  Length",
      " Cadence [A]: Y Y Y Y Y Y Y N      1   0     8",
      " Cadence [B]: Y N Y Y Y Y Y N      1   0     8",
      " Cadence [C]: Y N Y N Y N N N      1   0     8",
      " Cadence [D]: Y N Y N Y N Y N      1   1     8",
      " Cadence [E]: Y Y Y Y Y Y Y Y      1   1     8",
      " Cadence [F]: Y Y Y Y Y Y Y Y      1   0    12",
      " Cadence [G]: Y Y Y Y Y Y Y Y      3   1    11",
      " Cadence [H]: Y Y Y Y Y Y Y Y      2   1    11",
      " Cadence [I]: Y Y Y Y Y Y Y Y      1   1    11",
      " Cadence [J]: Y Y Y Y Y Y Y Y      1   1    11",
      " Cadence [K]: Y Y Y Y Y Y Y Y      2   2     6",
      " Cadence [L]: Y Y Y Y Y Y Y Y      3   2    13",
      " Cadence [M]: Y Y Y Y Y Y Y Y      2   1    11",
  };
  EXPECT_EQ(ReportLines(p.page), expected.join(QLatin1Char('\n')).toStdString());
}

// The three pages through the page set as the window drives them: their sections stand on the
// printed page of their tab, the tone columns line up at the same columns in the whole report.
TEST(GridPages, WholeReportPlacesTheThreeSections) {
  PagerData data;
  data.image[0x22 + 4 * 1 + 3] = 0x1E;  // capcode 2, tone D: "Manual+Urgent", "Numeric"
  ModelPageSet pages(data, DisplayMode::Advanced);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image[0x22 + 4 * 1 + 3], 0x1E);
  const QString report =
      TextReport(DisplayMode::Advanced, [&pages](PageId id, ReportCursor& cursor) { pages.PrintSection(id, cursor); });
  const QStringList lines = report.split(QLatin1Char('\n'));
  const qsizetype pageBreak = lines.indexOf(kFormFeedLine);
  const qsizetype alerting = lines.indexOf(QStringLiteral("[Alerting]"));
  const qsizetype tones = lines.indexOf(QStringLiteral("[Tones]"));
  const qsizetype cadence = lines.indexOf(QStringLiteral("[Cadence]"));
  ASSERT_GT(pageBreak, 0) << report.toStdString();
  EXPECT_GT(alerting, 0);
  EXPECT_LT(alerting, pageBreak);
  EXPECT_GT(tones, pageBreak);
  EXPECT_GT(cadence, tones);
  EXPECT_EQ(lines[tones + 3], "  Cap-2    Normal            Normal            Normal            Manual+Urgent");
  EXPECT_EQ(lines[tones + 12], "  Cap-2    Alpha             Alpha             Alpha             Numeric  ");
}
