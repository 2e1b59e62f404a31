#pragma once
// Programming an order: one worker per adapter, all at once, each taking the next row that no
// bench has done or holds, writing and verifying its pager and recording the write with the
// order's row. The runner knows no terminal: the console (the command line's, a test's) is asked
// for the next pager and told what happens.
//
//   RunOptions options{ports, historyLocation, rules};
//   const RunResult result = RunOrder(order, options, console);

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_bench.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"
#include "core/link/adapter_link.h"

namespace m84::fleet {

// What the runner asks of the person at the bench. Every call but Attend comes from an
// adapter's worker thread, at any time.
class RunConsole {
 public:
  virtual ~RunConsole() = default;
  // Returns once a pager is in adapter `adapter` (counted from 1); false ends that adapter's
  // work. next: the row the pager is for, "row 7 (Ames, J)".
  virtual bool AwaitPager(int adapter, const QString& port, const QString& next) = 0;
  // How the adapter's pager is getting on: a status text, a block's progress.
  virtual void Progress(int adapter, const QString& line) = 0;
  // What stays on record: a row done or failed, a pager refused.
  virtual void Tell(const QString& line) = 0;
  // A row's outcome, for the summary on standard output.
  virtual void RowFinished(const QString& line) = 0;
  // Asked between blocks of a transfer: true ends it before the next block.
  virtual bool StopTransfer() = 0;
  // True once no new pager is to be started.
  virtual bool Stopping() = 0;
  // Runs on the caller's thread while the workers work, until finished() says they are all
  // done; the place to serve AwaitPager from a terminal.
  virtual void Attend(const std::function<bool()>& finished) = 0;
};

struct RunOptions {
  QStringList ports;
  HistoryLocation history;
  ClaimRules rules;  // its port is each worker's own
};

struct RunResult {
  int done = 0;
  int failed = 0;
  bool interrupted = false;
  bool storeFailed = false;  // the order's state could not be read or kept
  bool leaseLost = false;    // a row's lease was taken by another run while its pager was written
};

RunResult RunOrder(const Order& order, const RunOptions& options, RunConsole& console);

}  // namespace m84::fleet
