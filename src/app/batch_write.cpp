#include "app/batch_write.h"

#include <QStringList>
#include <cstdio>
#include <vector>

#include "app/cli_history.h"
#include "app/console_host.h"
#include "app/console_transfer_host.h"
#include "app/link_options.h"
#include "app/transfer_interrupt.h"
#include "image/dat_file.h"
#include "link/serial_port.h"
#include "link/serial_trace.h"
#include "pages/capcode.h"
#include "pages/page_catalog.h"

namespace m84 {

namespace {

const QString kNextPagerPrompt = QStringLiteral("Insert the next pager and press Enter");

// The capcodes of every row, in row order.
using Capcodes = std::vector<int>;

Capcodes CapcodesOf(const PageValues& values) {
  Capcodes capcodes;
  for (int row = 0; row < kCapcodeRowCount; ++row) capcodes.push_back(values.Number(capcode_key::Capcode(row)));
  return capcodes;
}

// Why the capcodes after this pager would leave the valid range, or an empty text.
QString StepLeavesRange(const PageValues& general) {
  PageValues next = general;
  ManuallyIncrement(next);
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const int after = next.Number(capcode_key::Capcode(row));
    if (IsValidCapcode(after)) continue;
    return QStringLiteral("capcode %1 would step from %2 to %3, outside %4 to %5")
        .arg(row + 1)
        .arg(general.Number(capcode_key::Capcode(row)))
        .arg(after)
        .arg(kCapcodeMin)
        .arg(kCapcodeMax);
  }
  return {};
}

// "3 pagers written; capcode 1: 1000 to 1002, capcode 2: 5000" over the enabled rows.
QString Summary(int written, int count, const PageValues& general, const Capcodes& first, const Capcodes& last) {
  QString line = QStringLiteral("%1 of %2 pager(s) written").arg(written).arg(count);
  if (written == 0) return line;
  QStringList ranges;
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    if (!general.Flag(capcode_key::Enable(row))) continue;
    const size_t r = size_t(row);
    ranges << (first[r] == last[r] ? QStringLiteral("capcode %1: %2").arg(row + 1).arg(first[r])
                                   : QStringLiteral("capcode %1: %2 to %3").arg(row + 1).arg(first[r]).arg(last[r]));
  }
  return line + QStringLiteral("; ") + (ranges.isEmpty() ? QStringLiteral("no capcode enabled") : ranges.join(QStringLiteral(", ")));
}

bool AwaitEnterOnTerminal(int next, int count) {
  std::fprintf(stderr, "%s (pager %d of %d)\n", qPrintable(kNextPagerPrompt), next, count);
  std::fflush(stderr);
  char line[256];
  // A Ctrl+C here ends the wait too: the handler takes no restart.
  return std::fgets(line, sizeof line, stdin) != nullptr;
}

}  // namespace

QCommandLineOption IncrementOption() {
  return QCommandLineOption(QStringLiteral("increment"),
                            QStringLiteral("After a verified write, step FILE's capcodes by its Auto Increment "
                                           "selections and save FILE."));
}

QCommandLineOption CountOption() {
  return QCommandLineOption(QStringLiteral("count"),
                            QStringLiteral("Program N pagers one after the other, waiting for Enter between them."),
                            QStringLiteral("N"));
}

int WriteBatch(const BatchPlan& plan, AdapterLink& link, const AwaitNextPager& awaitNext, TransferInterrupts* interrupts) {
  PagerData fileData;
  ConsoleHost fileHost(fileData, DisplayMode::Advanced);
  if (!LoadDataFile(plan.file, fileData, fileHost)) return 1;
  const PageValues& general = fileHost.Pages().Page(PageId::General).Values();
  const Capcodes first = CapcodesOf(general);
  Capcodes last = first;
  int written = 0;
  int exitCode = 0;
  for (int pager = 1; pager <= plan.count; ++pager) {
    if (pager > 1) {
      link.ClosePort();
      if (!awaitNext(pager, plan.count)) {
        exitCode = interrupts && interrupts->Interrupted() ? kInterruptedExitCode : 1;
        PrintReason(QStringLiteral("the batch stops before pager %1").arg(pager));
        break;
      }
    }
    // Checked before writing: a pager is never written with capcodes the file cannot follow.
    if (plan.increment) {
      const QString leaves = StepLeavesRange(general);
      if (!leaves.isEmpty()) {
        PrintReason(QStringLiteral("%1; the batch stops before writing pager %2").arg(leaves).arg(pager));
        exitCode = 1;
        break;
      }
    }
    if (plan.count > 1) PrintReason(QStringLiteral("pager %1 of %2").arg(pager).arg(plan.count));
    PagerData pagerData = fileData;
    ConsoleTransferHost host(pagerData);
    host.ExchangeAllPages(Direction::Load);
    host.SetKeepSerialNumber(plan.keepSerial.value_or(fileData.selection.KeepSerial()));
    host.SetInterrupts(interrupts);
    PagerHistory off;
    PagerHistory& history = plan.history ? *plan.history : off;
    if (plan.backup && !BackUpPager(link, pagerData, plan.file, history, interrupts)) {
      exitCode = 1;
      break;
    }
    const bool verified = link.WritePager(pagerData, host);
    const int writeExit = verified ? 0 : ReportWriteFailure(link);
    RecordTransfer(history, {HistoryOperation::Write, verified, &pagerData, writeExit, plan.file}, link);
    if (!verified) {
      exitCode = writeExit;
      break;
    }
    last = CapcodesOf(general);
    ++written;
    if (plan.increment) {
      ManuallyIncrement(fileHost.Pages().Page(PageId::General).Values());
      if (!SaveDataFile(plan.file, fileData, fileHost)) {
        PrintReason(QStringLiteral("%1 keeps the capcodes of the pager just written; the batch stops").arg(plan.file));
        exitCode = 1;
        break;
      }
    }
  }
  const QString summary = Summary(written, plan.count, general, first, last);
  std::printf("%s\n", qPrintable(summary));
  std::fflush(stdout);
  return exitCode;
}

int RunBatchWrite(const CommandParser& parser) {
  BatchPlan plan;
  plan.file = parser.positionalArguments().value(0);
  plan.increment = parser.isSet(QStringLiteral("increment"));
  if (parser.isSet(QStringLiteral("count"))) {
    bool ok = false;
    plan.count = parser.value(QStringLiteral("count")).toInt(&ok);
    if (!ok || plan.count < 1) return parser.UsageError(QStringLiteral("--count takes a number of pagers, 1 or more"));
  }
  if (parser.isSet(QStringLiteral("keep-serial"))) plan.keepSerial = true;
  if (parser.isSet(QStringLiteral("no-keep-serial"))) plan.keepSerial = false;
  plan.backup = parser.isSet(QStringLiteral("backup"));
  PagerHistory history = CommandHistory(parser, kSourceBatch);
  plan.history = &history;
  SerialPort port(AdapterPortName(parser.value(QStringLiteral("port"))));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("write"), port, trace)) return 1;
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::WarnThenStop);
  return WriteBatch(plan, link, AwaitEnterOnTerminal, &interrupts);
}

}  // namespace m84
