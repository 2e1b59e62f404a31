// "fleet": an order of pagers, each with its own settings from a row of a CSV table, checked,
// programmed on one adapter or several, and followed in the programming history.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/transfer_interrupt.h"
#include "core/fleet/fleet_order.h"
#include "core/fleet/fleet_runner.h"
#include "core/fleet/order_csv.h"
#include "core/fleet/order_state.h"

namespace m84 {

namespace {

using namespace fleet;

const QString kCheckAction = QStringLiteral("check");
const QString kRunAction = QStringLiteral("run");
const QString kStatusAction = QStringLiteral("status");
const QString kExportAction = QStringLiteral("export");

void Print(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

void PrintError(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
}

struct FleetOptions {
  QCommandLineOption templateFile{QStringLiteral("template"),
                                  QStringLiteral("Every setting a row does not give comes from this data file, raw "
                                                 "image (.BIN) or settings text (.yaml); default: the default "
                                                 "settings."),
                                  QStringLiteral("FILE")};
  QCommandLineOption order{QStringLiteral("order"),
                           QStringLiteral("The order's name in the history; default: ORDER's file name without its "
                                          "folder and extension, so that every bench's copy is the same order."),
                           QStringLiteral("NAME")};
  QCommandLineOption port{QStringLiteral("port"),
                          QStringLiteral("run: an adapter's serial device; give --port once per adapter, each gets "
                                         "its own worker (default: $M84DPT_PORT, else the first USB serial device)."),
                          QStringLiteral("DEVICE")};
  QCommandLineOption retryFailed{QStringLiteral("retry-failed"),
                                 QStringLiteral("run: try a row that failed in this run again with the next pager "
                                                "(a row failed in an earlier run is always tried again).")};
  QCommandLineOption claimTimeout{
      QStringLiteral("claim-timeout"),
      QStringLiteral("run: a row taken on another machine by a run that went away (killed, unplugged, its host "
                     "gone) is given back after SECONDS on the store's clock (default: 120); the order keeps the "
                     "time-out of its first run. On this machine a row whose run is gone is taken at once."),
      QStringLiteral("SECONDS")};
  QCommandLineOption redo{QStringLiteral("redo"),
                          QStringLiteral("run: program this done row again (its number as status shows it); may be "
                                         "given more than once."),
                          QStringLiteral("ROW")};
};

// The order read over its template, or the exit code after its faults were printed.
struct LoadedOrder {
  std::optional<Order> order;
  int exitCode = 0;
};

// The order's faults, and the warnings of the history where there is one.
void AddHistoryWarnings(Order& order) {
  if (!HistoryEnabledByEnvironment()) return;
  HistoryStore store(DefaultHistoryLocation(PreferredHistoryLocation()));
  if (const Outcome added = fleet::AddHistoryWarnings(order, store); !added)
    PrintReason(QStringLiteral("history: the capcodes were not compared with it: %1").arg(added.failure().Text()));
}

LoadedOrder ReadAndCheck(const QString& path, const QString& templatePath, const QString& name,
                         bool withHistory = true) {
  const Result<PagerData> templateData = LoadOrderTemplate(templatePath);
  if (!templateData) {
    PrintReason(QStringLiteral("template %1").arg(templateData.failure().reason));
    return {std::nullopt, 1};
  }
  Result<Order> order = LoadOrder(path, *templateData);
  if (!order) {
    PrintReason(order.failure().reason);
    return {std::nullopt, 1};
  }
  Order checked = std::move(order).value();
  if (!name.isEmpty()) checked.name = name;
  if (withHistory && !checked.Refused()) AddHistoryWarnings(checked);
  for (const OrderFault& fault : checked.faults) PrintError(fault.Text(path) + QLatin1Char('\n'));
  return {std::move(checked), 0};
}

int Check(const QString& path, const QString& templatePath, const QString& name) {
  LoadedOrder loaded = ReadAndCheck(path, templatePath, name);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  if (order.Refused()) return 1;
  Print(QStringLiteral("%1: %2 row(s) ready\n").arg(path).arg(order.rows.size()));
  return 0;
}

// The person at the bench: one prompt at a time on standard error, answered by Enter on
// standard input, in adapter order (the lowest-numbered adapter waiting first, and at the start
// every adapter's prompt in turn), each naming its adapter and the row its pager is for, so that
// the Enter goes to the adapter the prompt names; the status of each adapter on standard error,
// each row's outcome on standard output.
class TerminalConsole : public RunConsole {
 public:
  explicit TerminalConsole(int adapters) : adapters_(adapters) {}

  bool AwaitPager(int adapter, const QString& port, const QString& next) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return false;
    ports_[adapter] = port;
    next_[adapter] = next;
    waiting_.insert(adapter);
    changed_.notify_all();
    changed_.wait(lock, [&] { return answers_.count(adapter) > 0; });
    const bool answer = answers_[adapter];
    answers_.erase(adapter);
    return answer;
  }

  void Progress(int, const QString& line) override { Line(stderr, line); }
  void Tell(const QString& line) override { Line(stderr, QStringLiteral("m84dpt: ") + line); }
  void RowFinished(const QString& line) override { Line(stdout, line); }

  bool StopTransfer() override {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return interrupts_.StopRequested();
  }
  bool Stopping() override { return interrupts_.Interrupted() || interrupts_.HungUp(); }

  void Attend(const std::function<bool()>& finished) override {
    std::unique_lock<std::mutex> lock(mutex_);
    // The first prompts in adapter order: every adapter has asked, or had its chance to.
    const auto start = std::chrono::steady_clock::now() + kFirstRound;
    changed_.wait_until(lock, start, [&] { return int(waiting_.size()) >= adapters_ || finished() || Stopping(); });
    for (;;) {
      changed_.wait_for(lock, std::chrono::milliseconds(100), [&] { return !waiting_.empty() || finished(); });
      if (Stopping()) Close();
      if (waiting_.empty()) {
        if (finished()) return;
        continue;
      }
      const int adapter = *waiting_.begin();
      waiting_.erase(waiting_.begin());
      const QString prompt = QStringLiteral("adapter %1 (%2): insert the pager for %3 and press Enter")
                                 .arg(adapter)
                                 .arg(ports_[adapter], next_[adapter]);
      lock.unlock();
      Line(stderr, prompt);
      const bool entered = ReadPromptLine().has_value();
      lock.lock();
      answers_[adapter] = entered && !Stopping();
      if (!answers_[adapter]) Close();
      changed_.notify_all();
    }
  }

  const TransferInterrupts& Interrupts() const { return interrupts_; }

 private:
  // No more pagers: every adapter waiting is told so.
  void Close() {
    closed_ = true;
    for (int adapter : waiting_) answers_[adapter] = false;
    waiting_.clear();
    changed_.notify_all();
  }

  void Line(FILE* stream, const QString& text) {
    std::lock_guard<std::mutex> lock(outputMutex_);
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
  }

  // How long the first prompt waits for every adapter to ask: their workers start together.
  static constexpr std::chrono::seconds kFirstRound{2};

  TransferInterrupts interrupts_{InterruptRule::WarnThenStop};
  int adapters_;
  std::mutex mutex_;
  std::mutex outputMutex_;
  std::condition_variable changed_;
  std::set<int> waiting_;  // by adapter number: the lowest is asked first
  std::map<int, bool> answers_;
  std::map<int, QString> ports_;
  std::map<int, QString> next_;
  bool closed_ = false;
};

QString HistoryOff() {
  return QStringLiteral("an order's progress is kept in the programming history, which %1 turns off")
      .arg(QLatin1String(kNoHistoryVariable));
}

int Run(const CommandParser& parser, const FleetOptions& options, const QString& path) {
  if (!HistoryEnabledByEnvironment()) return parser.UsageError(HistoryOff());
  std::set<int> redo;
  for (const QString& text : parser.values(options.redo)) {
    bool ok = false;
    const int row = text.toInt(&ok);
    if (!ok || row < 2) return parser.UsageError(QStringLiteral("--redo takes a row number, 2 or more"));
    redo.insert(row);
  }
  QStringList ports = parser.values(options.port);
  if (ports.isEmpty()) ports << AdapterPortName();
  for (QString& port : ports) port = AdapterPortName(port);
  if (ports.contains(QString())) {
    PrintReason(QStringLiteral("no adapter found: name its serial device with --port"));
    return 1;
  }
  if (ports.removeDuplicates() > 0) return parser.UsageError(QStringLiteral("an adapter is named twice by --port"));
  RunOptions run;
  run.ports = ports;
  run.history = DefaultHistoryLocation(PreferredHistoryLocation());
  run.rules.runId = NewRunId();
  run.rules.redo = redo;
  run.rules.retryFailed = parser.isSet(options.retryFailed);
  if (parser.isSet(options.claimTimeout)) {
    bool ok = false;
    run.rules.staleClaimSeconds = parser.value(options.claimTimeout).toInt(&ok);
    if (!ok || run.rules.staleClaimSeconds < 1)
      return parser.UsageError(QStringLiteral("--claim-timeout takes a number of seconds, 1 or more"));
  }
  // Ctrl+C and a hang-up are heard from here on: the check's look at the history may wait on its
  // server, and ends at once then.
  TerminalConsole console(int(ports.size()));
  const QString stopped = QStringLiteral("interrupted; nothing written");
  LoadedOrder loaded = ReadAndCheck(path, parser.value(options.templateFile), parser.value(options.order));
  if (console.Stopping()) {
    PrintReason(stopped);
    return console.Interrupts().ExitCode();
  }
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  if (order.Refused()) {
    PrintReason(QStringLiteral("%1 has faults; nothing written").arg(path));
    return 1;
  }
  for (int row : redo)
    if (!order.Row(row)) return parser.UsageError(QStringLiteral("--redo %1: the order has no row %1").arg(row));
  const RunResult result = RunOrder(order, run, console);
  // A store that could not be reached before a signal is not asked again for the summary.
  if (result.storeFailed && console.Stopping()) {
    if (result.done == 0 && result.failed == 0) PrintReason(stopped);
    return console.Interrupts().ExitCode();
  }

  // What is left, as the store now has it (other benches' rows too).
  HistoryStore store(run.history);
  const Result<std::vector<RowRecord>> rows = OrderState(store, order.name).Rows();
  int done = 0;
  if (rows)
    for (const RowRecord& row : *rows)
      if (row.state == kRowDone && order.Row(row.row)) ++done;
  Print(QStringLiteral("%1: %2 written, %3 failed in this run; %4 of %5 row(s) done\n")
            .arg(order.name)
            .arg(result.done)
            .arg(result.failed)
            .arg(done)
            .arg(order.rows.size()));
  if (console.Interrupts().Interrupted() || console.Interrupts().HungUp()) return console.Interrupts().ExitCode();
  return !result.storeFailed && rows && done == int(order.rows.size()) ? 0 : 1;
}

// The order's rows as the history store holds them; nothing after saying why they cannot be read.
std::optional<std::vector<RowRecord>> StoredRows(const Order& order) {
  HistoryStore store(DefaultHistoryLocation(PreferredHistoryLocation()));
  Result<std::vector<RowRecord>> rows = OrderState(store, order.name).Rows();
  if (!rows) {
    PrintReason(rows.failure().Text());
    return std::nullopt;
  }
  return std::move(rows).value();
}

std::map<int, const RowRecord*> ByRowNumber(const std::vector<RowRecord>& rows) {
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : rows) held[row.row] = &row;
  return held;
}

int Status(const CommandParser& parser, const FleetOptions& options, const QString& path) {
  LoadedOrder loaded = ReadAndCheck(path, parser.value(options.templateFile), parser.value(options.order), false);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  const std::optional<std::vector<RowRecord>> rows = StoredRows(order);
  if (!rows) return 1;
  const std::map<int, const RowRecord*> held = ByRowNumber(*rows);
  int done = 0, failed = 0, changed = 0, toDo = 0;
  QString text;
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    QString line = QStringLiteral("row %1").arg(row.row);
    if (!record) {
      line += QStringLiteral(": to do");
      ++toDo;
    } else if (record->state == kRowDone) {
      const bool same = record->fingerprint == row.fingerprint;
      line += QStringLiteral(": %1, serial number %2, %3 UTC, %4@%5, %6")
                  .arg(same ? QStringLiteral("done") : QStringLiteral("changed since it was done"), record->serial,
                       record->updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), record->user, record->host,
                       record->port);
      ++(same ? done : changed);
    } else if (record->state == kRowFailed) {
      line += QStringLiteral(": failed, %1 UTC, %2@%3, %4: %5")
                  .arg(record->updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), record->user, record->host,
                       record->port, record->detail);
      ++failed;
    } else {
      line += QStringLiteral(": being written since %1 UTC, %2@%3, %4")
                  .arg(record->claimed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), record->user, record->host,
                       record->port);
      // The pager to look at should that run have gone away.
      if (!record->serial.isEmpty()) line += QStringLiteral(", the pager with serial number %1").arg(record->serial);
      ++toDo;
    }
    if (!row.label.isEmpty()) line += QStringLiteral(" (%1)").arg(row.label);
    text += line + QLatin1Char('\n');
  }
  text += QStringLiteral("%1: %2 done, %3 failed, %4 to do").arg(order.name).arg(done).arg(failed).arg(toDo);
  if (changed > 0) text += QStringLiteral(", %1 changed since done (fleet run --redo ROW)").arg(changed);
  Print(text + QLatin1Char('\n'));
  return done == int(order.rows.size()) ? 0 : 1;
}

// The order's rows as the file has them, with what each pager got: the delivery list.
int Export(const CommandParser& parser, const FleetOptions& options, const QString& path, const QString& out) {
  LoadedOrder loaded = ReadAndCheck(path, parser.value(options.templateFile), parser.value(options.order), false);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  if (order.Refused()) return 1;
  const std::optional<std::vector<RowRecord>> rows = StoredRows(order);
  if (!rows) return 1;
  const std::map<int, const RowRecord*> held = ByRowNumber(*rows);
  QByteArray csv = fleet::CsvLine(
      order.headers + QStringList{"state", "serial_number", "time_utc", "user", "host", "adapter", "history_id"});
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    QStringList added;
    if (record && record->state == kRowDone) {
      added << (record->fingerprint == row.fingerprint ? QStringLiteral("done") : QStringLiteral("changed"))
            << record->serial << record->updated.toString(Qt::ISODate) << record->user << record->host << record->port
            << (record->historyId ? QString::number(*record->historyId) : QString());
    } else {
      added << (record && record->state == kRowFailed ? QStringLiteral("failed") : QStringLiteral("to do")) << QString()
            << QString() << QString() << QString() << QString() << QString();
    }
    csv += fleet::CsvLine(row.cells + added);
  }
  if (const Outcome saved = SaveOutput(out, csv); !saved) {
    PrintReason(QStringLiteral("%1: %2").arg(out, saved.failure().reason));
    return 1;
  }
  return 0;
}

}  // namespace

int RunFleetCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("fleet"));
  parser.addPositionalArgument(
      QStringLiteral("ACTION"),
      QStringLiteral("\"check\": check every row as a settings text is checked and report every fault as "
                     "ORDER:ROW:COLUMN: message; nothing is written. \"run\": program the rows not done yet, one "
                     "pager per row, on every --port at once. \"status\": list the rows done, failed and to do; "
                     "exit 0 when all are done. \"export\": write the delivery list OUT."));
  parser.addPositionalArgument(QStringLiteral("ORDER"),
                               QStringLiteral("The order: a CSV table (UTF-8) with a header row of settings keys "
                                              "(general.capcodes[1].capcode, display.standby_text_1, general.serial; "
                                              "\"label\" for free text) and one row per pager."));
  parser.addPositionalArgument(QStringLiteral("OUT"),
                               QStringLiteral("export: the delivery list to write (\"-\": standard output): ORDER's "
                                              "rows with their state, serial number, time, user, host and adapter."),
                               true);
  const FleetOptions options;
  parser.addOption(options.templateFile);
  parser.addOption(options.order);
  parser.addOption(options.port);
  parser.addOption(options.redo);
  parser.addOption(options.retryFailed);
  parser.addOption(options.claimTimeout);
  parser.AllowRepeated(options.port);
  parser.AllowRepeated(options.redo);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString action = parser.positionalArguments()[0];
  const QString path = parser.positionalArguments()[1];
  if (action != kRunAction)
    for (const QCommandLineOption* runOnly :
         {&options.port, &options.redo, &options.retryFailed, &options.claimTimeout})
      if (parser.isSet(*runOnly))
        return parser.UsageError(QStringLiteral("--%1 is for fleet run").arg(runOnly->names().first()));
  const QString out = parser.positionalArguments().value(2);
  if ((action == kExportAction) != !out.isEmpty())
    return parser.UsageError(action == kExportAction ? QStringLiteral("export takes ORDER and OUT")
                                                     : QStringLiteral("unexpected argument '%1'").arg(out));
  if (action == kExportAction) return Export(parser, options, path, out);
  if (action == kCheckAction) return Check(path, parser.value(options.templateFile), parser.value(options.order));
  if (action == kRunAction) return Run(parser, options, path);
  if (action == kStatusAction) return Status(parser, options, path);
  return parser.UsageError(QStringLiteral("unknown action '%1'; use check, run, status or export").arg(action));
}

}  // namespace m84
