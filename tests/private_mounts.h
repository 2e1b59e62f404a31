#pragma once
// Failures of the filesystem that stop root as well (tests run as root in CI, and root ignores
// permissions): a read-only or a full filesystem, mounted in a mount namespace of the calling
// process's own, and a child process to take them, so that they end with it.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace m84 {

inline bool WriteUserMap(const char* path, const QByteArray& line) {
  const int fd = ::open(path, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = ::write(fd, line.constData(), static_cast<size_t>(line.size())) == line.size();
  ::close(fd);
  return ok;
}

// Directly where the process may mount, otherwise inside a user namespace of its own; nothing
// propagates back.
inline bool EnterPrivateMountNamespace() {
  if (::unshare(CLONE_NEWNS) != 0) {
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray gid = QByteArray::number(::getgid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    if (!WriteUserMap("/proc/self/setgroups", "deny") || !WriteUserMap("/proc/self/uid_map", "0 " + uid + " 1") ||
        !WriteUserMap("/proc/self/gid_map", "0 " + gid + " 1"))
      return false;
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

inline bool MountSmallFilesystem(const QString& folder, const char* size) {
  return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, size) == 0;
}

inline bool RemountReadOnly(const QString& folder) {
  return ::mount(nullptr, QFile::encodeName(folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

// Runs `work` in a child process and gives back what it returned; nothing when the child did
// not finish.
inline std::optional<QByteArray> RunInChildProcess(const std::function<QByteArray()>& work) {
  int pipe[2];
  if (::pipe(pipe) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    const QByteArray report = work();
    const bool sent = ::write(pipe[1], report.constData(), static_cast<size_t>(report.size())) == report.size();
    ::_exit(sent ? 0 : 1);
  }
  ::close(pipe[1]);
  QByteArray report;
  char buffer[512];
  for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return report;
}

}  // namespace m84
