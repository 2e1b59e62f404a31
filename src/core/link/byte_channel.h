#pragma once
// What the adapter exchange needs of a port: a write, a read with a deadline, and the
// search-and-open that runs before every exchange. The serial port provides it; tests and
// fuzzing may put anything behind it.

#include <QString>
#include <cstdint>

namespace m84 {

class ByteChannel {
 public:
  virtual ~ByteChannel() = default;
  // Writes the bytes; returns the count written (count itself when the channel is closed).
  virtual int Write(const uint8_t* bytes, int count) = 0;
  // Up to count bytes received within limitMs; 0 at once when the channel is closed.
  virtual int ReadWithTimeout(uint8_t* buffer, int count, double limitMs) = 0;
};

class AdapterPort : public ByteChannel {
 public:
  // Looks the adapter's port up afresh and re-opens it; false when none is found or it will
  // not open.
  virtual bool OpenAdapterPort() = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // Why the last OpenAdapterPort failed, for a person at a terminal; empty after success.
  virtual QString OpenFailure() const { return {}; }
  // The same in a few words for the window's status line ("the port is in use by m84dpt (pid 42)").
  virtual QString OpenCause() const { return OpenFailure(); }
  // The last OpenAdapterPort found the port held by another program (or another copy of this one).
  virtual bool HeldElsewhere() const { return false; }
  // True once the device has gone away (a pulled cable) since the last open: a missing answer
  // then means no adapter at all rather than a slow one.
  virtual bool Disconnected() const { return false; }
  // The device the last search found, for the programming history; empty when unknown.
  virtual QString DeviceName() const { return {}; }
};

}  // namespace m84
