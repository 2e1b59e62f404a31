#include "app/console_host.h"

#include <cstdio>

namespace m84 {

ConsoleHost::ConsoleHost(PagerData& data, DisplayMode mode) : pages_(data, mode) {}

void ConsoleHost::ShowStatus(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintReason(const QString& reason) {
  std::fprintf(stderr, "m84dpt: %s\n", reason.toLocal8Bit().constData());
}

}  // namespace m84
