#pragma once
// The report's layout: the title, the sections in page order, the gaps between them, the page
// footers and the printed pages. It draws through any cursor, so the printer and the text form
// share it.

#include <QString>
#include <functional>
#include <vector>

#include "core/pages/page_catalog.h"
#include "core/report_cursor.h"
#include "version.h"

namespace m84 {

// Draws one page's section; the caller's page stores itself into the image first.
using SectionPrinter = std::function<void(PageId, ReportCursor&)>;

inline const QString kReportTitle =
    QStringLiteral(" M84 POCSAG Multi-Lingual Alphanumeric Pager DPT V") + QLatin1String(kProgramVersion);

constexpr int kTitleX = 3 * kPageMargin;
constexpr int kTitleLines = 2;  // from the title down to where the first section starts
constexpr int kFooterX = 3600;
constexpr int kFooterLines = 92;  // the footer's y in line heights from the top

struct ReportPage {
  std::vector<PageId> sections;  // in print order
  QString footer;                // empty: the page has none
};

// Advanced mode: two pages with the tab pages split by their report page; basic mode: one page
// with the Basic page's section alone.
std::vector<ReportPage> ReportPages(DisplayMode mode);

// The space between two sections.
inline int SectionGap(int lineHeight) { return lineHeight / 2; }

// Draws the whole report on a measured cursor. False when ending the last page failed, so the
// caller aborts the document instead of ending it.
bool PrintAllSections(ReportCursor& report, DisplayMode mode, const SectionPrinter& printSection);

}  // namespace m84
