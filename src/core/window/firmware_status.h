#pragma once
// The main window's receiver for progress and result reports of a firmware transfer, which
// arrive as a posted FirmwareStatusEvent (standing for the window message WM_USER + 0x100).
// Nothing in the program sends it yet; a firmware transfer would record its start and end on
// the receiver, set the progress text and post the codes.
//
// The window's wiring:
//   FirmwareStatus firmware({[this](const QString& t) { ShowStatus(t); },
//                            [](int percent) { /* the firmware progress bar */ },
//                            [&link] { link.ClosePort(); }});
//   installEventFilter(&firmware);       // or call firmware.Receive(code) from event()
//   sender: QCoreApplication::postEvent(window, new FirmwareStatusEvent(code));

#include <QEvent>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace m84 {

// Codes 100 or less are progress in percent; these are the results.
enum FirmwareCode : int {
  kFirmwareProgressLimit = 100,
  kFirmwareProgramOk = 200,
  kFirmwareProgramError = 201,
  kFirmwareReadOk = 300,
  kFirmwareReadError = 301,
};

class FirmwareStatusEvent : public QEvent {
 public:
  static const QEvent::Type kType;  // QEvent::User + 0x100

  explicit FirmwareStatusEvent(int code) : QEvent(kType), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Readings of the monotonic high-resolution clock, in ticks of CounterFrequency per second.
int64_t ReadCounter();
int64_t CounterFrequency();

// The status-line text of a result code, or nothing for codes that show none; elapsedSeconds
// fills "%5.2f" where the text carries a time.
std::optional<QString> FirmwareResultText(int code, double elapsedSeconds);

class FirmwareStatus : public QObject {
  Q_OBJECT
 public:
  struct Sinks {
    std::function<void(const QString&)> showStatus;  // pane 1
    std::function<void(int)> setProgress;            // the firmware progress bar, 0-100
    std::function<void()> closePort;                 // the serial port, when open
  };

  explicit FirmwareStatus(Sinks sinks, QObject* parent = nullptr);

  // What the firmware transfer provides.
  void RecordStart(int64_t count = ReadCounter()) { startCount_ = count; }
  void RecordEnd(int64_t count = ReadCounter()) { endCount_ = count; }
  void SetProgressText(const QString& text) { progressText_ = text; }

  // The handler: progress for codes up to 100; for any code above it the result text (if the
  // code has one) and the port closed. Returns 0, as the window message's handler does.
  int Receive(int code);

  double ElapsedSeconds() const;

 protected:
  // Takes FirmwareStatusEvents off the object it is installed on.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Sinks sinks_;
  QString progressText_;
  int64_t startCount_ = 0;
  int64_t endCount_ = 0;
};

}  // namespace m84
