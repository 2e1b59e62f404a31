#include "core/fleet/order_bench.h"

#include <QElapsedTimer>
#include <functional>
#include <map>

namespace m84::fleet {

namespace {

constexpr int kSerialDigits = kSerialLast - kSerialFirst;
// A claim is refreshed several times within the time-out, so that a slow write never looks like
// one whose run went away.
constexpr int kHeartbeatsPerTimeOut = 4;

QString SerialText(const QByteArray& bytes) {
  QString text;
  for (int i = 0; i < kSerialDigits && i < bytes.size() && bytes[i] != 0; ++i) text.append(QChar(uchar(bytes[i])));
  return text;
}

}  // namespace

ClaimKeepingHost::ClaimKeepingHost(TransferHost& inner, int staleClaimSeconds, std::function<void()> refresh)
    : inner_(inner),
      intervalMs_(qint64(staleClaimSeconds) * 1000 / kHeartbeatsPerTimeOut),
      refresh_(std::move(refresh)) {
  sinceRefresh_.start();
}

bool ClaimKeepingHost::StopRequested() {
  if (sinceRefresh_.elapsed() >= intervalMs_) {
    refresh_();
    sinceRefresh_.restart();
  }
  return inner_.StopRequested();
}

QString SeatedPager::Refusal() const {
  switch (kind) {
    case Kind::NoPager: return QStringLiteral("no pager answers (%1); nothing written").arg(reason);
    case Kind::AlreadyWritten:
      if (replaced)
        return QStringLiteral(
                   "the pager in the adapter has serial number %1, which row %2 of this order replaced; "
                   "insert the next pager")
            .arg(serial)
            .arg(row);
      return QStringLiteral(
                 "the pager in the adapter has serial number %1, which row %2 of this order already got; insert the "
                 "next pager")
          .arg(serial)
          .arg(row);
    case Kind::NoneLeft: return QStringLiteral("no row of the order is left to write");
    case Kind::Claimed: break;
  }
  return {};
}

Result<SeatedPager> SeatPager(const Order& order, OrderState& state, const ClaimRules& rules, AdapterLink& link) {
  SeatedPager seated;
  const std::optional<QByteArray> serialBytes = link.ReadSerialNumber();
  link.ClosePort();
  if (!serialBytes) {
    seated.kind = SeatedPager::Kind::NoPager;
    seated.reason = link.LastFailure();
    return seated;
  }
  seated.serial = SerialText(*serialBytes);
  const Result<std::optional<int>> wrote = state.RowWithSerial(seated.serial);
  if (!wrote) return wrote.failure();
  if (*wrote) {
    // --redo: the row's own pager, and no other, gets the row again.
    const Result<bool> own = state.ClaimOwn(order, **wrote, rules, seated.serial);
    if (!own) return own.failure();
    seated.kind = *own ? SeatedPager::Kind::Claimed : SeatedPager::Kind::AlreadyWritten;
    seated.row = **wrote;
    return seated;
  }
  const Result<std::optional<int>> replacedIn = state.RowReplacing(seated.serial);
  if (!replacedIn) return replacedIn.failure();
  if (*replacedIn) {
    seated.kind = SeatedPager::Kind::AlreadyWritten;
    seated.row = **replacedIn;
    seated.replaced = true;
    return seated;
  }
  // The pagers of the rows to replace, before a claim gives such a row the fresh pager.
  std::map<int, QString> replacing;
  if (!rules.replace.empty()) {
    const Result<std::vector<RowRecord>> rows = state.Rows();
    if (!rows) return rows.failure();
    for (const RowRecord& row : *rows)
      if (rules.replace.count(row.row) && row.state == kRowDone) replacing[row.row] = row.serial;
  }
  const Result<std::optional<int>> claimed = state.Claim(order, rules, seated.serial);
  if (!claimed) return claimed.failure();
  if (!*claimed) return seated;
  seated.kind = SeatedPager::Kind::Claimed;
  seated.row = **claimed;
  if (const auto old = replacing.find(seated.row); old != replacing.end() && !old->second.isEmpty())
    if (const Outcome kept = state.KeepReplaced(seated.row, old->second); !kept) return kept.failure();
  return seated;
}

RowWrite WriteRow(const Order& order, const OrderRow& row, const QString& pagerSerial, AdapterLink& link,
                  OrderState& state, const ClaimRules& rules, TransferHost& host) {
  ClaimKeepingHost keeping(host, state.LeaseSeconds(rules),
                           // A beat that fails is made up by the next: the time-out allows for several.
                           [&] { static_cast<void>(state.Refresh(row.row, rules)); });
  RowWrite result;
  PagerData data = row.data;
  result.written = link.WritePager(data.image, WriteOptions{!row.writesSerial}, keeping);
  link.ClosePort();
  TakeWrite(result.written, data.image);
  result.ok = bool(result.written.outcome);
  result.interrupted = !result.ok && link.Interrupted();

  HistoryRecord& record = result.record;
  record.source = kSourceFleet;
  record.operation = OperationName(HistoryOperation::Write);
  record.outcome = result.ok ? kOutcomeOk : result.interrupted ? kOutcomeInterrupted : kOutcomeFailed;
  record.status = link.LastStatus();
  record.exitCode = result.ok ? 0 : result.interrupted ? 130 : 1;
  if (!result.ok) {
    const QString held = DescribeWriteProgress(link.LastWrite());
    record.detail = held.isEmpty() ? link.LastFailure() : link.LastFailure() + QStringLiteral("; ") + held;
  }
  record.port = rules.port;
  record.file = QStringLiteral("%1:%2").arg(order.file).arg(row.row);
  record.data = data;
  FillSearchColumns(record);
  // The pager's own serial number until the write is known to have got through: a failed
  // write is never recorded against a serial number the pager does not hold.
  if (!result.ok && !result.written.reachedVerify) record.serial = pagerSerial;
  result.kept = KeepRow(order, row, record, result.ok, state);
  return result;
}

RowKept KeepRow(const Order& order, const OrderRow& row, HistoryRecord& record, bool ok, OrderState& state) {
  RowKept kept;
  const QString token = state.TokenOf(row.row);
  const Result<RowFinish> finished = state.Finish(row.row, record, ok, row.label);
  if (finished) {
    kept.leaseLost = finished->leaseLost;
    return kept;
  }
  kept.storeFailed = finished.failure();
  // The pager is in hand and verified: its record waits in the journal for the store.
  const Outcome journaled = KeepPending(state.StoreLocation(), {order.name, row.row, ok, row.label, token, record});
  if (journaled)
    kept.journal = PendingFile(state.StoreLocation());
  else
    kept.journalFailed = journaled.failure().reason;
  return kept;
}

QString RowKept::Trouble(const HistoryRecord& record) const {
  if (leaseLost) return record.detail + QStringLiteral("; this run takes no other row");
  if (!storeFailed) return {};
  const QString pager = record.serial.isEmpty() ? QStringLiteral("its pager")
                                                : QStringLiteral("its pager (serial number %1)").arg(record.serial);
  if (!journal.isEmpty())
    return QStringLiteral(
               "the history's store cannot be written (%1); %2 is kept in %3 and recorded when the store "
               "is next opened; no new pager is taken")
        .arg(storeFailed->Text(), pager, journal);
  return QStringLiteral(
             "the history's store cannot be written (%1), nor the journal (%2): note %3 and its row; no "
             "new pager is taken")
      .arg(storeFailed->Text(), journalFailed, pager);
}

}  // namespace m84::fleet
