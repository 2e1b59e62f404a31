#pragma once
// The exchange with the programming adapter: block reads and writes, write enable, end, the
// once-a-second presence check, and the pager read and write-with-verify built on them.
//
// The window's use (the port and its lock held only for each exchange):
//   SerialPort port(AdapterPortName(option));   AdapterLink link(port);
//   timer tick, when not busy:  pane3 = AdapterStateText(link.PresenceCheck()); link.ClosePort()
//   "&Read":   busy; on the transfer's thread: read = link.ReadPager(host); link.ClosePort();
//              busy cleared, then on the window's thread TakeRead(*read, data.image) and the pages load
//   "&Write":  the pages store; on the transfer's thread: written = link.WritePager(image, options, host);
//              then on the window's thread TakeWrite(written, data.image) and the pages load
//
// The link never touches the pages or the caller's image: it takes an image in and gives one out,
// so two links on two ports run side by side.

#include <QByteArray>
#include <QString>
#include <optional>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"
#include "core/link/adapter_frame.h"
#include "core/link/byte_channel.h"
#include "core/result.h"

namespace m84 {

// What a pager transfer needs beyond a plain operation host.
class TransferHost : public OperationHost {
 public:
  // Called after every status text and every block, for a host that shares its thread with the
  // transfer and must repaint meanwhile.
  virtual void Pump() {}
  // Asked between blocks: true ends the transfer before the next block (a Ctrl+C at the
  // command line, Cancel in the window). No block is ever cut half-way.
  virtual bool StopRequested() { return false; }
  // A warning beside a status text that stays as it is (the command line: on standard error).
  virtual void ShowWarning(const QString&) {}
};

// A read that worked but brought back what no programmed pager holds (its memory erased, or the
// adapter answering for a pager that is not seated).
inline const QString kBlankMemoryWarning = QStringLiteral("the pager's memory looks blank");
// All 0xFF or all 0x00 over the exchanged range, or a serial number that is not ten digits.
bool LooksBlank(const PagerImage& image);

// How far the last pager write got: the blocks from first up to writtenEnd (exclusive) were
// acknowledged; with inDoubt the block at writtenEnd took its data without an acknowledgement.
struct WriteProgress {
  bool started = false;  // the port to the adapter opened
  int first = kTransferFirst;
  int last = kTransferLast;
  int writtenEnd = kTransferFirst;
  bool inDoubt = false;
  bool Complete() const { return writtenEnd > last; }
};

// What a pager holds after a write that did not finish, for the person at the terminal; empty
// when the write never reached the adapter, or wrote every block.
QString DescribeWriteProgress(const WriteProgress& progress);

// What a write is told beside its image.
struct WriteOptions {
  // The pager's own serial number is read first and written back in place of the image's
  // (KeepPagerSerialNumber decides it).
  bool keepSerialNumber = false;
};

// What a write gives back.
struct WriteResult {
  // Done on "DPT Verify ok !"; else the status text the write ended on and the link's reason.
  Outcome outcome = Succeeded();
  // The pager's serial number and its terminating zero, written back in place of the image's;
  // nothing when it was not to be kept or could not be read.
  std::optional<QByteArray> keptSerial;
  // What the verify read back from the pager; nothing when the write did not get that far or
  // the read-back stopped part-way.
  std::optional<PagerImage> readBack;
  // Every block was acknowledged and the verify began: the pager holds the image given (with
  // the kept serial number), whatever the verify found.
  bool reachedVerify = false;
};

// The kept serial number, if any, put into image: the image as the pager now holds it once the
// write got through. The caller's pages load from it once for the kept serial number and once
// more when the write reached its verify (WriteFromPages).
void TakeWrite(const WriteResult& written, PagerImage& image);
// The exchanged range of a read put into image; the rest of image stays as it is.
void TakeRead(const PagerImage& read, PagerImage& image);

// Held: the port is there but another program (the command line, say) holds it for now.
enum class AdapterState { Absent, UsbPortOnly, Ready, Held };

// Pane 3 of the status line: "" (no port), "USB" (a port, no answer), " OK" (adapter ready),
// "BUSY" (held by another program).
QString AdapterStateText(AdapterState state);

class AdapterLink {
 public:
  explicit AdapterLink(AdapterPort& port) : port_(port) {}

  // Opens the port and probes the adapter.
  AdapterState PresenceCheck();
  // "&Read": the pager's 0x000-0x5FF (the rest of the image is the default; TakeRead puts the
  // range into the caller's image); the failure's status text is "No DPT Adapter connect" or
  // "Read Pager error !".
  Result<PagerImage> ReadPager(TransferHost& host);
  // "&Write": the image into the pager and a read-back verify.
  WriteResult WritePager(const PagerImage& image, const WriteOptions& options, TransferHost& host);
  void ClosePort() { port_.Close(); }
  // The pager's serial number and its terminating zero as the pager holds them now, or nothing
  // when it cannot be read (the reason in LastFailure).
  std::optional<QByteArray> ReadSerialNumber();

  // The protocol, on an open port. Buffers are indexed by pager address (2048 bytes);
  // progress == nullptr: no progress reports.
  bool ReadBlocks(int first, int last, uint8_t* destination, TransferHost* progress);
  bool WriteBlocks(int first, int last, const uint8_t* image, TransferHost* progress);
  bool WriteEnable();
  void EndTransfer();
  bool Probe();

  // Why the last operation failed ("block 0x140: no acknowledgement within 1000 ms", ...),
  // for the command line and logs; the fixed status texts say less. Empty after success.
  const QString& LastFailure() const { return failure_; }
  // The same in the words the window puts after its status text ("the adapter was disconnected
  // at block 0x100", "the port is in use by m84dpt (pid 42)").
  const QString& LastCause() const { return cause_; }
  // The last status text the last operation showed ("DPT Verify ok !"), for the history.
  const QString& LastStatus() const { return status_; }
  QString DeviceName() const { return port_.DeviceName(); }
  // The last transfer ended because the host asked it to stop.
  bool Interrupted() const { return interrupted_; }
  const WriteProgress& LastWrite() const { return written_; }

 private:
  void Send(const AdapterFrame& frame);
  void Send(const uint8_t* bytes, int count);
  bool AwaitAck(const QString& what);
  bool NoAnswer(const QString& what, const QString& reason);
  bool StopBefore(int address, TransferHost* progress);
  bool OpenPort();
  bool Fail(const QString& reason, const QString& cause = {});
  void Report(TransferHost& host, const QString& status, Beep beep);
  void Show(TransferHost& host, const QString& status);
  bool VerifyAgainst(const PagerImage& image, const PagerImage& readBack);
  std::optional<QByteArray> ReadOwnSerialNumber();
  WriteResult FailWrite(TransferHost& host, WriteResult result);
  Failure Failed(const QString& status) const;
  static void ReportBlockDone(TransferHost* progress, int first, int last, int nextAddress);

  AdapterPort& port_;
  QString failure_;
  QString cause_;
  QString status_;
  bool interrupted_ = false;
  WriteProgress written_;
};

}  // namespace m84
