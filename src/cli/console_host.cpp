#include "cli/console_host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/transfer_interrupt.h"
#include "core/control_characters.h"
#include "core/image/dat_file.h"
#include "core/settings/settings_file.h"

namespace m84 {

void ConsoleHost::ShowStatus(const QString& text) {
  progress_.Clear();
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleHost::ShowFileProblem(const QString& path, const QString& reason) {
  PrintReason(QStringLiteral("%1: %2").arg(path, reason));
}

void ConsoleHost::ShowFileSaved(const QString& path) { PrintReason(QStringLiteral("saved %1").arg(path)); }

bool ConsoleHost::StopRequested() { return interrupts_ && interrupts_->StopRequested(); }

void ConsoleHost::ShowWarning(const QString& text) {
  progress_.Clear();
  PrintReason(text);
}

// A reason may quote a pager's text or a key as it was typed.
void PrintReason(const QString& reason) {
  std::fprintf(stderr, "m84dpt: %s\n", EscapeControlCharacters(reason, true).toLocal8Bit().constData());
}

bool RefuseOutput(const QString& typed, const QString& defaultExtension, const QString& statusText) {
  if (typed == kStandardOutputName) return false;
  const std::optional<FileProblem> problem = OutputPathProblem(typed, defaultExtension);
  if (!problem) return false;
  if (!statusText.isEmpty()) {
    std::printf("%s\n", statusText.toLocal8Bit().constData());
    std::fflush(stdout);
  }
  PrintReason(QStringLiteral("%1: %2").arg(problem->path, problem->reason));
  return true;
}

bool RefuseUnwritable(const QString& path, qsizetype size, const QString& statusText) {
  const Outcome replaceable = CheckReplaceable(path, size);
  if (replaceable) return false;
  std::printf("%s\n", statusText.toLocal8Bit().constData());
  std::fflush(stdout);
  PrintReason(QStringLiteral("%1: %2").arg(path, replaceable.failure().reason));
  return true;
}

Outcome WriteToStandardOutput(const QByteArray& bytes) {
  std::fflush(stdout);
  errno = 0;
  const size_t written = std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  if (std::fflush(stdout) != 0 || written != static_cast<size_t>(bytes.size()))
    return Failed(QString(), QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO)));
  return Succeeded();
}

Outcome SaveOutput(const QString& path, const QByteArray& bytes) {
  return path == kStandardOutputName ? WriteToStandardOutput(bytes) : WriteFileAtomically(path, bytes);
}

QCommandLineOption BaseOption() {
  return {QStringLiteral("base"), QStringLiteral("Read a settings text over this file's settings, not the defaults."),
          QStringLiteral("FILE")};
}

Outcome LoadSettingsOverBase(const QString& basePath, const QString& path, PagerData& data, OperationHost& host) {
  PagerData base;
  if (!basePath.isEmpty() && SettingsFileFormOf(path) == SettingsFileForm::Text) {
    if (Outcome loaded = LoadSettingsFile(basePath, base, host); !loaded) return loaded;
  }
  return LoadSettingsFile(path, data, host, base);
}

}  // namespace m84
