#pragma once
// Runs the window's pager transfers on a thread of their own, one at a time, with the same link
// code the command line runs: the window keeps painting and answering input meanwhile. What a
// transfer tells its host (status texts, beeps, progress, warnings) reaches the window on its own
// thread, in the order said, and the transfer goes on without waiting for it. The transfer takes
// its image in and gives its result back; the window stores and loads its pages around it. Only
// a question (the dump's file dialog) waits for the window.
//
//   runner.Start([&](TransferHost& host) { read = link.ReadPager(host); link.ClosePort(); });
//   runner.RequestStop();   // the transfer ends before its next block
//   Finished                // on the window's thread, after everything the transfer said

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/link/adapter_link.h"

class QThread;

namespace m84 {

class TransferRunner : public QObject {
  Q_OBJECT
 public:
  using Job = std::function<void(TransferHost& host)>;

  // window: the host the transfer's calls are carried to; it outlives the runner.
  explicit TransferRunner(TransferHost& window, QObject* parent = nullptr);
  // A running transfer is stopped before its next block and waited for; the window hears
  // nothing more of it.
  ~TransferRunner() override;

  bool Running() const { return thread_ != nullptr; }
  // False when a transfer runs already.
  bool Start(Job job);
  void RequestStop() { stop_ = true; }

  // From the transfer's thread: the answer to a question only the window can ask (a file
  // dialog), waited for; an empty text once the window has gone.
  QString Ask(const std::function<QString()>& question);

 signals:
  void Finished();

 private:
  class RelayHost;

  // From the transfer's thread: call runs on the window's thread; wait: until it has run.
  void Relay(std::function<void()> call, bool wait);
  void OnThreadFinished();
  void Detach();

  TransferHost& window_;
  std::unique_ptr<QThread> thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards the three below
  std::condition_variable ran_;
  uint64_t posted_ = 0;
  uint64_t done_ = 0;
  bool detached_ = false;
};

}  // namespace m84
