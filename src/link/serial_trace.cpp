#include "link/serial_trace.h"

#include <QDateTime>
#include <algorithm>

#include "link/adapter_frame.h"

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

bool SerialTrace::Open(const QString& path, const QString& what, QString* error) {
  file_.setFileName(path);
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, file_.errorString());
    return false;
  }
  file_.write(QStringLiteral("# %1, %2\n")
                  .arg(what, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                  .toUtf8());
  file_.flush();
  return true;
}

void SerialTrace::Opened(const QString& device) {
  dataFor_ = -1;
  Line(QStringLiteral("open ") + device);
}

void SerialTrace::Sent(const uint8_t* bytes, int count) {
  QString name = DescribeFrame(bytes, count);
  if (name.isEmpty() && dataFor_ >= 0 && count == kBlockSize) name = QStringLiteral("data for block ") + Address(dataFor_);
  dataFor_ = name.startsWith(QLatin1String("write block")) ? AddressOf(bytes) : -1;
  Line(QStringLiteral("-> ") + HexBytes(bytes, count) + (name.isEmpty() ? QString() : QStringLiteral("  ") + name));
}

void SerialTrace::Received(const uint8_t* bytes, int count, bool discarded) {
  Line(QStringLiteral("<- ") + HexBytes(bytes, count) + (discarded ? QStringLiteral("  discarded on open") : QString()));
}

void SerialTrace::Disconnected() { Line(QStringLiteral("disconnected")); }

// Flushed line by line: the trace matters most when the program is stopped or crashes.
void SerialTrace::Line(const QString& text) {
  if (!file_.isOpen()) return;
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  file_.write((QString::number(ms, 'f', 1).rightJustified(9) + QLatin1Char(' ') + text + QLatin1Char('\n')).toUtf8());
  file_.flush();
}

}  // namespace m84
