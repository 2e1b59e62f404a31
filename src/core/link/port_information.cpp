#include "core/link/port_information.h"

#include <QSerialPortInfo>
#include <algorithm>

#include "core/link/serial_port.h"

namespace m84 {

namespace {

QString SystemLocation(const QString& name) {
  return name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
}

}  // namespace

QList<SerialDeviceInfo> SystemPortInformation::UsbSerialDevices() const {
  QList<SerialDeviceInfo> devices;
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    if (!IsUsbSerial(port)) continue;
    SerialDeviceInfo device{port.systemLocation(), std::nullopt};
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
      device.ids = UsbIds{port.vendorIdentifier(), port.productIdentifier()};
    devices.append(device);
  }
  return devices;
}

QList<SerialDeviceInfo> AllSerialDevices() {
  QList<SerialDeviceInfo> devices;
  for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
    SerialDeviceInfo device{port.systemLocation(), std::nullopt};
    if (port.hasVendorIdentifier() && port.hasProductIdentifier())
      device.ids = UsbIds{port.vendorIdentifier(), port.productIdentifier()};
    devices.append(device);
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.location < b.location; });
  return devices;
}

std::optional<SerialDeviceInfo> PluggedAdapter(const PortInformation& ports, const QString& fixedName) {
  const QList<SerialDeviceInfo> devices = ports.UsbSerialDevices();
  if (!fixedName.isEmpty()) {
    const QString wanted = SystemLocation(fixedName);
    for (const SerialDeviceInfo& device : devices)
      if (device.location == wanted) return device;
    return std::nullopt;
  }
  if (devices.isEmpty()) return std::nullopt;
  return *std::min_element(devices.begin(), devices.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
    return a.location < b.location;
  });
}

}  // namespace m84
