#pragma once
// What the system knows about the plugged-in serial devices: the seam between the udev rule and
// QSerialPortInfo, so that tests can stand in USB ids that the simulated adapter does not have.

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace m84 {

struct UsbIds {
  uint16_t vendor = 0;
  uint16_t product = 0;
};

struct SerialDeviceInfo {
  QString location;           // the device path, e.g. /dev/ttyACM0
  std::optional<UsbIds> ids;  // unknown without udev, even for a USB device
};

class PortInformation {
 public:
  virtual ~PortInformation() = default;
  // The USB serial devices plugged in now, in any order.
  virtual QList<SerialDeviceInfo> UsbSerialDevices() const = 0;
};

// The ports QSerialPortInfo lists.
class SystemPortInformation : public PortInformation {
 public:
  QList<SerialDeviceInfo> UsbSerialDevices() const override;
};

// Every serial port the system lists, USB or not, by device path; USB ids where known.
QList<SerialDeviceInfo> AllSerialDevices();

// The adapter as the commands choose it: the device named (a path or a port name), else the
// first USB serial device by path; nothing when it is not plugged in.
std::optional<SerialDeviceInfo> PluggedAdapter(const PortInformation& ports, const QString& fixedName = {});

}  // namespace m84
