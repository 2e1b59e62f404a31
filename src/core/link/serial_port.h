#pragma once
// The adapter's USB serial port: found afresh and re-opened for every exchange, 9600 baud 8N1,
// no flow control.

#include <QString>
#include <memory>
#include <optional>

#include "core/link/byte_channel.h"

class QSerialPort;
class QSerialPortInfo;

namespace m84 {

constexpr int kBaudRate = 9600;
constexpr int kWriteMsPerByte = 10;
constexpr int kWriteConstantMs = 1000;

// Opening drains input left over or still arriving from an exchange that ended early (an
// interrupted command): bytes are discarded until the line has been quiet for a few byte times
// at 9600 baud, never for longer than the bound. Once bytes have come, the line must stay quiet
// longer: USB serial adapters deliver a stream in packets up to 16 ms apart (their latency
// timer), and a busy machine delays a sender too.
constexpr int kDrainQuietMs = 6;
constexpr int kDrainBusyQuietMs = 20;
constexpr int kDrainLimitMs = 250;

// A port found held is tried again for this long: the window holds it only for the moment of
// its once-a-second presence probe. A port held for a transfer stays held, and the open fails
// soon enough to say who holds it.
constexpr int kHeldPortRetryMs = 200;
constexpr int kHeldPortPollMs = 10;

// The folders where serial locks are kept, in the order the serial layer tries them, each once
// (TMPDIR is often /tmp again).
QStringList SerialLockFolders();

// The device a port's name stands for, links resolved (/dev/serial/by-id/... is /dev/ttyUSB0):
// the lock and the exclusive use belong to the device, whatever it was called. The name as
// given when nothing exists there.
QString ResolvedDevicePath(const QString& path);

// The first two of the ports (as --port names them) that are one device under two names (a link,
// another node of the same device), or nothing: two workers on one pager would write over each
// other.
std::optional<std::pair<QString, QString>> OneDeviceTwice(const QStringList& ports);

// The names other serial programs give a device's lock (LCK.. and the path under /dev with
// slashes as underscores: LCK..ttyUSB0, LCK..pts_3): the resolved device's first, then the
// name as given when that differs, as older programs and our own earlier runs lock it.
QStringList LockFileNames(const QString& path);

// What the path is when it is something that exists and is no terminal line ("a regular file",
// "a character device that is no terminal line"); empty for a serial port, or when it cannot be
// told (missing, or not ours to open).
QString NoSerialPortKind(const QString& path);

// A process's own name as the system keeps it (/proc/PID/comm under proc), never a name some file
// claims for it; empty when there is no such process or it cannot be read.
QString ProcessName(qint64 pid, const QString& proc = QStringLiteral("/proc"));

// What stands at a serial device's lock names (LCK..name in each lock folder).
struct PortLock {
  // A living process a lock file names, in the text form (the pid on the first line, padded or
  // not, Qt's own adding the program) or the binary one (the pid as 4 bytes), by the name the
  // system gives it, its control characters escaped: "minicom (pid 4242)".
  QString holder;
  // A lock name that holds no lock the serial layer could ever take or clear (a FIFO, a folder,
  // a link, a file naming no process or pid 1), with how to remove it; the port stays blocked
  // until then.
  QString blocker;
};
// The pid a lock file names: its first line as a number (with or without padding; Qt's own lock
// adds the program's name on the second), or 4 bytes holding it, as older programs write it.
std::optional<qint64> LockFilePid(const QByteArray& content);

PortLock InspectPortLock(const QString& devicePath, const QStringList& folders = SerialLockFolders());

// Who holds a serial device locked: "m84dpt (pid 4242)"; empty when no living holder is found.
QString PortHolder(const QString& devicePath);

// Sees every byte the port moves, for a trace a technician can send to support.
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void Opened(const QString& device) = 0;
  virtual void Sent(const uint8_t* bytes, int count) = 0;
  // discarded: drained on opening, never seen by the exchange.
  virtual void Received(const uint8_t* bytes, int count, bool discarded) = 0;
  virtual void Disconnected() = 0;
};

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
  QString OpenCause() const override { return cause_.isEmpty() ? failure_ : cause_; }
  bool HeldElsewhere() const override { return held_; }
  bool Disconnected() const override { return disconnected_; }
  // How long an open keeps trying a port that another program holds (0: fail at once).
  void SetHeldPortRetry(int ms) { heldRetryMs_ = ms; }
  // Where the port's lock is looked for before it is opened (a scratch folder, for tests).
  void SetLockFolders(const QStringList& folders) { lockFolders_ = folders; }
  QString DeviceName() const override { return portName_; }

  // Not owned; nullptr: no trace.
  void SetObserver(LineObserver* observer) { observer_ = observer; }
  // Bytes the last open discarded, and how long its drain took.
  int DrainedBytes() const { return drainedBytes_; }
  double DrainMs() const { return drainMs_; }

  // The device found by the last search.
  const QString& PortName() const { return portName_; }
  void SetFixedName(const QString& fixedName) { fixedName_ = fixedName; }

 private:
  QStringList lockFolders_ = SerialLockFolders();
  QString SearchPort();
  bool ConfigureLine();
  bool OpenFound(const QString& path);
  void TakeExclusiveUse();
  void NoteOpenFailure(const QString& path);
  void DrainArrivingInput();
  void NoteDisconnected();

  QString fixedName_;
  QString portName_;
  QString failure_;
  QString cause_;
  bool held_ = false;
  int heldRetryMs_ = kHeldPortRetryMs;
  std::unique_ptr<QSerialPort> port_;
  LineObserver* observer_ = nullptr;
  bool disconnected_ = false;
  int drainedBytes_ = 0;
  double drainMs_ = 0;
};

}  // namespace m84
