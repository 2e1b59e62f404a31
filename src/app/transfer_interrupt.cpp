#include "app/transfer_interrupt.h"

#include <csignal>
#include <cstdio>

namespace m84 {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;

struct sigaction g_previous[2];
const int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void CountInterrupt(int) {
  if (g_interrupts < 2) g_interrupts = g_interrupts + 1;
}

}  // namespace

TransferInterrupts::TransferInterrupts(InterruptRule rule) : rule_(rule) {
  g_interrupts = 0;
  struct sigaction action {};
  action.sa_handler = CountInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait on the port wakes and goes on with what remains of its deadline.
  action.sa_flags = 0;
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

TransferInterrupts::~TransferInterrupts() {
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

bool TransferInterrupts::StopRequested() {
  const int count = g_interrupts;
  if (count == 0) return false;
  if (rule_ == InterruptRule::StopAfterBlock || count >= 2) return true;
  if (!warned_) {
    warned_ = true;
    std::fputs("\nm84dpt: stopping now would leave the pager half-written; the write goes on "
               "(interrupt again to stop after the block in progress)\n",
               stderr);
    std::fflush(stderr);
  }
  return false;
}

bool TransferInterrupts::Interrupted() const { return g_interrupts > 0; }

}  // namespace m84
