#include <gtest/gtest.h>

#include <QStringList>
#include <vector>

#include "core/report/report_layout.h"

using namespace m84;

namespace {

struct Drawn {
  int page;
  int x;
  int y;
  QString text;
};

// Records every text with its position and the page it fell on.
class RecordingCursor : public ReportCursor {
 public:
  explicit RecordingCursor(int height, int width = 50) {
    lineHeight = height;
    charWidth = width;
  }
  void DrawText(int textX, int textY, const QString& text) override {
    drawn.push_back({open ? pagesBegun : -1, textX, textY, text});
  }
  void BeginPage() override {
    EXPECT_FALSE(open) << "page begun before the last one ended";
    open = true;
    ++pagesBegun;
  }
  bool EndPage() override {
    EXPECT_TRUE(open);
    open = false;
    ++pagesEnded;
    return pagesEnded != failEndOfPage;
  }

  std::vector<Drawn> drawn;
  int pagesBegun = 0;
  int pagesEnded = 0;
  int failEndOfPage = 0;  // the page whose end fails, 0 = none
  bool open = false;
};

// A stand-in section: its heading and one line, and the pages it was asked for, in order.
struct FakeSections {
  std::vector<PageId> printed;
  SectionPrinter Printer() {
    return [this](PageId id, ReportCursor& report) {
      printed.push_back(id);
      report.PrintLine(QStringLiteral("[%1]").arg(static_cast<int>(id)));
      report.PrintLine(QStringLiteral("line"));
    };
  }
};

std::vector<Drawn> TextsOnPage(const RecordingCursor& report, int page) {
  std::vector<Drawn> texts;
  for (const Drawn& d : report.drawn)
    if (d.page == page) texts.push_back(d);
  return texts;
}

const Drawn* Find(const RecordingCursor& report, const QString& text) {
  for (const Drawn& d : report.drawn)
    if (d.text == text) return &d;
  return nullptr;
}

}  // namespace

TEST(ReportLayout, AdvancedModePrintsTwoPagesInSectionOrder) {
  RecordingCursor report(141);
  FakeSections sections;
  EXPECT_TRUE(PrintAllSections(report, DisplayMode::Advanced, sections.Printer()));

  EXPECT_EQ(report.pagesBegun, 2);
  EXPECT_EQ(report.pagesEnded, 2);
  const std::vector<PageId> order = {PageId::General,   PageId::Display,   PageId::Alerting, PageId::NameMisc,
                                     PageId::Reminders, PageId::Duplicate, PageId::Folders,  PageId::OutOfRange,
                                     PageId::Ota,       PageId::Canned,    PageId::Tones,    PageId::Cadence};
  EXPECT_EQ(sections.printed, order);
  for (const Drawn& d : report.drawn) EXPECT_NE(d.page, -1) << d.text.toStdString() << " drawn outside a page";

  for (int page = 1; page <= 2; ++page) {
    const std::vector<Drawn> texts = TextsOnPage(report, page);
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts.front().text, kReportTitle);
    EXPECT_EQ(texts.front().x, 1800);
    EXPECT_EQ(texts.front().y, 600);
    // The first heading: two line heights below the title, then the line step.
    EXPECT_EQ(texts[1].x, 600);
    EXPECT_EQ(texts[1].y, 600 + 3 * 141);
    EXPECT_EQ(texts.back().text, page == 1 ? QStringLiteral(" Page 1 ") : QStringLiteral(" Page 2 "));
    EXPECT_EQ(texts.back().x, 3600);
    EXPECT_EQ(texts.back().y, 92 * 141);
  }
  // The first section of page 2 starts at the top again.
  const Drawn* folders = Find(report, QStringLiteral("[%1]").arg(static_cast<int>(PageId::Folders)));
  ASSERT_NE(folders, nullptr);
  EXPECT_EQ(folders->page, 2);
  EXPECT_EQ(folders->y, 600 + 3 * 141);
}

// Page 2 of the real pages holds more lines than fit above the footer's line.
TEST(ReportLayout, FooterGoesBelowSectionsThatReachItsLine) {
  for (int lines : {50, 80, 95}) {
    RecordingCursor report(141);
    int lastLineY = 0;
    PrintAllSections(report, DisplayMode::Advanced, [&](PageId id, ReportCursor& r) {
      r.PrintLine(QStringLiteral("[%1]").arg(static_cast<int>(id)));
      if (id != PageId::Cadence) return;
      for (int i = 0; i < lines; ++i) r.PrintLine(QStringLiteral("line"));
      lastLineY = r.y;
    });
    const Drawn* footer = Find(report, QStringLiteral(" Page 2 "));
    ASSERT_NE(footer, nullptr);
    EXPECT_EQ(footer->y, std::max(92 * 141, lastLineY + 141)) << lines << " lines";
    EXPECT_GT(footer->y, lastLineY) << lines << " lines";
  }
}

TEST(ReportLayout, SectionGapIsHalfALineRoundedDown) {
  for (int height : {141, 140, 1}) {
    RecordingCursor report(height);
    FakeSections sections;
    PrintAllSections(report, DisplayMode::Advanced, sections.Printer());
    const Drawn* general = Find(report, QStringLiteral("[%1]").arg(static_cast<int>(PageId::General)));
    const Drawn* display = Find(report, QStringLiteral("[%1]").arg(static_cast<int>(PageId::Display)));
    ASSERT_TRUE(general && display);
    // Heading and one line of General, then the gap, then Display's heading one step down.
    EXPECT_EQ(display->y - general->y, 2 * height + height / 2) << "line height " << height;
  }
  EXPECT_EQ(SectionGap(141), 70);
}

TEST(ReportLayout, BasicModePrintsOnePageWithoutFooter) {
  RecordingCursor report(141);
  FakeSections sections;
  EXPECT_TRUE(PrintAllSections(report, DisplayMode::Basic, sections.Printer()));
  EXPECT_EQ(report.pagesBegun, 1);
  EXPECT_EQ(report.pagesEnded, 1);
  EXPECT_EQ(sections.printed, std::vector<PageId>{PageId::Basic});
  QStringList texts;
  for (const Drawn& d : report.drawn) texts << d.text;
  EXPECT_EQ(texts, (QStringList{kReportTitle, QStringLiteral("[%1]").arg(static_cast<int>(PageId::Basic)),
                                QStringLiteral("line")}));
}

TEST(ReportLayout, OnlyTheLastPageEndDecides) {
  struct Case {
    DisplayMode mode;
    int failingPage;
    bool ended;
  };
  for (const Case& c : {Case{DisplayMode::Advanced, 2, false}, Case{DisplayMode::Advanced, 1, true},
                        Case{DisplayMode::Basic, 1, false}}) {
    RecordingCursor report(141);
    report.failEndOfPage = c.failingPage;
    FakeSections sections;
    EXPECT_EQ(PrintAllSections(report, c.mode, sections.Printer()), c.ended) << "failing page " << c.failingPage;
    // A failed end never cuts the report short.
    EXPECT_EQ(report.pagesEnded, c.mode == DisplayMode::Advanced ? 2 : 1);
  }
}
