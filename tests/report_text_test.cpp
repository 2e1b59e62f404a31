#include <gtest/gtest.h>

#include <QStringList>
#include <map>

#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"
#include "report_text_helpers.h"

using namespace m84;

namespace {

const QString kTitleLine = QString(20, QLatin1Char(' ')) + kReportTitle;  // (1800 - 600) / 60
const QString kFooterIndent(50, QLatin1Char(' '));                        // (3600 - 600) / 60

QString Padded(const QString& left, int column, const QString& right) {
  return left.leftJustified(column, QLatin1Char(' ')) + right;
}

// Stand-in sections drawn the ways real ones do: a plain list, a second column beside the first
// (back to a remembered line), and pieces of one line at fixed columns.
std::map<PageId, std::function<void(ReportCursor&)>> FakeSections() {
  return {
      {PageId::General,
       [](ReportCursor& r) {
         r.PrintLine(QStringLiteral("[Folder]"));
         const int top = r.LinePosition();
         r.PrintLine(QStringLiteral("Number Enable"));
         r.PrintLine(QStringLiteral("  1    Enable "));
         r.PrintLine(QStringLiteral("  2    Disable"));
         r.ReturnToLine(top);
         for (const char* text : {"Number Enable", "  7    Disable", "  8    Enable "}) {
           r.y += r.lineHeight;
           r.DrawColumn(60, QString::fromLatin1(text));
         }
       }},
      {PageId::Display,
       [](ReportCursor& r) {
         r.PrintLine(QStringLiteral("[Tones]"));
         r.PrintLine(QStringLiteral("  Cap-1    Alpha  "));
         r.DrawColumn(29, QStringLiteral("Numeric  "));
         r.DrawColumn(47, QStringLiteral("Alpha  "));
       }},
      {PageId::Basic,
       [](ReportCursor& r) {
         r.PrintLine(QStringLiteral("[Main]"));
         r.PrintLine(QStringLiteral("Display current Date: No "));
       }},
  };
}

// Pages without a stand-in print their number as a heading.
SectionPrinter Printer() {
  return [sections = FakeSections()](PageId id, ReportCursor& report) {
    const auto found = sections.find(id);
    if (found != sections.end())
      found->second(report);
    else
      report.PrintLine(QStringLiteral("[%1]").arg(static_cast<int>(id)));
  };
}

QStringList HeadingsOf(std::initializer_list<PageId> ids) {
  QStringList lines;
  for (PageId id : ids) lines << QString() << QStringLiteral("[%1]").arg(static_cast<int>(id));
  return lines;
}

}  // namespace

TEST(TextReport, AdvancedModeLaysBothPagesLineForLine) {
  QStringList expected = {kTitleLine,
                          QString(),
                          QStringLiteral("[Folder]"),
                          Padded(QStringLiteral("Number Enable"), 60, QStringLiteral("Number Enable")),
                          Padded(QStringLiteral("  1    Enable "), 60, QStringLiteral("  7    Disable")),
                          Padded(QStringLiteral("  2    Disable"), 60, QStringLiteral("  8    Enable ")),
                          QString(),
                          QStringLiteral("[Tones]"),
                          Padded(Padded(QStringLiteral("  Cap-1    Alpha  "), 29, QStringLiteral("Numeric  ")), 47,
                                 QStringLiteral("Alpha  "))};
  expected << HeadingsOf({PageId::Alerting, PageId::NameMisc, PageId::Reminders, PageId::Duplicate});
  expected << QString() << kFooterIndent + QStringLiteral(" Page 1 ") << kFormFeedLine << kTitleLine;
  expected << HeadingsOf(
      {PageId::Folders, PageId::OutOfRange, PageId::Ota, PageId::Canned, PageId::Tones, PageId::Cadence});
  expected << QString() << kFooterIndent + QStringLiteral(" Page 2 ");

  TextReportCursor report;
  PrintAllSections(report, DisplayMode::Advanced, Printer());
  EXPECT_EQ(report.Lines(), expected);
}

TEST(TextReport, BasicModeIsOnePageWithoutFooter) {
  EXPECT_EQ(TextReport(DisplayMode::Basic, Printer()),
            kTitleLine + QStringLiteral("\n\n[Main]\nDisplay current Date: No \n"));
}

TEST(TextReport, GeneralSectionOfTheDefaultImage) {
  PagerData data;
  ModelPageSet pages(data, DisplayMode::Advanced);
  pages.ExchangeAllPages(Direction::Load);
  const QString report =
      TextReport(DisplayMode::Advanced, [&pages](PageId id, ReportCursor& r) { pages.PrintSection(id, r); });
  EXPECT_EQ(SectionLines(report, QStringLiteral("[General]")),
            (QStringList{QStringLiteral("[General]"), QStringLiteral("Number  Private  Enable  Capcode  Frame"),
                         QStringLiteral("   1       Y      On     1234567    7"),
                         QStringLiteral("   2       Y      On     1234568    0"),
                         QStringLiteral("   3       Y      On     1234569    1"),
                         QStringLiteral("   4       Y      On     1234570    2"),
                         QStringLiteral("   5       Y      On     1234571    3"),
                         QStringLiteral("   6       Y      On     1234572    4"),
                         QStringLiteral("   7       Y      On     1234573    5"),
                         QStringLiteral("   8       Y      On     1234574    6"),
                         QStringLiteral("Serial Number: [1234567890]"),
                         QStringLiteral("Frequency: 457.5750MHz, Band: 454-462 MHz"),
                         QStringLiteral("Baud Rate:   512bps"), QStringLiteral("POCSAG Polarity: Standard")}));
  // The section printed what the image holds: printing stored each page first and changed
  // nothing a plain store pass would not (some pages pad their texts or set a bit on a store).
  PagerData stored;
  ModelPageSet storePass(stored, DisplayMode::Advanced);
  storePass.ExchangeAllPages(Direction::Load);
  storePass.ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image, stored.image);
}
