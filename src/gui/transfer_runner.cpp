#include "gui/transfer_runner.h"

#include <QThread>

namespace m84 {

// The transfer's host on its own thread: every call is carried to the window. The calls outlive
// this host (which ends with the transfer), so they hold the window, never the host.
class TransferRunner::RelayHost : public TransferHost {
 public:
  explicit RelayHost(TransferRunner& runner) : runner_(runner), window_(runner.window_) {}

  void ShowStatus(const QString& text) override {
    runner_.Relay([w = &window_, text] { w->ShowStatus(text); }, false);
  }
  void Sound(Beep beep) override {
    runner_.Relay([w = &window_, beep] { w->Sound(beep); }, false);
  }
  void SetProgress(int position) override {
    runner_.Relay([w = &window_, position] { w->SetProgress(position); }, false);
  }
  void ShowFileProblem(const QString& path, const QString& reason) override {
    runner_.Relay([w = &window_, path, reason] { w->ShowFileProblem(path, reason); }, false);
  }
  void ShowWarning(const QString& text) override {
    runner_.Relay([w = &window_, text] { w->ShowWarning(text); }, false);
  }
  void ShowFileSaved(const QString& path) override {
    runner_.Relay([w = &window_, path] { w->ShowFileSaved(path); }, false);
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

QString TransferRunner::Ask(const std::function<QString()>& question) {
  QString answer;
  Relay([&answer, &question] { answer = question(); }, true);
  return answer;
}

void TransferRunner::Relay(std::function<void()> call, bool wait) {
  uint64_t ticket = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_) return;
    ticket = ++posted_;
  }
  // Runs on the window's thread; dropped unrun when the runner goes first.
  QMetaObject::invokeMethod(
      this,
      [this, call = std::move(call), ticket] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (detached_) return;
        }
        call();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          done_ = ticket;
        }
        ran_.notify_all();
      },
      Qt::QueuedConnection);
  if (!wait) return;
  std::unique_lock<std::mutex> lock(mutex_);
  ran_.wait(lock, [&] { return done_ >= ticket || detached_; });
}

// The window's thread only: nothing more is run for the transfer, and a transfer waiting for
// the window goes on without it.
void TransferRunner::Detach() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    detached_ = true;
  }
  ran_.notify_all();
}

void TransferRunner::OnThreadFinished() {
  thread_->wait();
  thread_.reset();
  emit Finished();
}

}  // namespace m84
