#include "core/fleet/fleet_runner.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <mutex>
#include <thread>
#include <vector>

#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"

namespace m84::fleet {

namespace {

constexpr int kSerialDigits = kSerialLast - kSerialFirst;
constexpr int kOpenRetryMs = 50;

QString SerialText(const QByteArray& bytes) {
  QString text;
  for (int i = 0; i < kSerialDigits && i < bytes.size() && bytes[i] != 0; ++i) text.append(QChar(uchar(bytes[i])));
  return text;
}

// A claim is refreshed several times within the time-out, so that a slow write never looks like
// one whose run went away.
constexpr int kHeartbeatsPerTimeOut = 4;

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

class Worker {
 public:
  Worker(const Order& order, const RunOptions& options, RunConsole& console, int adapter, RunResult& result,
         std::mutex& resultMutex)
      : order_(order),
        options_(options),
        console_(console),
        adapter_(adapter),
        device_(options.ports[adapter - 1]),
        result_(result),
        resultMutex_(resultMutex) {
    rules_ = options.rules;
    rules_.port = device_;
  }

  void Run() {
    HistoryStore store(options_.history);
    OrderState state(store, order_.name);
    SerialPort port(device_);
    AdapterLink link(port);
    while (!console_.Stopping()) {
      const Result<bool> left = state.AnyLeft(order_, rules_);
      if (!left) return StoreFailed(left.failure());
      if (!*left) break;
      if (!console_.AwaitPager(adapter_, device_)) break;
      if (console_.Stopping()) break;
      // The pager's serial number, for the swap guard and as the record's when the write fails.
      const std::optional<QByteArray> serialBytes = link.ReadSerialNumber();
      link.ClosePort();
      if (!serialBytes) {
        console_.Tell(QStringLiteral("%1: no pager answers (%2); nothing written").arg(Name(), link.LastFailure()));
        continue;
      }
      const QString pagerSerial = SerialText(*serialBytes);
      const Result<std::optional<int>> wrote = state.RowWithSerial(pagerSerial);
      if (!wrote) return StoreFailed(wrote.failure());
      if (*wrote) {
        console_.Tell(QStringLiteral("%1: the pager in the adapter has serial number %2, which row %3 of this order "
                                     "already got; insert the next pager")
                          .arg(Name(), pagerSerial)
                          .arg(**wrote));
        continue;
      }
      const Result<std::optional<int>> claimed = state.Claim(order_, rules_, pagerSerial);
      if (!claimed) return StoreFailed(claimed.failure());
      if (!*claimed) break;
      if (console_.Stopping()) {
        state.Release(**claimed, rules_);
        break;
      }
      Program(*order_.Row(**claimed), pagerSerial, link, state);
    }
  }

 private:
  QString Name() const { return QStringLiteral("adapter %1 (%2)").arg(adapter_).arg(device_); }

  void StoreFailed(const Failure& failure) {
    console_.Tell(QStringLiteral("%1: the order's state cannot be kept: %2").arg(Name(), failure.Text()));
    std::lock_guard<std::mutex> lock(resultMutex_);
    result_.storeFailed = true;
  }

  void Program(const OrderRow& row, const QString& pagerSerial, AdapterLink& link, OrderState& state) {
    const QString prefix = QStringLiteral("%1: row %2%3: ")
                               .arg(Name())
                               .arg(row.row)
                               .arg(row.label.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(row.label));
    WorkerHost progress(console_, adapter_, prefix);
    ClaimKeepingHost host(progress, rules_.staleClaimSeconds, [&] { (void)state.Refresh(row.row, rules_); });
    PagerData data = row.data;
    const WriteResult written = link.WritePager(data.image, WriteOptions{!row.writesSerial}, host);
    link.ClosePort();
    TakeWrite(written, data.image);
    const bool ok = bool(written.outcome);

    HistoryRecord record;
    record.source = kSourceFleet;
    record.operation = OperationName(HistoryOperation::Write);
    record.outcome = ok ? kOutcomeOk : link.Interrupted() ? kOutcomeInterrupted : kOutcomeFailed;
    record.status = link.LastStatus();
    record.exitCode = ok ? 0 : link.Interrupted() ? 130 : 1;
    if (!ok) {
      const QString held = DescribeWriteProgress(link.LastWrite());
      record.detail = held.isEmpty() ? link.LastFailure() : link.LastFailure() + QStringLiteral("; ") + held;
    }
    record.port = device_;
    record.file = QStringLiteral("%1:%2").arg(order_.file).arg(row.row);
    record.data = data;
    FillSearchColumns(record);
    // The pager's own serial number until the write is known to have got through: a failed
    // write is never recorded against a serial number the pager does not hold.
    if (!ok && !written.reachedVerify) record.serial = pagerSerial;
    const Outcome kept = state.Finish(row.row, record, ok, row.label);
    if (!kept) StoreFailed(kept.failure());

    const QString outcome =
        ok ? QStringLiteral("row %1: %2 (serial number %3, %4)").arg(row.row).arg(record.status, record.serial, Name())
           : QStringLiteral("row %1: %2 (%3): %4").arg(row.row).arg(record.status, Name(), record.detail);
    console_.RowFinished(outcome);
    std::lock_guard<std::mutex> lock(resultMutex_);
    if (ok) {
      ++result_.done;
    } else {
      ++result_.failed;
      if (link.Interrupted()) result_.interrupted = true;
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
};

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
  std::atomic<int> running{int(options.ports.size())};
  std::vector<std::thread> threads;
  for (int adapter = 1; adapter <= options.ports.size(); ++adapter)
    threads.emplace_back([&, adapter] {
      Worker(order, options, console, adapter, result, resultMutex).Run();
      --running;
    });
  console.Attend([&] { return running.load() == 0; });
  for (std::thread& thread : threads) thread.join();
  return result;
}

}  // namespace m84::fleet
