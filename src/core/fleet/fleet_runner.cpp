#include "core/fleet/fleet_runner.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "core/fleet/order_bench.h"
#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"

namespace m84::fleet {

namespace {

constexpr int kOpenRetryMs = 50;

// The transfer's status texts, as one adapter's progress line.
class WorkerHost : public TransferHost {
 public:
  WorkerHost(RunConsole& console, int adapter, QString prefix)
      : console_(console), adapter_(adapter), prefix_(std::move(prefix)) {}

  void ShowStatus(const QString& text) override { console_.Progress(adapter_, prefix_ + text.trimmed()); }
  void Sound(Beep) override {}
  bool StopRequested() override { return console_.StopTransfer(); }
  void ShowWarning(const QString& text) override { console_.Tell(prefix_ + text); }

 private:
  RunConsole& console_;
  int adapter_;
  QString prefix_;
};

// The row each adapter's prompt names, so that two adapters never ask for the same row's pager.
class Promises {
 public:
  // The next row as `next` finds it past the rows promised to the other adapters, promised to
  // this one; one adapter at a time, so that two never find the same row.
  Result<std::optional<int>> PromiseNext(int adapter,
                                         const std::function<Result<std::optional<int>>(std::set<int>)>& next) {
    std::unique_lock<std::mutex> lock(mutex_);
    // The first promises in adapter order, as the first prompts come: adapter 1 gets the first row.
    turned_.wait(lock, [&] { return turn_ >= adapter; });
    Leave(adapter);
    rows_.erase(adapter);
    const Result<std::optional<int>> found = next(Others(adapter));
    if (found && *found) rows_[adapter] = **found;
    return found;
  }
  void Withdraw(int adapter) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.erase(adapter);
  }
  std::set<int> OfOthers(int adapter) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Others(adapter);
  }

  // The adapter's worker ends: the next adapter's first promise waits for it no longer.
  void Done(int adapter) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.erase(adapter);
    Leave(adapter);
  }

 private:
  void Leave(int adapter) {
    turn_ = std::max(turn_, adapter + 1);
    turned_.notify_all();
  }

  std::set<int> Others(int adapter) const {
    std::set<int> rows;
    for (const auto& [other, row] : rows_)
      if (other != adapter) rows.insert(row);
    return rows;
  }

  std::mutex mutex_;
  std::condition_variable turned_;
  int turn_ = 1;
  std::map<int, int> rows_;
};

class Worker {
 public:
  Worker(const Order& order, const RunOptions& options, RunConsole& console, int adapter, RunResult& result,
         std::mutex& resultMutex, std::atomic<bool>& halted, Promises& promises)
      : order_(order),
        options_(options),
        console_(console),
        adapter_(adapter),
        device_(options.ports[adapter - 1]),
        result_(result),
        resultMutex_(resultMutex),
        halted_(halted),
        promises_(promises) {
    rules_ = options.rules;
    rules_.port = device_;
  }

  void Run() {
    HistoryStore store(options_.history);
    OrderState state(store, order_.name);
    SerialPort port(device_);
    AdapterLink link(port);
    // A store that failed, or a lease lost, on any adapter: no adapter takes another row.
    while (!console_.Stopping() && !halted_) {
      const Result<std::optional<int>> next = promises_.PromiseNext(adapter_, [&](std::set<int> others) {
        rules_.skip = std::move(others);
        return state.NextRow(order_, rules_);
      });
      if (!next) return StoreFailed(next.failure());
      if (!*next) break;
      const bool seatedOne = console_.AwaitPager(adapter_, device_, RowName(*order_.Row(**next)));
      if (!seatedOne || console_.Stopping()) {
        promises_.Withdraw(adapter_);
        break;
      }
      rules_.skip = promises_.OfOthers(adapter_);
      const Result<SeatedPager> seated = SeatPager(order_, state, rules_, link);
      promises_.Withdraw(adapter_);
      if (!seated) return StoreFailed(seated.failure());
      if (seated->kind == SeatedPager::Kind::NoneLeft) break;
      if (seated->kind != SeatedPager::Kind::Claimed) {
        console_.Tell(Name() + QStringLiteral(": ") + seated->Refusal());
        continue;
      }
      if (console_.Stopping() || halted_) {
        state.Release(seated->row, rules_);
        break;
      }
      Program(*order_.Row(seated->row), seated->serial, link, state);
    }
  }

 private:
  QString Name() const { return QStringLiteral("adapter %1 (%2)").arg(adapter_).arg(device_); }
  static QString RowName(const OrderRow& row) {
    return row.label.isEmpty() ? QStringLiteral("row %1").arg(row.row)
                               : QStringLiteral("row %1 (%2)").arg(row.row).arg(row.label);
  }

  void StoreFailed(const Failure& failure) {
    console_.Tell(QStringLiteral("%1: the order's state cannot be kept: %2").arg(Name(), failure.Text()));
    std::lock_guard<std::mutex> lock(resultMutex_);
    result_.storeFailed = true;
    halted_ = true;
  }

  void Program(const OrderRow& row, const QString& pagerSerial, AdapterLink& link, OrderState& state) {
    const QString prefix = QStringLiteral("%1: row %2%3: ")
                               .arg(Name())
                               .arg(row.row)
                               .arg(row.label.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(row.label));
    WorkerHost host(console_, adapter_, prefix);
    const RowWrite wrote = WriteRow(order_, row, pagerSerial, link, state, rules_, host);
    const bool ok = wrote.ok;
    const HistoryRecord& record = wrote.record;
    const QString outcome =
        ok ? QStringLiteral("row %1: %2 (serial number %3, %4)").arg(row.row).arg(record.status, record.serial, Name())
           : QStringLiteral("row %1: %2 (%3): %4").arg(row.row).arg(record.status, Name(), record.detail);
    console_.RowFinished(outcome);
    if (const QString trouble = wrote.kept.Trouble(record); !trouble.isEmpty())
      console_.Tell(QStringLiteral("%1: row %2: %3").arg(Name()).arg(row.row).arg(trouble));
    std::lock_guard<std::mutex> lock(resultMutex_);
    if (wrote.kept.storeFailed) result_.storeFailed = true;
    if (wrote.kept.leaseLost) result_.leaseLost = true;
    if (!wrote.kept.MayGoOn()) halted_ = true;
    // A pager written outside the order is not the order's.
    if (wrote.kept.leaseLost) return;
    if (ok) {
      ++result_.done;
    } else {
      ++result_.failed;
      if (wrote.interrupted) result_.interrupted = true;
    }
  }

  const Order& order_;
  const RunOptions& options_;
  RunConsole& console_;
  int adapter_;
  QString device_;
  ClaimRules rules_;
  RunResult& result_;
  std::mutex& resultMutex_;
  std::atomic<bool>& halted_;
  Promises& promises_;
};

}  // namespace

RunResult RunOrder(const Order& order, const RunOptions& options, RunConsole& console) {
  RunResult result;
  // The store made and brought up to date once, before the workers open it side by side: a new
  // SQLite file is switched to its journal mode under a lock that no busy time-out waits for.
  // Benches that start at the same moment on a new file meet that lock too: tried again briefly.
  {
    HistoryStore store(options.history);
    const QDeadlineTimer deadline(kHistoryBusyTimeoutMs);
    Outcome opened = store.Open();
    while (!opened && !deadline.hasExpired() && !console.Stopping()) {
      QThread::msleep(kOpenRetryMs);
      opened = store.Open();
    }
    if (!opened) {
      console.Tell(QStringLiteral("the order's state cannot be kept: %1").arg(opened.failure().Text()));
      result.storeFailed = true;
      return result;
    }
  }
  std::mutex resultMutex;
  std::atomic<bool> halted{false};
  Promises promises;
  std::atomic<int> running{int(options.ports.size())};
  std::vector<std::thread> threads;
  for (int adapter = 1; adapter <= options.ports.size(); ++adapter)
    threads.emplace_back([&, adapter] {
      Worker(order, options, console, adapter, result, resultMutex, halted, promises).Run();
      promises.Done(adapter);
      --running;
    });
  console.Attend([&] { return running.load() == 0; });
  for (std::thread& thread : threads) thread.join();
  return result;
}

}  // namespace m84::fleet
