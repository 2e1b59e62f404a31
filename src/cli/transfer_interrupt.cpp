#include "cli/transfer_interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "core/history/history_store.h"

namespace m84 {

namespace {

volatile std::sig_atomic_t g_interrupts = 0;
volatile std::sig_atomic_t g_hungUp = 0;
// Every signal heard, never reset: a wait on the history's server is cancelled when it grows.
volatile std::sig_atomic_t g_heard = 0;

int SignalsHeard() { return g_heard; }

// The handler's byte for whoever waits at a prompt: written by whichever thread took the signal.
int g_wakeRead = -1;
int g_wakeWrite = -1;

void MakeWakePipe() {
  if (g_wakeRead >= 0) return;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_wakeRead = ends[0];
  g_wakeWrite = ends[1];
}

constexpr int kSignalCount = 3;
struct sigaction g_previous[kSignalCount];
struct sigaction g_previousPipe;
const int kSignals[kSignalCount] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void CountInterrupt(int signal) {
  g_heard = g_heard + 1;
  if (g_wakeWrite >= 0) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_wakeWrite, &byte, 1);
    errno = saved;
  }
  if (signal == SIGHUP)
    g_hungUp = 1;
  else if (g_interrupts < 2)
    g_interrupts = g_interrupts + 1;
}

}  // namespace

TransferInterrupts::TransferInterrupts(InterruptRule rule) : rule_(rule) {
  g_interrupts = 0;
  g_hungUp = 0;
  MakeWakePipe();
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

std::optional<QByteArray> ReadPromptLine() {
  QByteArray line;
  for (;;) {
    if (g_interrupts > 0 || g_hungUp) return std::nullopt;
    pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0}, {g_wakeRead, POLLIN, 0}};
    const int ready = ::poll(waits, g_wakeRead >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    if (waits[1].revents & POLLIN) {
      // Emptied, and the count above says what came.
      char bytes[16];
      while (::read(g_wakeRead, bytes, sizeof bytes) > 0) {
      }
      continue;
    }
    char byte = 0;
    const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return line.isEmpty() ? std::nullopt : std::optional<QByteArray>(line);
    if (byte == '\n') return line;
    line.append(byte);
  }
}

}  // namespace m84
