// "read", "write", "probe" and "simulate": the pager through the adapter without the window.
#include <unistd.h>
#include <csignal>
#include <cstdio>

#include "cli/batch_write.h"
#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/simulated_terminal.h"
#include "cli/site_option.h"
#include "cli/transfer_interrupt.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/adapter_link.h"
#include "core/link/pager_transfer.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

const QCommandLineOption kPortOption = PortOption();

// Nothing is saved after an interruption, even when it came after the last block.
int ReportInterruptedRead(const AdapterLink& link, const TransferInterrupts& interrupts) {
  PrintReason(link.Interrupted() ? QStringLiteral("%1; nothing saved").arg(link.LastFailure())
                                 : QStringLiteral("interrupted; nothing saved"));
  return interrupts.ExitCode();
}

int Failed(const AdapterLink& link) {
  if (!link.LastFailure().isEmpty()) PrintReason(link.LastFailure());
  return 1;
}

// Standard output carries the changes: the review's read keeps its status texts back.
class ReviewHost : public ConsoleHost {
 public:
  void ShowStatus(const QString&) override {}
};

constexpr int kReviewTrouble = 2;

// --review and --dry-run: the pager read (kept in the history as the backup), then the settings
// the write would change printed, one a line, or that none would. The changes, or nothing when
// the pager could not be read. serial: given the serial number the pager held, once it was read
// (the record of a write that fails is filed under it).
std::optional<QStringList> ReviewChanges(AdapterLink& link, PagerData planned, const WriteOptions& options,
                                         const QString& file, PagerHistory& history, TransferInterrupts& interrupts,
                                         std::optional<QByteArray>& serial) {
  ReviewHost host;
  host.SetInterrupts(&interrupts);
  const Result<PagerImage> pager = link.ReadPager(host);
  PagerData before = planned;
  if (pager) {
    TakeRead(*pager, before.image);
    serial = QByteArray(reinterpret_cast<const char*>(pager->data() + kSerialFirst), kSerialLast - kSerialFirst + 1);
  }
  const int exitCode = pager ? 0 : (link.Interrupted() ? kInterruptedExitCode : 1);
  RecordTransfer(history, {HistoryOperation::Backup, bool(pager), pager ? &before : nullptr, exitCode, file}, link);
  if (!pager) {
    if (!link.LastFailure().isEmpty()) PrintReason(link.LastFailure());
    PrintReason(QStringLiteral("the pager was not written: it could not be read for the review"));
    return std::nullopt;
  }
  // A kept serial number is the pager's own: no change.
  if (options.keepSerialNumber)
    std::copy(before.image.data() + kSerialFirst, before.image.data() + kSerialLast + 1,
              planned.image.data() + kSerialFirst);
  const QStringList changes = SettingsDifferences(StoredByThePages(before), StoredByThePages(planned));
  const QString text = changes.isEmpty() ? kNoSettingWillChange : changes.join(QLatin1Char('\n'));
  std::printf("%s\n", text.toUtf8().constData());
  std::fflush(stdout);
  return changes;
}

// Yes from the terminal; anything else, or none, is no.
bool AskToWrite() {
  std::fputs("Write these changes into the pager? [y/N] ", stderr);
  std::fflush(stderr);
  char answer[16] = {};
  if (!std::fgets(answer, sizeof answer, stdin)) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

}  // namespace

int RunReadCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("read"));
  parser.addPositionalArgument(QStringLiteral("OUT"),
                               QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to write; "
                                              "\".DAT\" is added to a name without extension."));
  parser.addOption(kPortOption);
  parser.addOption({QStringLiteral("base"), QStringLiteral("Read into this file's settings."), QStringLiteral("FILE")});
  parser.addOption(TraceOption());
  parser.addOption(NoHistoryOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString out = parser.positionalArguments()[0];
  const QString target = WithDefaultExtension(out, DefaultExtensionOf(out));
  if (RefuseOutput(out, DefaultExtensionOf(out), kSaveDataFileError) ||
      RefuseUnwritable(target, kDatFileSize, kSaveDataFileError))
    return 1;
  const QString base = parser.value(QStringLiteral("base"));
  PagerData data;
  ModelPageSet pages(data, DisplayMode::Advanced);
  ConsoleHost host;
  if (parser.isSet(QStringLiteral("base")) && !LoadSettingsIntoPages(base, data, pages, host)) return 1;
  SerialPort port(AdapterPortName(parser.value(kPortOption)));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("read"), port, trace, {target, base})) return 1;
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::StopAfterBlock);
  host.SetInterrupts(&interrupts);
  const bool read = bool(ReadIntoPages(link, data, pages, host));
  PagerHistory history = CommandHistory(parser, kSourceCommandLine);
  const int readExit = interrupts.Interrupted() ? (interrupts.HungUp() ? kHungUpExitCode : kInterruptedExitCode)
                       : read                   ? 0
                                                : 1;
  RecordTransfer(history, {HistoryOperation::Read, read, read ? &data : nullptr, readExit, out}, link);
  if (interrupts.Interrupted()) return ReportInterruptedRead(link, interrupts);
  if (!read) return Failed(link);
  return WithTraceOutcome(trace, SaveSettingsFromPages(out, data, pages, host) ? 0 : 1);
}

int RunWriteCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("write"));
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to write into the pager."));
  parser.addOption(kPortOption);
  const QCommandLineOption keep(QStringLiteral("keep-serial"), QStringLiteral("Keep the pager's own serial number."));
  const QCommandLineOption overwrite(QStringLiteral("no-keep-serial"),
                                     QStringLiteral("Write the file's serial number into the pager."));
  parser.addOption(keep);
  parser.addOption(overwrite);
  parser.ExcludeEachOther(keep, overwrite);
  parser.addOption(TraceOption());
  parser.addOption(BaseOption());
  const QCommandLineOption increment(IncrementOption());
  const QCommandLineOption count(CountOption());
  const QCommandLineOption same(SameCapcodesOption());
  parser.addOption(increment);
  parser.addOption(count);
  parser.addOption(same);
  parser.ExcludeEachOther(increment, same);
  const QCommandLineOption claimTimeout(BatchClaimTimeoutOption());
  parser.addOption(claimTimeout);
  parser.addOption(BackupOption());
  parser.addOption(NoHistoryOption());
  const QCommandLineOption review(QStringLiteral("review"),
                                  QStringLiteral("Read the pager first, print the settings the write will change, and "
                                                 "ask on the terminal before writing."));
  const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                  QStringLiteral("Read the pager and print the settings a write would change; write "
                                                 "nothing. Exit 0 when nothing would change, 1 when something would."));
  parser.addOption(review);
  parser.addOption(dryRun);
  const QCommandLineOption strict(StrictOption());
  parser.addOption(strict);
  parser.ExcludeEachOther(review, dryRun);
  parser.addOption(SiteOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  if (const QString refused = BackupNeedsHistory(parser); !refused.isEmpty()) return parser.UsageError(refused);
  const bool reviewing = parser.isSet(review) || parser.isSet(dryRun);
  if (parser.isSet(SiteOption()) && !reviewing)
    return parser.UsageError(QStringLiteral("--site goes with --review or --dry-run"));
  if (reviewing && (parser.isSet(count) || parser.isSet(increment) || parser.isSet(same)))
    return parser.UsageError(QStringLiteral("--review and --dry-run write one pager: no batch options"));
  // Read before the pager is: a profile that cannot be read stops the review before it starts.
  const SiteChoice site = ChosenSite(parser);
  if (!site.read) return kReviewTrouble;
  if (parser.isSet(count) || parser.isSet(increment) || parser.isSet(same)) return RunBatchWrite(parser);
  if (parser.isSet(claimTimeout))
    return parser.UsageError(QStringLiteral("--claim-timeout belongs to a batch (--increment or --count)"));
  const QString file = parser.positionalArguments()[0];
  PagerData data;
  ModelPageSet pages(data, DisplayMode::Advanced);
  // With a review, standard output carries the changes alone: the load's status text stays back.
  ReviewHost quiet;
  ConsoleHost loud;
  ConsoleHost& host = reviewing ? quiet : loud;
  if (!LoadSettingsOverBase(parser.value(QStringLiteral("base")), parser.positionalArguments()[0], data, host))
    return 1;
  if (RefusedAsRead(file, data, parser.isSet(strict), true)) return 1;
  pages.ExchangeAllPages(Direction::Load);
  // Without an option the file decides, as its General page box would in the window.
  const WriteOptions options{KeepPagerSerialNumber(pages, KeepSerialChoice(parser))};
  SerialPort port(AdapterPortName(parser.value(kPortOption)));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("write"), port, trace, {file})) return 1;
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::WarnThenStop);
  loud.SetInterrupts(&interrupts);
  PagerHistory history = CommandHistory(parser, kSourceCommandLine);
  // The pager's serial number as the review or the backup read it, for the record of a write
  // that fails.
  std::optional<QByteArray> readBefore;
  if (reviewing) {
    pages.ExchangeAllPages(Direction::Store);
    const std::optional<QStringList> changes =
        ReviewChanges(link, data, options, file, history, interrupts, readBefore);
    if (!changes) return kReviewTrouble;
    // What the pager will not hear once written, before the question.
    if (site.site) PrintSiteFindings(*site.site, data, QStringLiteral("site"));
    if (parser.isSet(dryRun)) return changes->isEmpty() ? 0 : 1;
    if (!AskToWrite()) {
      PrintReason(QStringLiteral("the pager was not written"));
      return 1;
    }
  }
  if (!reviewing && parser.isSet(BackupOption()) && !BackUpPager(link, data, file, history, &interrupts, &readBefore))
    return 1;
  const WriteResult result = WriteFromPages(link, data, pages, options, loud);
  const bool written = bool(result.outcome);
  // The terminal closed during the write: it was finished all the same, and nobody reads a report;
  // the history keeps its outcome.
  const int exitCode = interrupts.HungUp() ? kHungUpExitCode : written ? 0 : ReportWriteFailure(link);
  RecordTransfer(history, {HistoryOperation::Write, written, &data, exitCode, file}, link,
                 FailedWriteSerial(written, result, readBefore));
  return WithTraceOutcome(trace, exitCode);
}

int RunProbeCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("probe"));
  parser.addOption(kPortOption);
  parser.addOption(TraceOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  SerialPort port(AdapterPortName(parser.value(kPortOption)));
  SerialTrace trace;
  if (!StartTrace(parser, QStringLiteral("probe"), port, trace)) return 1;
  AdapterLink link(port);
  if (link.PresenceCheck() != AdapterState::Ready) return Failed(link);
  std::puts("OK");
  return WithTraceOutcome(trace, 0);
}

int RunSimulateCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("simulate"));
  const SimulatedTerminalOptions terminal;
  terminal.AddTo(parser);
  const QCommandLineOption memory(QStringLiteral("memory"),
                                  QStringLiteral("The pager memory (2048 bytes) to start from and to keep."),
                                  QStringLiteral("FILE"));
  const QCommandLineOption pace(QStringLiteral("pace"),
                                QStringLiteral("Hold every byte for its time on a 9600-baud line."));
  const QCommandLineOption fault(QStringLiteral("fault"), QStringLiteral("Faults to inject: ") + FaultPlanSyntax(),
                                 QStringLiteral("SPEC"));
  const QCommandLineOption swap(QStringLiteral("swap"),
                                QStringLiteral("After each write's end, answer as a fresh pager: the memory it "
                                               "started with, with the next serial number."));
  parser.addOption(memory);
  parser.addOption(pace);
  parser.addOption(swap);
  parser.addOption(fault);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  if (parser.isSet(terminal.terminal)) return RunSimulatedTerminal(parser, terminal);
  if (const QString misplaced = terminal.MisplacedOption(parser); !misplaced.isEmpty())
    return parser.UsageError(misplaced);
  SimulatorOptions options;
  options.memoryFile = parser.value(memory);
  options.pace = parser.isSet(pace);
  options.swap = parser.isSet(swap);
  options.announce = true;
  const Result<FaultPlan> faults = ParseFaultPlan(parser.values(fault).join(QLatin1Char(',')));
  if (!faults) return parser.UsageError(faults.failure().reason + QStringLiteral("; faults: ") + FaultPlanSyntax());
  options.faults = *faults;

  // Blocked before the serving thread starts, so that only this thread takes them, in sigwait.
  // A pulled cable ends the serving thread, which says so with kUnpluggedSignal.
  constexpr int kUnpluggedSignal = SIGUSR1;
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, kUnpluggedSignal}) sigaddset(&stopSignals, signal);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  options.unplugged = [] { ::kill(::getpid(), kUnpluggedSignal); };

  SimulatorHost simulator(options);
  if (const Outcome started = simulator.Start(); !started) {
    PrintReason(started.failure().reason);
    return 1;
  }
  std::printf("%s\n", simulator.DevicePath().toLocal8Bit().constData());
  std::fflush(stdout);
  PrintReason(QStringLiteral("simulated adapter on %1; stop it with Ctrl+C (a pulled cable stops it too)")
                  .arg(simulator.DevicePath()));
  int received = 0;
  sigwait(&stopSignals, &received);
  simulator.Stop();
  return 0;
}

}  // namespace m84
