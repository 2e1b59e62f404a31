#pragma once
// Every byte on the adapter line, both ways, appended to a text file a technician can send to
// support: one line per burst, with the time since the trace began, the direction, the bytes in
// hex and what the frame asks for.
//
//   # m84dpt probe, 2026-12-10 13:20:01
//        0.0 open /dev/ttyUSB0
//        6.4 -> 0D 06 00 FA 00 00 40 00 B1  probe
//        8.5 <- 28

#include <QFile>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/link/serial_port.h"
#include "core/result.h"

namespace m84 {

// The frame's command in words ("read block 0x100"), or an empty text for bytes that are no
// frame.
QString DescribeFrame(const uint8_t* bytes, int count);

// How the first line of every trace begins ("# m84dpt probe, 2026-12-10 13:20:01").
inline const QString kTraceHeader = QStringLiteral("# m84dpt ");

class SerialTrace : public LineObserver {
 public:
  SerialTrace();
  ~SerialTrace() override;

  // Opens path for appending and writes a header naming what runs ("m84dpt read"). A trace
  // only ever appends to a trace: a file that exists and does not begin with kTraceHeader, one
  // that is not a regular file, or one of ownFiles (the command's input and output) is refused
  // before anything is written.
  Outcome Open(const QString& path, const QString& what, const QStringList& ownFiles = {});
  bool IsOpen() const { return file_.isOpen(); }

  // A trace that cannot be written (a full disk, /dev/full) is given up at the first failed line
  // and said at once through report: "the trace to FILE is lost: No space left on device". The
  // operation goes on; only its trace is gone.
  void SetLossReport(std::function<void(const QString&)> report) { lossReport_ = std::move(report); }
  // Whether a line could not be written since the trace was opened.
  bool Lost() const { return lost_; }

  // The window probes once a second: a presence check (an open and a probe, and its answer)
  // then only counts, and the count goes into the trace once a period, or before any other
  // traffic.
  void SummarizePresenceChecks(std::chrono::milliseconds period = std::chrono::minutes(1));

  void Opened(const QString& device) override;
  void Sent(const uint8_t* bytes, int count) override;
  void Received(const uint8_t* bytes, int count, bool discarded) override;
  void Disconnected() override;

 private:
  void Line(const QString& text);
  void Append(const QByteArray& bytes);
  void WriteHeldOpen();
  void WriteProbeCount();

  QFile file_;
  QString path_;
  bool lost_ = false;
  std::function<void(const QString&)> lossReport_;
  std::chrono::steady_clock::time_point start_;
  int dataFor_ = -1;  // the block a write frame announced, whose data comes next

  // Presence checks summarized: the open held back until the next bytes say what it is for.
  std::optional<std::chrono::milliseconds> summaryPeriod_;
  std::optional<QString> heldOpen_;
  bool inPresenceCheck_ = false;
  int probes_ = 0;
  int answered_ = 0;
  std::chrono::steady_clock::time_point probesSince_;
};

}  // namespace m84
