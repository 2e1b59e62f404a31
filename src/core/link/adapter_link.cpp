#include "core/link/adapter_link.h"

#include <QStringList>
#include <QThread>
#include <algorithm>

#include "core/status_texts.h"

namespace m84 {

namespace {

// Lets the adapter settle between the last block and the next command.
constexpr unsigned long kSettleMs = 10;

QString Hex(int value, int width = 3) {
  return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

QString BlockName(int address) { return QStringLiteral("block ") + Hex(address); }

// "block 0x000 holds" or "blocks 0x000 to 0x100 hold", for the blocks first..end (exclusive);
// adverb ("still ") goes before the verb.
QString BlocksHold(int first, int end, const QString& adverb = {}) {
  const int last = end - kBlockSize;
  return first == last ? BlockName(first) + QLatin1Char(' ') + adverb + QStringLiteral("holds")
                       : QStringLiteral("blocks %1 to %2 %3hold").arg(Hex(first), Hex(last), adverb);
}

// "at block 0x100" for any step of a block ("block 0x100 data"), "during the probe" otherwise.
QString WhereOnTheLine(const QString& what) {
  if (what.startsWith(QLatin1String("block "))) return QStringLiteral("at ") + what.section(QLatin1Char(' '), 0, 1);
  return QStringLiteral("during the ") + what;
}

}  // namespace

QString DescribeWriteProgress(const WriteProgress& progress) {
  if (!progress.started || progress.Complete()) return {};
  const int end = progress.last + 1;
  if (progress.writtenEnd == progress.first && !progress.inDoubt)
    return QStringLiteral("no block was written; the pager still holds its old contents");
  QStringList parts;
  int oldFrom = progress.writtenEnd;
  if (progress.writtenEnd > progress.first)
    parts << QStringLiteral("%1 the new contents").arg(BlocksHold(progress.first, progress.writtenEnd));
  if (progress.inDoubt) {
    parts << QStringLiteral("%1 may hold either").arg(BlockName(progress.writtenEnd));
    oldFrom += kBlockSize;
  }
  if (oldFrom < end)
    parts << QStringLiteral("%1 the old contents").arg(BlocksHold(oldFrom, end, QStringLiteral("still ")));
  return QStringLiteral("the pager is half-written: %1; writing again repairs it")
      .arg(parts.join(QStringLiteral(", ")));
}

QString AdapterStateText(AdapterState state) {
  switch (state) {
    case AdapterState::Ready: return QStringLiteral(" OK");
    case AdapterState::UsbPortOnly: return QStringLiteral("USB");
    case AdapterState::Held: return QStringLiteral("BUSY");
    case AdapterState::Absent: break;
  }
  return QString();
}

bool LooksBlank(const PagerImage& image) {
  const uint8_t* first = image.data() + kTransferFirst;
  const uint8_t* end = image.data() + kTransferLast + 1;
  const bool uniform = std::all_of(first, end, [](uint8_t b) { return b == 0xFF; }) ||
                       std::all_of(first, end, [](uint8_t b) { return b == 0x00; });
  const uint8_t* serial = image.data() + kSerialFirst;
  const bool digits =
      std::all_of(serial, serial + (kSerialLast - kSerialFirst), [](uint8_t b) { return b >= '0' && b <= '9'; });
  return uniform || !digits;
}

// ---- user operations ----

AdapterState AdapterLink::PresenceCheck() {
  if (!OpenPort()) return port_.HeldElsewhere() ? AdapterState::Held : AdapterState::Absent;
  return Probe() ? AdapterState::Ready : AdapterState::UsbPortOnly;
}

Result<PagerImage> AdapterLink::ReadPager(TransferHost& host) {
  std::optional<PagerImage> read;
  if (!OpenPort()) {
    Report(host, kNoAdapterConnect, Beep::Error);
  } else {
    Show(host, kReadingPager);
    PagerImage scratch;
    if (ReadBlocks(kTransferFirst, kTransferLast, scratch.data(), &host)) {
      read = scratch;
      Report(host, kReadPagerOk, Beep::Confirm);
      if (LooksBlank(scratch)) host.ShowWarning(kBlankMemoryWarning);
    } else {
      Report(host, kReadPagerError, Beep::Error);
    }
  }
  host.SetProgress(0);
  host.Pump();
  if (!read) return Failed(status_);
  return *std::move(read);
}

WriteResult AdapterLink::WritePager(const PagerImage& given, const WriteOptions& options, TransferHost& host) {
  written_ = WriteProgress{};
  WriteResult result;
  if (!OpenPort()) return FailWrite(host, std::move(result));
  written_.started = true;
  Show(host, kWritingPager);
  PagerImage image = given;
  if (options.keepSerialNumber) {
    result.keptSerial = ReadOwnSerialNumber();
    if (!result.keptSerial) return FailWrite(host, std::move(result));
    std::copy(result.keptSerial->cbegin(), result.keptSerial->cend(), image.data() + kSerialFirst);
  }
  if (!WriteEnable() || !WriteBlocks(kTransferFirst, kTransferLast, image.data(), &host))
    return FailWrite(host, std::move(result));
  result.reachedVerify = true;
  QThread::msleep(kSettleMs);
  Show(host, kVerifying);
  PagerImage readBack = image;
  const bool readWhole = ReadBlocks(kTransferFirst, kTransferLast, readBack.data(), &host);
  if (readWhole) result.readBack = readBack;
  const bool verified = readWhole && VerifyAgainst(image, readBack);
  if (verified) {
    Show(host, kVerifyOk);
    EndTransfer();
    host.Sound(Beep::Confirm);
  } else {
    Report(host, kVerifyError, Beep::Error);
    result.outcome = Failed(kVerifyError);
  }
  host.SetProgress(0);
  host.Pump();
  QThread::msleep(kSettleMs);
  return result;
}

void TakeWrite(const WriteResult& written, PagerImage& image) {
  if (written.keptSerial)
    std::copy(written.keptSerial->cbegin(), written.keptSerial->cend(), image.data() + kSerialFirst);
}

void TakeRead(const PagerImage& read, PagerImage& image) {
  std::copy(read.data() + kTransferFirst, read.data() + kTransferLast + 1, image.data() + kTransferFirst);
}

// ---- protocol ----

bool AdapterLink::ReadBlocks(int first, int last, uint8_t* destination, TransferHost* progress) {
  interrupted_ = false;
  for (int address = first; address <= last; address += kBlockSize) {
    if (StopBefore(address, progress)) return false;
    Send(ReadBlockFrame(address));
    if (!AwaitAck(BlockName(address))) return false;
    const int received = port_.ReadWithTimeout(destination + address, kBlockSize, kReplyLimitMs);
    if (received < kBlockSize)
      return NoAnswer(
          BlockName(address),
          QStringLiteral("%1 of %2 data bytes within %3 ms").arg(received).arg(kBlockSize).arg(kReplyLimitMs));
    ReportBlockDone(progress, first, last, address + kBlockSize);
  }
  failure_.clear();
  cause_.clear();
  return true;
}

bool AdapterLink::WriteBlocks(int first, int last, const uint8_t* image, TransferHost* progress) {
  interrupted_ = false;
  written_.first = first & kWriteAddressMask;
  written_.last = last;
  written_.writtenEnd = written_.first;
  written_.inDoubt = false;
  for (int address = first & kWriteAddressMask; address <= last; address += kBlockSize) {
    if (StopBefore(address, progress)) return false;
    Send(WriteBlockFrame(address));
    if (!AwaitAck(BlockName(address) + QStringLiteral(" write"))) return false;
    Send(image + address, kBlockSize);
    ReportBlockDone(progress, first, last, address + kBlockSize);
    // From here the pager may hold the block whatever the adapter answers, short of its
    // acknowledgement.
    written_.inDoubt = true;
    if (!AwaitAck(BlockName(address) + QStringLiteral(" data"))) return false;
    written_.inDoubt = false;
    written_.writtenEnd = address + kBlockSize;
  }
  failure_.clear();
  cause_.clear();
  return true;
}

bool AdapterLink::WriteEnable() {
  Send(WriteEnableFrame());
  if (!AwaitAck(QStringLiteral("write enable"))) return false;
  failure_.clear();
  cause_.clear();
  return true;
}

void AdapterLink::EndTransfer() {
  Send(EndFrame());
  uint8_t reply = 0;
  port_.ReadWithTimeout(&reply, 1, kReplyLimitMs);  // whatever the adapter says, the write is done
}

bool AdapterLink::Probe() {
  Send(ProbeFrame());
  uint8_t reply = 0;
  if (port_.ReadWithTimeout(&reply, 1, kProbeLimitMs) < 1)
    return NoAnswer(QStringLiteral("probe"),
                    QStringLiteral("the adapter did not answer the probe within %1 ms").arg(kProbeLimitMs));
  if (reply != kProbeReply)
    return Fail(
        QStringLiteral("the adapter answered the probe with %1 instead of %2").arg(Hex(reply, 2), Hex(kProbeReply, 2)));
  failure_.clear();
  cause_.clear();
  return true;
}

// ---- steps ----

void AdapterLink::Send(const AdapterFrame& frame) { Send(frame.data(), kFrameSize); }

// The count written is not examined: a lost byte shows up as a missing reply.
void AdapterLink::Send(const uint8_t* bytes, int count) { port_.Write(bytes, count); }

bool AdapterLink::AwaitAck(const QString& what) {
  uint8_t reply = 0;
  if (port_.ReadWithTimeout(&reply, 1, kReplyLimitMs) < 1)
    return NoAnswer(what, QStringLiteral("no acknowledgement within %1 ms").arg(kReplyLimitMs));
  if (reply != kAckByte)
    return Fail(QStringLiteral("%1: acknowledged with %2 instead of %3").arg(what, Hex(reply, 2), Hex(kAckByte, 2)));
  return true;
}

// A missing answer from a device that has gone away is no slow adapter: say which it was.
bool AdapterLink::NoAnswer(const QString& what, const QString& reason) {
  if (port_.Disconnected())
    return Fail(QStringLiteral("%1: the adapter was disconnected").arg(what),
                QStringLiteral("the adapter was disconnected ") + WhereOnTheLine(what));
  if (what == QLatin1String("probe")) return Fail(reason);
  return Fail(QStringLiteral("%1: %2").arg(what, reason));
}

bool AdapterLink::StopBefore(int address, TransferHost* progress) {
  if (!progress || !progress->StopRequested()) return false;
  interrupted_ = true;
  Fail(QStringLiteral("interrupted before %1").arg(BlockName(address)));
  return true;
}

bool AdapterLink::OpenPort() {
  if (port_.OpenAdapterPort()) return true;
  const QString why = port_.OpenFailure();
  return Fail(why.isEmpty() ? QStringLiteral("no adapter port") : why, port_.OpenCause());
}

bool AdapterLink::Fail(const QString& reason, const QString& cause) {
  failure_ = reason;
  cause_ = cause.isEmpty() ? reason : cause;
  return false;
}

void AdapterLink::Show(TransferHost& host, const QString& status) {
  status_ = status;
  host.ShowStatus(status);
  host.Pump();
}

void AdapterLink::Report(TransferHost& host, const QString& status, Beep beep) {
  Show(host, status);
  host.Sound(beep);
}

std::optional<QByteArray> AdapterLink::ReadSerialNumber() {
  if (!OpenPort()) return std::nullopt;
  return ReadOwnSerialNumber();
}

// The pager's own serial number, on the open port, for a write that puts it back unchanged.
std::optional<QByteArray> AdapterLink::ReadOwnSerialNumber() {
  PagerImage scratch;
  if (!ReadBlocks(kSerialBlockFirst, kSerialBlockLast, scratch.data(), nullptr)) return std::nullopt;
  return QByteArray(reinterpret_cast<const char*>(scratch.data() + kSerialFirst), kSerialLast - kSerialFirst + 1);
}

bool AdapterLink::VerifyAgainst(const PagerImage& image, const PagerImage& readBack) {
  int differing = 0;
  int firstDifference = -1;
  for (int offset = kTransferFirst; offset <= kTransferLast; ++offset) {
    if (image[offset] == readBack[offset]) continue;
    if (firstDifference < 0) firstDifference = offset;
    ++differing;
  }
  if (differing == 0) return true;
  return Fail(QStringLiteral("verify: %1 byte(s) differ, the first at %2 (written %3, read back %4)")
                  .arg(differing)
                  .arg(Hex(firstDifference), Hex(image[firstDifference], 2), Hex(readBack[firstDifference], 2)));
}

void AdapterLink::ReportBlockDone(TransferHost* progress, int first, int last, int nextAddress) {
  if (!progress) return;
  progress->SetProgress(ProgressPosition(first, last, nextAddress));
  progress->Pump();
}

WriteResult AdapterLink::FailWrite(TransferHost& host, WriteResult result) {
  Report(host, kWritePagerError, Beep::Error);
  host.SetProgress(0);
  host.Pump();
  QThread::msleep(kSettleMs);
  result.outcome = Failed(kWritePagerError);
  return result;
}

Failure AdapterLink::Failed(const QString& status) const { return m84::Failed(status, failure_); }

}  // namespace m84
