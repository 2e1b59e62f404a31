#include "gui/report_printer.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace m84 {

namespace {

constexpr int kReportFontEm = 128;  // device units
// Pinned rather than left to the fixed-pitch fallback, which can pick a face whose average
// width differs from its advance and so misplaces the second column.
const QString kReportFace = QStringLiteral("Courier New");

// The footer stands 92 lines down: at 1200 dpi that needs the height of an A4 sheet.
constexpr int kPdfResolution = 1200;

}  // namespace

QFont ReportFont() {
  QFont font(kReportFace);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(kReportFontEm);
  font.setWeight(QFont::Bold);
  font.setItalic(false);
  font.setUnderline(false);
  return font;
}

ReportMetrics MeasureReportFont(const QPainter& painter) {
  const QFontMetrics metrics = painter.fontMetrics();
  return {metrics.height() + metrics.leading(), metrics.averageCharWidth()};
}

PainterReportCursor::PainterReportCursor(QPainter& painter, QPrinter& printer)
    : painter_(painter), printer_(printer), ascent_(painter.fontMetrics().ascent()) {
  const ReportMetrics metrics = MeasureReportFont(painter);
  lineHeight = metrics.lineHeight;
  charWidth = metrics.charWidth;
}

// A painter draws text at its baseline; the cursor's y is the top of the line.
void PainterReportCursor::DrawText(int textX, int textY, const QString& text) {
  painter_.drawText(textX, textY + ascent_, text);
}

// The painter began the first page with the document; every later page begins with newPage().
void PainterReportCursor::BeginPage() {
  if (pagesEnded_ > 0) printer_.newPage();
}

bool PainterReportCursor::EndPage() {
  ++pagesEnded_;
  return printer_.printerState() != QPrinter::Error;
}

bool PrintReport(QWidget* parent, DisplayMode mode, const SectionPrinter& printSection) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPrintRange(QPrinter::AllPages);
  QPrintDialog dialog(&printer, parent);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  // Often the only printer there is, so it stays offered.
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  if (dialog.exec() != QDialog::Accepted) return false;
  return RunReportJob(printer, mode, printSection);
}

bool PrintReportToPdf(const QString& path, DisplayMode mode, const SectionPrinter& printSection) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setResolution(kPdfResolution);
  printer.setPageSize(QPageSize(QPageSize::A4));
  // A file has no unprintable edge: positions count from the sheet's corner.
  printer.setPageMargins(QMarginsF(0, 0, 0, 0));
  return RunReportJob(printer, mode, printSection);
}

bool RunReportJob(QPrinter& printer, DisplayMode mode, const SectionPrinter& printSection) {
  printer.setDocName(QGuiApplication::applicationDisplayName());
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  painter.setFont(ReportFont());
  PainterReportCursor report(painter, printer);
  const bool lastPageEnded = PrintAllSections(report, mode, printSection);
  if (!lastPageEnded) {
    printer.abort();
    painter.end();
    return false;
  }
  return painter.end();
}

}  // namespace m84
