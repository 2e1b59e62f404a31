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
// advisory lock), so two runs on one order never take the same row. A claim is a lease that the
// store judges: it holds a token only its run knows, the order's time-out and the process that
// holds it. On the machine that made it, a claim whose process is gone is taken at once; from
// another machine, once the store's own clock says the lease ran out. Finishing a row checks the
// token in the same transaction, so a run that lost its lease never marks the row.

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
  QString leaseToken;
  int leaseSeconds = 0;  // the time-out the claim was given: the order's
  QString process;       // the claim's holder, as ThisProcess() names it
};

struct ClaimRules {
  QString runId;  // this run's, unique among every bench's runs
  QString port;
  std::set<int> redo;  // done rows to program again, each on its own pager (ClaimOwn)
  // Done rows to program onto a fresh pager, the old one kept as replaced (KeepReplaced).
  std::set<int> replace;
  // Rows this run failed are tried again too (else only by the next run).
  bool retryFailed = false;
  // Rows promised to this run's other adapters (their prompts name them): not taken here.
  std::set<int> skip;
  // The time-out an order's claims get when this run is the order's first; after that the
  // order's own (OrderState::LeaseSeconds).
  int staleClaimSeconds = kStaleClaimSeconds;
  // The history's source of the record left for a write that a run which went away never
  // finished.
  QString source = kSourceFleet;
};

// "bench-3:4242:20261211T061500.123": the host, the process and its start.
QString NewRunId();

// This process as a claim records it: "MACHINE BOOT PID START" (the machine's id, the boot's id,
// the process id and its start in clock ticks since boot), so that a claim can be told to be
// this machine's, and its process to be gone, even where the process id was given out again.
QString ThisProcess();
// Whether a claim's process (as ThisProcess names it) was started on this machine, and whether
// it still runs.
bool OnThisMachine(const QString& process);
bool ProcessRuns(const QString& process);

// How finishing a claimed row went: the lease still this run's, or taken by another run (whose
// host and adapter takenBy names); then the pager's record was kept as written outside the order.
struct RowFinish {
  bool leaseLost = false;
  QString takenBy;
};

// A batch as the store keeps it from its first run: the order's name, its total of pagers and
// the settings of its first pager (base64 of the image and selection block).
struct BatchTerms {
  QString name;
  int total = 0;
  QString start;
};

// The batches whose order name begins with prefix.
Result<std::vector<BatchTerms>> StoredBatches(HistoryStore& store, const QString& prefix);

class OrderState {
 public:
  OrderState(HistoryStore& store, QString order) : store_(store), order_(std::move(order)) {}

  // Every row the store holds for the order, by row number.
  Result<std::vector<RowRecord>> Rows();
  // The row this run would claim next, without claiming it; nothing when none is left.
  Result<std::optional<int>> NextRow(const Order& order, const ClaimRules& rules);
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
  // transaction that first checks the row's lease is still this claim's; record gets its id.
  // A lease lost meanwhile leaves the row as the store holds it and records the pager as written
  // outside the order ("serial 8400200020 has row 3's settings, but row 3 was taken by ...").
  Result<RowFinish> Finish(int row, HistoryRecord& record, bool done, const QString& label);
  // The claim still held: its time set to the store's now, so that the other benches do not take
  // it for one whose run went away while a write takes its time. pagerSerial: the serial number
  // of the pager about to be written, where it was read only after the claim; kept with the
  // claim as Claim keeps it.
  Outcome Refresh(int row, const ClaimRules& rules, const QString& pagerSerial = {});
  // A claim given back unwritten (the run stopped before the write began).
  Outcome Release(int row, const ClaimRules& rules);
  // A batch's terms kept with its order (its total, its first pager's settings), with the
  // claims' time-out when the order has none yet.
  Outcome KeepBatch(const BatchTerms& terms, int claimTimeoutSeconds);
  // The lease token of this state's claim on the row; empty when it holds none.
  QString TokenOf(int row) const;
  const HistoryLocation& StoreLocation() const { return store_.Location(); }
  // A claim made by an earlier state of the same run (the journal's), finished through this one.
  void AdoptClaim(int row, const QString& token) { tokens_[row] = token; }
  // The order's claim time-out, once a claim has read it: what a run refreshes within.
  int LeaseSeconds(const ClaimRules& rules) const {
    return leaseSeconds_ > 0 ? leaseSeconds_ : rules.staleClaimSeconds;
  }

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
  std::map<int, QString> tokens_;  // this state's claims' lease tokens, by row
  int leaseSeconds_ = 0;
};

// A pager's record and its row's mark, kept for the store to take when it answers again (a
// journal file beside the store, private as the store is): a bench whose store fails after a
// verified write loses no pager.
struct PendingRow {
  QString order;
  int row = 0;
  bool done = false;
  QString label;
  QString token;  // the claim's lease token
  HistoryRecord record;
};

// The journal's file: beside an SQLite store, in the user's data folder for a server's.
QString PendingFile(const HistoryLocation& location);
// Appends the row to the journal; the store takes it when it is next opened.
Outcome KeepPending(const HistoryLocation& location, const PendingRow& pending);
// Every row of the store's journal recorded and marked, as Finish would have, each once; the
// journal is emptied once all are in. HistoryStore::Open calls it, before anything reads the
// store.
Outcome ReplayPending(HistoryStore& store);

// Warnings for capcodes the history records in a pager of another serial number (that pager's
// latest write): two pagers would answer them. A row's own earlier write is no other pager.
Result<std::vector<OrderFault>> HistoryWarnings(const Order& order, HistoryStore& store);
// Those warnings among the order's faults, each after the faults of rows before its own, as a
// check reports them.
Outcome AddHistoryWarnings(Order& order, HistoryStore& store);

}  // namespace m84::fleet
