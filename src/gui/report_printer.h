#pragma once
// The printed report: the print dialog, the print job and the cursor that draws on the printer.

#include <QFont>
#include <QString>

#include "core/report/report_layout.h"
#include "core/report_cursor.h"

class QPainter;
class QPrinter;
class QWidget;

namespace m84 {

// Bold and fixed pitch, with an em 128 device units high on whatever device it is drawn.
QFont ReportFont();

struct ReportMetrics {
  int lineHeight;  // the font's height plus its external leading
  int charWidth;   // the font's average character width
};
// The measuring hook: the report font as the painter's device sets it.
ReportMetrics MeasureReportFont(const QPainter& painter);

// Draws on a printer through a painter that is already active on it.
class PainterReportCursor : public ReportCursor {
 public:
  PainterReportCursor(QPainter& painter, QPrinter& printer);

  void DrawText(int x, int y, const QString& text) override;
  void BeginPage() override;
  bool EndPage() override;

 private:
  QPainter& painter_;
  QPrinter& printer_;
  int ascent_;
  int pagesEnded_ = 0;
};

// "&Print": the print dialog (all pages only; print to file stays), then the job on the chosen
// printer. Cancel prints nothing. True when the document was ended.
bool PrintReport(QWidget* parent, DisplayMode mode, const SectionPrinter& printSection);

// The same job into a PDF file, without a dialog.
bool PrintReportToPdf(const QString& path, DisplayMode mode, const SectionPrinter& printSection);

// The job on a printer that is set up. False when nothing could be started or the document was
// aborted.
bool RunReportJob(QPrinter& printer, DisplayMode mode, const SectionPrinter& printSection);

}  // namespace m84
