#pragma once
// Runs the window's pager transfers on a thread of their own, one at a time, with the same link
// code the command line runs: the window keeps painting and answering input meanwhile. What a
// transfer tells its host (status texts, beeps, progress, warnings) reaches the window on its own
// thread, in the order said, and the transfer goes on without waiting for it. The transfer takes
// its image in and gives its result back; the window stores and loads its pages, and asks its
// questions (the dump's file dialog), before and after it.
//
//   runner.Start([&](TransferHost& host) { read = link.ReadPager(host); link.ClosePort(); });
//   runner.RequestStop();   // the transfer ends before its next block
//   Finished                // on the window's thread, after everything the transfer said

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

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

 signals:
  void Finished();

 private:
  class RelayHost;

  // From the transfer's thread: call runs on the window's thread, after the calls before it.
  void Relay(std::function<void()> call);
  void OnThreadFinished();
  void Detach();

  TransferHost& window_;
  std::unique_ptr<QThread> thread_;
  std::atomic<bool> stop_{false};
  // Set on the window's thread when the runner goes: calls still queued are dropped unrun.
  std::atomic<bool> detached_{false};
};

}  // namespace m84
