#pragma once
// Ctrl+C (SIGINT) and SIGTERM while the command line moves blocks: the handler only counts,
// and the transfer looks at the count between blocks, so a block in progress always finishes
// and the line is left clean.

namespace m84 {

// The shell's convention for a program ended by SIGINT.
constexpr int kInterruptedExitCode = 130;

enum class InterruptRule {
  StopAfterBlock,   // a read or dump: the first interruption ends it after the block in progress
  WarnThenStop,     // a write: the first warns that the pager would be half-written, the second stops
};

class TransferInterrupts {
 public:
  // Installs the handlers; the destructor puts back the ones before.
  explicit TransferInterrupts(InterruptRule rule);
  ~TransferInterrupts();
  TransferInterrupts(const TransferInterrupts&) = delete;
  TransferInterrupts& operator=(const TransferInterrupts&) = delete;

  // Asked between blocks; under WarnThenStop the first interruption prints its warning here.
  bool StopRequested();
  bool Interrupted() const;

 private:
  InterruptRule rule_;
  bool warned_ = false;
};

}  // namespace m84
