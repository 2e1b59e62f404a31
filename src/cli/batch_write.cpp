#include "cli/batch_write.h"

#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/cli_history.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/transfer_interrupt.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/pager_transfer.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"
#include "core/pages/capcode.h"
#include "core/pages/page_catalog.h"
#include "core/settings/settings_file.h"

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

// The capcodes every pager of the batch would get the same.
bool StepsAreAllZero(const PageValues& general) {
  PageValues next = general;
  ManuallyIncrement(next);
  return CapcodesOf(next) == CapcodesOf(general);
}

// "capcode 1: 1000 to 1002, capcode 2: 5000" over the enabled rows.
QString Ranges(const PageValues& general, const Capcodes& first, const Capcodes& last) {
  QStringList ranges;
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    if (!general.Flag(capcode_key::Enable(row))) continue;
    const size_t r = size_t(row);
    ranges << (first[r] == last[r] ? QStringLiteral("capcode %1: %2").arg(row + 1).arg(first[r])
                                   : QStringLiteral("capcode %1: %2 to %3").arg(row + 1).arg(first[r]).arg(last[r]));
  }
  return ranges.isEmpty() ? QStringLiteral("no capcode enabled") : ranges.join(QStringLiteral(", "));
}

// "3 of 3 pager(s) written; capcode 1: 1000 to 1002, capcode 2: 5000".
QString Summary(int written, int count, const PageValues& general, const Capcodes& first, const Capcodes& last) {
  const QString line = QStringLiteral("%1 of %2 pager(s) written").arg(written).arg(count);
  return written == 0 ? line : line + QStringLiteral("; ") + Ranges(general, first, last);
}

// The whole batch stepped through before anything is written: the last pager's capcodes, or
// why a step on the way (or the one that saves FILE after the last pager) leaves the range.
struct Planned {
  Capcodes last;
  QString leaves;
};

Planned PlanCapcodes(const BatchPlan& plan, const PageValues& general) {
  PageValues values = general;
  Planned planned{CapcodesOf(general), {}};
  if (!plan.increment) return planned;
  for (int pager = 1; pager <= plan.count; ++pager) {
    planned.last = CapcodesOf(values);
    planned.leaves = StepLeavesRange(values);
    if (!planned.leaves.isEmpty()) {
      planned.leaves += QStringLiteral(" after pager %1").arg(pager);
      break;
    }
    ManuallyIncrement(values);
  }
  return planned;
}

// What refuses the batch before the first write, or an empty text.
QString BatchObstacle(const BatchPlan& plan, const PageValues& general, const Planned& planned) {
  if (plan.increment && !plan.sameCapcodes && StepsAreAllZero(general))
    return QStringLiteral(
               "every Auto Increment step in %1 is 0, so each pager would get the same capcodes; set the "
               "steps on the General page, or give --same-capcodes instead of --increment to program "
               "identical pagers")
        .arg(plan.file);
  if (!planned.leaves.isEmpty()) return planned.leaves + QStringLiteral("; nothing written");
  if (plan.increment)
    if (const Outcome replaceable = CheckReplaceable(WithDefaultExtension(plan.file, kDatExtension), kDatFileSize);
        !replaceable)
      return QStringLiteral("%1 cannot be saved after each pager (%2); nothing written")
          .arg(plan.file, replaceable.failure().reason);
  return {};
}

QString SerialText(const QByteArray& serial) { return QString::fromLatin1(serial.left(kSerialLast - kSerialFirst)); }

// Waits for the next pager; a pager that answers with a serial number this batch has written is
// one of its own still (or again) in the adapter, so the prompt comes again rather than writing
// it a second time. Where every pager gets FILE's serial number the pagers cannot be told apart.
bool AwaitAnotherPager(AdapterLink& link, const AwaitNextPager& awaitNext, int next, int count,
                       const std::vector<QByteArray>& writtenSerials, bool guard) {
  for (;;) {
    link.ClosePort();
    if (!awaitNext(next, count)) return false;
    if (!guard) return true;
    const std::optional<QByteArray> serial = link.ReadSerialNumber();
    if (!serial) return true;
    const auto written = std::find(writtenSerials.begin(), writtenSerials.end(), *serial);
    if (written == writtenSerials.end()) return true;
    if (written + 1 == writtenSerials.end())
      PrintReason(QStringLiteral("the pager in the adapter has serial number %1, the one just written; insert the "
                                 "next pager")
                      .arg(SerialText(*serial)));
    else
      PrintReason(QStringLiteral("the pager in the adapter has serial number %1, pager %2 of this batch; insert the "
                                 "next pager")
                      .arg(SerialText(*serial))
                      .arg(written - writtenSerials.begin() + 1));
  }
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

int WriteBatch(const BatchPlan& plan, AdapterLink& link, const AwaitNextPager& awaitNext,
               TransferInterrupts* interrupts) {
  PagerData fileData;
  ModelPageSet filePages(fileData, DisplayMode::Advanced);
  ConsoleHost fileHost;
  if (!LoadSettingsOverBase(plan.base, plan.file, fileData, fileHost)) return 1;
  filePages.ExchangeAllPages(Direction::Load);
  const PageValues& general = filePages.Page(PageId::General).Values();
  const Capcodes first = CapcodesOf(general);
  const Planned planned = PlanCapcodes(plan, general);
  if (const QString obstacle = BatchObstacle(plan, general, planned); !obstacle.isEmpty()) {
    PrintReason(obstacle);
    return 1;
  }
  PrintReason(QStringLiteral("plan: %1 pager(s); %2").arg(plan.count).arg(Ranges(general, first, planned.last)));
  const bool keepSerial = KeepPagerSerialNumber(filePages, plan.keepSerial);
  if (!keepSerial && plan.count > 1)
    PrintReason(QStringLiteral("every pager of this batch gets serial number %1 from %2, so the pagers cannot be told "
                               "apart by it, nor a pager that was not swapped; keep the pagers' own (--keep-serial)")
                    .arg(SerialText(QByteArray(reinterpret_cast<const char*>(fileData.image.data() + kSerialFirst),
                                               kSerialLast - kSerialFirst + 1)),
                         plan.file));
  Capcodes last = first;
  std::vector<QByteArray> writtenSerials;
  int written = 0;
  int exitCode = 0;
  for (int pager = 1; pager <= plan.count; ++pager) {
    if (interrupts && interrupts->HungUp()) {
      exitCode = kHungUpExitCode;
      break;
    }
    if (pager > 1 && !AwaitAnotherPager(link, awaitNext, pager, plan.count, writtenSerials, keepSerial)) {
      exitCode = interrupts && (interrupts->HungUp() || interrupts->Interrupted()) ? interrupts->ExitCode() : 1;
      PrintReason(QStringLiteral("the batch stops before pager %1").arg(pager));
      break;
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
    ModelPageSet pages(pagerData, DisplayMode::Advanced);
    pages.ExchangeAllPages(Direction::Load);
    const WriteOptions options{KeepPagerSerialNumber(filePages, plan.keepSerial)};
    ConsoleHost host;
    host.SetInterrupts(interrupts);
    PagerHistory off;
    PagerHistory& history = plan.history ? *plan.history : off;
    if (plan.backup && !BackUpPager(link, pagerData, plan.file, history, interrupts)) {
      exitCode = 1;
      break;
    }
    const bool verified = bool(WriteFromPages(link, pagerData, pages, options, host).outcome);
    const int writeExit = interrupts && interrupts->HungUp() ? kHungUpExitCode
                          : verified                         ? 0
                                                             : ReportWriteFailure(link);
    RecordTransfer(history, {HistoryOperation::Write, verified, &pagerData, writeExit, plan.file}, link);
    if (!verified) {
      exitCode = writeExit;
      break;
    }
    writtenSerials.push_back(QByteArray(reinterpret_cast<const char*>(pagerData.image.data() + kSerialFirst),
                                        kSerialLast - kSerialFirst + 1));
    last = CapcodesOf(general);
    ++written;
    if (plan.increment) {
      ManuallyIncrement(filePages.Page(PageId::General).Values());
      if (!SaveSettingsFromPages(plan.file, fileData, filePages, fileHost)) {
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

QCommandLineOption SameCapcodesOption() {
  return QCommandLineOption(QStringLiteral("same-capcodes"),
                            QStringLiteral("Program identical pagers: every pager of --count gets FILE's capcodes."));
}

int RunBatchWrite(const CommandParser& parser) {
  BatchPlan plan;
  plan.file = parser.positionalArguments().value(0);
  plan.increment = parser.isSet(QStringLiteral("increment"));
  plan.sameCapcodes = parser.isSet(QStringLiteral("same-capcodes"));
  if (parser.isSet(QStringLiteral("count"))) {
    bool ok = false;
    plan.count = parser.value(QStringLiteral("count")).toInt(&ok);
    if (!ok || plan.count < 1) return parser.UsageError(QStringLiteral("--count takes a number of pagers, 1 or more"));
  }
  if (plan.count > 1 && !plan.increment && !plan.sameCapcodes)
    return parser.UsageError(
        QStringLiteral("--count %1 would program %1 pagers with the same capcodes; give --increment "
                       "to step them, or --same-capcodes to mean it")
            .arg(plan.count));
  plan.keepSerial = KeepSerialChoice(parser);
  plan.base = parser.value(QStringLiteral("base"));
  plan.backup = parser.isSet(QStringLiteral("backup"));
  PagerHistory history = CommandHistory(parser, kSourceBatch);
  plan.history = &history;
  SerialPort port(AdapterPortName(parser.value(QStringLiteral("port"))));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("write"), port, trace, {plan.file})) return 1;
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::WarnThenStop);
  return WriteBatch(plan, link, AwaitEnterOnTerminal, &interrupts);
}

}  // namespace m84
