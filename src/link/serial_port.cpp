#include "link/serial_port.h"

#include "link/port_information.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <algorithm>
#include <chrono>
#include <cmath>

#ifdef Q_OS_UNIX
#include <grp.h>
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

QString FindUsbSerialPort() {
  const std::optional<SerialDeviceInfo> adapter = PluggedAdapter(SystemPortInformation());
  return adapter ? adapter->location : QString();
}

SerialPort::SerialPort(const QString& fixedName) : fixedName_(fixedName) {}

SerialPort::~SerialPort() = default;

bool SerialPort::OpenAdapterPort() {
  const QString found = SearchPort();
  // A failed search leaves an open port as it was.
  if (found.isEmpty()) return false;
  portName_ = found;
  Close();
  port_ = std::make_unique<QSerialPort>();
  port_->setPortName(found);
  if (!port_->open(QIODevice::ReadWrite)) {
    NoteOpenFailure(found);
    port_.reset();
    return false;
  }
  if (!ConfigureLine()) {
    failure_ = QStringLiteral("%1: the line settings were refused (%2)").arg(found, port_->errorString());
    Close();
    return false;
  }
  failure_.clear();
  disconnected_ = false;
  if (observer_) observer_->Opened(found);
  DrainArrivingInput();
  return true;
}

bool SerialPort::IsOpen() const { return port_ && port_->isOpen(); }

void SerialPort::Close() {
  if (port_) port_->close();
  port_.reset();
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
#ifdef Q_OS_UNIX
  if (port_->error() == QSerialPort::PermissionError && AccessDenied(path)) {
    const QString group = AccessGroup(path);
    // Joining the group needs a new login; the udev rule lasts and also serves the desktop user.
    failure_ = group.isEmpty()
                   ? QStringLiteral("%1: permission denied; only its owner may open it. Lasting fix: "
                                    "sudo m84dpt udev-rule --install").arg(path)
                   : QStringLiteral("%1: permission denied; join the group \"%2\" (sudo usermod -aG %2 $USER) "
                                    "and log in again, or for a lasting fix: sudo m84dpt udev-rule --install")
                         .arg(path, group);
  } else if (port_->error() == QSerialPort::PermissionError) {
    failure_ = QStringLiteral("%1: in use by another program").arg(path);
  }
#endif
}

}  // namespace m84
