// The Basic page model: load and store of its fields, the text slots, the enabling rule, the
// advance-setting password and the "[Main]" report section.
#include <gtest/gtest.h>

#include <cstring>

#include "core/pages/basic_page.h"
#include "core/pages/capcode.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::basic_key;
using namespace m84::page_test;

namespace {

std::vector<uint8_t> Latin1(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

using LoadedPage = LoadedModel<BasicPageModel>;

}  // namespace

TEST(BasicPage, DefaultImageLoadsAsListed) {
  LoadedPage p;
  const PageValues& v = p.values();
  const int frames[kCapcodeRowCount] = {7, 0, 1, 2, 3, 4, 5, 6};
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(v.Number(capcode_key::Capcode(row)), 1234567 + row);
    EXPECT_EQ(v.Number(capcode_key::Frame(row)), frames[row]);
    EXPECT_TRUE(v.Flag(capcode_key::Enable(row)));
    EXPECT_EQ(v.Number(capcode_key::Step(row)), SelectionState::kAutoIncrementDefault);
    EXPECT_FALSE(v.Has(capcode_key::Private(row)));
  }
  EXPECT_EQ(v.Text(kStartupText), "Welcome to M84");
  EXPECT_EQ(v.Text(kStandbyText1), "DR. Nora Clifts");
  EXPECT_EQ(v.Text(kStandbyText2), "Welcome to M84");
  EXPECT_FALSE(v.Flag(kShowDate));
  EXPECT_TRUE(v.Flag(kShowTime));
  EXPECT_FALSE(v.Flag(kAlternativeScreen));
  EXPECT_TRUE(StandbyText1Enabled(v.Flag(kShowDate), v.Flag(kAlternativeScreen)));
  EXPECT_FALSE(StandbyText2Enabled(v.Flag(kAlternativeScreen)));
}

TEST(BasicPage, DefaultImageStoresBackUnchanged) {
  LoadedPage p;
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
  EXPECT_EQ(p.data.selection, SelectionState());
}

TEST(BasicPage, StandbyTextEnablingRule) {
  struct Case {
    bool date, alternative, line1, line2;
  };
  for (const Case& c : {Case{false, false, true, false}, Case{true, false, false, false}, Case{false, true, true, true},
                        Case{true, true, true, true}}) {
    SCOPED_TRACE(testing::Message() << "date " << c.date << " alternative " << c.alternative);
    EXPECT_EQ(StandbyText1Enabled(c.date, c.alternative), c.line1);
    EXPECT_EQ(StandbyText2Enabled(c.alternative), c.line2);
  }
}

// Each text slot is 16 bytes of which the page writes 15; the 16th belongs to nobody here.
TEST(BasicPage, TextsFillFifteenBytesAndKeepTheSixteenth) {
  struct Case {
    const char* typed;
    std::vector<uint8_t> field;  // the first 15 bytes after the store
    const char* variable;        // after the store, and after a reload
  };
  const std::vector<uint8_t> fifteen = Latin1("ABCDEFGHIJKLMNO");
  std::vector<uint8_t> fourteen = Latin1("Welcome to M84");
  fourteen.push_back(0);
  std::vector<uint8_t> blanks = Latin1("Hi   ");
  blanks.resize(kBasicTextLength, 0);
  const Case cases[] = {
      {"ABCDEFGHIJKLMNO", fifteen, "ABCDEFGHIJKLMNO"},
      {"Welcome to M84", fourteen, "Welcome to M84"},
      {"Hi   ", blanks, "Hi"},
      {"", std::vector<uint8_t>(kBasicTextLength, 0), ""},
  };
  const std::pair<QString, int> fields[] = {
      {kStartupText, kStartupTextOffset}, {kStandbyText1, kStandbyText1Offset}, {kStandbyText2, kStandbyText2Offset}};
  for (const Case& c : cases) {
    for (const auto& [key, offset] : fields) {
      SCOPED_TRACE(testing::Message() << key.toStdString() << " '" << c.typed << "'");
      LoadedPage p;
      p.data.image[offset + kBasicTextLength] = 0xA5;
      p.values().Set(key, QString::fromLatin1(c.typed));
      p.page.Store(p.data);
      EXPECT_EQ(Bytes(p.data.image, offset, kBasicTextLength), c.field);
      EXPECT_EQ(p.data.image[offset + kBasicTextLength], 0xA5);
      EXPECT_EQ(p.values().Text(key), c.variable);
      p.page.Load(p.data);
      EXPECT_EQ(p.values().Text(key), c.variable);
    }
  }
}

TEST(BasicPage, CapcodesKeepTheBitsOfOtherPages) {
  LoadedPage p;
  const int at = CapcodeFieldOffset(3);
  p.data.image[at] |= kCapcodePrivateBit | 0x30;  // not private, and two bits of another page
  p.values().Set(capcode_key::Enable(3), false);
  p.values().Set(capcode_key::Capcode(3), 2097151);
  p.page.Store(p.data);
  EXPECT_EQ(Bytes(p.data.image, at, 4), (std::vector<uint8_t>{0xF2, 0x09, 0x71, 0x51}));

  p.values().Set(capcode_key::Enable(3), true);
  p.values().Set(capcode_key::Capcode(3), 8);
  p.page.Store(p.data);
  EXPECT_EQ(Bytes(p.data.image, at, 4), (std::vector<uint8_t>{0x70, 0x00, 0x00, 0x08}));
}

TEST(BasicPage, CapcodeOutOfRangeLoadsAsEight) {
  PagerData data;
  const uint8_t beyond[] = {0x02, 0x09, 0x71, 0x52};
  std::copy(std::begin(beyond), std::end(beyond), data.image.data() + CapcodeFieldOffset(0));
  BasicPageModel page;
  page.Load(data);
  EXPECT_EQ(page.Values().Number(capcode_key::Capcode(0)), 8);
  EXPECT_EQ(page.Values().Number(capcode_key::Frame(0)), 0);
}

TEST(BasicPage, DisplayFlagsTouchOnlyTheirBits) {
  LoadedPage p;
  p.data.image[kDisplayOptionsOffset] = 0x7D;  // every bit but the two of this page's
  p.data.image[kAlternativeScreenOffset] = 0xFE;
  p.values().Set(kShowDate, true);
  p.values().Set(kShowTime, true);
  p.values().Set(kAlternativeScreen, true);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kDisplayOptionsOffset], 0xFF);
  EXPECT_EQ(p.data.image[kAlternativeScreenOffset], 0xFF);

  p.values().Set(kShowDate, false);
  p.values().Set(kShowTime, false);
  p.values().Set(kAlternativeScreen, false);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kDisplayOptionsOffset], 0x7D);
  EXPECT_EQ(p.data.image[kAlternativeScreenOffset], 0xFE);
}

// The Auto Increment selections share the General page's bytes 0-7; byte 8 is the General
// page's own switch.
TEST(BasicPage, SelectionBytesZeroToSevenOnly) {
  LoadedPage p;
  p.data.selection[SelectionState::kKeepSerialByte] = 0;
  p.data.selection[9] = 0x55;
  for (int row = 0; row < kCapcodeRowCount; ++row) p.values().Set(capcode_key::Step(row), row % 5);
  p.page.Store(p.data);
  for (int row = 0; row < kCapcodeRowCount; ++row) EXPECT_EQ(p.data.selection[row], row % 5);
  EXPECT_EQ(p.data.selection[SelectionState::kKeepSerialByte], 0);
  EXPECT_EQ(p.data.selection[9], 0x55);
}

TEST(BasicPage, AdvancePasswordComparedCharacterForCharacter) {
  const QString right = QStringLiteral("M84Service");
  struct Case {
    QString typed;
    bool accepted;
  };
  const Case cases[] = {
      {right, true},
      {right + QStringLiteral("X"), false},  // eleven characters starting right
      {right.left(9), false},                // one short
      {right.toLower(), false},              // letter case matters
      {right.toUpper(), false},
      {QStringLiteral("M84Servic3"), false},
      {QString(), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    EXPECT_EQ(IsAdvancePassword(c.typed), c.accepted);
    BasicPageModel page;
    page.Values().Set(kPassword, c.typed);
    EXPECT_EQ(page.PasswordAccepted(), c.accepted);
  }
}

TEST(BasicPage, ReportOfTheDefaultImage) {
  PagerData data;
  ModelPageSet pages(data, DisplayMode::Basic);
  pages.ExchangeAllPages(Direction::Load);
  const QString report =
      TextReport(DisplayMode::Basic, [&pages](PageId id, ReportCursor& cursor) { pages.PrintSection(id, cursor); });
  QStringList lines = report.split(QLatin1Char('\n'));
  const int main = int(lines.indexOf(QStringLiteral("[Main]")));
  ASSERT_GE(main, 0) << report.toStdString();
  const QStringList expected = {
      "[Main]",
      "Number  Enable  Capcode  Frame",
      "   1       On     1234567    7",
      "   2       On     1234568    0",
      "   3       On     1234569    1",
      "   4       On     1234570    2",
      "   5       On     1234571    3",
      "   6       On     1234572    4",
      "   7       On     1234573    5",
      "   8       On     1234574    6",
      "Startup text: [Welcome to M84]",
      "Display current Date: No ",
      "Display current Time: Yes",
      "Standby text 1: [DR. Nora Clifts]",
      "Display alternative screen: No ",
      "Standby text 2: [Welcome to M84]",
  };
  EXPECT_EQ(lines.mid(main, expected.size()), expected);
  // One printed page, and nothing of the tab pages.
  EXPECT_FALSE(lines.contains(kFormFeedLine));
  EXPECT_FALSE(report.contains(QStringLiteral("[General]")));
}

// Basic mode drives the Basic page alone: a store leaves the General page's fields as they were.
TEST(BasicPage, BasicModeStoresOnlyThisPage) {
  PagerData data;
  data.image[0x42] = 0xEE;  // a frequency byte the General page would write back
  ModelPageSet pages(data, DisplayMode::Basic);
  pages.ExchangeAllPages(Direction::Load);
  pages.Page(PageId::Basic).Values().Set(kStartupText, QStringLiteral("Hello"));
  pages.ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image[0x42], 0xEE);
  EXPECT_EQ(Bytes(data.image, kStartupTextOffset, 6), (std::vector<uint8_t>{'H', 'e', 'l', 'l', 'o', 0}));
}

// A standby text ending in 0xA0 keeps that byte through a load and a store.
TEST(BasicPage, TextEndingInANonBreakingSpaceKeepsIt) {
  PagerData data;
  data.image[kStandbyText1Offset + 2] = 0xA0;
  data.image[kStandbyText1Offset + 3] = 0;
  BasicPageModel page;
  page.Load(data);
  EXPECT_EQ(page.Values().Text(basic_key::kStandbyText1), QStringLiteral("DR") + QChar(0xA0));
  PagerData stored;
  page.Store(stored);
  EXPECT_EQ(stored.image[kStandbyText1Offset + 2], 0xA0);
  EXPECT_EQ(stored.image[kStandbyText1Offset + 3], 0);
}
