#include "core/fleet/order_state.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>
#include <algorithm>
#include <map>
#include <set>

#include "core/history/pager_history.h"

namespace m84::fleet {

namespace {

const QString kColumns = QStringLiteral(
    "row_number, state, fingerprint, label, serial, history_id, port, run_id, claimed_utc, updated_utc, user_name, "
    "host_name, detail");

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
  return row;
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
bool Claimable(const RowRecord* held, int row, const ClaimRules& rules, const QDateTime& now) {
  if (!held) return true;
  // A row redone goes to its own pager only (ClaimOwn): another would make two pagers of one row.
  if (held->state == kRowDone) return rules.replace.count(row) && held->runId != rules.runId;
  if (held->state == kRowFailed) return rules.retryFailed || held->runId != rules.runId;
  return held->claimed.msecsTo(now) > qint64(rules.staleClaimSeconds) * 1000;
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

std::optional<Claimed> FirstClaimable(const Order& order, const std::vector<RowRecord>& rows, const ClaimRules& rules) {
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : rows) held[row.row] = &row;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    if (Claimable(record, row.row, rules, now)) return Claimed{row.row, record};
  }
  return std::nullopt;
}

// The write of a run that went away while it held the row: its pager may be half-written, and
// the history says so, since that run could not.
HistoryRecord AbandonedWrite(const RowRecord& held, const QString& orderFile, const QString& source) {
  HistoryRecord record;
  record.time = QDateTime::currentDateTimeUtc();
  record.user = held.user;
  record.host = held.host;
  record.source = source;
  record.operation = OperationName(HistoryOperation::Write);
  record.outcome = kOutcomeInterrupted;
  record.status = QString();
  record.detail = QStringLiteral(
                      "the run %1 took this row at %2 UTC and never finished it; the pager it was writing may be "
                      "half-written: write it again")
                      .arg(held.runId, held.claimed.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
  record.port = held.port;
  record.file = QStringLiteral("%1:%2").arg(orderFile).arg(held.row);
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

}  // namespace

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

Result<bool> OrderState::AnyLeft(const Order& order, const ClaimRules& rules) {
  const Result<std::vector<RowRecord>> rows = Rows();
  if (!rows) return rows.failure();
  return FirstClaimable(order, *rows, rules).has_value() ||
         std::any_of(rows->begin(), rows->end(), [&](const RowRecord& row) { return OwnPagerAwaited(row, rules); });
}

Result<std::optional<RowRecord>> OrderState::HeldAhead(const Order& order, const ClaimRules& rules) {
  const Result<std::vector<RowRecord>> rows = Rows();
  if (!rows) return rows.failure();
  std::map<int, const RowRecord*> held;
  for (const RowRecord& row : *rows) held[row.row] = &row;
  const QDateTime now = QDateTime::currentDateTimeUtc();
  for (const OrderRow& row : order.rows) {
    const auto found = held.find(row.row);
    const RowRecord* record = found == held.end() ? nullptr : found->second;
    if (Claimable(record, row.row, rules, now)) break;
    if (record->state == kRowClaimed) return std::optional<RowRecord>(*record);
  }
  return std::optional<RowRecord>();
}

Result<std::optional<int>> OrderState::Claim(const Order& order, const ClaimRules& rules, const QString& pagerSerial) {
  std::optional<int> claimed;
  const Outcome outcome = Locked([&](QSqlDatabase& db) -> Outcome {
    const Result<std::vector<RowRecord>> rows = ReadRows(store_, db, order_);
    if (!rows) return rows.failure();
    const std::optional<Claimed> first = FirstClaimable(order, *rows, rules);
    if (!first) return Succeeded();
    claimed = first->row;
    if (first->held && first->held->state == kRowClaimed) {
      HistoryRecord abandoned = AbandonedWrite(*first->held, order.file, rules.source);
      if (Outcome appended = store_.Append(abandoned); !appended) return appended;
    }
    const OrderRow& row = *order.Row(*claimed);
    const QString now = TimeText(QDateTime::currentDateTimeUtc());
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral(
            "INSERT INTO order_rows (%1, order_name) VALUES (?, ?, ?, ?, ?, NULL, ?, ?, ?, ?, ?, ?, '', ?) "
            "ON CONFLICT (order_name, row_number) DO UPDATE SET state = excluded.state, fingerprint = "
            "excluded.fingerprint, label = excluded.label, serial = excluded.serial, history_id = NULL, port = "
            "excluded.port, "
            "run_id = excluded.run_id, claimed_utc = excluded.claimed_utc, updated_utc = excluded.updated_utc, "
            "user_name = excluded.user_name, host_name = excluded.host_name, detail = ''")
            .arg(kColumns));
    for (const QVariant& value :
         {QVariant(row.row), QVariant(kRowClaimed), Text(QString::fromLatin1(row.fingerprint)), Text(row.label),
          Text(pagerSerial), Text(rules.port), Text(rules.runId), QVariant(now), QVariant(now), Text(CurrentUserName()),
          Text(QSysInfo::machineHostName()), Text(order_)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order claim"), query.lastError());
    return Succeeded();
  });
  if (!outcome) return outcome.failure();
  return claimed;
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
    const QString now = TimeText(QDateTime::currentDateTimeUtc());
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("UPDATE order_rows SET state = ?, fingerprint = ?, label = ?, history_id = NULL, "
                       "port = ?, run_id = ?, claimed_utc = ?, updated_utc = ?, user_name = ?, host_name = ?, "
                       "detail = '' WHERE order_name = ? AND row_number = ?"));
    for (const QVariant& value :
         {QVariant(kRowClaimed), Text(QString::fromLatin1(ordered->fingerprint)), Text(ordered->label),
          Text(rules.port), Text(rules.runId), QVariant(now), QVariant(now), Text(CurrentUserName()),
          Text(QSysInfo::machineHostName()), Text(order_), QVariant(row)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order claim"), query.lastError());
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

Outcome OrderState::Finish(int row, HistoryRecord& record, bool done, const QString& label) {
  record.time = QDateTime::currentDateTimeUtc();
  record.user = CurrentUserName();
  record.host = QSysInfo::machineHostName();
  return Locked([&](QSqlDatabase& db) -> Outcome {
    if (Outcome appended = store_.Append(record); !appended) return appended;
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "UPDATE order_rows SET state = ?, serial = ?, history_id = ?, port = ?, updated_utc = ?, user_name = ?, "
        "host_name = ?, detail = ?, label = ? WHERE order_name = ? AND row_number = ?"));
    for (const QVariant& value :
         {QVariant(done ? kRowDone : kRowFailed), Text(record.serial), QVariant(qlonglong(record.id)),
          Text(record.port), QVariant(TimeText(record.time)), Text(record.user), Text(record.host), Text(record.detail),
          Text(label), Text(order_), QVariant(row)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
    return Succeeded();
  });
}

Outcome OrderState::Refresh(int row, const ClaimRules& rules, const QString& pagerSerial) {
  Result<QSqlDatabase> connection = store_.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  const bool seated = !pagerSerial.isEmpty();
  query.prepare(QStringLiteral("UPDATE order_rows SET claimed_utc = ?%1 WHERE order_name = ? AND row_number = ? AND "
                               "state = ? AND run_id = ?")
                    .arg(seated ? QStringLiteral(", serial = ?") : QString()));
  query.addBindValue(TimeText(QDateTime::currentDateTimeUtc()));
  if (seated) query.addBindValue(pagerSerial);
  for (const QVariant& value : {Text(order_), QVariant(row), QVariant(kRowClaimed), Text(rules.runId)})
    query.addBindValue(value);
  if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
  return Succeeded();
}

Outcome OrderState::Release(int row, const ClaimRules& rules) {
  return Locked([&](QSqlDatabase& db) -> Outcome {
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("DELETE FROM order_rows WHERE order_name = ? AND row_number = ? AND state = ? AND run_id = ?"));
    for (const QVariant& value : {QVariant(order_), QVariant(row), QVariant(kRowClaimed), QVariant(rules.runId)})
      query.addBindValue(value);
    if (!query.exec()) return store_.StatementFailure(QStringLiteral("order"), query.lastError());
    return Succeeded();
  });
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
