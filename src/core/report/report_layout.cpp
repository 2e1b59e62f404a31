#include "core/report/report_layout.h"

#include <algorithm>

namespace m84 {

namespace {

void BeginReportPage(ReportCursor& report) {
  report.BeginPage();
  report.x = kPageMargin;
  report.y = kPageMargin;
  report.DrawText(kTitleX, kPageMargin, kReportTitle);
  report.y += kTitleLines * report.lineHeight;
}

void PrintSections(ReportCursor& report, const std::vector<PageId>& sections, const SectionPrinter& printSection) {
  for (size_t i = 0; i < sections.size(); ++i) {
    if (i > 0) report.y += SectionGap(report.lineHeight);
    printSection(sections[i], report);
  }
}

// The second page's sections run past the footer's line; the footer then goes on the line below
// the last one instead of over the values printed there.
int FooterY(const ReportCursor& report) {
  return std::max(kFooterLines * report.lineHeight, report.y + report.lineHeight);
}

}  // namespace

std::vector<ReportPage> ReportPages(DisplayMode mode) {
  if (mode == DisplayMode::Basic) return {ReportPage{{PageId::Basic}, QString()}};
  std::vector<ReportPage> pages = {{{}, QStringLiteral(" Page 1 ")}, {{}, QStringLiteral(" Page 2 ")}};
  for (const PageInfo& info : kTabPages) pages[static_cast<size_t>(info.reportPage - 1)].sections.push_back(info.id);
  return pages;
}

bool PrintAllSections(ReportCursor& report, DisplayMode mode, const SectionPrinter& printSection) {
  const std::vector<ReportPage> pages = ReportPages(mode);
  bool lastPageEnded = false;
  for (const ReportPage& page : pages) {
    BeginReportPage(report);
    PrintSections(report, page.sections, printSection);
    if (!page.footer.isEmpty()) report.DrawText(kFooterX, FooterY(report), page.footer);
    // Only the last page's end decides between ending and aborting the document.
    lastPageEnded = report.EndPage();
  }
  return lastPageEnded;
}

}  // namespace m84
