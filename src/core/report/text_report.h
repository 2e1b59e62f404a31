#pragma once
// The report laid on a character grid: what the printer would draw, as lines of text.
//
// Every text goes to the line of its height, at the column its x stands in (a text in column 60
// joins the line beside the first column). A vertical step wider than one line, such as the gap
// between two sections or the way down to the footer, becomes one empty line. A line holding
// only a form feed separates the printed pages.

#include <QString>
#include <QStringList>
#include <vector>

#include "core/pages/page_catalog.h"
#include "core/report/report_layout.h"
#include "core/report_cursor.h"

namespace m84 {

inline const QString kFormFeedLine = QStringLiteral("\f");

class TextReportCursor : public ReportCursor {
 public:
  // A grid cell in device units. Any size serves; at this one the title and the footer stand
  // about where a printer puts them beside the 60-column layout of the sections.
  static constexpr int kGridCharWidth = 60;
  static constexpr int kGridLineHeight = 120;

  TextReportCursor();

  void DrawText(int x, int y, const QString& text) override;
  void BeginPage() override;
  bool EndPage() override;

  const QStringList& Lines() const { return lines_; }

 private:
  struct Piece {
    int x;
    int y;
    QString text;
  };
  int ColumnOf(int x) const;
  void LayOut(std::vector<Piece>& pieces);

  std::vector<Piece> page_;
  QStringList lines_;
  int pagesEnded_ = 0;
};

// The whole report as text, one line per printed line, each line ending in a newline; control
// characters in the image's texts are shown as escapes ("\x0D"), never raw.
QString TextReport(DisplayMode mode, const SectionPrinter& printSection);

}  // namespace m84
