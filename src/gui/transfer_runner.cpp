#include "gui/transfer_runner.h"

#include <QThread>

namespace m84 {

// The transfer's host on its own thread: every call is carried to the window. The calls outlive
// this host (which ends with the transfer), so they hold the window, never the host.
class TransferRunner::RelayHost : public TransferHost {
 public:
  explicit RelayHost(TransferRunner& runner) : runner_(runner), window_(runner.window_) {}

  void ShowStatus(const QString& text) override {
    runner_.Relay([w = &window_, text] { w->ShowStatus(text); });
  }
  void Sound(Beep beep) override {
    runner_.Relay([w = &window_, beep] { w->Sound(beep); });
  }
  void SetProgress(int position) override {
    runner_.Relay([w = &window_, position] { w->SetProgress(position); });
  }
  void ShowFileProblem(const QString& path, const QString& reason) override {
    runner_.Relay([w = &window_, path, reason] { w->ShowFileProblem(path, reason); });
  }
  void ShowWarning(const QString& text) override {
    runner_.Relay([w = &window_, text] { w->ShowWarning(text); });
  }
  void ShowFileSaved(const QString& path) override {
    runner_.Relay([w = &window_, path] { w->ShowFileSaved(path); });
  }
  bool StopRequested() override { return runner_.stop_; }

 private:
  TransferRunner& runner_;
  TransferHost& window_;
};

TransferRunner::TransferRunner(TransferHost& window, QObject* parent) : QObject(parent), window_(window) {}

TransferRunner::~TransferRunner() {
  if (!thread_) return;
  stop_ = true;
  Detach();
  thread_->wait();
}

bool TransferRunner::Start(Job job) {
  if (thread_) return false;
  stop_ = false;
  thread_.reset(QThread::create([this, job = std::move(job)] {
    RelayHost host(*this);
    job(host);
  }));
  // Queued behind every call the transfer made: the window has heard all of it first.
  connect(thread_.get(), &QThread::finished, this, &TransferRunner::OnThreadFinished, Qt::QueuedConnection);
  thread_->start();
  return true;
}

void TransferRunner::Relay(std::function<void()> call) {
  if (detached_) return;
  // Runs on the window's thread; dropped unrun when the runner goes first.
  QMetaObject::invokeMethod(
      this,
      [this, call = std::move(call)] {
        if (!detached_) call();
      },
      Qt::QueuedConnection);
}

// The window's thread only: nothing more is run for the transfer.
void TransferRunner::Detach() { detached_ = true; }

void TransferRunner::OnThreadFinished() {
  thread_->wait();
  thread_.reset();
  emit Finished();
}

}  // namespace m84
