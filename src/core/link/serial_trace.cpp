#include "core/link/serial_trace.h"

#include <QDateTime>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "core/link/adapter_frame.h"

namespace m84 {

namespace {

QString HexBytes(const uint8_t* bytes, int count) {
  QString text;
  text.reserve(count * 3);
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += QLatin1Char(' ');
    text += QString::number(bytes[i], 16).toUpper().rightJustified(2, QLatin1Char('0'));
  }
  return text;
}

QString Address(int address) {
  return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(3, QLatin1Char('0'));
}

bool IsFrame(const uint8_t* bytes, int count) {
  if (count != kFrameSize || bytes[kLeadByte] != kFrameLead || bytes[kLead2Byte] != kFrameLead2) return false;
  AdapterFrame frame;
  std::copy(bytes, bytes + kFrameSize, frame.begin());
  return FrameCheckMatches(frame);
}

// One file under two names ("t.txt" and "./t.txt"), before or after it exists.
QString SameFileKey(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// The kernel's files (/proc/self/mem, /sys/...) look regular but keep nothing written to them.
bool OnKernelFilesystem(const QByteArray& name) {
  struct statfs filesystem {};
  if (::statfs(name.constData(), &filesystem) != 0) return false;
  return filesystem.f_type == PROC_SUPER_MAGIC || filesystem.f_type == SYSFS_MAGIC;
}

// Standard output or error when the path is the same open file (/dev/stdout redirected into a
// file): written through that descriptor, so that the command's own output goes on after the
// trace's lines rather than over them.
int SharedStandardStream(const QByteArray& name) {
  struct stat target {};
  if (::stat(name.constData(), &target) != 0 || !S_ISREG(target.st_mode)) return -1;
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat stream {};
    if (::fstat(fd, &stream) == 0 && stream.st_dev == target.st_dev && stream.st_ino == target.st_ino) return fd;
  }
  return -1;
}

QString TargetProblem(const QString& path, const QStringList& ownFiles) {
  for (const QString& own : ownFiles)
    if (!own.isEmpty() && SameFileKey(own) == SameFileKey(path)) return QStringLiteral("the command's own file");
  const QFileInfo info(path);
  if (!info.exists() || info.isDir()) return {};  // opening says why a folder will not do
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  // A terminal, or /dev/null: written as it comes, never replaced.
  if (::stat(name.constData(), &status) == 0 && S_ISCHR(status.st_mode)) return {};
  if (!info.isFile()) return QStringLiteral("not a regular file");
  if (OnKernelFilesystem(name)) return QStringLiteral("a file of the kernel (/proc, /sys), which keeps no trace");
  if (info.size() == 0 || SharedStandardStream(name) >= 0) return {};
  QFile file(path);
  if (file.open(QIODevice::ReadOnly) && !file.read(kTraceHeader.size()).startsWith(kTraceHeader.toUtf8()))
    return QStringLiteral("not a trace of this program (its first line does not begin with \"%1\")")
        .arg(kTraceHeader.trimmed());
  return {};
}

int AddressOf(const uint8_t* bytes) {
  AdapterFrame frame;
  std::copy(bytes, bytes + kFrameSize, frame.begin());
  return FrameAddress(frame);
}

}  // namespace

QString DescribeFrame(const uint8_t* bytes, int count) {
  if (!IsFrame(bytes, count)) return {};
  switch (static_cast<AdapterCommand>(bytes[kCommandByte])) {
    case AdapterCommand::Probe: return QStringLiteral("probe");
    case AdapterCommand::ReadBlock: return QStringLiteral("read block ") + Address(AddressOf(bytes));
    case AdapterCommand::WriteBlock: return QStringLiteral("write block ") + Address(AddressOf(bytes));
    case AdapterCommand::WriteEnable: return QStringLiteral("write enable");
    case AdapterCommand::End: return QStringLiteral("end");
  }
  return QStringLiteral("unknown command");
}

SerialTrace::SerialTrace() : start_(std::chrono::steady_clock::now()) {}

SerialTrace::~SerialTrace() {
  WriteProbeCount();
  WriteHeldOpen();
}

Outcome SerialTrace::Open(const QString& path, const QString& what, const QStringList& ownFiles) {
  if (const QString problem = TargetProblem(path, ownFiles); !problem.isEmpty())
    return Failed({}, QStringLiteral("%1: %2").arg(path, problem));
  if (const int stream = SharedStandardStream(QFile::encodeName(path)); stream >= 0) {
    if (!file_.open(stream, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::DontCloseHandle))
      return Failed({}, QStringLiteral("%1: %2").arg(path, file_.errorString()));
  } else {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
      return Failed({}, QStringLiteral("%1: %2").arg(path, file_.errorString()));
  }
  path_ = path;
  lost_ = false;
  Append(QStringLiteral("# %1, %2\n")
             .arg(what, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
             .toUtf8());
  return Succeeded();
}

void SerialTrace::SummarizePresenceChecks(std::chrono::milliseconds period) { summaryPeriod_ = period; }

void SerialTrace::Opened(const QString& device) {
  dataFor_ = -1;
  inPresenceCheck_ = false;
  WriteHeldOpen();
  if (summaryPeriod_) {
    heldOpen_ = device;
    return;
  }
  Line(QStringLiteral("open ") + device);
}

void SerialTrace::Sent(const uint8_t* bytes, int count) {
  QString name = DescribeFrame(bytes, count);
  if (heldOpen_ && name == QLatin1String("probe")) {
    heldOpen_.reset();
    inPresenceCheck_ = true;
    const auto now = std::chrono::steady_clock::now();
    if (probes_ > 0 && now - probesSince_ >= *summaryPeriod_) WriteProbeCount();
    if (probes_ == 0) probesSince_ = now;
    ++probes_;
    return;
  }
  inPresenceCheck_ = false;
  WriteProbeCount();
  WriteHeldOpen();
  if (name.isEmpty() && dataFor_ >= 0 && count == kBlockSize)
    name = QStringLiteral("data for block ") + Address(dataFor_);
  dataFor_ = name.startsWith(QLatin1String("write block")) ? AddressOf(bytes) : -1;
  Line(QStringLiteral("-> ") + HexBytes(bytes, count) + (name.isEmpty() ? QString() : QStringLiteral("  ") + name));
}

void SerialTrace::Received(const uint8_t* bytes, int count, bool discarded) {
  if (inPresenceCheck_ && !discarded) {
    if (count == 1 && bytes[0] == kProbeReply) ++answered_;
    inPresenceCheck_ = false;
    return;
  }
  WriteProbeCount();
  WriteHeldOpen();
  Line(QStringLiteral("<- ") + HexBytes(bytes, count) +
       (discarded ? QStringLiteral("  discarded on open") : QString()));
}

void SerialTrace::Disconnected() {
  inPresenceCheck_ = false;
  WriteProbeCount();
  WriteHeldOpen();
  Line(QStringLiteral("disconnected"));
}

void SerialTrace::WriteHeldOpen() {
  if (!heldOpen_) return;
  const QString device = *heldOpen_;
  heldOpen_.reset();
  Line(QStringLiteral("open ") + device);
}

void SerialTrace::WriteProbeCount() {
  if (probes_ == 0) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - probesSince_).count();
  Line(QStringLiteral("%1 presence check(s) in %2 s: %3 answered, %4 not")
           .arg(probes_)
           .arg(seconds, 0, 'f', 1)
           .arg(answered_)
           .arg(probes_ - answered_));
  probes_ = 0;
  answered_ = 0;
}

// Flushed line by line: the trace matters most when the program is stopped or crashes.
void SerialTrace::Line(const QString& text) {
  if (!file_.isOpen()) return;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  Append((QString::number(ms, 'f', 1).rightJustified(9) + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
}

// Written straight to the descriptor, so that a failure keeps its errno: Qt's buffer says only
// "Unknown error" for a disk that fills part-way through a line.
void SerialTrace::Append(const QByteArray& bytes) {
  const int fd = file_.handle();
  int error = 0;
  for (qsizetype done = 0; done < bytes.size() && error == 0;) {
    const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) error = written < 0 ? errno : ENOSPC;
    done += written > 0 ? written : 0;
  }
  if (error == 0) return;
  const QString reason = QString::fromLocal8Bit(std::strerror(error));
  lost_ = true;
  file_.close();
  if (lossReport_) lossReport_(QStringLiteral("the trace to %1 is lost: %2").arg(path_, reason));
}

}  // namespace m84
