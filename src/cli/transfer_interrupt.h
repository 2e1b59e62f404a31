#pragma once
// Ctrl+C (SIGINT), SIGTERM and a closed terminal (SIGHUP) while the command line moves blocks:
// the handler only counts, and the transfer looks at the count between blocks, so a block in
// progress always finishes and the line is left clean.
//
// One rule for every write of pagers (a single write, a batch, an order): the first Ctrl+C
// finishes the pager being written and starts no other (exit 130); the second stops the write
// after the block in progress, saying the pager is half-written. A signal at a prompt ends the
// wait at once, whatever standard input is (a terminal, a pipe, a file).

#include <QByteArray>
#include <optional>

namespace m84 {

// The shell's convention for a program ended by SIGINT, and by SIGHUP.
constexpr int kInterruptedExitCode = 130;
constexpr int kHungUpExitCode = 129;

enum class InterruptRule {
  StopAfterBlock,  // a read or dump: the first interruption ends it after the block in progress
  WarnThenStop,    // a write: the first warns that the pager would be half-written, the second stops
};

class TransferInterrupts {
 public:
  // Installs the handlers; the destructor puts back the ones before.
  explicit TransferInterrupts(InterruptRule rule);
  ~TransferInterrupts();
  TransferInterrupts(const TransferInterrupts&) = delete;
  TransferInterrupts& operator=(const TransferInterrupts&) = delete;

  // Asked between blocks; under WarnThenStop the first interruption prints its warning here.
  // A hang-up stops a read or dump like Ctrl+C, but never a write: nobody is left to see a
  // warning, and a finished write is safer than a half-written pager.
  bool StopRequested();
  bool Interrupted() const;
  bool HungUp() const;
  // 129 after a hang-up that was the only signal, else 130.
  int ExitCode() const;
  // Any signal heard: no new pager is started.
  bool Heard() const { return Interrupted() || HungUp(); }

 private:
  InterruptRule rule_;
  bool warned_ = false;
};

// A line of standard input (without its line end) for a prompt; nothing when standard input
// ended, or a signal came first, or had come already. Read a byte at a time, so that the lines
// after it stay for the next prompts; any thread may take the signal, the wait wakes all the same.
std::optional<QByteArray> ReadPromptLine();

}  // namespace m84
