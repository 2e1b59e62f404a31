// "dump" and "compare": the technician's service tools without the window.
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/transfer_interrupt.h"
#include "core/image/dat_file.h"
#include "core/link/binary_tools.h"
#include "core/link/memory_dump.h"
#include "core/link/serial_port.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

QString Hex(int value, int digits) {
  return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

// cmp's exit codes, so that a script can tell the outcomes apart.
constexpr int kCompareSame = 0;
constexpr int kCompareDiffer = 1;
constexpr int kCompareTrouble = 2;

// What the listing holds, in a line, and the inputs that fell short of the whole memory.
void ReportSummary(const CompareResult& result, const QStringList& files) {
  const CompareSummary& summary = result.summary;
  const QString paths[] = {ComparedPath(files[0]), ComparedPath(files[1])};
  const int sizes[] = {summary.size1, summary.size2};
  // The listing itself may be on standard output.
  const QString listing =
      result.listingPath == kStandardOutputName ? QStringLiteral("standard output") : result.listingPath;
  for (int i = 0; i < 2; ++i)
    if (sizes[i] < kDumpSize)
      PrintReason(QStringLiteral("%1 holds %2 of %3 bytes; the rest counts as 0x00")
                      .arg(paths[i])
                      .arg(sizes[i])
                      .arg(kDumpSize));
  // Only the memory's size is compared: bytes past it, or a file that stops short, make the files
  // differ all the same.
  const bool sameSize = summary.fileSize1 == summary.fileSize2;
  if (!sameSize)
    PrintReason(QStringLiteral("the files differ in size: %1 holds %2 bytes, %3 holds %4 bytes")
                    .arg(paths[0])
                    .arg(summary.fileSize1)
                    .arg(paths[1])
                    .arg(summary.fileSize2));
  if (summary.selectionDiffering > 0)
    PrintReason(QStringLiteral("the selection blocks differ in %1 byte(s), the first at %2")
                    .arg(summary.selectionDiffering)
                    .arg(Hex(summary.firstSelectionDifference, 2)));
  if (!summary.Differ())
    PrintReason(QStringLiteral("the files are equal; listing in %1").arg(listing));
  else if (summary.differing == 0)
    PrintReason(QStringLiteral("no compared byte differs; listing in %1").arg(listing));
  else
    PrintReason(QStringLiteral("%1 byte(s) differ, the first at %2; listing in %3")
                    .arg(summary.differing)
                    .arg(Hex(summary.firstDifference, 3), listing));
}

}  // namespace

int RunDumpCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("dump"));
  parser.addPositionalArgument(QStringLiteral("OUT"),
                               QStringLiteral("The file to save: the C-array text when its extension is TXT, else the "
                                              "raw bytes; \".BIN\" is added to a name "
                                              "without extension."));
  const QCommandLineOption portOption = PortOption();
  parser.addOption(portOption);
  parser.addOption(TraceOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString out = parser.positionalArguments()[0];
  const QString saved = WithDefaultExtension(out, kBinaryExtension);
  if (RefuseOutput(out, kBinaryExtension, kSaveDataFileError) ||
      RefuseUnwritable(saved, DumpFileContents(saved, PagerImage().data()).size(), kSaveDataFileError))
    return 1;
  SerialPort port(AdapterPortName(parser.value(portOption)));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("dump"), port, trace, {saved})) return 1;
  AdapterLink link(port);
  ConsoleHost host;
  TransferInterrupts interrupts(InterruptRule::StopAfterBlock);
  host.SetInterrupts(&interrupts);
  // The window dumps through the port its presence check opened; here the port is opened first.
  const bool opened = port.OpenAdapterPort();
  // Nothing is saved after an interruption, even one after the last block.
  const DumpOutcome outcome = MemoryDump(
      link, opened, [&](const QString&) { return interrupts.Interrupted() ? QString() : out; }, host);
  if (interrupts.Interrupted()) {
    PrintReason((link.Interrupted() ? link.LastFailure() : QStringLiteral("interrupted")) +
                QStringLiteral("; nothing saved"));
    return interrupts.ExitCode();
  }
  if (outcome == DumpOutcome::Saved) return WithTraceOutcome(trace, 0);
  if (!opened)
    PrintReason(port.OpenFailure().isEmpty() ? QStringLiteral("no adapter port") : port.OpenFailure());
  else if (!link.LastFailure().isEmpty() && outcome == DumpOutcome::ReadFailed)
    PrintReason(link.LastFailure());
  return 1;
}

int RunCompareCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("compare"));
  parser.addPositionalArgument(QStringLiteral("FILE1"),
                               QStringLiteral("The first memory file, or a data file (compared on its image and "
                                              "selection block); \".BIN\" is added to a name "
                                              "that does not exist as typed."));
  parser.addPositionalArgument(QStringLiteral("FILE2"), QStringLiteral("The second memory file, likewise."));
  const QCommandLineOption outputOption(
      QStringLiteral("output"),
      QStringLiteral("Where the listing goes (default: CMP.TXT here; - for standard output)."), QStringLiteral("OUT"));
  parser.addOption(outputOption);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QStringList files = parser.positionalArguments();
  const QString listing = parser.isSet(outputOption) ? parser.value(outputOption) : kCompareListingName;
  if (RefuseStreamOutput(listing, QString(), kOpenCompareResultError)) return kCompareTrouble;
  ConsoleHost host;
  int next = 0;
  const CompareResult result = BinaryCompare([&](const QString&) { return files[next++]; }, listing, host, SaveOutput);
  if (result.outcome != CompareOutcome::Written) return kCompareTrouble;
  ReportSummary(result, files);
  return result.summary.Differ() ? kCompareDiffer : kCompareSame;
}

}  // namespace m84
