#include "gui/report_printer.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <memory>
#include <new>

#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

namespace m84 {

namespace {

constexpr int kReportFontEm = 128;  // device units
// Pinned rather than left to the fixed-pitch fallback, which can pick a face whose average
// width differs from its advance and so misplaces the second column.
const QString kReportFace = QStringLiteral("Courier New");

// The footer stands 92 lines down: at 1200 dpi that needs the height of an A4 sheet.
constexpr int kPdfResolution = 1200;

// Qt's PDF writer embeds the fonts when the job ends (QPainter::end, which the painter's
// destructor runs too) without checking its allocations: memory running out there is a crash,
// not bad_alloc. This much address space is held while the pages are drawn and given back for
// the end; a job that runs out of memory while drawing is never ended at all.
constexpr size_t kJobEndReserve = size_t(8) << 20;

class MemoryReserve {
 public:
  MemoryReserve() {
#ifdef Q_OS_UNIX
    // Mapped, not allocated: an allocation nobody reads may be left out by the compiler.
    block_ =
        ::mmap(nullptr, kJobEndReserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block_ == MAP_FAILED) throw std::bad_alloc();
#endif
  }
  ~MemoryReserve() { Release(); }
  MemoryReserve(const MemoryReserve&) = delete;
  MemoryReserve& operator=(const MemoryReserve&) = delete;
  void Release() {
#ifdef Q_OS_UNIX
    if (block_ != MAP_FAILED) ::munmap(block_, kJobEndReserve);
    block_ = MAP_FAILED;
#endif
  }

 private:
#ifdef Q_OS_UNIX
  void* block_ = MAP_FAILED;
#endif
};

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
  MemoryReserve reserve;
  auto painter = std::make_unique<QPainter>();
  if (!painter->begin(&printer)) return false;
  bool lastPageEnded = false;
  try {
    painter->setFont(ReportFont());
    PainterReportCursor report(*painter, printer);
    lastPageEnded = PrintAllSections(report, mode, printSection);
  } catch (const std::bad_alloc&) {
    // Left unended on purpose (see kJobEndReserve); the command ends with "out of memory".
    static_cast<void>(painter.release());
    throw;
  }
  reserve.Release();
  if (!lastPageEnded) {
    printer.abort();
    painter->end();
    return false;
  }
  return painter->end();
}

}  // namespace m84
