// "report": the printed report of a data file, as text or into a PDF, without the window.
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "core/image/dat_file.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"

namespace m84 {

namespace {

PdfReportPrinter pdfReportPrinter = nullptr;

// Standard output carries the report itself, so the load's status is held back unless the
// load fails.
class ReportHost : public ConsoleHost {
 public:
  void ShowStatus(const QString& text) override { lastStatus_ = text; }
  void ShowLastStatus() { ConsoleHost::ShowStatus(lastStatus_); }

 private:
  QString lastStatus_;
};

// The printer only says that it failed, never why, and leaves a half-written file behind. So the
// report is printed into a scratch file first and then saved like any other file: with the
// system's reason when that fails, and an existing file left as it was.
int PrintPdf(const QString& out, DisplayMode mode, const SectionPrinter& printSection) {
  if (!pdfReportPrinter) {
    PrintReason(QStringLiteral("this build of the program cannot print into a PDF"));
    return 1;
  }
  QTemporaryDir scratch;
  const QString printed = scratch.filePath(QStringLiteral("report.pdf"));
  QFile file(printed);
  if (!scratch.isValid() || !pdfReportPrinter(printed, mode, printSection) || !file.open(QIODevice::ReadOnly)) {
    PrintReason(QStringLiteral("cannot print the report into %1").arg(out));
    return 1;
  }
  if (const Outcome saved = SaveOutput(out, file.readAll()); !saved) {
    PrintReason(QStringLiteral("%1: %2").arg(out == kStandardOutputName ? QStringLiteral("standard output") : out,
                                             saved.failure().reason));
    return 1;
  }
  if (out != kStandardOutputName) PrintReason(QStringLiteral("saved %1").arg(out));
  return 0;
}

}  // namespace

void UsePdfReportPrinter(PdfReportPrinter printer) { pdfReportPrinter = printer; }

bool PdfReportPrinterSet() { return pdfReportPrinter != nullptr; }

int RunReportCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("report"));
  parser.addPositionalArgument(
      QStringLiteral("FILE"), QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to report on."));
  parser.addOption(BaseOption());
  parser.addOption({QStringLiteral("basic"), QStringLiteral("The Basic page's section alone, as in basic mode.")});
  parser.addOption(
      {QStringLiteral("pdf"),
       QStringLiteral("Print into a PDF file instead of text on standard output (- : the PDF on standard output)."),
       QStringLiteral("OUT")});
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;

  if (parser.isSet(QStringLiteral("pdf")) && RefuseOutput(parser.value(QStringLiteral("pdf")), QString(), QString()))
    return 1;
  const DisplayMode mode = parser.isSet(QStringLiteral("basic")) ? DisplayMode::Basic : DisplayMode::Advanced;
  PagerData data;
  ReportHost host;
  ModelPageSet pages(data, mode);
  if (!LoadSettingsOverBase(parser.value(QStringLiteral("base")), parser.positionalArguments()[0], data, host)) {
    host.ShowLastStatus();
    return 1;
  }
  pages.ExchangeAllPages(Direction::Load);
  const SectionPrinter printSection = [&pages](PageId id, ReportCursor& report) { pages.PrintSection(id, report); };

  if (parser.isSet(QStringLiteral("pdf"))) return PrintPdf(parser.value(QStringLiteral("pdf")), mode, printSection);
  if (const Outcome shown = WriteToStandardOutput(TextReport(mode, printSection).toUtf8()); !shown) {
    PrintReason(QStringLiteral("standard output: %1").arg(shown.failure().reason));
    return 1;
  }
  return 0;
}

}  // namespace m84
