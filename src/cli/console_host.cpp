#include "cli/console_host.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>

#include "cli/transfer_interrupt.h"
#include "core/control_characters.h"
#include "core/image/dat_file.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

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

bool IsCharacterDevice(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
}

QString StreamOutputName(const QString& typed) {
  // Opened by name, /dev/stdout redirected into a file would start writing at its beginning,
  // over what the program wrote there before: it is written through the program's own.
  static const QStringList names = {QStringLiteral("/dev/stdout"), QStringLiteral("/dev/fd/1"),
                                    QStringLiteral("/proc/self/fd/1")};
  return names.contains(QDir::cleanPath(typed)) ? kStandardOutputName : typed;
}

bool RefuseStreamOutput(const QString& typed, const QString& defaultExtension, const QString& statusText) {
  const QString name = StreamOutputName(typed);
  if (name == kStandardOutputName || IsCharacterDevice(name)) return false;
  return RefuseOutput(typed, defaultExtension, statusText);
}

Outcome SaveOutput(const QString& typed, const QByteArray& bytes) {
  const QString path = StreamOutputName(typed);
  if (path == kStandardOutputName) return WriteToStandardOutput(bytes);
  if (!IsCharacterDevice(path)) return WriteFileAtomically(path, bytes);
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Failed(QString(), QString::fromLocal8Bit(std::strerror(errno)));
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const int error = written < 0 ? errno : EIO;
      ::close(fd);
      return Failed(QString(), QString::fromLocal8Bit(std::strerror(error)));
    }
    done += written;
  }
  ::close(fd);
  return Succeeded();
}

QCommandLineOption BaseOption() {
  return {QStringLiteral("base"), QStringLiteral("Read a settings text over this file's settings, not the defaults."),
          QStringLiteral("FILE")};
}

QCommandLineOption StrictOption() {
  return QCommandLineOption(QStringLiteral("strict"),
                            QStringLiteral("Write no settings holding a value the window would refuse (a settings "
                                           "text's values marked as read from a pager, {as_read: ...})."));
}

bool RefusedAsRead(const QString& file, const PagerData& data, bool strict, bool named) {
  const QStringList asRead = SettingsGivenAsRead(data);
  if (!named)
    for (const QString& setting : asRead)
      PrintReason(QStringLiteral("%1: as read from a pager, past the window's check: %2").arg(file, setting));
  if (!strict || asRead.isEmpty()) return false;
  PrintReason(QStringLiteral("%1: %2 setting(s) hold a value the window would refuse; --strict writes none of them")
                  .arg(file)
                  .arg(asRead.size()));
  return true;
}

Outcome LoadSettingsOverBase(const QString& basePath, const QString& path, PagerData& data, OperationHost& host) {
  PagerData base;
  if (!basePath.isEmpty() && SettingsFileFormOf(path) == SettingsFileForm::Text) {
    if (Outcome loaded = LoadSettingsFile(basePath, base, host); !loaded) return loaded;
  }
  return LoadSettingsFile(path, data, host, base);
}

namespace {

bool IsPipe(const QString& path) {
  struct stat status {};
  return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

// A FIFO is opened without waiting for a writer (there may never be one); its reads then wait.
Result<QByteArray> ReadStream(const QString& path) {
  const bool standardInput = path == kStandardInputName;
  const int fd = standardInput ? ::dup(STDIN_FILENO)
                               : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failed(kOpenDataFileError, QString::fromLocal8Bit(std::strerror(errno)));
  if (!standardInput) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const qint64 limit = LargestSettingsInput() + 1;
  QByteArray bytes;
  char buffer[4096];
  while (bytes.size() < limit) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return Failed(kOpenDataFileError, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (got == 0) break;
    bytes.append(buffer, qsizetype(std::min<qint64>(got, limit - bytes.size())));
  }
  ::close(fd);
  return bytes;
}

}  // namespace

Outcome LoadSettingsInput(const QString& basePath, const QString& path, PagerData& data, OperationHost& host,
                          bool pipes) {
  if (path != kStandardInputName && !(pipes && IsPipe(path))) return LoadSettingsOverBase(basePath, path, data, host);
  const QString name = path == kStandardInputName ? QStringLiteral("standard input") : path;
  PagerData base;
  if (!basePath.isEmpty())
    if (Outcome loaded = LoadSettingsFile(basePath, base, host); !loaded) return loaded;
  const Result<QByteArray> bytes = ReadStream(path);
  if (!bytes) {
    host.ShowStatus(bytes.failure().status);
    host.ShowFileProblem(name, bytes.failure().reason);
    return bytes.failure();
  }
  return LoadSettingsBytes(name, *bytes, data, host, base);
}

}  // namespace m84
