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

#include <sys/stat.h>

#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/site_option.h"
#include "cli/transfer_interrupt.h"
#include "core/control_characters.h"
#include "core/fleet/fleet_order.h"
#include "core/fleet/fleet_runner.h"
#include "core/fleet/order_changes.h"
#include "core/fleet/order_csv.h"
#include "core/fleet/order_settings.h"
#include "core/fleet/order_state.h"

namespace m84 {

namespace {

using namespace fleet;

const QString kCheckAction = QStringLiteral("check");
const QString kRunAction = QStringLiteral("run");
const QString kStatusAction = QStringLiteral("status");
const QString kExportAction = QStringLiteral("export");

// Lines that quote the order (labels, cells, column names, file names) and the store (other
// benches' users and hosts): every control character shown as "\x1B", as everywhere else, so
// that no cell can retitle or clear the terminal.
QString ShownLines(const QString& text) {
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& line : lines) line = EscapeControlCharacters(line);
  return lines.join(QLatin1Char('\n'));
}

void Print(const QString& text) {
  std::fputs(ShownLines(text).toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

void PrintError(const QString& text) {
  std::fputs(ShownLines(text).toLocal8Bit().constData(), stderr);
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
  QCommandLineOption strict{StrictOption()};
  QCommandLineOption redo{QStringLiteral("redo"),
                          QStringLiteral("run: program this done row again on its own pager, the one whose serial "
                                         "number the row holds (its number as status shows it); may be given more "
                                         "than once."),
                          QStringLiteral("ROW")};
  QCommandLineOption replace{QStringLiteral("replace"),
                             QStringLiteral("run: program this done row onto a fresh pager (its own lost or broken); "
                                            "the old pager's serial number is kept as replaced, and that pager is "
                                            "refused for the order since. May be given more than once."),
                             QStringLiteral("ROW")};
  QCommandLineOption redoChanged{QStringLiteral("redo-changed"),
                                 QStringLiteral("run: program again every done row whose settings changed since "
                                                "(status --changes lists them).")};
  QCommandLineOption shared{QStringLiteral("shared"),
                            QStringLiteral("A capcode column whose value several pagers share (a ward's or a team's "
                                           "call): rows with the same value are a group call, not a fault; may be "
                                           "given more than once. The order keeps it."),
                            QStringLiteral("COLUMN")};
  QCommandLineOption newTemplate{QStringLiteral("new-template"),
                                 QStringLiteral("Replace the template the order kept from its first check or run "
                                                "with --template's; done rows whose pager would differ become "
                                                "changed.")};
  QCommandLineOption changes{QStringLiteral("changes"),
                             QStringLiteral("status: list each row changed since it was done with the settings "
                                            "that would change.")};
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

// What the order is read with: the template and shared columns the order kept, or those given
// (kept once the order reads without faults).
struct OrderSource {
  OrderSettings settings;
  bool keep = false;
  bool storeFailed = false;  // said once; not asked again
};

QString OrderNameFrom(const CommandParser& parser, const FleetOptions& options, const QString& path) {
  return parser.isSet(options.order) ? parser.value(options.order) : OrderNameOf(path);
}

// A template given that differs from the one the order kept: refused, with what differs.
QString TemplateRefusal(const QString& name, const OrderSettings& kept, const QString& given,
                        const QStringList& differences) {
  return TemplateDiffers(name, kept, given, differences) +
         QStringLiteral(
             "leave out --template to use the order's, or give --new-template to replace it "
             "(done rows whose pager would differ become changed)");
}

std::optional<OrderSource> ChooseSource(const CommandParser& parser, const FleetOptions& options, const QString& name,
                                        bool storeRequired, int& exitCode) {
  exitCode = 1;
  OrderSource source;
  const bool templateGiven = parser.isSet(options.templateFile);
  if (templateGiven) {
    const Result<PagerData> given = LoadOrderTemplate(parser.value(options.templateFile));
    if (!given) {
      PrintReason(QStringLiteral("template %1").arg(given.failure().reason));
      return std::nullopt;
    }
    source.settings.templateData = *given;
    source.settings.templateFile = parser.value(options.templateFile);
  }
  source.settings.shared = parser.values(options.shared);
  source.settings.shared.removeDuplicates();
  std::optional<OrderSettings> kept;
  const HistoryLocation location = DefaultHistoryLocation(PreferredHistoryLocation());
  if (HistoryEnabledByEnvironment() && StoreMayHoldOrders(location)) {
    HistoryStore store(location);
    Result<std::optional<OrderSettings>> found = KeptOrderSettings(store, name);
    if (!found) {
      PrintReason(QStringLiteral("history: the order's template was not looked up: %1").arg(found.failure().Text()));
      if (storeRequired) return std::nullopt;
      source.storeFailed = true;
    } else {
      kept = std::move(found).value();
    }
  }
  if (!kept) {
    source.keep = true;
    return source;
  }
  if (templateGiven) {
    const QStringList differences = TemplateDifferences(kept->templateData, source.settings.templateData);
    if (!differences.isEmpty() && !parser.isSet(options.newTemplate)) {
      PrintReason(TemplateRefusal(name, *kept, source.settings.templateFile, differences));
      return std::nullopt;
    }
    source.keep = !differences.isEmpty();
    if (differences.isEmpty()) source.settings.templateFile = kept->templateFile;
  } else {
    source.settings.templateData = kept->templateData;
    source.settings.templateFile = kept->templateFile;
  }
  if (parser.isSet(options.shared)) {
    source.keep = source.keep || source.settings.shared != kept->shared;
  } else {
    source.settings.shared = kept->shared;
  }
  exitCode = 0;
  return source;
}

// The order's template and shared columns kept for every later command and bench.
bool KeepSource(const Order& order, const OrderSource& source) {
  if (!source.keep || source.storeFailed || !HistoryEnabledByEnvironment()) return true;
  HistoryStore store(DefaultHistoryLocation(PreferredHistoryLocation()));
  if (const Outcome kept = KeepOrderSettings(store, order.name, source.settings); !kept) {
    PrintReason(QStringLiteral("history: the order's template was not kept: %1").arg(kept.failure().Text()));
    return false;
  }
  return true;
}

// withHistory: the capcodes compared with the history's pagers (check and run); storeRequired:
// the order's kept template must be read (run, status, export), not only where it can be.
LoadedOrder ReadAndCheck(const CommandParser& parser, const FleetOptions& options, const QString& path,
                         bool withHistory, bool storeRequired, std::optional<OrderSource>* chosen = nullptr) {
  for (const QString& column : parser.values(options.shared))
    if (const QString refusal = SharedColumnRefusal(column); !refusal.isEmpty())
      return {std::nullopt, parser.UsageError(refusal)};
  if (parser.isSet(options.newTemplate) && !parser.isSet(options.templateFile))
    return {std::nullopt, parser.UsageError(QStringLiteral("--new-template needs --template FILE"))};
  const QString name = OrderNameFrom(parser, options, path);
  int exitCode = 1;
  std::optional<OrderSource> source = ChooseSource(parser, options, name, storeRequired, exitCode);
  if (!source) return {std::nullopt, exitCode};
  Result<Order> order = LoadOrder(path, source->settings.templateData, OrderOptions{source->settings.shared});
  if (!order) {
    PrintReason(order.failure().reason);
    return {std::nullopt, 1};
  }
  Order checked = std::move(order).value();
  checked.name = name;
  if (withHistory && !source->storeFailed && !checked.Refused()) AddHistoryWarnings(checked);
  QString faults;
  for (const OrderFault& fault : checked.faults) faults += fault.Text(path) + QLatin1Char('\n');
  PrintError(faults);
  if (chosen) *chosen = std::move(source);
  return {std::move(checked), 0};
}

int Check(const CommandParser& parser, const FleetOptions& options, const QString& path,
          const std::optional<paging::SiteProfile>& site) {
  std::optional<OrderSource> source;
  LoadedOrder loaded = ReadAndCheck(parser, options, path, true, false, &source);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  int unheard = 0;
  if (site)
    for (const OrderRow& row : order.rows)
      unheard += PrintSiteFindings(*site, row.data, QStringLiteral("%1:%2").arg(path).arg(row.row));
  if (order.Refused() || unheard > 0) return 1;
  if (!KeepSource(order, *source)) return 1;
  QString text = QStringLiteral("%1: %2 row(s) ready\n").arg(path).arg(order.rows.size());
  if (const QString calls = GroupCallSummary(order); !calls.isEmpty()) text += calls + QLatin1Char('\n');
  Print(text);
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
    std::fputs((ShownLines(text) + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
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

QString RowNumbers(const std::vector<int>& rows) {
  QStringList numbers;
  for (int row : rows) numbers << QString::number(row);
  return numbers.join(QStringLiteral(", "));
}

// "row 5 (Ames, J) changed since it was done:" and each setting that would change, indented.
QString ChangeText(HistoryStore& store, const OrderRow& row, const RowRecord& done) {
  QString text = QStringLiteral("row %1").arg(row.row);
  if (!row.label.isEmpty()) text += QStringLiteral(" (%1)").arg(row.label);
  text += QStringLiteral(" changed since it was done (serial number %1):\n").arg(done.serial);
  const Result<QStringList> changes = RowChanges(store, row, done);
  if (!changes) return text + QStringLiteral("  its record cannot be read: %1\n").arg(changes.failure().Text());
  for (const QString& change : *changes) text += QStringLiteral("  ") + change + QLatin1Char('\n');
  return text;
}

// The rows done and changed since, each with what would change, on standard error; nothing when
// the store cannot be read (said).
std::optional<std::vector<int>> TellChangedRows(const Order& order, const HistoryLocation& location) {
  HistoryStore store(location);
  const Result<std::vector<RowRecord>> rows = OrderState(store, order.name).Rows();
  if (!rows) {
    PrintReason(rows.failure().Text());
    return std::nullopt;
  }
  const std::vector<int> changed = ChangedRows(order, *rows);
  const std::map<int, const RowRecord*> held = ByRowNumber(*rows);
  QString text;
  for (int row : changed) text += ChangeText(store, *order.Row(row), *held.at(row));
  PrintError(text);
  return changed;
}

int Run(const CommandParser& parser, const FleetOptions& options, const QString& path) {
  if (!HistoryEnabledByEnvironment()) return parser.UsageError(HistoryOff());
  std::set<int> redo;
  std::set<int> replace;
  for (const auto& [option, rows] : {std::pair{&options.redo, &redo}, std::pair{&options.replace, &replace}})
    for (const QString& text : parser.values(*option)) {
      bool ok = false;
      const int row = text.toInt(&ok);
      if (!ok || row < 2)
        return parser.UsageError(QStringLiteral("--%1 takes a row number, 2 or more").arg(option->names().first()));
      rows->insert(row);
    }
  QStringList ports = parser.values(options.port);
  if (ports.isEmpty()) ports << AdapterPortName();
  for (QString& port : ports) port = AdapterPortName(port);
  if (ports.contains(QString())) {
    PrintReason(QStringLiteral("no adapter found: name its serial device with --port"));
    return 1;
  }
  if (ports.removeDuplicates() > 0) return parser.UsageError(QStringLiteral("an adapter is named twice by --port"));
  if (const auto twice = OneDeviceTwice(ports))
    return parser.UsageError(QStringLiteral("--port %1 and --port %2 are one device: give each adapter once")
                                 .arg(twice->first, twice->second));
  RunOptions run;
  run.ports = ports;
  run.history = DefaultHistoryLocation(PreferredHistoryLocation());
  run.rules.runId = NewRunId();
  run.rules.redo = redo;
  run.rules.replace = replace;
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
  // A template given here is looked at before anything else; one the order kept was looked at when
  // it was first given.
  if (const QString templatePath = parser.value(options.templateFile); !templatePath.isEmpty())
    if (const Result<PagerData> base = LoadOrderTemplate(templatePath);
        base && RefusedAsRead(templatePath, *base, parser.isSet(options.strict), false))
      return 1;
  std::optional<OrderSource> source;
  LoadedOrder loaded = ReadAndCheck(parser, options, path, true, true, &source);
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
  for (int row : replace)
    if (!order.Row(row)) return parser.UsageError(QStringLiteral("--replace %1: the order has no row %1").arg(row));
  if (!KeepSource(order, *source)) return 1;
  const std::optional<std::vector<int>> changedBefore = TellChangedRows(order, run.history);
  if (!changedBefore) return 1;
  if (parser.isSet(options.redoChanged)) run.rules.redo.insert(changedBefore->begin(), changedBefore->end());
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
  const std::vector<int> changed = rows ? ChangedRows(order, *rows) : std::vector<int>();
  if (!changed.empty())
    PrintReason(QStringLiteral("%1 row(s) changed since done are not written again: %2 (fleet run --redo-changed)")
                    .arg(changed.size())
                    .arg(RowNumbers(changed)));
  return !result.storeFailed && rows && done == int(order.rows.size()) && changed.empty() ? 0 : 1;
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

QString TimeText(const QDateTime& time) { return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

int Status(const CommandParser& parser, const FleetOptions& options, const QString& path) {
  LoadedOrder loaded = ReadAndCheck(parser, options, path, false, true);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  const std::optional<std::vector<RowRecord>> rows = StoredRows(order);
  if (!rows) return 1;
  const std::map<int, const RowRecord*> held = ByRowNumber(*rows);
  HistoryStore store(DefaultHistoryLocation(PreferredHistoryLocation()));
  const Result<std::map<int, QStringList>> replaced = OrderState(store, order.name).ReplacedPagers();
  if (!replaced) {
    PrintReason(replaced.failure().Text());
    return 1;
  }
  const bool listChanges = parser.isSet(options.changes);
  int done = 0, failed = 0, changed = 0, toDo = 0;
  QString text;
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    QString line = QStringLiteral("row %1").arg(row.row);
    QString changes;
    if (!record) {
      line += QStringLiteral(": to do");
      ++toDo;
    } else if (record->state == kRowDone) {
      const bool same = record->fingerprint == row.fingerprint;
      line += QStringLiteral(": %1, serial number %2, %3 UTC, %4@%5, %6")
                  .arg(same ? QStringLiteral("done") : QStringLiteral("changed since it was done"), record->serial,
                       TimeText(record->updated), record->user, record->host, record->port);
      ++(same ? done : changed);
      if (!same && listChanges) {
        const Result<QStringList> differences = RowChanges(store, row, *record);
        if (!differences)
          changes += QStringLiteral("  its record cannot be read: %1\n").arg(differences.failure().Text());
        else
          for (const QString& difference : *differences)
            changes += QStringLiteral("  ") + difference + QLatin1Char('\n');
      }
    } else if (record->state == kRowFailed) {
      line += QStringLiteral(": failed, %1 UTC, %2@%3, %4: %5")
                  .arg(TimeText(record->updated), record->user, record->host, record->port, record->detail);
      ++failed;
    } else {
      line += QStringLiteral(": being written since %1 UTC, %2@%3, %4")
                  .arg(TimeText(record->claimed), record->user, record->host, record->port);
      // The pager to look at should that run have gone away.
      if (!record->serial.isEmpty()) line += QStringLiteral(", the pager with serial number %1").arg(record->serial);
      ++toDo;
    }
    if (const auto old = replaced->find(row.row); old != replaced->end())
      line += QStringLiteral(", replacing serial number %1").arg(old->second.join(QStringLiteral(", ")));
    if (!row.label.isEmpty()) line += QStringLiteral(" (%1)").arg(row.label);
    text += line + QLatin1Char('\n') + changes;
  }
  text += QStringLiteral("%1: %2 done, %3 failed, %4 to do").arg(order.name).arg(done).arg(failed).arg(toDo);
  if (changed > 0)
    text += QStringLiteral(", %1 changed since done (fleet run --redo-changed%2)")
                .arg(changed)
                .arg(listChanges ? QString() : QStringLiteral("; status --changes says what changed"));
  Print(text + QLatin1Char('\n'));
  return done == int(order.rows.size()) ? 0 : 1;
}

// An OUT that would destroy the order or write somewhere else than named: the order itself
// (the same file by device and inode, whatever link or name leads to it), or a symbolic link.
QString ExportTargetRefusal(const QString& order, const QString& out) {
  if (out == kStandardOutputName) return {};
  struct stat outStat {};
  if (::lstat(QFile::encodeName(out).constData(), &outStat) != 0) return {};
  if (S_ISLNK(outStat.st_mode))
    return QStringLiteral(
               "%1 is a symbolic link; the delivery list is not written through one: name the file "
               "itself")
        .arg(out);
  struct stat orderStat {};
  if (::stat(QFile::encodeName(order).constData(), &orderStat) == 0 && orderStat.st_dev == outStat.st_dev &&
      orderStat.st_ino == outStat.st_ino)
    return QStringLiteral("%1 is the order %2 itself; the delivery list goes to a file of its own").arg(out, order);
  return {};
}

// The order's rows as the file has them, with what each pager got: the delivery list.
int Export(const CommandParser& parser, const FleetOptions& options, const QString& path, const QString& out) {
  if (const QString refusal = ExportTargetRefusal(path, out); !refusal.isEmpty()) {
    PrintReason(refusal);
    return 1;
  }
  LoadedOrder loaded = ReadAndCheck(parser, options, path, false, true);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  if (order.Refused()) return 1;
  const std::optional<std::vector<RowRecord>> rows = StoredRows(order);
  if (!rows) return 1;
  const std::map<int, const RowRecord*> held = ByRowNumber(*rows);
  QByteArray csv = SpreadsheetLine(order.headers + QStringList{"state", "serial_number", "time_utc", "user", "host",
                                                               "adapter", "history_id", "detail"});
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    QStringList added;
    if (record && (record->state == kRowDone || record->state == kRowFailed)) {
      const QString state = record->state == kRowFailed              ? QStringLiteral("failed")
                            : record->fingerprint == row.fingerprint ? QStringLiteral("done")
                                                                     : QStringLiteral("changed");
      added << state << (record->state == kRowDone ? record->serial : QString())
            << record->updated.toString(Qt::ISODate) << record->user << record->host << record->port
            << (record->historyId && record->state == kRowDone ? QString::number(*record->historyId) : QString())
            << (record->state == kRowFailed ? record->detail : QString());
    } else {
      added << QStringLiteral("to do") << QString() << QString() << QString() << QString() << QString() << QString()
            << QString();
    }
    csv += SpreadsheetLine(row.cells + added);
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
  parser.addOption(options.strict);
  parser.addOption(options.retryFailed);
  parser.addOption(options.claimTimeout);
  parser.addOption(SiteOption());
  parser.addOption(options.redoChanged);
  parser.addOption(options.replace);
  parser.AllowRepeated(options.replace);
  parser.addOption(options.shared);
  parser.addOption(options.newTemplate);
  parser.addOption(options.changes);
  parser.AllowRepeated(options.port);
  parser.AllowRepeated(options.redo);
  parser.AllowRepeated(options.shared);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString action = parser.positionalArguments()[0];
  const QString path = parser.positionalArguments()[1];
  if (action != kRunAction)
    for (const QCommandLineOption* runOnly : {&options.port, &options.redo, &options.retryFailed, &options.claimTimeout,
                                              &options.redoChanged, &options.replace, &options.strict})
      if (parser.isSet(*runOnly))
        return parser.UsageError(QStringLiteral("--%1 is for fleet run").arg(runOnly->names().first()));
  const QString out = parser.positionalArguments().value(2);
  if ((action == kExportAction) != !out.isEmpty())
    return parser.UsageError(action == kExportAction ? QStringLiteral("export takes ORDER and OUT")
                                                     : QStringLiteral("unexpected argument '%1'").arg(out));
  if (parser.isSet(SiteOption()) && action != kCheckAction)
    return parser.UsageError(QStringLiteral("--site is for fleet check"));
  if (parser.isSet(options.changes) && action != kStatusAction)
    return parser.UsageError(QStringLiteral("--changes is for fleet status"));
  if (action == kExportAction) return Export(parser, options, path, out);
  if (action == kCheckAction) {
    const SiteChoice site = ChosenSite(parser);
    if (!site.read) return 1;
    return Check(parser, options, path, site.site);
  }
  if (action == kRunAction) return Run(parser, options, path);
  if (action == kStatusAction) return Status(parser, options, path);
  return parser.UsageError(QStringLiteral("unknown action '%1'; use check, run, status or export").arg(action));
}

}  // namespace m84
