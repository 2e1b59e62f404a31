#pragma once
// Fleet, Open Order...: an order's rows beside the window, each with its state as the history's
// store holds it (to do, claimed by a bench, done, failed, changed since it was done), followed
// live so that the other benches' work on a shared order shows as it happens. The order is
// checked as `fleet check` checks it; while the view is open the window's Write programs the
// order's next row (WriteNextRow), and a fault of the order refuses it.
//
// The store is read on a thread of the view's own, so that a slow or unreachable server never
// holds the window up.

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_bench.h"
#include "core/fleet/order_settings.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"

class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace m84 {

// What the window's Write did with an order's next row.
struct OrderRowWrite {
  std::optional<Failure> storeFailed;  // the order's state could not be read or kept
  std::optional<fleet::SeatedPager> seated;
  std::optional<fleet::RowWrite> wrote;  // the row was claimed and written, or tried
  bool stopped = false;                  // the claim was given back before the write began
  QString rowName;                       // "row 7 (Ames, J)": the row claimed

  // What the status line says after the transfer's own text: which row was written, or why
  // none was.
  QString Summary() const;
};

// The next row not done of the order, claimed through the adapter's pager (the swap guard
// first), written with verify and recorded; the claim given back when the host asks to stop
// before the write begins. seatedRow is told the row before its write starts. On the transfer's
// thread: the store is opened there.
OrderRowWrite WriteNextRow(const fleet::Order& order, const HistoryLocation& location, const fleet::ClaimRules& rules,
                           AdapterLink& link, TransferHost& host,
                           const std::function<void(const fleet::OrderRow& row)>& seatedRow);

class OrderView : public QDialog {
  Q_OBJECT
 public:
  // The store is polled about this often.
  static constexpr int kPollMs = 1000;

  // Reads and checks the order over its template (none: the default settings). write: the
  // window's Write, which the view's button triggers and whose enabling it follows.
  OrderView(const QString& orderPath, const QString& templatePath, const HistoryLocation& location, QAction* write,
            QWidget* parent = nullptr);
  ~OrderView() override;

  // The order as read and checked, with the history's warnings once they are in.
  const fleet::Order& Checked() const { return order_; }
  const HistoryLocation& Location() const { return location_; }
  // This view's claims: one run, a failed row tried again with the next pager.
  fleet::ClaimRules Rules(const QString& port) const;
  // The order has faults (a file that cannot be read counts): nothing is programmed.
  bool Refused() const;
  // "hospital.csv has faults; nothing written".
  QString RefusalText() const;

  // The faults and warnings as `fleet check` prints them, ORDER:ROW:COLUMN: message.
  QStringList FaultTexts() const;
  int RowCount() const;
  // A shown row's cell, as the table shows it.
  enum Column : int {
    kRowColumn,
    kLabelColumn,
    kCapcodesColumn,
    kSerialColumn,
    kStateColumn,
    kTimeColumn,
    kUserColumn,
    kHostColumn,
    kAdapterColumn,
    kColumnCount
  };
  QString Cell(int row, Column column) const;
  // "order: 2 done, 0 failed, 1 to do", as `fleet status` ends.
  QString Summary() const;
  // The store's answer was a failure: why; empty otherwise.
  QString Problem() const;
  // The store is read again at once (after this window's own write).
  void PollNow();

 private:
  class Watch;
  void ShowFaults();
  void ShowRows(const std::vector<fleet::RowRecord>& rows);
  void ShowProblem(const QString& problem, bool rows);
  void TakeWarnings(const std::vector<fleet::OrderFault>& warnings);
  // The template and shared columns the order kept from its first check or run, if any; the
  // order's first reading here keeps them, as fleet check does.
  std::optional<fleet::OrderSettings> KeptSettings(const QString& order) const;
  void KeepSettings(const QString& templatePath, const PagerData& templateData) const;
  void FollowWrite();

  fleet::Order order_;
  HistoryLocation location_;
  QString fileName_;
  QString runId_;
  bool rowsProblem_ = false;  // the problem shown is the rows', gone with the next good read
  std::optional<QString> loadFailure_;
  QAction* write_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* problem_ = nullptr;
  QListWidget* faults_ = nullptr;
  QStandardItemModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QPushButton* writeButton_ = nullptr;
  std::unique_ptr<Watch> watch_;
};

}  // namespace m84
