#include "cli/transfer_interrupt.h"

#include <csignal>
#include <cstdio>

#include "core/history/history_store.h"

namespace m84 {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_hungUp = 0;
// Every signal heard, never reset: a wait on the history's server is cancelled when it grows.
volatile std::sig_atomic_t g_heard = 0;

int SignalsHeard() { return g_heard; }

constexpr int kSignalCount = 3;
struct sigaction g_previous[kSignalCount];
struct sigaction g_previousPipe;
const int kSignals[kSignalCount] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void CountInterrupt(int signal) {
  g_heard = g_heard + 1;
  if (signal == SIGHUP)
    g_hungUp = 1;
  else if (g_interrupts < 2)
    g_interrupts = g_interrupts + 1;
}

}  // namespace

TransferInterrupts::TransferInterrupts(InterruptRule rule) : rule_(rule) {
  g_interrupts = 0;
  g_hungUp = 0;
  struct sigaction action {};
  action.sa_handler = CountInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait on the port wakes and goes on with what remains of its deadline.
  action.sa_flags = 0;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
  SetHistoryWaitSignals(SignalsHeard);
  // A status line into a pipe whose reader went with the terminal must not end a write
  // half-way; the line is lost instead.
  if (rule_ == InterruptRule::WarnThenStop) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &g_previousPipe);
  }
}

TransferInterrupts::~TransferInterrupts() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  if (rule_ == InterruptRule::WarnThenStop) sigaction(SIGPIPE, &g_previousPipe, nullptr);
}

bool TransferInterrupts::StopRequested() {
  if (rule_ == InterruptRule::StopAfterBlock) return Interrupted();
  const int count = g_interrupts;
  if (count == 0) return false;
  if (count >= 2) return true;
  if (!warned_) {
    warned_ = true;
    std::fputs(
        "\nm84dpt: stopping now would leave the pager half-written; the write goes on "
        "(interrupt again to stop after the block in progress)\n",
        stderr);
    std::fflush(stderr);
  }
  return false;
}

bool TransferInterrupts::Interrupted() const {
  return g_interrupts > 0 || (rule_ == InterruptRule::StopAfterBlock && g_hungUp);
}

bool TransferInterrupts::HungUp() const { return g_hungUp != 0; }

int TransferInterrupts::ExitCode() const {
  return g_interrupts == 0 && g_hungUp ? kHungUpExitCode : kInterruptedExitCode;
}

}  // namespace m84
