// The Hand Program / Canned MSG page model: its flag byte, the password and the twenty texts,
// the enabling rules and the two-column report section.
#include <gtest/gtest.h>

#include "core/pages/canned_page.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::canned_key;
using namespace m84::page_test;

namespace {

using LoadedPage = LoadedModel<CannedPageModel>;

QString DefaultCanned(int n) {
  return QStringLiteral("M82 CANNED MESSAGE ADDRESS -%1").arg(n, 2, 10, QLatin1Char('0'));
}

}  // namespace

TEST(CannedPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  const PageValues& v = p.values();
  EXPECT_TRUE(v.Flag(kHandProgramming));
  EXPECT_TRUE(v.Flag(kRequirePassword));
  EXPECT_TRUE(v.Flag(kCannedEnable));
  EXPECT_TRUE(HandPasswordEnabled(v));
  EXPECT_TRUE(CannedTextsEnabled(v));
  EXPECT_EQ(v.Text(kPassword), "9462");
  for (int n = 1; n <= kCannedCount; ++n) EXPECT_EQ(v.Text(Canned(n)), DefaultCanned(n)) << n;
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

TEST(CannedPage, PasswordNeedsBothSwitches) {
  PageValues v;
  v.Set(kHandProgramming, false);
  v.Set(kRequirePassword, true);
  EXPECT_FALSE(RequirePasswordEnabled(v));
  EXPECT_FALSE(HandPasswordEnabled(v));
  v.Set(kHandProgramming, true);
  EXPECT_TRUE(RequirePasswordEnabled(v));
  EXPECT_TRUE(HandPasswordEnabled(v));
  v.Set(kRequirePassword, false);
  EXPECT_FALSE(HandPasswordEnabled(v));
}

TEST(CannedPage, FlagsKeepTheBitsOfOtherPages) {
  LoadedPage p;
  p.data.image[kCannedOptionsOffset] = 0x3D;  // all but this page's 0x80, 0x40 and 0x02
  p.page.Load(p.data);
  EXPECT_FALSE(p.values().Flag(kHandProgramming));
  EXPECT_FALSE(p.values().Flag(kRequirePassword));
  EXPECT_FALSE(p.values().Flag(kCannedEnable));
  for (const QString& key : {kHandProgramming, kRequirePassword, kCannedEnable}) p.values().Set(key, true);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kCannedOptionsOffset], 0xFF);
}

TEST(CannedPage, TextsFillTheirFieldsAndLeaveTheBytesAfterThem) {
  LoadedPage p;
  const int fifth = kCannedOffset + kCannedStride * 4;
  p.data.image[fifth + 30] = 0xA5;
  p.data.image[fifth + 31] = 0x5A;
  p.data.image[kHandPasswordOffset + kHandPasswordLength] = 0x77;
  const QString full = QStringLiteral("123456789012345678901234567890");
  p.values().Set(Canned(5), full);
  p.values().Set(kPassword, QStringLiteral("42"));
  p.page.Store(p.data);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(p.data.image.data() + fifth), 30), full.toLatin1());
  EXPECT_EQ(Bytes(p.data.image, fifth + 30, 2), (std::vector<uint8_t>{0xA5, 0x5A}));
  EXPECT_EQ(Bytes(p.data.image, kHandPasswordOffset, 5), (std::vector<uint8_t>{'4', '2', ' ', ' ', 0x77}));
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Text(Canned(5)), full);
  EXPECT_EQ(p.values().Text(kPassword), "42");
}

TEST(CannedPage, ReportPrintsTheTextsInTwoColumns) {
  LoadedPage p;
  p.values().Set(kPassword, QStringLiteral("42"));
  p.values().Set(kRequirePassword, false);
  p.values().Set(Canned(11), QStringLiteral("short"));
  p.page.Store(p.data);

  TextReportCursor report;
  report.BeginPage();
  p.page.PrintSection(report);
  const int endLine = report.LinePosition();
  report.EndPage();

  QStringList expected = {QStringLiteral("[Hand Program & Canned MSG]"), QStringLiteral("Hand programming: Enable "),
                          QStringLiteral("Require password: No   password[42  ]"),
                          QStringLiteral("Canned message: Enable ")};
  for (int n = 1; n <= 10; ++n) {
    const QString left = QStringLiteral("  Canned-%1:%2[%3]").arg(n).arg(n < 10 ? "  " : " ").arg(DefaultCanned(n));
    const QString rightText = n == 1 ? QStringLiteral("short").leftJustified(kCannedLength) : DefaultCanned(n + 10);
    expected << left.leftJustified(kCannedRightColumn) + QStringLiteral("  Canned-%1: [%2]").arg(n + 10).arg(rightText);
  }
  EXPECT_EQ(report.Lines(), expected);
  // The section ends on the line of Canned-10 and Canned-20.
  EXPECT_EQ(endLine, kPageMargin + 14 * TextReportCursor::kGridLineHeight);
}
