#pragma once
// What the page model tests share: a page loaded from the default image, a run of image bytes,
// and a page's report section as its printed lines.

#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image/pager_image.h"
#include "core/pages/page_model.h"
#include "core/report/text_report.h"

namespace m84::page_test {

// A page model loaded from the default image, with the data it stores into.
template <typename Model>
struct LoadedModel {
  PagerData data;
  Model page;
  LoadedModel() { page.Load(data); }
  PageValues& values() { return page.Values(); }
};

inline std::vector<uint8_t> Bytes(const PagerImage& image, int offset, int n) {
  return std::vector<uint8_t>(image.data() + offset, image.data() + offset + n);
}

// The entries of a list as its row declares them, in the order the list shows them.
inline QStringList EntriesOf(const PageModel& page, const QString& key) {
  for (const FieldBinding& row : page.Table())
    if (row.key == key) return row.form.entries;
  return {};
}

// The section a page prints from its variables, one entry a printed line.
inline QStringList SectionLines(const PageModel& page) {
  TextReportCursor report;
  report.BeginPage();
  page.PrintSection(report);
  report.EndPage();
  return report.Lines();
}

// One line per printed line, so that a failure shows the texts.
inline std::string ReportLines(const PageModel& page) {
  return SectionLines(page).join(QLatin1Char('\n')).toStdString();
}

// The section as the report prints it: the page stores itself first.
inline QStringList Section(PageModel& page, PagerData& data) {
  page.Store(data);
  return SectionLines(page);
}

}  // namespace m84::page_test
