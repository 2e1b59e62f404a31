#include "core/fleet/order_state.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/history/pager_history.h"
#include "core/preferences.h"

namespace m84::fleet {

namespace {

const QString kColumns = QStringLiteral(
    "row_number, state, fingerprint, label, serial, history_id, port, run_id, claimed_utc, updated_utc, user_name, "
    "host_name, detail, lease_token, lease_seconds, process");

// The columns are NOT NULL: Qt binds a null text as NULL.
QVariant Text(const QString& text) { return QVariant(text.isNull() ? QStringLiteral("") : text); }

QString TimeText(const QDateTime& time) { return time.toUTC().toString(Qt::ISODateWithMs); }
QDateTime TimeOf(const QVariant& value) { return QDateTime::fromString(value.toString(), Qt::ISODateWithMs).toUTC(); }

RowRecord RowOf(const QSqlQuery& query) {
  RowRecord row;
  row.row = query.value(0).toInt();
  row.state = query.value(1).toString();
  row.fingerprint = query.value(2).toString().toLatin1();
  row.label = query.value(3).toString();
  row.serial = query.value(4).toString();
  if (!query.value(5).isNull()) row.historyId = query.value(5).toLongLong();
  row.port = query.value(6).toString();
  row.runId = query.value(7).toString();
  row.claimed = TimeOf(query.value(8));
  row.updated = TimeOf(query.value(9));
  row.user = query.value(10).toString();
  row.host = query.value(11).toString();
  row.detail = query.value(12).toString();
  row.leaseToken = query.value(13).toString();
  row.leaseSeconds = query.value(14).toInt();
  row.process = query.value(15).toString();
  return row;
}

bool IsSQLite(HistoryStore& store) { return store.Location().backend == HistoryLocation::Backend::SQLite; }

// The store's own clock, as an SQL expression giving ISO 8601 in UTC with milliseconds: a lease
// is judged by one clock, whatever the benches' clocks say. A PostgreSQL server's; an SQLite
// file's is the machine's (whose own claims are judged by their processes, not by time).
QString StoreNowExpression(HistoryStore& store) {
  return IsSQLite(store) ? QStringLiteral("strftime('%Y-%m-%dT%H:%M:%fZ', 'now')")
                         : QStringLiteral(
                               "to_char(clock_timestamp() AT TIME ZONE 'UTC', "
                               "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')");
}

// What a claim held by another run is judged by: the store's now and the order's time-out.
struct LeaseJudge {
  QDateTime now;
  int orderSeconds = kStaleClaimSeconds;
};

// The store's now and the order's time-out, in one statement: a claim waits for none but its
// own. settle: an order without a time-out yet is given the one proposed.
Result<LeaseJudge> JudgeOf(HistoryStore& store, QSqlDatabase& db, const QString& order, int proposed, bool settle) {
  QSqlQuery query(db);
  query.prepare(QStringLiteral("SELECT %1, (SELECT claim_timeout_seconds FROM order_terms WHERE order_name = ?)")
                    .arg(StoreNowExpression(store)));
  query.addBindValue(order);
  if (!query.exec() || !query.next())
    return store.StatementFailure(QStringLiteral("the store's clock"), query.lastError());
  LeaseJudge judge{TimeOf(query.value(0)), proposed};
  if (!query.value(1).isNull()) {
    judge.orderSeconds = query.value(1).toInt();
    return judge;
  }
  query.finish();
  if (!settle) return judge;
  QSqlQuery insert(db);
  insert.prepare(
      QStringLiteral("INSERT INTO order_terms (order_name, claim_timeout_seconds) VALUES (?, ?) "
                     "ON CONFLICT (order_name) DO NOTHING"));
  insert.addBindValue(order);
  insert.addBindValue(proposed);
  if (!insert.exec()) return store.StatementFailure(QStringLiteral("order terms"), insert.lastError());
  return judge;
}

// A claim is over when its process is gone (on this machine, where that can be seen), or when
// the store has not heard from it for the lease's time-out (from another machine).
bool LeaseOver(const RowRecord& held, const LeaseJudge& judge) {
  if (!held.process.isEmpty() && OnThisMachine(held.process)) return !ProcessRuns(held.process);
  const int seconds = held.leaseSeconds > 0 ? held.leaseSeconds : judge.orderSeconds;
  return held.claimed.msecsTo(judge.now) > qint64(seconds) * 1000;
}

// The process id in a claim's process text.
QString ProcessIdOf(const QString& process) { return process.section(QLatin1Char(' '), 2, 2); }

QString ReadLine(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readLine()).trimmed();
}

// A process's start in clock ticks since boot (field 22 of /proc/PID/stat), or empty.
QString ProcessStart(const QString& pid) {
  const QString stat = ReadLine(QStringLiteral("/proc/%1/stat").arg(pid));
  // The name in parentheses may hold spaces: the fields are counted after its closing one.
  const qsizetype close = stat.lastIndexOf(QLatin1Char(')'));
  if (close < 0) return {};
  const QStringList fields = stat.mid(close + 2).split(QLatin1Char(' '));
  constexpr int kStartField = 22 - 3;  // fields 1 and 2 (pid, name) and the first index
  return fields.size() > kStartField ? fields[kStartField] : QString();
}

// Read once: a claim is judged inside the order's lock, for every row another run holds.
const QString& MachineId() {
  static const QString id = [] {
    const QString unique = QString::fromLatin1(QSysInfo::machineUniqueId());
    return unique.isEmpty() ? QSysInfo::machineHostName() : unique;
  }();
  return id;
}

const QString& BootId() {
  static const QString id = [] {
    const QString boot = ReadLine(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    return boot.isEmpty() ? QStringLiteral("-") : boot;
  }();
  return id;
}

Result<std::vector<RowRecord>> ReadRows(HistoryStore& store, QSqlDatabase& db, const QString& order) {
  QSqlQuery query(db);
  query.setForwardOnly(true);
  if (!query.prepare(
          QStringLiteral("SELECT %1 FROM order_rows WHERE order_name = ? ORDER BY row_number").arg(kColumns)))
    return store.StatementFailure(QStringLiteral("order"), query.lastError());
  query.addBindValue(order);
  if (!query.exec()) return store.StatementFailure(QStringLiteral("order"), query.lastError());
  std::vector<RowRecord> rows;
  while (query.next()) rows.push_back(RowOf(query));
  return rows;
}

// Whether this run may take the row as the store holds it (nothing: never tried).
bool Claimable(const RowRecord* held, int row, const ClaimRules& rules, const LeaseJudge& judge) {
  if (!held) return true;
  // A row redone goes to its own pager only (ClaimOwn): another would make two pagers of one row.
  if (held->state == kRowDone) return rules.replace.count(row) && held->runId != rules.runId;
  if (held->state == kRowFailed) return rules.retryFailed || held->runId != rules.runId;
  return LeaseOver(*held, judge);
}

// The row number the statement's first result gives, if any.
Result<std::optional<int>> FirstRowNumber(HistoryStore& store, const QString& statement, const QVariantList& values,
                                          const QString& what) {
  Result<QSqlDatabase> connection = store.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.prepare(statement);
  for (const QVariant& value : values) query.addBindValue(value);
  if (!query.exec()) return store.StatementFailure(what, query.lastError());
  std::optional<int> row;
  if (query.next()) row = query.value(0).toInt();
  return row;
}

// A done row to write again on its own pager, which this run has not yet seen.
bool OwnPagerAwaited(const RowRecord& row, const ClaimRules& rules) {
  return row.state == kRowDone && rules.redo.count(row.row) && row.runId != rules.runId;
}

// The row, and what the store held of it (nothing: never tried).
struct Claimed {
  int row = 0;
  const RowRecord* held = nullptr;
};

std::optional<Claimed> FirstClaimable(const Order& order, const std::vector<RowRecord>& rows, const ClaimRules& rules,
                                      const LeaseJudge& judge) {
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : rows) held[row.row] = &row;
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    if (!rules.skip.count(row.row) && Claimable(record, row.row, rules, judge)) return Claimed{row.row, record};
  }
  return std::nullopt;
}

// The write of a run that went away while it held the row: its pager may be half-written, and
// the history says so, since that run could not. It carries the capcodes that pager was getting,
// as every record does, so that a search by capcode finds it too.
HistoryRecord AbandonedWrite(const RowRecord& held, const Order& order, const QString& source) {
  HistoryRecord record;
  if (const OrderRow* row = order.Row(held.row)) {
    record.data = row->data;
    FillSearchColumns(record);
    record.data.reset();  // what the pager holds is not known
  }
  record.time = QDateTime::currentDateTimeUtc();
  record.user = held.user;
  record.host = held.host;
  record.source = source;
  record.operation = OperationName(HistoryOperation::Write);
  record.outcome = kOutcomeInterrupted;
  record.status = QString();
  const QString why = !held.process.isEmpty() && OnThisMachine(held.process)
                          ? QStringLiteral("its process (%1) no longer runs").arg(ProcessIdOf(held.process))
                          : QStringLiteral("it was not heard from for its lease's time-out");
  record.detail = QStringLiteral(
                      "the run %1 took this row at %2 UTC and never finished it (%3); the pager it was writing may "
                      "be half-written: write it again")
                      .arg(held.runId, held.claimed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), why);
  record.port = held.port;
  record.file = QStringLiteral("%1:%2").arg(order.file).arg(held.row);
  // Filed under that pager, so that looking it up by its serial number finds the warning.
  record.serial = held.serial;
  return record;
}

// An order of this many capcodes or fewer looks each one up; a bigger one reads the history's
// writes once, so that a check of a long order stays linear.
constexpr size_t kCapcodesLookedUpOneByOne = 200;

// For each capcode, the good writes whose pager holds it still (the latest good write of its
// serial number), newest first.
using WritesByCapcode = std::map<int, std::vector<HistoryRecord>>;

Result<WritesByCapcode> GoodWritesOf(HistoryStore& store, const std::set<int>& capcodes) {
  const QString write = OperationName(HistoryOperation::Write);
  const auto good = [&](const HistoryRecord& record) {
    return record.operation == write && record.outcome == kOutcomeOk && !record.serial.isEmpty();
  };
  std::vector<HistoryRecord> records;
  std::map<QString, qint64> latest;  // serial number -> its latest good write
  if (capcodes.size() <= kCapcodesLookedUpOneByOne) {
    for (int capcode : capcodes) {
      HistoryFilter filter;
      filter.capcode = capcode;
      const Result<std::vector<HistoryRecord>> found = store.List(filter);
      if (!found) return found.failure();
      for (const HistoryRecord& record : *found)
        if (good(record)) records.push_back(record);
    }
    for (const HistoryRecord& record : records) {
      if (latest.count(record.serial)) continue;
      HistoryFilter filter;
      filter.serial = record.serial;
      const Result<std::vector<HistoryRecord>> ofSerial = store.List(filter);
      if (!ofSerial) return ofSerial.failure();
      const auto newest = std::find_if(ofSerial->begin(), ofSerial->end(), good);
      latest[record.serial] = newest == ofSerial->end() ? 0 : newest->id;
    }
  } else {
    const Result<std::vector<HistoryRecord>> all = store.List(HistoryFilter());
    if (!all) return all.failure();
    for (const HistoryRecord& record : *all) {
      if (!good(record)) continue;
      latest.emplace(record.serial, record.id);  // newest first: the first is the latest
      records.push_back(record);
    }
  }
  WritesByCapcode writes;
  std::set<qint64> seen;
  for (HistoryRecord& record : records) {
    // That pager was programmed again since, or the record was found through two capcodes.
    if (latest[record.serial] != record.id || !seen.insert(record.id).second) continue;
    for (const std::optional<int>& capcode : record.capcodes)
      if (capcode && capcodes.count(*capcode)) writes[*capcode].push_back(record);
  }
  for (auto& [capcode, list] : writes)
    std::stable_sort(list.begin(), list.end(), [](const HistoryRecord& a, const HistoryRecord& b) {
      return a.time > b.time || (a.time == b.time && a.id > b.id);
    });
  return writes;
}

// "a run on bench-2 (/dev/ttyUSB1)": who holds a row now.
QString HolderOf(const QString& host, const QString& port) {
  return port.isEmpty() ? QStringLiteral("a run on %1").arg(host) : QStringLiteral("a run on %1 (%2)").arg(host, port);
}

// The record of a pager written under a lease that another run took meanwhile: the pager holds
// the row's settings, but the row is not its; filed under the order without a row.
void MarkOutsideOrder(HistoryRecord& record, int row, const QString& takenBy) {
  const QString suffix = QStringLiteral(":%1").arg(row);
  if (record.file.endsWith(suffix)) record.file.chop(suffix.size());
  const QString outside = record.outcome == kOutcomeOk
                              ? QStringLiteral("serial %1 has row %2's settings, but row %2 was taken by %3")
                                    .arg(record.serial)
                                    .arg(row)
                                    .arg(takenBy)
                              : QStringLiteral("row %1 was taken by %2 during this write").arg(row).arg(takenBy);
  record.detail = record.detail.isEmpty() ? outside : outside + QStringLiteral("; ") + record.detail;
}

}  // namespace

QString ThisProcess() {
  static const QString process = [] {
    const QString pid = QString::number(QCoreApplication::applicationPid());
    return QStringLiteral("%1 %2 %3 %4").arg(MachineId(), BootId(), pid, ProcessStart(pid));
  }();
  return process;
}

bool OnThisMachine(const QString& process) { return process.section(QLatin1Char(' '), 0, 0) == MachineId(); }

bool ProcessRuns(const QString& process) {
  if (process == ThisProcess()) return true;
  const QStringList parts = process.split(QLatin1Char(' '));
  // Another boot: every process of the one before is gone.
  if (parts.size() < 4 || parts[1] != BootId()) return false;
  const QString start = ProcessStart(parts[2]);
  return !start.isEmpty() && start == parts[3];
}

QString NewRunId() {
  return QStringLiteral("%1:%2:%3")
      .arg(QSysInfo::machineHostName())
      .arg(QCoreApplication::applicationPid())
      .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz")));
}

Outcome OrderState::Locked(const std::function<Outcome(QSqlDatabase&)>& body) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlDatabase db = *connection;
  QSqlQuery query(db);
  const bool sqlite = store_.Location().backend == HistoryLocation::Backend::SQLite;
  // SQLite: the write lock at once, so that two claims never both read the rows first.
  const bool begun = sqlite ? query.exec(QStringLiteral("BEGIN IMMEDIATE")) : db.transaction();
  if (!begun) return store_.StatementFailure(QStringLiteral("order"), sqlite ? query.lastError() : db.lastError());
  if (!sqlite) {
    query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    query.addBindValue(QStringLiteral("m84 order ") + order_);
    if (!query.exec()) {
      const Failure failed = store_.StatementFailure(QStringLiteral("order lock"), query.lastError());
      db.rollback();
      return failed;
    }
    query.finish();
  }
  Outcome outcome = body(db);
  if (outcome && !(sqlite ? query.exec(QStringLiteral("COMMIT")) : db.commit()))
    outcome = store_.StatementFailure(QStringLiteral("order"), sqlite ? query.lastError() : db.lastError());
  if (!outcome) sqlite ? void(query.exec(QStringLiteral("ROLLBACK"))) : void(db.rollback());
  return outcome;
}

Result<std::vector<RowRecord>> OrderState::Rows() {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlDatabase db = *connection;
  return ReadRows(store_, db, order_);
}

Result<std::optional<int>> OrderState::NextRow(const Order& order, const ClaimRules& rules) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlDatabase db = *connection;
  const Result<std::vector<RowRecord>> rows = ReadRows(store_, db, order_);
  if (!rows) return rows.failure();
  const Result<LeaseJudge> judge = JudgeOf(store_, db, order_, rules.staleClaimSeconds, false);
  if (!judge) return judge.failure();
  if (const std::optional<Claimed> next = FirstClaimable(order, *rows, rules, *judge))
    return std::optional<int>(next->row);
  // A row to write again waits for its own pager, which only its own claim (ClaimOwn) takes.
  const auto awaited =
      std::find_if(rows->begin(), rows->end(), [&](const RowRecord& row) { return OwnPagerAwaited(row, rules); });
  return awaited == rows->end() ? std::nullopt : std::optional<int>(awaited->row);
}

Result<std::optional<RowRecord>> OrderState::HeldAhead(const Order& order, const ClaimRules& rules) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlDatabase db = *connection;
  const Result<std::vector<RowRecord>> rows = ReadRows(store_, db, order_);
  if (!rows) return rows.failure();
  const Result<LeaseJudge> judge = JudgeOf(store_, db, order_, rules.staleClaimSeconds, false);
  if (!judge) return judge.failure();
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : *rows) held[row.row] = &row;
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    if (Claimable(record, row.row, rules, *judge)) break;
    if (record->state == kRowClaimed) return std::optional<RowRecord>(*record);
  }
  return std::optional<RowRecord>();
}

Result<std::optional<int>> OrderState::Claim(const Order& order, const ClaimRules& rules, const QString& pagerSerial) {
  std::optional<int> claimed;
  const Outcome outcome = Locked([&](QSqlDatabase& db) -> Outcome {
    const Result<std::vector<RowRecord>> rows = ReadRows(store_, db, order_);
    if (!rows) return rows.failure();
    const Result<LeaseJudge> judge = JudgeOf(store_, db, order_, rules.staleClaimSeconds, true);
    if (!judge) return judge.failure();
    leaseSeconds_ = judge->orderSeconds;
    const std::optional<Claimed> first = FirstClaimable(order, *rows, rules, *judge);
    if (!first) return Succeeded();
    claimed = first->row;
    if (first->held && first->held->state == kRowClaimed) {
      HistoryRecord abandoned = AbandonedWrite(*first->held, order, rules.source);
      if (Outcome appended = store_.Append(abandoned); !appended) return appended;
    }
    const OrderRow& row = *order.Row(*claimed);
    const QString now = TimeText(judge->now);
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral(
            "INSERT INTO order_rows (%1, order_name) VALUES (?, ?, ?, ?, ?, NULL, ?, ?, ?, ?, ?, ?, '', ?, ?, ?, ?) "
            "ON CONFLICT (order_name, row_number) DO UPDATE SET state = excluded.state, fingerprint = "
            "excluded.fingerprint, label = excluded.label, serial = excluded.serial, history_id = NULL, port = "
            "excluded.port, "
            "run_id = excluded.run_id, claimed_utc = excluded.claimed_utc, updated_utc = excluded.updated_utc, "
            "user_name = excluded.user_name, host_name = excluded.host_name, detail = '', lease_token = "
            "excluded.lease_token, lease_seconds = excluded.lease_seconds, process = excluded.process")
            .arg(kColumns));
    for (const QVariant& value :
         {QVariant(row.row), QVariant(kRowClaimed), Text(QString::fromLatin1(row.fingerprint)), Text(row.label),
          Text(pagerSerial), Text(rules.port), Text(rules.runId), QVariant(now), QVariant(now), Text(CurrentUserName()),
          Text(QSysInfo::machineHostName()), Text(token), QVariant(judge->orderSeconds), Text(ThisProcess()),
          Text(order_)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order claim"), query.lastError());
    tokens_[*claimed] = token;
    return Succeeded();
  });
  if (!outcome) return outcome.failure();
  return claimed;
}

Outcome OrderState::KeepBatch(const BatchTerms& terms, int claimTimeoutSeconds) {
  return Locked([&](QSqlDatabase& db) -> Outcome {
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO order_terms (order_name, claim_timeout_seconds, batch_total, batch_start) VALUES (?, ?, ?, ?) "
        "ON CONFLICT (order_name) DO UPDATE SET batch_total = excluded.batch_total, batch_start = "
        "excluded.batch_start"));
    for (const QVariant& value :
         {QVariant(order_), QVariant(claimTimeoutSeconds), QVariant(terms.total), Text(terms.start)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order terms"), query.lastError());
    return Succeeded();
  });
}

Result<std::vector<BatchTerms>> StoredBatches(HistoryStore& store, const QString& prefix) {
  Result<QSqlDatabase> connection = store.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.setForwardOnly(true);
  query.prepare(
      QStringLiteral("SELECT order_name, batch_total, batch_start FROM order_terms WHERE batch_total > 0 "
                     "AND substr(order_name, 1, ?) = ?"));
  query.addBindValue(int(prefix.size()));
  query.addBindValue(prefix);
  if (!query.exec()) return store.StatementFailure(QStringLiteral("order terms"), query.lastError());
  std::vector<BatchTerms> batches;
  while (query.next())
    batches.push_back({query.value(0).toString(), query.value(1).toInt(), query.value(2).toString()});
  return batches;
}

QString OrderState::TokenOf(int row) const {
  const auto found = tokens_.find(row);
  return found == tokens_.end() ? QString() : found->second;
}

Result<std::optional<int>> OrderState::RowWithSerial(const QString& serial) {
  return FirstRowNumber(store_,
                        QStringLiteral("SELECT row_number FROM order_rows WHERE order_name = ? AND serial = ? AND "
                                       "state = ?"),
                        {order_, serial, kRowDone}, QStringLiteral("order"));
}

Result<bool> OrderState::ClaimOwn(const Order& order, int row, const ClaimRules& rules, const QString& pagerSerial) {
  bool claimed = false;
  const OrderRow* ordered = order.Row(row);
  if (!ordered || !rules.redo.count(row)) return claimed;
  const Outcome outcome = Locked([&](QSqlDatabase& db) -> Outcome {
    const Result<std::vector<RowRecord>> rows = ReadRows(store_, db, order_);
    if (!rows) return rows.failure();
    const auto held = std::find_if(rows->begin(), rows->end(), [&](const RowRecord& r) { return r.row == row; });
    if (held == rows->end() || !OwnPagerAwaited(*held, rules) || held->serial != pagerSerial) return Succeeded();
    // The row's own pager is claimed as any row is: a lease with a token that finishing the row checks.
    const Result<LeaseJudge> judge = JudgeOf(store_, db, order_, rules.staleClaimSeconds, true);
    if (!judge) return judge.failure();
    leaseSeconds_ = judge->orderSeconds;
    const QString now = TimeText(judge->now);
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("UPDATE order_rows SET state = ?, fingerprint = ?, label = ?, history_id = NULL, "
                       "port = ?, run_id = ?, claimed_utc = ?, updated_utc = ?, user_name = ?, host_name = ?, "
                       "detail = '', lease_token = ?, lease_seconds = ?, process = ? WHERE order_name = ? AND "
                       "row_number = ?"));
    for (const QVariant& value :
         {QVariant(kRowClaimed), Text(QString::fromLatin1(ordered->fingerprint)), Text(ordered->label),
          Text(rules.port), Text(rules.runId), QVariant(now), QVariant(now), Text(CurrentUserName()),
          Text(QSysInfo::machineHostName()), Text(token), QVariant(judge->orderSeconds), Text(ThisProcess()),
          Text(order_), QVariant(row)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order claim"), query.lastError());
    tokens_[row] = token;
    claimed = true;
    return Succeeded();
  });
  if (!outcome) return outcome.failure();
  return claimed;
}

Outcome OrderState::KeepReplaced(int row, const QString& serial) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.prepare(
      QStringLiteral("INSERT INTO order_replaced (order_name, row_number, serial, replaced_utc) VALUES "
                     "(?, ?, ?, ?) ON CONFLICT (order_name, serial) DO NOTHING"));
  for (const QVariant& value :
       {Text(order_), QVariant(row), Text(serial), QVariant(TimeText(QDateTime::currentDateTimeUtc()))})
    query.addBindValue(value);
  if (!query.exec()) return store_.StatementFailure(QStringLiteral("order's replaced pager"), query.lastError());
  return Succeeded();
}

Result<std::optional<int>> OrderState::RowReplacing(const QString& serial) {
  return FirstRowNumber(store_,
                        QStringLiteral("SELECT row_number FROM order_replaced WHERE order_name = ? AND serial = ?"),
                        {order_, serial}, QStringLiteral("order's replaced pager"));
}

Result<std::map<int, QStringList>> OrderState::ReplacedPagers() {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.setForwardOnly(true);
  query.prepare(QStringLiteral(
      "SELECT row_number, serial FROM order_replaced WHERE order_name = ? ORDER BY row_number, replaced_utc"));
  query.addBindValue(order_);
  if (!query.exec()) return store_.StatementFailure(QStringLiteral("order's replaced pager"), query.lastError());
  std::map<int, QStringList> replaced;
  while (query.next()) replaced[query.value(0).toInt()] << query.value(1).toString();
  return replaced;
}

Result<RowFinish> OrderState::Finish(int row, HistoryRecord& record, bool done, const QString& label) {
  if (record.time.isNull()) record.time = QDateTime::currentDateTimeUtc();
  if (record.user.isEmpty()) record.user = CurrentUserName();
  if (record.host.isEmpty()) record.host = QSysInfo::machineHostName();
  const QString token = TokenOf(row);
  RowFinish finish;
  const Outcome outcome = Locked([&](QSqlDatabase& db) -> Outcome {
    QSqlQuery held(db);
    held.prepare(
        QStringLiteral("SELECT state, lease_token, host_name, port FROM order_rows WHERE order_name = ? AND "
                       "row_number = ?"));
    held.addBindValue(order_);
    held.addBindValue(row);
    if (!held.exec()) return store_.StatementFailure(QStringLiteral("order"), held.lastError());
    const bool found = held.next();
    finish.leaseLost = !found || held.value(0).toString() != kRowClaimed || held.value(1).toString() != token;
    if (finish.leaseLost) {
      finish.takenBy = found ? HolderOf(held.value(2).toString(), held.value(3).toString()) : QStringLiteral("no run");
      held.finish();
      MarkOutsideOrder(record, row, finish.takenBy);
      return store_.Append(record);
    }
    held.finish();
    if (Outcome appended = store_.Append(record); !appended) return appended;
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "UPDATE order_rows SET state = ?, serial = ?, history_id = ?, port = ?, updated_utc = ?, user_name = ?, "
        "host_name = ?, detail = ?, label = ? WHERE order_name = ? AND row_number = ? AND lease_token = ?"));
    for (const QVariant& value :
         {QVariant(done ? kRowDone : kRowFailed), Text(record.serial), QVariant(qlonglong(record.id)),
          Text(record.port), QVariant(TimeText(record.time)), Text(record.user), Text(record.host), Text(record.detail),
          Text(label), Text(order_), QVariant(row), Text(token)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
    return Succeeded();
  });
  if (!outcome) return outcome.failure();
  tokens_.erase(row);
  return finish;
}

Outcome OrderState::Refresh(int row, const ClaimRules&, const QString& pagerSerial) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  const bool seated = !pagerSerial.isEmpty();
  query.prepare(QStringLiteral("UPDATE order_rows SET claimed_utc = %1%2 WHERE order_name = ? AND row_number = ? AND "
                               "state = ? AND lease_token = ?")
                    .arg(StoreNowExpression(store_), seated ? QStringLiteral(", serial = ?") : QString()));
  if (seated) query.addBindValue(pagerSerial);
  for (const QVariant& value : {Text(order_), QVariant(row), QVariant(kRowClaimed), Text(TokenOf(row))})
    query.addBindValue(value);
  if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
  return Succeeded();
}

Outcome OrderState::Release(int row, const ClaimRules&) {
  const QString token = TokenOf(row);
  const Outcome released = Locked([&](QSqlDatabase& db) -> Outcome {
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "DELETE FROM order_rows WHERE order_name = ? AND row_number = ? AND state = ? AND lease_token = ?"));
    for (const QVariant& value : {QVariant(order_), QVariant(row), QVariant(kRowClaimed), Text(token)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
    return Succeeded();
  });
  if (released) tokens_.erase(row);
  return released;
}

namespace {

const QString kPendingSuffix = QStringLiteral(".pending");

QJsonObject PendingJson(const PendingRow& pending) {
  const HistoryRecord& r = pending.record;
  QJsonObject record{{"time", r.time.toUTC().toString(Qt::ISODateWithMs)},
                     {"user", r.user},
                     {"host", r.host},
                     {"source", r.source},
                     {"operation", r.operation},
                     {"outcome", r.outcome},
                     {"status", r.status},
                     {"detail", r.detail},
                     {"serial", r.serial},
                     {"port", r.port},
                     {"file", r.file}};
  if (r.exitCode) record.insert(QStringLiteral("exit_code"), *r.exitCode);
  if (r.data) {
    const auto bytes = [](const uint8_t* data, int size) {
      return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(data), size).toBase64());
    };
    record.insert(QStringLiteral("image"), bytes(r.data->image.data(), kImageSize));
    record.insert(QStringLiteral("selection"), bytes(r.data->selection.data(), kSelectionSize));
  }
  return {{"order", pending.order}, {"row", pending.row},     {"done", pending.done},
          {"label", pending.label}, {"token", pending.token}, {"record", record}};
}

std::optional<PendingRow> PendingOf(const QByteArray& line) {
  const QJsonObject json = QJsonDocument::fromJson(line).object();
  const QJsonObject r = json.value(QStringLiteral("record")).toObject();
  if (json.isEmpty() || r.isEmpty()) return std::nullopt;
  PendingRow pending;
  pending.order = json.value(QStringLiteral("order")).toString();
  pending.row = json.value(QStringLiteral("row")).toInt();
  pending.done = json.value(QStringLiteral("done")).toBool();
  pending.label = json.value(QStringLiteral("label")).toString();
  pending.token = json.value(QStringLiteral("token")).toString();
  HistoryRecord& record = pending.record;
  record.time = QDateTime::fromString(r.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).toUTC();
  record.user = r.value(QStringLiteral("user")).toString();
  record.host = r.value(QStringLiteral("host")).toString();
  record.source = r.value(QStringLiteral("source")).toString();
  record.operation = r.value(QStringLiteral("operation")).toString();
  record.outcome = r.value(QStringLiteral("outcome")).toString();
  record.status = r.value(QStringLiteral("status")).toString();
  record.detail = r.value(QStringLiteral("detail")).toString();
  record.serial = r.value(QStringLiteral("serial")).toString();
  record.port = r.value(QStringLiteral("port")).toString();
  record.file = r.value(QStringLiteral("file")).toString();
  if (r.contains(QStringLiteral("exit_code"))) record.exitCode = r.value(QStringLiteral("exit_code")).toInt();
  const QByteArray image = QByteArray::fromBase64(r.value(QStringLiteral("image")).toString().toLatin1());
  const QByteArray selection = QByteArray::fromBase64(r.value(QStringLiteral("selection")).toString().toLatin1());
  if (image.size() == kImageSize && selection.size() == kSelectionSize) {
    record.data = PagerData();
    std::copy(image.begin(), image.end(), record.data->image.data());
    std::copy(selection.begin(), selection.end(), record.data->selection.data());
    const QString serial = record.serial;
    FillSearchColumns(record);
    record.serial = serial;  // as the bench recorded it: a failed write's is the pager's own
  }
  if (pending.order.isEmpty() || pending.row < 1 || !record.time.isValid()) return std::nullopt;
  return pending;
}

// The journal open and locked against the other programs of this user that keep or replay it;
// -1 when it cannot be opened (errno says why).
int LockedJournal(const QString& path, int flags) {
  const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether the store holds the record already: a replay that stopped after some of its rows.
Result<bool> AlreadyRecorded(HistoryStore& store, const HistoryRecord& record) {
  Result<QSqlDatabase> connection = store.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.prepare(QStringLiteral("SELECT 1 FROM pager_history WHERE time_utc = ? AND serial = ? AND port = ?"));
  query.addBindValue(record.time.toUTC().toString(Qt::ISODateWithMs));
  query.addBindValue(Text(record.serial));
  query.addBindValue(Text(record.port));
  if (!query.exec()) return store.StatementFailure(QStringLiteral("journal"), query.lastError());
  return query.next();
}

}  // namespace

QString PendingFile(const HistoryLocation& location) {
  if (location.backend == HistoryLocation::Backend::SQLite) return location.target + kPendingSuffix;
  // A server has no folder of its own here: the journal is kept in the user's data folder, one
  // per server, named as the program names it whatever program opens the store.
  const QByteArray name = QCryptographicHash::hash(location.Describe().toUtf8(), QCryptographicHash::Sha1).toHex();
  return QStringLiteral("%1/%2/server-%3%4")
      .arg(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), PreferenceKeyPath(),
           QString::fromLatin1(name.left(16)), kPendingSuffix);
}

Outcome KeepPending(const HistoryLocation& location, const PendingRow& pending) {
  const QString path = PendingFile(location);
  QDir().mkpath(QFileInfo(path).absolutePath());
  const int fd = LockedJournal(path, O_WRONLY | O_CREAT | O_APPEND);
  if (fd < 0) return Failed({}, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  ::fchmod(fd, 0600);
  const QByteArray line = QJsonDocument(PendingJson(pending)).toJson(QJsonDocument::Compact) + '\n';
  const bool written = ::write(fd, line.constData(), size_t(line.size())) == line.size() && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!written) return Failed({}, QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
  return Succeeded();
}

Outcome ReplayPending(HistoryStore& store) {
  const QString path = PendingFile(store.Location());
  struct stat status {};
  // The common case costs one look at the file.
  if (::stat(QFile::encodeName(path).constData(), &status) != 0 || status.st_size == 0) return Succeeded();
  const int fd = LockedJournal(path, O_RDWR);
  if (fd < 0) return Succeeded();  // another program took it away meanwhile
  QFile file;
  Outcome replayed = Succeeded();
  if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    const QList<QByteArray> lines = file.readAll().split('\n');
    file.close();
    for (const QByteArray& line : lines) {
      const std::optional<PendingRow> pending = PendingOf(line);
      if (!pending) continue;  // a line cut short by a crash holds no record to keep
      HistoryRecord record = pending->record;
      const Result<bool> recorded = AlreadyRecorded(store, record);
      if (!recorded) {
        replayed = recorded.failure();
        break;
      }
      if (*recorded) continue;
      OrderState state(store, pending->order);
      state.AdoptClaim(pending->row, pending->token);
      const Result<RowFinish> finished = state.Finish(pending->row, record, pending->done, pending->label);
      if (!finished) {
        replayed = finished.failure();
        break;
      }
    }
  }
  // Emptied, not removed: a program waiting for the lock appends to this same file.
  if (replayed) static_cast<void>(::ftruncate(fd, 0));
  ::close(fd);
  return replayed;
}

Result<std::vector<OrderFault>> HistoryWarnings(const Order& order, HistoryStore& store) {
  const Result<std::vector<RowRecord>> rows = OrderState(store, order.name).Rows();
  if (!rows) return rows.failure();
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : *rows) held[row.row] = &row;
  // A group call is answered by many pagers by design, in this order and in others.
  std::set<int> groupCalls;
  for (const GroupCall& call : order.groupCalls) groupCalls.insert(call.capcode);
  std::set<int> own;
  for (const OrderRow& row : order.rows)
    for (int capcode : row.capcodes)
      if (!groupCalls.count(capcode)) own.insert(capcode);
  const Result<WritesByCapcode> writes = GoodWritesOf(store, own);
  if (!writes) return writes.failure();
  std::vector<OrderFault> warnings;
  for (const OrderRow& row : order.rows) {
    const auto done = held.find(row.row);
    const RowRecord* state = done == held.end() || done->second->state != kRowDone ? nullptr : done->second;
    // The serial number the row's pager has: the one it writes, or the one it got.
    const QString own = row.writesSerial ? row.serial : state ? state->serial : QString();
    for (size_t i = 0; i < row.capcodes.size(); ++i) {
      const auto found = writes->find(row.capcodes[i]);
      if (found == writes->end()) continue;
      for (const HistoryRecord& record : found->second) {
        if (record.serial == own || (state && state->historyId == record.id)) continue;
        warnings.push_back({row.row, QStringLiteral("general.capcodes[%1].capcode").arg(row.capcodeRows[i]),
                            QStringLiteral("capcode %1 is already in the pager with serial number %2 (history "
                                           "record %3, %4 UTC)")
                                .arg(row.capcodes[i])
                                .arg(record.serial)
                                .arg(record.id)
                                .arg(record.time.toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
                            true});
        break;
      }
    }
  }
  return warnings;
}

Outcome AddHistoryWarnings(Order& order, HistoryStore& store) {
  const Result<std::vector<OrderFault>> warnings = HistoryWarnings(order, store);
  if (!warnings) return warnings.failure();
  order.faults.insert(order.faults.end(), warnings->begin(), warnings->end());
  std::stable_sort(order.faults.begin(), order.faults.end(),
                   [](const OrderFault& a, const OrderFault& b) { return a.row < b.row; });
  return Succeeded();
}

}  // namespace m84::fleet
