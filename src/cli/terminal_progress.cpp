#include "cli/terminal_progress.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "core/link/adapter_frame.h"

namespace m84 {

namespace {
constexpr int kBarWidth = 32;
}  // namespace

TerminalProgress::TerminalProgress() : stream_(stderr), enabled_(::isatty(STDERR_FILENO) == 1) {}

void TerminalProgress::Show(int position) {
  if (!enabled_) return;
  if (position <= 0) {
    Clear();
    return;
  }
  position = std::min(position, kProgressRange);
  const int filled = kBarWidth * position / kProgressRange;
  const std::string bar = std::string(size_t(filled), '#') + std::string(size_t(kBarWidth - filled), '.');
  std::fprintf(stream_, "\r[%s] %3d %%", bar.c_str(), 100 * position / kProgressRange);
  std::fflush(stream_);
  drawn_ = true;
}

void TerminalProgress::Clear() {
  if (!enabled_ || !drawn_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  drawn_ = false;
}

}  // namespace m84
