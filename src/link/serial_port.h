#pragma once
// The adapter's USB serial port: found afresh and re-opened for every exchange, 9600 baud 8N1,
// no flow control.

#include <QString>
#include <memory>

#include "link/byte_channel.h"

class QSerialPort;
class QSerialPortInfo;

namespace m84 {

constexpr int kBaudRate = 9600;
constexpr int kWriteMsPerByte = 10;
constexpr int kWriteConstantMs = 1000;

// The port the user named (--port DEVICE, else the environment variable M84DPT_PORT), or an
// empty text: search for the first USB serial device.
QString AdapterPortName(const QString& option = {});

// A USB serial device: one with a USB vendor, or, where udev does not say, a ttyUSB or ttyACM device.
bool IsUsbSerial(const QSerialPortInfo& info);

// The first USB serial device in a stable order (by device path), or an empty text.
QString FindUsbSerialPort();

class SerialPort : public AdapterPort {
 public:
  // fixedName: a device path or port name to use instead of searching.
  explicit SerialPort(const QString& fixedName = {});
  ~SerialPort() override;

  bool OpenAdapterPort() override;
  bool IsOpen() const override;
  void Close() override;
  int Write(const uint8_t* bytes, int count) override;
  int ReadWithTimeout(uint8_t* buffer, int count, double limitMs) override;
  QString OpenFailure() const override { return failure_; }

  // The device found by the last search.
  const QString& PortName() const { return portName_; }
  void SetFixedName(const QString& fixedName) { fixedName_ = fixedName; }

 private:
  QString SearchPort();
  bool ConfigureLine();
  void NoteOpenFailure(const QString& path);

  QString fixedName_;
  QString portName_;
  QString failure_;
  std::unique_ptr<QSerialPort> port_;
};

}  // namespace m84
