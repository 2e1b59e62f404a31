#pragma once
// An order's progress, kept in the programming history's store beside the records (the table
// order_rows): each row claimed by a run, done (with the record of its write) or failed. The
// order's table itself is never written, so any bench's copy of it is the same order, and a run
// that was killed, or a machine that was switched off, loses nothing: the next run goes on with
// the rows not done.
//
//   HistoryStore store(location);  OrderState state(store, order.name);
//   Result<std::optional<int>> row = state.Claim(order, rules);
//   ... write the pager ...  state.Finish(*row, record, true);
//
// Every claim is one transaction under a lock of the order (SQLite's write lock, a PostgreSQL
// advisory lock), so two runs on one order never take the same row; a claim whose run went away
// is given back after a time-out.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "core/fleet/fleet_order.h"
#include "core/history/history_record.h"
#include "core/history/history_store.h"
#include "core/result.h"

namespace m84::fleet {

// The history's source of the records an order makes.
inline const QString kSourceFleet = QStringLiteral("fleet");

inline const QString kRowClaimed = QStringLiteral("claimed");
inline const QString kRowDone = QStringLiteral("done");
inline const QString kRowFailed = QStringLiteral("failed");

// A claim not finished after this long belongs to a run that went away (killed, unplugged, its
// host gone): a write with verify takes seconds.
constexpr int kStaleClaimSeconds = 120;

// What the store keeps of a row.
struct RowRecord {
  int row = 0;
  QString state;  // kRowClaimed, kRowDone or kRowFailed
  QByteArray fingerprint;
  QString label;
  QString serial;  // the pager's, once written
  std::optional<qint64> historyId;
  QString port;
  QString runId;
  QDateTime claimed;
  QDateTime updated;
  QString user;
  QString host;
  QString detail;  // why a row failed
};

struct ClaimRules {
  QString runId;  // this run's, unique among every bench's runs
  QString port;
  std::set<int> redo;  // done rows to program again, each on its own pager (ClaimOwn)
  // Done rows to program onto a fresh pager, the old one kept as replaced (KeepReplaced).
  std::set<int> replace;
  // Rows this run failed are tried again too (else only by the next run).
  bool retryFailed = false;
  int staleClaimSeconds = kStaleClaimSeconds;
  // The history's source of the record left for a write that a run which went away never
  // finished.
  QString source = kSourceFleet;
};

// "bench-3:4242:20261211T061500.123": the host, the process and its start.
QString NewRunId();

class OrderState {
 public:
  OrderState(HistoryStore& store, QString order) : store_(store), order_(std::move(order)) {}

  // Every row the store holds for the order, by row number.
  Result<std::vector<RowRecord>> Rows();
  // Whether a row of the order is still there for this run to claim.
  Result<bool> AnyLeft(const Order& order, const ClaimRules& rules);
  // The first row of the order that no run has done or holds, claimed for this run; nothing
  // when none is left. A row failed in an earlier run is tried again; one this run failed is not.
  // pagerSerial: the serial number of the pager about to be written, where it was read, kept
  // with the claim so that a run that went away leaves word of which pager it was writing.
  Result<std::optional<int>> Claim(const Order& order, const ClaimRules& rules, const QString& pagerSerial = {});
  // The row that another run holds, its claim still fresh, ahead of the first row this run
  // could take; nothing when no such row is in the way. A run that must take the rows in their
  // order (a batch, whose FILE steps past each) stops there rather than skip it.
  Result<std::optional<RowRecord>> HeldAhead(const Order& order, const ClaimRules& rules);
  // The done row whose pager has this serial number, if any.
  Result<std::optional<int>> RowWithSerial(const QString& serial);
  // The write's record appended to the history and the row marked done (or failed), in one
  // transaction; record gets its id.
  Outcome Finish(int row, HistoryRecord& record, bool done, const QString& label);
  // The claim still held: its time set to now, so that the other benches do not take it for
  // one whose run went away while a write takes its time. pagerSerial: the serial number of the
  // pager about to be written, where it was read only after the claim; kept with the claim as
  // Claim keeps it.
  Outcome Refresh(int row, const ClaimRules& rules, const QString& pagerSerial = {});
  // A claim given back unwritten (the run stopped before the write began).
  Outcome Release(int row, const ClaimRules& rules);

  // A done row claimed again for its own pager, the one whose serial number it holds (a row in
  // rules.redo, not yet written again in this run): false when it is not that row's pager or
  // the row is not done.
  Result<bool> ClaimOwn(const Order& order, int row, const ClaimRules& rules, const QString& pagerSerial);
  // A row's pager replaced by another (rules.replace): its serial number kept with the row, so
  // that status names it and the old pager is refused for the order.
  Outcome KeepReplaced(int row, const QString& serial);
  // The row whose replaced pager had this serial number, if any.
  Result<std::optional<int>> RowReplacing(const QString& serial);
  // Every row's replaced pagers' serial numbers, oldest first.
  Result<std::map<int, QStringList>> ReplacedPagers();

 private:
  // Runs body inside a transaction that holds the order's lock.
  Outcome Locked(const std::function<Outcome(QSqlDatabase&)>& body);

  HistoryStore& store_;
  QString order_;
};

// Warnings for capcodes the history records in a pager of another serial number (that pager's
// latest write): two pagers would answer them. A row's own earlier write is no other pager.
Result<std::vector<OrderFault>> HistoryWarnings(const Order& order, HistoryStore& store);
// Those warnings among the order's faults, each after the faults of rows before its own, as a
// check reports them.
Outcome AddHistoryWarnings(Order& order, HistoryStore& store);

}  // namespace m84::fleet
