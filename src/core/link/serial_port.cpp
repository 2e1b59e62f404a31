#include "core/link/serial_port.h"

#include "core/control_characters.h"
#include "core/link/port_information.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace m84 {

namespace {

using Clock = std::chrono::steady_clock;

const char kPortVariable[] = "M84DPT_PORT";

QString SystemLocation(const QString& name) {
  return name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
}

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

#ifdef Q_OS_UNIX
// The group that may read and write the device (dialout, uucp, ...), which the user joins to
// be allowed to open it; empty when the group has no such right.
QString AccessGroup(const QString& path) {
  struct stat status {};
  if (::stat(path.toLocal8Bit().constData(), &status) != 0) return {};
  if ((status.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  const struct group* entry = ::getgrgid(status.st_gid);
  return entry ? QString::fromLocal8Bit(entry->gr_name) : QString();
}

bool AccessDenied(const QString& path) { return ::access(path.toLocal8Bit().constData(), R_OK | W_OK) != 0; }

bool ProcessLives(qint64 pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

#endif

}  // namespace

bool IsUsbSerial(const QSerialPortInfo& info) {
  if (info.hasVendorIdentifier()) return true;
  // Without udev (containers, minimal systems) the vendor is unknown; the kernel's names still say USB.
  const QString name = info.portName();
  return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

QString AdapterPortName(const QString& option) {
  if (!option.isEmpty()) return option;
  return qEnvironmentVariable(kPortVariable);
}

QStringList SerialLockFolders() {
  const QStringList named = {
      QStringLiteral("/var/lock"),         QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
      QStringLiteral("/var/spool/uucp"),   QStringLiteral("/tmp"),       QStringLiteral("/var/tmp"),
      QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),  QDir::tempPath()};
  // /var/lock is a link to /run/lock on most systems: one folder, looked at once.
  QStringList folders;
  QStringList seen;
  for (const QString& folder : named) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QString key = canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
    if (seen.contains(key)) continue;
    seen << key;
    folders << folder;
  }
  return folders;
}

QString ResolvedDevicePath(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? path : canonical;
}

std::optional<std::pair<QString, QString>> OneDeviceTwice(const QStringList& ports) {
  const auto same = [](const QString& one, const QString& other) {
    const QString first = ResolvedDevicePath(SystemLocation(one));
    const QString second = ResolvedDevicePath(SystemLocation(other));
    if (first == second) return true;
#ifdef Q_OS_UNIX
    struct stat a {
    }, b{};
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &b) == 0 && S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) &&
           a.st_rdev == b.st_rdev;
#else
    return false;
#endif
  };
  for (int i = 0; i < ports.size(); ++i)
    for (int j = i + 1; j < ports.size(); ++j)
      if (same(ports[i], ports[j])) return std::make_pair(ports[i], ports[j]);
  return std::nullopt;
}

QStringList LockFileNames(const QString& path) {
  const auto lockName = [](const QString& device) {
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
  };
  QStringList names{lockName(ResolvedDevicePath(path))};
  if (const QString given = lockName(path); !names.contains(given)) names << given;
  return names;
}

QString ProcessName(qint64 pid, const QString& proc) {
  if (pid <= 0) return {};
  QFile comm(QStringLiteral("%1/%2/comm").arg(proc).arg(pid));
  return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readLine(256)).trimmed() : QString();
}

#ifdef Q_OS_UNIX
// What the path is when it is something that exists and is no terminal line ("a regular file",
// "a character device that is no terminal line"); empty for a serial port, or when it cannot be
// told (missing, or not ours to open).
QString NoSerialPortKind(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  if (::stat(name.constData(), &status) != 0) return {};
  if (S_ISREG(status.st_mode)) return QStringLiteral("a regular file");
  if (S_ISDIR(status.st_mode)) return QStringLiteral("a folder");
  if (S_ISFIFO(status.st_mode)) return QStringLiteral("a FIFO");
  if (S_ISSOCK(status.st_mode)) return QStringLiteral("a socket");
  if (!S_ISCHR(status.st_mode)) return QStringLiteral("a block device");
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  const bool terminal = ::isatty(fd) != 0;
  ::close(fd);
  return terminal ? QString() : QStringLiteral("a character device that is no terminal line");
}
#else
QString NoSerialPortKind(const QString&) { return {}; }
#endif

#ifdef Q_OS_UNIX
namespace {

QString KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return QStringLiteral("a FIFO");
  if (S_ISDIR(mode)) return QStringLiteral("a folder");
  if (S_ISLNK(mode)) return QStringLiteral("a symbolic link");
  if (S_ISSOCK(mode)) return QStringLiteral("a socket");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device");
  return QStringLiteral("no regular file");
}

}  // namespace
#endif

std::optional<qint64> LockFilePid(const QByteArray& content) {
  // Four bytes with a NUL among them are a binary pid, whatever their first bytes look like: a
  // pid such as 2617 is "9\n\0\0" in memory, which read as text would name pid 9.
  if (content.size() == int(sizeof(int32_t)) && content.contains('\0')) {
    int32_t binary = 0;
    std::memcpy(&binary, content.constData(), sizeof binary);
    return binary;
  }
  bool isNumber = false;
  const qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&isNumber);
  if (isNumber) return pid;
  return std::nullopt;
}

PortLock InspectPortLock(const QString& devicePath, const QStringList& folders) {
  PortLock lock;
#ifdef Q_OS_UNIX
  QList<QPair<dev_t, ino_t>> seen;  // one file under two folders' names (a link between them)
  for (const QString& name : LockFileNames(devicePath))
    for (const QString& folder : folders) {
      const QString path = folder + QLatin1Char('/') + name;
      const QByteArray encoded = QFile::encodeName(path);
      struct stat status {};
      if (::lstat(encoded.constData(), &status) != 0) continue;
      if (seen.contains({status.st_dev, status.st_ino})) continue;
      seen.append({status.st_dev, status.st_ino});
      const QString remove = QStringLiteral("remove it: sudo rm -r '%1'").arg(path);
      if (!S_ISREG(status.st_mode)) {
        lock.blocker = QStringLiteral("%1 is %2, no lock file; %3").arg(path, KindOf(status.st_mode), remove);
        return lock;
      }
      // Never blocking: the name may have become a FIFO since it was looked at.
      const int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) continue;
      QByteArray content(4096, '\0');
      const ssize_t got = ::read(fd, content.data(), size_t(content.size()));
      ::close(fd);
      content.truncate(got > 0 ? got : 0);
      const std::optional<qint64> pid = LockFilePid(content);
      if (!pid) {
        lock.blocker = QStringLiteral("%1 names no process, so no program can take the port; %2").arg(path, remove);
        return lock;
      }
      if (!ProcessLives(*pid)) continue;  // stale: the serial layer clears it
      // The system's first process never takes a port: such a lock was written to block it.
      if (*pid == 1) {
        lock.blocker = QStringLiteral("%1 names pid 1, the system's own first process, which takes no serial port; %2")
                           .arg(path, remove);
        return lock;
      }
      // The file's own words about its program are anyone's to write; the system's are not.
      QString program = EscapeControlCharacters(ProcessName(*pid));
      if (program.isEmpty()) program = QStringLiteral("a program");
      lock.holder = QStringLiteral("%1 (pid %2)").arg(program).arg(*pid);
      return lock;
    }
#else
  Q_UNUSED(devicePath);
  Q_UNUSED(folders);
#endif
  return lock;
}

QString PortHolder(const QString& devicePath) { return InspectPortLock(devicePath).holder; }

QString FindUsbSerialPort() {
  const std::optional<SerialDeviceInfo> adapter = PluggedAdapter(SystemPortInformation());
  return adapter ? adapter->location : QString();
}

SerialPort::SerialPort(const QString& fixedName) : fixedName_(fixedName) {}

SerialPort::~SerialPort() = default;

bool SerialPort::OpenAdapterPort() {
  cause_.clear();
  held_ = false;
  const QString found = SearchPort();
  // A failed search leaves an open port as it was.
  if (found.isEmpty()) return false;
  portName_ = found;
  Close();
  const Clock::time_point start = Clock::now();
  while (!OpenFound(found)) {
    if (!held_ || MillisecondsSince(start) + kHeldPortPollMs > heldRetryMs_) return false;
    // Nothing to wait on: the holder's lock file goes without a signal to anyone.
    std::this_thread::sleep_for(std::chrono::milliseconds(kHeldPortPollMs));
  }
  if (!ConfigureLine()) {
    failure_ = QStringLiteral("%1: the line settings were refused (%2)").arg(found, port_->errorString());
    Close();
    return false;
  }
  failure_.clear();
  cause_.clear();
  held_ = false;
  disconnected_ = false;
  if (observer_) observer_->Opened(found);
  DrainArrivingInput();
  return true;
}

bool SerialPort::OpenFound(const QString& path) {
  // Looked at before the serial layer, which takes a lock in the older programs' form for a stale
  // one and deletes it, and which hangs on a FIFO at the lock's name.
  const PortLock lock = InspectPortLock(path, lockFolders_);
  if (!lock.blocker.isEmpty()) {
    held_ = false;
    failure_ = QStringLiteral("%1: blocked: %2").arg(path, lock.blocker);
    cause_ = QStringLiteral("the port's lock is blocked: %1").arg(lock.blocker);
    return false;
  }
  if (!lock.holder.isEmpty()) {
    held_ = true;
    failure_ = QStringLiteral("%1: in use by %2").arg(path, lock.holder);
    cause_ = QStringLiteral("the port is in use by %1").arg(lock.holder);
    return false;
  }
  // Opened by the device's own name, so that the serial layer's lock is the device's too.
  port_ = std::make_unique<QSerialPort>();
  port_->setPortName(ResolvedDevicePath(path));
  if (port_->open(QIODevice::ReadWrite)) {
    TakeExclusiveUse();
    return true;
  }
  NoteOpenFailure(path);
  port_.reset();
  return false;
}

bool SerialPort::IsOpen() const { return port_ && port_->isOpen(); }

void SerialPort::Close() {
#ifdef Q_OS_UNIX
  // A pseudo-terminal keeps the mark past the last close while its other end stays open.
  if (IsOpen()) ::ioctl(int(port_->handle()), TIOCNXCL);
#endif
  if (port_) port_->close();
  port_.reset();
}

// A program that takes no lock file still cannot open the line while we use it (root excepted,
// whom the kernel lets through).
void SerialPort::TakeExclusiveUse() {
#ifdef Q_OS_UNIX
  ::ioctl(int(port_->handle()), TIOCEXCL);
#endif
}

int SerialPort::Write(const uint8_t* bytes, int count) {
  if (!IsOpen() || count <= 0) return count;
  if (observer_) observer_->Sent(bytes, count);
  if (port_->write(reinterpret_cast<const char*>(bytes), count) < 0) {
    if (port_->error() == QSerialPort::ResourceError) NoteDisconnected();
    return 0;
  }
  const Clock::time_point start = Clock::now();
  const double limitMs = kWriteMsPerByte * count + kWriteConstantMs;
  while (port_->bytesToWrite() > 0) {
    const double remaining = limitMs - MillisecondsSince(start);
    if (remaining <= 0 || !port_->waitForBytesWritten(static_cast<int>(std::ceil(remaining)))) break;
  }
  if (port_->error() == QSerialPort::ResourceError) {
    NoteDisconnected();
    return 0;
  }
  const int unsent = static_cast<int>(port_->bytesToWrite());
  if (unsent > 0) port_->clear(QSerialPort::Output);
  port_->clearError();
  return count - unsent;
}

// Blocks on the port until data or the deadline: a busy poll would burn a whole core for the
// seconds a transfer takes.
int SerialPort::ReadWithTimeout(uint8_t* buffer, int count, double limitMs) {
  if (!IsOpen() || count <= 0) return 0;
  const Clock::time_point start = Clock::now();
  int received = 0;
  for (;;) {
    const qint64 got = port_->read(reinterpret_cast<char*>(buffer + received), count - received);
    if (got > 0) received += static_cast<int>(got);
    if (received >= count) break;
    const double remaining = limitMs - MillisecondsSince(start);
    if (remaining <= 0) break;
    if (port_->waitForReadyRead(static_cast<int>(std::ceil(remaining)))) continue;
    if (port_->error() == QSerialPort::TimeoutError || port_->error() == QSerialPort::NoError) {
      port_->clearError();
      continue;  // the loop's own clock decides when the limit is reached
    }
    // The device went away (unplugged): later exchanges see a closed port until the next open.
    NoteDisconnected();
    break;
  }
  // A line that merely fell silent and one whose device node is gone look alike to the read.
  if (received < count && IsOpen() && !QFileInfo::exists(portName_)) NoteDisconnected();
  if (observer_ && received > 0) observer_->Received(buffer, received, false);
  return received;
}

void SerialPort::NoteDisconnected() {
  if (!disconnected_ && observer_) observer_->Disconnected();
  disconnected_ = true;
  Close();
}

// A command that ended mid-exchange leaves the adapter still answering; those bytes would be
// taken for the next answer.
void SerialPort::DrainArrivingInput() {
  const Clock::time_point start = Clock::now();
  drainedBytes_ = 0;
  char discard[256];
  for (;;) {
    for (qint64 got; (got = port_->read(discard, sizeof discard)) > 0;) {
      drainedBytes_ += static_cast<int>(got);
      if (observer_) observer_->Received(reinterpret_cast<const uint8_t*>(discard), static_cast<int>(got), true);
    }
    const double remaining = kDrainLimitMs - MillisecondsSince(start);
    if (remaining <= 0) break;
    const double quietMs = drainedBytes_ > 0 ? kDrainBusyQuietMs : kDrainQuietMs;
    if (!port_->waitForReadyRead(static_cast<int>(std::ceil(std::min(quietMs, remaining))))) break;
  }
  port_->clearError();
  drainMs_ = MillisecondsSince(start);
}

QString SerialPort::SearchPort() {
  if (fixedName_.isEmpty()) {
    const QString found = FindUsbSerialPort();
    if (found.isEmpty()) failure_ = QStringLiteral("no USB serial device found");
    return found;
  }
  const QString path = SystemLocation(fixedName_);
  if (!QFileInfo::exists(path)) {
    failure_ = QStringLiteral("%1: no such device").arg(path);
    return {};
  }
  return path;
}

// Set explicitly: a port keeps whatever line settings the last program left on it.
bool SerialPort::ConfigureLine() {
  // Input that arrived while the port was closed is left for the drain: read rather than
  // flushed, it tells the drain that the adapter may still be sending, and the trace shows it.
  return port_->setBaudRate(kBaudRate) && port_->setDataBits(QSerialPort::Data8) &&
         port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
         port_->setFlowControl(QSerialPort::NoFlowControl);
}

void SerialPort::NoteOpenFailure(const QString& path) {
  failure_ = QStringLiteral("%1: %2").arg(path, port_->errorString());
  held_ = false;
#ifdef Q_OS_UNIX
  if (const QString kind = NoSerialPortKind(path); !kind.isEmpty()) {
    // The serial layer says only "Inappropriate ioctl for device".
    failure_ = QStringLiteral(
                   "%1: no serial port (%2); check that --port or M84DPT_PORT names the adapter's device, "
                   "such as /dev/ttyUSB0 (m84dpt ports lists the serial ports)")
                   .arg(path, kind);
    cause_ = QStringLiteral("%1 is no serial port (%2)").arg(path, kind);
  } else if (port_->error() == QSerialPort::PermissionError && AccessDenied(path)) {
    cause_ = QStringLiteral("no permission to open %1: sudo m84dpt udev-rule --install").arg(path);
    const QString group = AccessGroup(path);
    // Joining the group needs a new login; the udev rule lasts and also serves the desktop user.
    failure_ = group.isEmpty() ? QStringLiteral(
                                     "%1: permission denied; only its owner may open it. Lasting fix: "
                                     "sudo m84dpt udev-rule --install")
                                     .arg(path)
                               : QStringLiteral(
                                     "%1: permission denied; join the group \"%2\" (sudo usermod -aG %2 $USER) "
                                     "and log in again, or for a lasting fix: sudo m84dpt udev-rule --install")
                                     .arg(path, group);
  } else if (port_->error() == QSerialPort::PermissionError) {
    // Refused with the rights to open it: another program holds it (its lock, or exclusive use).
    held_ = true;
    QString holder = PortHolder(path);
    if (holder.isEmpty()) holder = QStringLiteral("another program");
    failure_ = QStringLiteral("%1: in use by %2").arg(path, holder);
    cause_ = QStringLiteral("the port is in use by %1").arg(holder);
  }
#endif
}

}  // namespace m84
