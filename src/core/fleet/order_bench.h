#pragma once
// One pager of an order at one adapter, as every bench programs it (the command line's workers
// and the window alike): the pager's serial number read, a pager this order has written already
// refused (the swap guard), the next row claimed for it, and then the row written with verify,
// recorded in the history with the order's file and row, and marked done or failed.
//
//   const Result<SeatedPager> seated = SeatPager(order, state, rules, link);
//   if (seated && seated->kind == SeatedPager::Kind::Claimed)
//     const RowWrite wrote = WriteRow(order, *order.Row(seated->row), seated->serial, link, state, rules, host);

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <optional>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_state.h"
#include "core/history/history_record.h"
#include "core/link/adapter_link.h"
#include "core/result.h"

namespace m84::fleet {

// A transfer's host that keeps a row's claim fresh while its pager is written: now and then,
// between blocks, `refresh` sets the claim's time to now (several times within the time-out), so
// that no other run takes a slow write for one whose run went away. Everything else is the inner
// host's. The runner's workers use it, and so does anything else that writes an order's rows.
class ClaimKeepingHost : public TransferHost {
 public:
  ClaimKeepingHost(TransferHost& inner, int staleClaimSeconds, std::function<void()> refresh);

  void ShowStatus(const QString& text) override { inner_.ShowStatus(text); }
  void Sound(Beep beep) override { inner_.Sound(beep); }
  void SetProgress(int position) override { inner_.SetProgress(position); }
  void ShowFileProblem(const QString& path, const QString& reason) override { inner_.ShowFileProblem(path, reason); }
  void ShowFileSaved(const QString& path) override { inner_.ShowFileSaved(path); }
  void Pump() override { inner_.Pump(); }
  bool StopRequested() override;
  void ShowWarning(const QString& text) override { inner_.ShowWarning(text); }

 private:
  TransferHost& inner_;
  qint64 intervalMs_;
  std::function<void()> refresh_;
  QElapsedTimer sinceRefresh_;
};

// The pager in the adapter, and the row it gets.
struct SeatedPager {
  enum class Kind {
    Claimed,         // row is claimed for it
    NoPager,         // its serial number could not be read
    AlreadyWritten,  // this order wrote it: row got it
    NoneLeft,        // every row is done or held by another run
  };
  Kind kind = Kind::NoneLeft;
  QString serial;  // the pager's own, as read
  int row = 0;
  QString reason;         // NoPager: the link's
  bool replaced = false;  // AlreadyWritten: row's pager was replaced by another

  // What the person at the bench is told when no row was claimed: "no pager answers (...);
  // nothing written", or the swap guard's refusal.
  QString Refusal() const;
};

// Reads the serial number of the pager in the adapter, refuses a pager whose serial number this
// order has written (the pager just programmed, still seated, or one put back later) and claims
// the next row for it. The port is given up again before it returns.
Result<SeatedPager> SeatPager(const Order& order, OrderState& state, const ClaimRules& rules, AdapterLink& link);

// How a claimed row's write was kept: recorded and marked, in the journal for a store that
// failed, or outside the order for a lease that another run took.
struct RowKept {
  std::optional<Failure> storeFailed;  // the record or the row's state could not be kept
  // With storeFailed: the journal that keeps the record for the store's return, where it could
  // be written there; journalFailed says why not.
  QString journal;
  QString journalFailed;
  // Another run took the row's lease during the write: the pager is recorded as written outside
  // the order, and the run must take no other row.
  bool leaseLost = false;

  // Whether the run may take another row after this one.
  bool MayGoOn() const { return !storeFailed && !leaseLost; }
  // What the bench is told when the row could not be kept as this run's, or an empty text.
  QString Trouble(const HistoryRecord& record) const;
};

// The write's record kept and the claimed row marked done (ok) or failed; a store that fails
// leaves both in the journal, a lease lost the record outside the order.
RowKept KeepRow(const Order& order, const OrderRow& row, HistoryRecord& record, bool ok, OrderState& state);

// A claimed row's write.
struct RowWrite {
  WriteResult written;
  bool ok = false;
  bool interrupted = false;  // the host asked the write to stop
  HistoryRecord record;      // as kept in the history, its image as the pager now holds it
  RowKept kept;
};

// The row written with verify over the pager in the adapter (pagerSerial: the serial number
// SeatPager read, the record's when the write fails before the pager holds the row); the claim
// is kept fresh while the write takes its time. The write is recorded in the history with the
// order's file and row, and the row marked done or failed, in one transaction.
RowWrite WriteRow(const Order& order, const OrderRow& row, const QString& pagerSerial, AdapterLink& link,
                  OrderState& state, const ClaimRules& rules, TransferHost& host);

}  // namespace m84::fleet
