#pragma once
// The command line's transfer host: the console host's status texts and pages, the
// keep-serial-number choice the window takes from its General page, a progress bar on a
// terminal, and the Ctrl+C rule of the command that runs.

#include "cli/console_host.h"
#include "cli/terminal_progress.h"
#include "cli/transfer_interrupt.h"
#include "core/link/adapter_link.h"

namespace m84 {

class ConsoleTransferHost : public TransferHost {
 public:
  explicit ConsoleTransferHost(PagerData& data) : console_(data, DisplayMode::Advanced) {}

  ConsoleHost& Console() { return console_; }
  void SetKeepSerialNumber(bool keep) { keepSerial_ = keep; }
  void SetInterrupts(TransferInterrupts* interrupts) { interrupts_ = interrupts; }

  void ShowStatus(const QString& text) override {
    progress_.Clear();
    console_.ShowStatus(text);
  }
  void Sound(Beep beep) override { console_.Sound(beep); }
  void ExchangeAllPages(Direction direction) override { console_.ExchangeAllPages(direction); }
  void ShowFileProblem(const QString& path, const QString& reason) override { console_.ShowFileProblem(path, reason); }
  void ShowFileSaved(const QString& path) override { console_.ShowFileSaved(path); }
  bool KeepSerialNumber() override { return keepSerial_; }
  void SetProgress(int position) override { progress_.Show(position); }
  bool StopRequested() override { return interrupts_ && interrupts_->StopRequested(); }
  void ShowWarning(const QString& text) override {
    progress_.Clear();
    PrintReason(text);
  }

 private:
  ConsoleHost console_;
  bool keepSerial_ = false;
  TerminalProgress progress_;
  TransferInterrupts* interrupts_ = nullptr;
};

}  // namespace m84
