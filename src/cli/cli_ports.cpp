// "ports": the serial ports of this computer, with their USB ids, and which of them has an
// adapter that answers the probe: the first thing to look at when the window shows no " OK".
#include <QList>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/link_options.h"
#include "core/link/adapter_link.h"
#include "core/link/port_information.h"
#include "core/link/serial_port.h"

namespace m84 {

namespace {

QString IdsText(const std::optional<UsbIds>& ids) {
  if (!ids) return QStringLiteral("-");
  const auto hex = [](uint16_t value) { return QString::number(value, 16).rightJustified(4, QLatin1Char('0')); };
  return hex(ids->vendor) + QLatin1Char(':') + hex(ids->product);
}

// What the probe found on one port, in words.
QString ProbeText(const QString& location, bool& answered) {
  SerialPort port(location);
  AdapterLink link(port);
  const AdapterState state = link.PresenceCheck();
  link.ClosePort();
  answered = state == AdapterState::Ready;
  switch (state) {
    case AdapterState::Ready: return QStringLiteral("adapter answers");
    case AdapterState::UsbPortOnly: return QStringLiteral("no adapter answer");
    case AdapterState::Absent:
    case AdapterState::Held: break;  // the open failure names the holder
  }
  return QStringLiteral("cannot open: ") +
         (port.OpenFailure().isEmpty() ? QStringLiteral("unknown reason") : port.OpenFailure());
}

}  // namespace

int RunPortsCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("ports"));
  const QCommandLineOption portOption = PortOption(
      QStringLiteral("Also probe this device, one the system does not list as a serial port (default: $M84DPT_PORT)."));
  parser.addOption(portOption);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;

  QList<SerialDeviceInfo> devices = AllSerialDevices();
  const QString named = AdapterPortName(parser.value(portOption));
  if (!named.isEmpty() &&
      std::none_of(devices.begin(), devices.end(), [&](const SerialDeviceInfo& d) { return d.location == named; }))
    devices.append({named, std::nullopt});
  if (devices.isEmpty()) {
    std::fputs("m84dpt: no serial port found\n", stderr);
    return 1;
  }
  int answering = 0;
  for (const SerialDeviceInfo& device : devices) {
    bool answered = false;
    const QString probe = ProbeText(device.location, answered);
    answering += answered ? 1 : 0;
    std::printf("%-24s %-9s %s\n", qPrintable(device.location), qPrintable(IdsText(device.ids)), qPrintable(probe));
  }
  std::fflush(stdout);
  return answering > 0 ? 0 : 1;
}

}  // namespace m84
