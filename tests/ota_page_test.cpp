// The Over The Air page model: its flag bytes, the nine command texts, ValidateCommands, the
// enable-password command check and the report section.
#include <gtest/gtest.h>

#include "core/pages/ota_page.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::page_test;

namespace {

QString K(const char* key) { return QString::fromLatin1(key); }

using LoadedPage = LoadedModel<OtaPageModel>;

QStringList DefaultCommandsInCheckOrder() {
  return {"382950417", "604718253", "815063", "930572", "147286", "RTVRTV", "WXZWXZ", "QYPQYP", "HBNHBN"};
}

}  // namespace

TEST(OtaPage, DefaultImageLoadsAsListed) {
  LoadedPage p;
  for (const FixedOtaOption& option : kFixedOtaOptions) EXPECT_FALSE(p.values().Flag(K(option.key))) << option.key;
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions)
    EXPECT_FALSE(p.values().Flag(K(option.key))) << option.key;
  const QStringList expected = DefaultCommandsInCheckOrder();
  for (int i = 0; i < kOtaCommandCount; ++i) EXPECT_EQ(p.values().Text(K(kOtaCommands[size_t(i)].key)), expected[i]);
}

// The store sets bit 0x01 of 0x89 and pads the six-character commands with three blanks; the
// tenth byte of each field stays, and nothing else changes.
TEST(OtaPage, DefaultStore) {
  LoadedPage p;
  p.page.Store(p.data);
  PagerImage expected = PagerImage::Defaults();
  expected[kFlexibleOtaOffset] = 0x01;
  for (const OtaCommand& command : kOtaCommands)
    for (int i = 0; i < kOtaCommandLength; ++i)
      if (expected[command.offset + i] == 0) expected[command.offset + i] = ' ';
  EXPECT_EQ(p.data.image, expected);
  EXPECT_EQ(Bytes(p.data.image, 0xA6, 10), (std::vector<uint8_t>{'8', '1', '5', '0', '6', '3', ' ', ' ', ' ', 0}));
  EXPECT_EQ(p.values().Text(K("turnOffDeleteCommand")), "815063   ");
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Text(K("turnOffDeleteCommand")), "815063");
}

TEST(OtaPage, FlagsKeepTheBitsOfOtherPagesAndTheTenthBytes) {
  LoadedPage p;
  p.data.image[kFixedOtaOffset] = 0x0F;
  p.data.image[kFlexibleOtaOffset] = 0x02;
  for (const OtaCommand& command : kOtaCommands) p.data.image[command.offset + kOtaCommandLength] = 0xEE;
  p.page.Load(p.data);
  for (const FixedOtaOption& option : kFixedOtaOptions) p.values().Set(K(option.key), true);
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions) p.values().Set(K(option.key), true);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kFixedOtaOffset], 0xFF);
  EXPECT_EQ(p.data.image[kFlexibleOtaOffset], 0xFF);
  for (const FixedOtaOption& option : kFixedOtaOptions) p.values().Set(K(option.key), false);
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions) p.values().Set(K(option.key), false);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kFixedOtaOffset], 0x0F);
  EXPECT_EQ(p.data.image[kFlexibleOtaOffset], 0x03);  // the always-set bit stays set
  for (const OtaCommand& command : kOtaCommands) EXPECT_EQ(p.data.image[command.offset + kOtaCommandLength], 0xEE);
}

TEST(OtaPage, EachOptionOwnsItsBit) {
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions) {
    SCOPED_TRACE(option.key);
    LoadedPage p;
    p.values().Set(K(option.key), true);
    p.page.Store(p.data);
    EXPECT_EQ(p.data.image[kFlexibleOtaOffset], option.bit | kOtaAlwaysSetBit);
  }
  for (const FixedOtaOption& option : kFixedOtaOptions) {
    SCOPED_TRACE(option.key);
    LoadedPage p;
    p.values().Set(K(option.key), true);
    p.page.Store(p.data);
    EXPECT_EQ(p.data.image[kFixedOtaOffset], option.bit);
  }
}

TEST(OtaPage, UsableCommandTexts) {
  struct Case {
    QString text;
    int usable;
  };
  const Case cases[] = {
      {QStringLiteral("ABC"), 3},
      {QStringLiteral("ABCD"), 4},
      {QStringLiteral("123456789"), 9},
      {QStringLiteral("  ABCDE  "), 5},  // blanks at the ends do not count
      {QStringLiteral("AB CDEF"), 2},    // an inner blank ends the count
      {QStringLiteral("ABC\tDEF"), 3},   // so does a control character
      {QStringLiteral("ABC") + QChar(0x80) + QStringLiteral("DEF"), 3},
      {QStringLiteral("ABCD") + QChar(0xE9), 4},
      {QChar(0xA0) + QStringLiteral("ABCD"), 0},  // no white space of the pager's: it counts as a byte
      {QStringLiteral("\tABCD\r\n"), 4},
      {QString(), 0},
      {QStringLiteral("~!@#"), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    EXPECT_EQ(UsableCommandLength(c.text), c.usable);
    EXPECT_EQ(IsUsableCommand(c.text), c.usable >= 4 && c.usable <= 9);
  }
  EXPECT_FALSE(IsUsableCommand(QStringLiteral("1234567890")));  // more than the edit box takes
}

TEST(OtaPage, ValidateCommandsFailsOnAnyUnusableText) {
  const QStringList good = DefaultCommandsInCheckOrder();
  EXPECT_TRUE(ValidateCommands(good));
  for (int i = 0; i < kOtaCommandCount; ++i) {
    SCOPED_TRACE(i);
    QStringList texts = good;
    texts[i] = QStringLiteral("RTV");
    EXPECT_FALSE(ValidateCommands(texts));
    texts[i] = QStringLiteral("RTVR");
    EXPECT_TRUE(ValidateCommands(texts));
  }
}

TEST(OtaPage, EnablePasswordCommandCheck) {
  struct Case {
    const char* typed;
    bool accepted;
    const char* variable;  // after the check
    const char* lastAccepted;
  };
  const Case cases[] = {
      {"12", true, "12", "120000"},         {"", true, "", "000000"},
      {"1234AB", true, "1234AB", "1234AB"}, {"AB", false, "147286", "147286"},
      {"123A", false, "147286", "147286"},  {" 1234", false, "147286", "147286"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    LoadedPage p;
    p.page.BeginPasswordCommandEdit();
    p.values().Set(ota_key::kEnablePasswordCommand, QString::fromLatin1(c.typed));
    EXPECT_EQ(p.page.CheckPasswordCommand(), c.accepted);
    EXPECT_EQ(p.values().Text(ota_key::kEnablePasswordCommand), c.variable);
    EXPECT_EQ(p.page.LastAcceptedPasswordCommand(), c.lastAccepted);
  }
}

TEST(OtaPage, RefusedEntryGoesBackToTheLastAcceptedOne) {
  LoadedPage p;
  p.page.BeginPasswordCommandEdit();
  p.values().Set(ota_key::kEnablePasswordCommand, QStringLiteral("55"));
  ASSERT_TRUE(p.page.CheckPasswordCommand());
  // Without leaving and entering again, a refused entry brings back the padded accepted text.
  p.values().Set(ota_key::kEnablePasswordCommand, QStringLiteral("XY"));
  EXPECT_FALSE(p.page.CheckPasswordCommand());
  EXPECT_EQ(p.values().Text(ota_key::kEnablePasswordCommand), "550000");
}

TEST(OtaPage, ReportSection) {
  LoadedPage p;
  p.values().Set(K("otaSetCapcode"), true);
  p.values().Set(K("otaDisable"), true);
  p.values().Set(K("cadenceKCommand"), QStringLiteral("ABCD"));
  p.page.Store(p.data);
  TextReportCursor report;
  report.BeginPage();
  p.page.PrintSection(report);
  report.EndPage();
  EXPECT_EQ(report.Lines(),
            (QStringList{QStringLiteral("[Over The Air]"), QStringLiteral("Allow OTA command to set the time: No "),
                         QStringLiteral("Allow OTA command to set Cap code and baud rate: Yes"),
                         QStringLiteral("Allow OTA command to enable/disable Address & Function: No "),
                         QStringLiteral("Allow OTA to set the alert: No "),
                         QStringLiteral("Allow OTA to turn the pager off: No  [382950417]"),
                         QStringLiteral("Allow OTA to delete the message: No  [604718253]"),
                         QStringLiteral("Allow OTA to turn the pager of and delete the message: No  [815063   ]"),
                         QStringLiteral("Allow OTA to able/disable OTA: Yes [930572   ]"),
                         QStringLiteral("Allow OTA to enable message password: No  [147286   ]"),
                         QStringLiteral("Allow OTA to set the special cadence: No "),
                         QStringLiteral("  Cadence J[RTVRTV   ]  K[ABCD     ]  L[QYPQYP   ]  M[HBNHBN   ]")}));
}
