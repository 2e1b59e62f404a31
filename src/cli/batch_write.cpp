#include "cli/batch_write.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/cli_history.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/transfer_interrupt.h"
#include "core/fleet/batch_order.h"
#include "core/fleet/fleet_runner.h"
#include "core/fleet/order_bench.h"
#include "core/fleet/order_state.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/pager_transfer.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"
#include "core/pages/capcode.h"
#include "core/pages/page_catalog.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

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

// The digits before the terminating zero, as the history's records hold a serial number.
QString SerialText(const QByteArray& serial) {
  QByteArray digits = serial.left(kSerialLast - kSerialFirst);
  if (const int end = digits.indexOf('\0'); end >= 0) digits.truncate(end);
  return QString::fromLatin1(digits);
}

// Why the pager with this serial number must not be written (it is one of the batch's own), or
// an empty text.
using RefuseSeated = std::function<QString(const QByteArray& serial)>;

// Waits for the next pager; a pager that answers with a serial number this batch has written is
// one of its own still (or again) in the adapter, so the prompt comes again rather than writing
// it a second time. Where every pager gets FILE's serial number the pagers cannot be told apart.
// seen: the serial number of the pager taken, where it was read.
bool AwaitAnotherPager(AdapterLink& link, const AwaitNextPager& awaitNext, int next, int count,
                       const RefuseSeated& refuse, bool guard, std::optional<QByteArray>& seen) {
  for (;;) {
    seen.reset();
    link.ClosePort();
    if (!awaitNext(next, count)) return false;
    if (!guard) return true;
    seen = link.ReadSerialNumber();
    if (!seen) return true;
    const QString refused = refuse(*seen);
    if (refused.isEmpty()) return true;
    PrintReason(refused);
  }
}

// FILE moved on to the capcodes after those of `row`: a data file or raw image saved from its
// pages, a settings text edited where it writes the capcodes, so that its comments and its form
// stay. fileCapcodes: what FILE holds, kept up to date.
Outcome StepFile(const QString& file, const PagerData& row, PagerData& fileData, ModelPageSet& filePages,
                 Capcodes& fileCapcodes, ConsoleHost& fileHost) {
  fileData = row;
  filePages.ExchangeAllPages(Direction::Load);
  PageValues& general = filePages.Page(PageId::General).Values();
  ManuallyIncrement(general);
  const Capcodes after = CapcodesOf(general);
  if (SettingsFileFormOf(file) != SettingsFileForm::Text) {
    if (Outcome saved = SaveSettingsFromPages(file, fileData, filePages, fileHost); !saved) return saved;
    fileCapcodes = after;
    return Succeeded();
  }
  QFile input(file);
  if (const std::optional<QString> refused = OpenRegularInput(input)) return Failed(kSaveDataFileError, *refused);
  const Result<QByteArray> stepped = fleet::StepCapcodesInText(input.readAll(), fileCapcodes, after);
  Outcome saved = stepped ? WriteFileAtomically(file, *stepped) : Outcome(stepped.failure());
  if (!saved) {
    fileHost.ShowStatus(kSaveDataFileError);
    fileHost.ShowFileProblem(file, saved.failure().reason);
    return saved;
  }
  fileHost.ShowStatus(kFileSavedOk);
  fileCapcodes = after;
  return Succeeded();
}

// Why a settings text FILE cannot take the whole batch's steps in place, or an empty text.
QString TextCannotStep(const BatchPlan& plan, const PageValues& general) {
  if (!plan.increment || SettingsFileFormOf(plan.file) != SettingsFileForm::Text) return {};
  PageValues after = general;
  for (int pager = 1; pager <= plan.count; ++pager) ManuallyIncrement(after);
  QFile input(plan.file);
  if (const std::optional<QString> refused = OpenRegularInput(input)) return *refused;
  const Result<QByteArray> stepped = fleet::StepCapcodesInText(input.readAll(), CapcodesOf(general), CapcodesOf(after));
  return stepped ? QString() : stepped.failure().reason;
}

// The stored batches with a pager not yet written: a batch all done is no batch to go on with,
// and FILE at its first pager again (its save failed) starts a batch of its own.
std::vector<fleet::BatchTerms> UnfinishedBatches(HistoryStore& store, const std::vector<fleet::BatchTerms>& stored) {
  std::vector<fleet::BatchTerms> unfinished;
  for (const fleet::BatchTerms& terms : stored) {
    const Result<std::vector<fleet::RowRecord>> rows = fleet::OrderState(store, terms.name).Rows();
    if (!rows) continue;
    const auto done = std::count_if(rows->begin(), rows->end(),
                                    [](const fleet::RowRecord& row) { return row.state == fleet::kRowDone; });
    if (done < terms.total) unfinished.push_back(terms);
  }
  return unfinished;
}

bool AwaitEnterOnTerminal(int next, int count) {
  std::fprintf(stderr, "%s (pager %d of %d)\n", qPrintable(kNextPagerPrompt), next, count);
  std::fflush(stderr);
  return ReadPromptLine().has_value();
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

int WriteBatch(const BatchPlan& given, AdapterLink& link, const AwaitNextPager& awaitNext,
               TransferInterrupts* interrupts) {
  BatchPlan plan = given;
  PagerData fileData;
  ModelPageSet filePages(fileData, DisplayMode::Advanced);
  ConsoleHost fileHost;
  if (!LoadSettingsOverBase(plan.base, plan.file, fileData, fileHost)) return 1;
  filePages.ExchangeAllPages(Direction::Load);
  const PageValues& general = filePages.Page(PageId::General).Values();

  // The batch as an order: its rows' progress kept in the history store with its total and its
  // first pager's settings, so that a run that stopped goes on where it stopped, with FILE as it
  // now stands, instead of giving the same capcodes to another pager.
  std::optional<HistoryStore> store;
  std::optional<fleet::OrderState> state;
  std::optional<fleet::ResumedBatch> resumed;
  if (plan.orderStore && plan.increment) {
    store.emplace(*plan.orderStore);
    const Result<std::vector<fleet::BatchTerms>> stored =
        fleet::StoredBatches(*store, fleet::BatchNamePrefix(plan.file));
    if (!stored)
      PrintReason(QStringLiteral("history: the batch's progress is not kept: %1").arg(stored.failure().Text()));
    else
      resumed = fleet::ResumableBatch(plan.file, fileData, UnfinishedBatches(*store, *stored));
  }
  if (resumed) {
    const int total = resumed->total;
    if (given.count != total && given.count > 1)
      PrintReason(QStringLiteral("--count %1 is not used: this batch's total is %2, kept from its first run")
                      .arg(given.count)
                      .arg(total));
    PrintReason(QStringLiteral("%1 holds pager %2 of a batch of %3 begun earlier: the batch goes on from there")
                    .arg(plan.file)
                    .arg(resumed->row)
                    .arg(total));
    plan.count = total - resumed->row + 1;
  }
  const Capcodes first = CapcodesOf(general);
  const Planned planned = PlanCapcodes(plan, general);
  if (const QString obstacle = BatchObstacle(plan, general, planned); !obstacle.isEmpty()) {
    PrintReason(obstacle);
    return 1;
  }
  if (const QString cannot = TextCannotStep(plan, general); !cannot.isEmpty()) {
    PrintReason(QStringLiteral("%1 cannot be stepped after each pager: %2; nothing written").arg(plan.file, cannot));
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

  const fleet::Order order =
      resumed ? resumed->order : fleet::BatchOrder(plan.file, fileData, plan.count, plan.increment);
  // The batch's whole count, and the pager numbers (from 1) as its first run numbered them.
  const int total = resumed ? resumed->total : plan.count;
  fleet::ClaimRules rules;
  if (store) {
    state.emplace(*store, order.name);
    rules.runId = fleet::NewRunId();
    rules.staleClaimSeconds = plan.claimTimeoutSeconds;
    rules.source = kSourceBatch;
    Outcome kept = Succeeded();
    if (!resumed)
      kept = state->KeepBatch({order.name, plan.count, fleet::BatchStartText(fileData)}, plan.claimTimeoutSeconds);
    const Result<std::vector<fleet::RowRecord>> rows =
        kept ? state->Rows() : Result<std::vector<fleet::RowRecord>>(kept.failure());
    if (!rows) {
      PrintReason(QStringLiteral("history: the batch's progress is not kept: %1").arg(rows.failure().Text()));
      state.reset();
    } else if (!resumed) {
      QStringList before;
      for (const fleet::RowRecord& row : *rows)
        if (row.state == fleet::kRowDone && order.Row(row.row)) before << QString::number(row.row);
      if (!before.isEmpty())
        PrintReason(QStringLiteral("the history records pager(s) %1 of this batch as written by an earlier run that "
                                   "stopped before %2 was stepped; their capcodes are not given again")
                        .arg(before.join(QStringLiteral(", ")), plan.file));
    }
  }
  PagerHistory off;
  PagerHistory& history = plan.history ? *plan.history : off;

  Capcodes fileCapcodes = first;
  std::optional<Capcodes> firstWritten;
  Capcodes last = first;
  std::vector<QByteArray> writtenSerials;
  std::vector<int> writtenRows;
  const auto refuse = [&](const QByteArray& serial) -> QString {
    const auto found = std::find(writtenSerials.begin(), writtenSerials.end(), serial);
    std::optional<int> row;
    if (found != writtenSerials.end()) {
      if (found + 1 == writtenSerials.end())
        return QStringLiteral(
                   "the pager in the adapter has serial number %1, the one just written; insert the next "
                   "pager")
            .arg(SerialText(serial));
      row = writtenRows[size_t(found - writtenSerials.begin())];
    } else if (state) {
      const Result<std::optional<int>> earlier = state->RowWithSerial(SerialText(serial));
      if (earlier) row = *earlier;
    }
    if (!row) return {};
    return QStringLiteral(
               "the pager in the adapter has serial number %1, pager %2 of this batch; insert the next "
               "pager")
        .arg(SerialText(serial))
        .arg(*row);
  };

  int written = 0;
  int exitCode = 0;
  // The last row taken, where no store keeps them.
  int sequential = order.rows.empty() ? 0 : order.rows.front().row - 1;
  bool another = false;  // a pager was written: ask for the next
  for (;;) {
    // A signal during the pager just written ends the batch: no other pager is started.
    if (interrupts && interrupts->Heard()) {
      exitCode = interrupts->ExitCode();
      if (another) PrintReason(QStringLiteral("interrupted; no further pager is started"));
      break;
    }
    int pager = sequential + 1;
    // FILE steps past each pager written, so a pager that another run is still writing is never
    // skipped: its capcodes would be given to nobody.
    if (state) {
      const Result<std::optional<fleet::RowRecord>> ahead = state->HeldAhead(order, rules);
      if (ahead && *ahead) {
        PrintReason(QStringLiteral("pager %1 of this batch is being written by another run (%2, since %3 UTC); it is "
                                   "given back once that run has been silent for %4 s: run the batch again then")
                        .arg((*ahead)->row)
                        .arg((*ahead)->runId, (*ahead)->claimed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                        .arg(rules.staleClaimSeconds));
        exitCode = 1;
        break;
      }
    }
    if (state) {
      // The device is known by its name once the port was opened.
      rules.port = link.DeviceName().isEmpty() ? plan.port : link.DeviceName();
      const Result<std::optional<int>> claimed = state->Claim(order, rules);
      if (!claimed) {
        PrintReason(QStringLiteral("history: the batch's progress is not kept: %1").arg(claimed.failure().Text()));
        state.reset();
      } else if (!*claimed) {
        if (written == 0 && !another)
          PrintReason(QStringLiteral("the history records every pager of this batch as written or being written"));
        break;
      } else {
        pager = **claimed;
      }
    }
    if (!state && pager > total) break;
    sequential = pager;
    const fleet::OrderRow& row = *order.Row(pager);
    const auto giveBack = [&] {
      if (state) (void)state->Release(pager, rules);
    };
    std::optional<QByteArray> seated;
    if (another && !AwaitAnotherPager(link, awaitNext, pager, total, refuse, keepSerial, seated)) {
      giveBack();
      exitCode = interrupts && (interrupts->HungUp() || interrupts->Interrupted()) ? interrupts->ExitCode() : 1;
      PrintReason(QStringLiteral("the batch stops before pager %1").arg(pager));
      break;
    }
    // The first pager's serial number is read too, so that its claim names the pager should this
    // run be killed in mid-write. And the first pager of a batch that goes on from an earlier run
    // may be one of that run's.
    if (!another && state && keepSerial) {
      seated = link.ReadSerialNumber();
      if (seated && pager > 1)
        if (const QString refused = refuse(*seated); !refused.isEmpty()) {
          PrintReason(refused);
          if (!AwaitAnotherPager(link, awaitNext, pager, total, refuse, keepSerial, seated)) {
            giveBack();
            exitCode = interrupts && (interrupts->HungUp() || interrupts->Interrupted()) ? interrupts->ExitCode() : 1;
            PrintReason(QStringLiteral("the batch stops before pager %1").arg(pager));
            break;
          }
        }
    }
    // Checked before writing: a pager is never written with capcodes the file cannot follow.
    fileData = row.data;
    filePages.ExchangeAllPages(Direction::Load);
    if (plan.increment) {
      const QString leaves = StepLeavesRange(general);
      if (!leaves.isEmpty()) {
        giveBack();
        PrintReason(QStringLiteral("%1; the batch stops before writing pager %2").arg(leaves).arg(pager));
        exitCode = 1;
        break;
      }
    }
    if (total > 1) PrintReason(QStringLiteral("pager %1 of %2").arg(pager).arg(total));
    PagerData pagerData = row.data;
    ModelPageSet pages(pagerData, DisplayMode::Advanced);
    pages.ExchangeAllPages(Direction::Load);
    const WriteOptions options{keepSerial};
    ConsoleHost host;
    host.SetInterrupts(interrupts);
    std::optional<QByteArray> backedUp;
    if (plan.backup && !BackUpPager(link, pagerData, plan.file, history, interrupts, &backedUp)) {
      giveBack();
      exitCode = 1;
      break;
    }
    // The pager's row kept this run's while it is written, however slowly, and the pager named
    // with it where its serial number was read: the record a later run leaves for a write that
    // never finished is filed under it.
    const std::optional<QByteArray>& known = seated ? seated : backedUp;
    if (state) (void)state->Refresh(pager, rules, known ? SerialText(*known) : QString());
    fleet::ClaimKeepingHost keeping(host, state ? state->LeaseSeconds(rules) : rules.staleClaimSeconds, [&] {
      if (state) (void)state->Refresh(pager, rules);
    });
    const WriteResult result = WriteFromPages(link, pagerData, pages, options, keeping);
    const bool verified = bool(result.outcome);
    const int writeExit = interrupts && interrupts->HungUp() ? kHungUpExitCode
                          : verified                         ? 0
                                                             : ReportWriteFailure(link);
    // FILE is stepped before the write is recorded: a kill between the two leaves FILE past the
    // pager's capcodes, never behind them.
    Outcome stepped = Succeeded();
    if (verified && plan.increment)
      stepped = StepFile(plan.file, row.data, fileData, filePages, fileCapcodes, fileHost);
    const PagerTransfer transfer{HistoryOperation::Write, verified, &pagerData, writeExit, plan.file};
    const std::optional<QString> serial = FailedWriteSerial(verified, result, known);
    if (state) {
      HistoryRecord record = RecordOf(transfer, link, serial);
      record.source = kSourceBatch;
      const fleet::RowKept kept = fleet::KeepRow(order, row, record, verified, *state);
      if (!kept.MayGoOn()) {
        PrintReason(kept.Trouble(record));
        exitCode = verified ? 1 : writeExit;
        if (verified) ++written;
        break;
      }
    } else {
      RecordTransfer(history, transfer, link, serial);
    }
    if (!verified) {
      exitCode = writeExit;
      break;
    }
    writtenSerials.push_back(QByteArray(reinterpret_cast<const char*>(pagerData.image.data() + kSerialFirst),
                                        kSerialLast - kSerialFirst + 1));
    writtenRows.push_back(pager);
    if (!firstWritten) firstWritten = fleet::CapcodesOf(row.data);
    last = fleet::CapcodesOf(row.data);
    ++written;
    another = true;
    if (!stepped) {
      PrintReason(QStringLiteral("%1 keeps the capcodes of the pager just written; the batch stops").arg(plan.file));
      exitCode = 1;
      break;
    }
  }
  const QString summary = Summary(written, plan.count, general, firstWritten.value_or(first), last);
  std::printf("%s\n", qPrintable(summary));
  std::fflush(stdout);
  return exitCode;
}

QCommandLineOption SameCapcodesOption() {
  return QCommandLineOption(QStringLiteral("same-capcodes"),
                            QStringLiteral("Program identical pagers: every pager of --count gets FILE's capcodes."));
}

QCommandLineOption BatchClaimTimeoutOption() {
  return QCommandLineOption(QStringLiteral("claim-timeout"),
                            QStringLiteral("A batch's pager left being written on another machine by a run that "
                                           "went away is given back after SECONDS (default: 120; the batch keeps "
                                           "the time-out of its first run); on this machine at once."),
                            QStringLiteral("SECONDS"));
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
  if (parser.isSet(QStringLiteral("claim-timeout"))) {
    bool ok = false;
    plan.claimTimeoutSeconds = parser.value(QStringLiteral("claim-timeout")).toInt(&ok);
    if (!ok || plan.claimTimeoutSeconds < 1)
      return parser.UsageError(QStringLiteral("--claim-timeout takes a number of seconds, 1 or more"));
  }
  plan.keepSerial = KeepSerialChoice(parser);
  plan.base = parser.value(QStringLiteral("base"));
  plan.backup = parser.isSet(QStringLiteral("backup"));
  PagerHistory history = CommandHistory(parser, kSourceBatch);
  plan.history = &history;
  if (history.Enabled()) plan.orderStore = DefaultHistoryLocation(PreferredHistoryLocation());
  plan.port = AdapterPortName(parser.value(QStringLiteral("port")));
  SerialPort port(plan.port);
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("write"), port, trace, {plan.file})) return 1;
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::WarnThenStop);
  return WithTraceOutcome(trace, WriteBatch(plan, link, AwaitEnterOnTerminal, &interrupts));
}

}  // namespace m84
