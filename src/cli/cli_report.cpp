// "report": the printed report of a data file, as text or into a PDF, without the window.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

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

// The printer's file, kept in memory: no scratch folder exists on any path, so none is left
// behind however the printing ends (out of memory, a signal), and TMPDIR need not be writable.
class ScratchPdf {
 public:
  ScratchPdf() : fd_(::memfd_create("m84dpt-report", MFD_CLOEXEC)) {
    if (fd_ < 0) error_ = errno;
  }
  ~ScratchPdf() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScratchPdf(const ScratchPdf&) = delete;
  ScratchPdf& operator=(const ScratchPdf&) = delete;

  bool IsValid() const { return fd_ >= 0; }
  QString ErrorText() const { return QString::fromLocal8Bit(std::strerror(error_)); }
  // The name the printer opens, which reaches the same memory.
  QString Path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }
  Result<QByteArray> ReadAll() {
    QByteArray bytes;
    char buffer[65536];
    for (off_t at = 0;;) {
      const ssize_t got = ::pread(fd_, buffer, sizeof buffer, at);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Failed({}, QString::fromLocal8Bit(std::strerror(errno)));
      if (got == 0) return bytes;
      bytes.append(buffer, got);
      at += got;
    }
  }

 private:
  int fd_;
  int error_ = 0;
};

// The printer only says that it failed, never why, and leaves a half-written file behind. So the
// report is printed into a scratch file first and then saved like any other file: with the
// system's reason when that fails, and an existing file left as it was.
int PrintPdf(const QString& out, DisplayMode mode, const SectionPrinter& printSection) {
  if (!pdfReportPrinter) {
    PrintReason(QStringLiteral("this build of the program cannot print into a PDF"));
    return 1;
  }
  ScratchPdf scratch;
  if (!scratch.IsValid()) {
    PrintReason(QStringLiteral("cannot print the report into %1: no scratch file (%2)").arg(out, scratch.ErrorText()));
    return 1;
  }
  if (!pdfReportPrinter(scratch.Path(), mode, printSection)) {
    PrintReason(QStringLiteral("cannot print the report into %1: the printer failed (its fonts, or memory)").arg(out));
    return 1;
  }
  const Result<QByteArray> printed = scratch.ReadAll();
  if (!printed) {
    PrintReason(QStringLiteral("cannot print the report into %1: %2").arg(out, printed.failure().reason));
    return 1;
  }
  if (const Outcome saved = SaveOutput(out, *printed); !saved) {
    PrintReason(QStringLiteral("%1: %2").arg(
        StreamOutputName(out) == kStandardOutputName ? QStringLiteral("standard output") : out,
        saved.failure().reason));
    return 1;
  }
  if (StreamOutputName(out) != kStandardOutputName) PrintReason(QStringLiteral("saved %1").arg(out));
  return 0;
}

}  // namespace

void UsePdfReportPrinter(PdfReportPrinter printer) { pdfReportPrinter = printer; }

bool PdfReportPrinterSet() { return pdfReportPrinter != nullptr; }

int RunReportCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("report"));
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to report on; "
                                              "- : read standard input, its form told by its bytes."));
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
  if (!LoadSettingsInput(parser.value(QStringLiteral("base")), parser.positionalArguments()[0], data, host)) {
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
