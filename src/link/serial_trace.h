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
#include <chrono>
#include <cstdint>

#include "link/serial_port.h"

namespace m84 {

// The frame's command in words ("read block 0x100"), or an empty text for bytes that are no
// frame.
QString DescribeFrame(const uint8_t* bytes, int count);

class SerialTrace : public LineObserver {
 public:
  SerialTrace();

  // Opens path for appending and writes a header naming what runs; false with the reason.
  bool Open(const QString& path, const QString& what, QString* error);
  bool IsOpen() const { return file_.isOpen(); }

  void Opened(const QString& device) override;
  void Sent(const uint8_t* bytes, int count) override;
  void Received(const uint8_t* bytes, int count, bool discarded) override;
  void Disconnected() override;

 private:
  void Line(const QString& text);

  QFile file_;
  std::chrono::steady_clock::time_point start_;
  int dataFor_ = -1;  // the block a write frame announced, whose data comes next
};

}  // namespace m84
