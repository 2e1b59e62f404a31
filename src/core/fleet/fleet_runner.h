#pragma once
// Programming an order: one worker per adapter, all at once, each taking the next row that no
// bench has done or holds, writing and verifying its pager and recording the write with the
// order's row. The runner knows no terminal: the console (the command line's, a test's) is asked
// for the next pager and told what happens.
//
//   RunOptions options{ports, historyLocation, rules};
//   const RunResult result = RunOrder(order, options, console);

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "core/fleet/fleet_order.h"
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
  // work.
  virtual bool AwaitPager(int adapter, const QString& port) = 0;
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
};

RunResult RunOrder(const Order& order, const RunOptions& options, RunConsole& console);

}  // namespace m84::fleet
