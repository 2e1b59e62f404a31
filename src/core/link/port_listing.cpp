#include "core/link/port_listing.h"

#include <algorithm>

#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"

namespace m84 {

namespace {

// The columns as printf's "%-24s %-9s %s" pads them: in bytes of the local encoding.
constexpr int kLocationWidth = 24;
constexpr int kIdsWidth = 9;

QString IdsText(const std::optional<UsbIds>& ids) {
  if (!ids) return QStringLiteral("-");
  const auto hex = [](uint16_t value) { return QString::number(value, 16).rightJustified(4, QLatin1Char('0')); };
  return hex(ids->vendor) + QLatin1Char(':') + hex(ids->product);
}

PortProbe Probe(const SerialDeviceInfo& device) {
  SerialPort port(device.location);
  AdapterLink link(port);
  const AdapterState state = link.PresenceCheck();
  link.ClosePort();
  PortProbe probe{device, state == AdapterState::Ready, {}};
  switch (state) {
    case AdapterState::Ready: probe.found = QStringLiteral("adapter answers"); return probe;
    case AdapterState::UsbPortOnly: probe.found = QStringLiteral("no adapter answer"); return probe;
    case AdapterState::Absent:
    case AdapterState::Held: break;  // the open failure names the holder
  }
  probe.found = QStringLiteral("cannot open: ") +
                (port.OpenFailure().isEmpty() ? QStringLiteral("unknown reason") : port.OpenFailure());
  return probe;
}

}  // namespace

std::vector<PortProbe> ProbeSerialPorts(const QString& named) {
  QList<SerialDeviceInfo> devices = AllSerialDevices();
  if (!named.isEmpty() &&
      std::none_of(devices.begin(), devices.end(), [&](const SerialDeviceInfo& d) { return d.location == named; }))
    devices.append({named, std::nullopt});
  std::vector<PortProbe> probes;
  for (const SerialDeviceInfo& device : devices) probes.push_back(Probe(device));
  return probes;
}

QByteArray PortListing(const std::vector<PortProbe>& probes) {
  QByteArray text;
  for (const PortProbe& probe : probes)
    text += probe.device.location.toLocal8Bit().leftJustified(kLocationWidth) + ' ' +
            IdsText(probe.device.ids).toLocal8Bit().leftJustified(kIdsWidth) + ' ' + probe.found.toLocal8Bit() + '\n';
  return text;
}

bool AnyAdapterAnswers(const std::vector<PortProbe>& probes) {
  return std::any_of(probes.begin(), probes.end(), [](const PortProbe& probe) { return probe.answered; });
}

}  // namespace m84
