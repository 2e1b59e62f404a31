#pragma once
// Ctrl+C (SIGINT), SIGTERM and a closed terminal (SIGHUP) while the command line moves blocks:
// the handler only counts, and the transfer looks at the count between blocks, so a block in
// progress always finishes and the line is left clean.

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

 private:
  InterruptRule rule_;
  bool warned_ = false;
};

}  // namespace m84
