#include "core/report/text_report.h"

#include "core/control_characters.h"

#include <algorithm>

namespace m84 {

TextReportCursor::TextReportCursor() {
  lineHeight = kGridLineHeight;
  charWidth = kGridCharWidth;
}

void TextReportCursor::DrawText(int textX, int textY, const QString& text) { page_.push_back({textX, textY, text}); }

void TextReportCursor::BeginPage() {
  if (pagesEnded_ > 0) lines_ << kFormFeedLine;
  page_.clear();
}

bool TextReportCursor::EndPage() {
  LayOut(page_);
  page_.clear();
  ++pagesEnded_;
  return true;
}

int TextReportCursor::ColumnOf(int textX) const { return std::max(0, (textX - kPageMargin) / charWidth); }

void TextReportCursor::LayOut(std::vector<Piece>& pieces) {
  // Stable, so texts drawn at one height keep their drawing order where they overlap.
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.y < b.y; });
  for (size_t i = 0; i < pieces.size();) {
    const int lineY = pieces[i].y;
    if (i > 0 && lineY - pieces[i - 1].y > lineHeight) lines_ << QString();
    QString line;
    for (; i < pieces.size() && pieces[i].y == lineY; ++i) {
      const int column = ColumnOf(pieces[i].x);
      const QString& text = pieces[i].text;
      if (line.size() < column) line = line.leftJustified(column, QLatin1Char(' '));
      line.replace(column, std::min<qsizetype>(text.size(), line.size() - column), text);
    }
    lines_ << line;
  }
}

QString TextReport(DisplayMode mode, const SectionPrinter& printSection) {
  TextReportCursor report;
  PrintAllSections(report, mode, printSection);
  QString text;
  for (const QString& line : report.Lines())
    text += (line == kFormFeedLine ? line : EscapeControlCharacters(line)) + QLatin1Char('\n');
  return text;
}

}  // namespace m84
