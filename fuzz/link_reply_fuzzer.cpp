// The adapter link's reply handling with the simulated adapter's engine replaced by replies the
// fuzzer makes up: pager read, write with and without keeping the serial number, the presence
// check and the memory dump, each against any run of answers.
//
// Input: one byte choosing the operation, one byte that decides whether the port opens, then for
// every wait of the link one byte saying how many bytes arrive in time, followed by those bytes.
// When the input runs out the adapter falls silent.
//
// Whatever the answers: the operation ends in one of its specified outcomes (status texts and
// beep), every wait has the specified limit and an operation makes no more waits than its
// blocks allow (so no hang past the limits), every frame sent is well-formed, every data block
// sent is the image's, nothing outside the image's exchanged range changes (a read) or nothing
// but the serial number (a write), and only a verified write sends the end command.

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <dlfcn.h>
#include <time.h>

#include "core/link/adapter_link.h"
#include "core/link/memory_dump.h"
#include "core/link/pager_transfer.h"

using namespace m84;

namespace {

// Time stands still while an operation runs: the link's short settle pauses between steps mean
// nothing to scripted answers, and would cap the fuzzer at a hundred runs a second. Only for the
// operation's own thread: libFuzzer's threads sleep for real.
thread_local bool timeStandsStill = false;

enum class Operation { Read, WriteKeepingSerial, WriteOverSerial, Probe, Dump, Count };

constexpr int kRefuseOpen = 0xFF;  // the open-decision byte that makes the port search fail
// Waits an operation may make: an acknowledgement and a data block per block read, two
// acknowledgements per block written, one each for the probe, write enable and end command.
constexpr int kTransferBlocks = (kTransferLast - kTransferFirst + 1) / kBlockSize;
constexpr int kDumpBlocks = kImageSize / kBlockSize;
constexpr int kMostWaits[] = {
    2 * kTransferBlocks,                                    // read
    2 + 1 + 2 * kTransferBlocks + 2 * kTransferBlocks + 1,  // serial block, enable, write, verify, end
    1 + 2 * kTransferBlocks + 2 * kTransferBlocks + 1,
    1,
    1 + 2 * kDumpBlocks,
};

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "link reply fuzzer: %s\n", what);
  std::abort();
}

// The transfer's host and its caller's pages.
struct RecordingHost : TransferHost, PageExchange {
  QStringList statuses;
  std::vector<Beep> beeps;
  std::vector<Direction> exchanges;
  bool keepSerial = false;
  void ShowStatus(const QString& text) override { statuses << text; }
  void Sound(Beep beep) override { beeps.push_back(beep); }
  void ExchangeAllPages(Direction direction) override { exchanges.push_back(direction); }
};

// The adapter's side of the line, as the fuzz input scripts it.
class ScriptedAdapter : public AdapterPort {
 public:
  ScriptedAdapter(const uint8_t* script, size_t size, const PagerImage& image)
      : next_(script), end_(script + size), image_(image) {}

  bool OpenAdapterPort() override {
    open_ = Take() != kRefuseOpen;
    refused = refused || !open_;
    return open_;
  }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }

  int Write(const uint8_t* bytes, int count) override {
    if (!open_) return count;
    if (count == kFrameSize) {
      std::copy(bytes, bytes + kFrameSize, lastFrame_.begin());
      Require(lastFrame_[kLeadByte] == kFrameLead && lastFrame_[kLead2Byte] == kFrameLead2, "frame lead bytes");
      Require(FrameCheckMatches(lastFrame_), "frame check byte");
      const auto command = static_cast<AdapterCommand>(lastFrame_[kCommandByte]);
      if (command == AdapterCommand::End) ++ends;
      if (command == AdapterCommand::WriteBlock) ++blockWrites;
    } else {
      Require(count == kBlockSize, "a write that is neither a frame nor a data block");
      Require(static_cast<AdapterCommand>(lastFrame_[kCommandByte]) == AdapterCommand::WriteBlock,
              "a data block without a write-block frame before it");
      const int address = FrameAddress(lastFrame_);
      Require(address + kBlockSize <= kExchangedSize, "a block written outside the exchanged range");
      for (int i = 0; i < count; ++i)
        Require(bytes[i] == ExpectedByte(address + i), "a data block that is not the image's");
    }
    return count;
  }

  int ReadWithTimeout(uint8_t* buffer, int count, double limitMs) override {
    ++waits;
    const bool probing = static_cast<AdapterCommand>(lastFrame_[kCommandByte]) == AdapterCommand::Probe;
    Require(limitMs == (probing ? kProbeLimitMs : kReplyLimitMs), "a wait with another limit");
    Require(count >= 1 && count <= kBlockSize, "a wait for more than one block");
    if (!open_) return 0;
    const int arriving = std::min<int>({count, Take(), static_cast<int>(end_ - next_)});
    std::copy(next_, next_ + arriving, buffer);
    next_ += arriving;
    if (probing && arriving > 0) probeAnswer = buffer[0];
    if (count == kBlockSize && arriving == kBlockSize) NoteBlock(buffer);
    return arriving;
  }

  bool refused = false;
  int probeAnswer = -1;
  PagerImage delivered;                       // every complete block as it arrived, at its address
  std::vector<uint8_t> serialBlockDelivered;  // the block read for the serial number
  int waits = 0;
  int ends = 0;
  int blockWrites = 0;

 private:
  int Take() { return next_ < end_ ? *next_++ : 0; }

  // The caller's image, but for a serial number kept from the pager: the link writes the pager's
  // own into its copy, and the caller's image takes it over only once the write has ended.
  uint8_t ExpectedByte(int address) const {
    const bool kept = !serialBlockDelivered.empty() && address >= kSerialFirst && address <= kSerialLast;
    return kept ? serialBlockDelivered[size_t(address - kSerialBlockFirst)] : image_[address];
  }

  void NoteBlock(const uint8_t* block) {
    const int address = FrameAddress(lastFrame_);
    Require(address + kBlockSize <= kImageSize, "a block read past the memory");
    std::copy(block, block + kBlockSize, delivered.data() + address);
    if (address == kSerialBlockFirst) serialBlockDelivered.assign(block, block + kBlockSize);
  }

  const uint8_t* next_;
  const uint8_t* end_;
  const PagerImage& image_;
  bool open_ = false;
  AdapterFrame lastFrame_{};
};

PagerData StartingData() {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = static_cast<uint8_t>(i * 13 + 5);
  return data;
}

bool SameRange(const PagerImage& a, const PagerImage& b, int first, int end) {
  return std::equal(a.data() + first, a.data() + end, b.data() + first);
}

void CheckRead(bool ok, const ScriptedAdapter& adapter, const PagerData& data, const RecordingHost& host) {
  const PagerData before = StartingData();
  Require(data.selection == before.selection, "a read changed the selection block");
  Require(SameRange(data.image, before.image, kExchangedSize, kImageSize), "a read changed 0x600-0x7FF");
  if (!ok) Require(data.image == before.image, "a failed read changed the image");
  if (adapter.refused) {
    Require(host.statuses == QStringList{"No DPT Adapter connect"}, "no-adapter text");
    Require(host.beeps == std::vector<Beep>{Beep::Error}, "no-adapter beep");
    return;
  }
  Require(host.statuses == QStringList({"Reading Pager ... ", ok ? "Read Pager ok !" : "Read Pager error !"}),
          "read status texts");
  Require(host.beeps == std::vector<Beep>{ok ? Beep::Confirm : Beep::Error}, "read beep");
  Require(host.exchanges == (ok ? std::vector<Direction>{Direction::Load} : std::vector<Direction>{}),
          "read page reloads");
  if (ok) Require(SameRange(data.image, adapter.delivered, 0, kExchangedSize), "the image is not what the pager sent");
}

void CheckWrite(bool verified, bool keep, const ScriptedAdapter& adapter, const PagerData& data,
                const RecordingHost& host) {
  const PagerData before = StartingData();
  PagerImage withoutSerial = data.image;
  std::copy(before.image.data() + kSerialFirst, before.image.data() + kSerialLast + 1,
            withoutSerial.data() + kSerialFirst);
  Require(withoutSerial == before.image, "a write changed the image beyond the serial number");
  Require(keep || data.image == before.image, "a write without keeping changed the serial number");
  if (data.image != before.image) {
    const uint8_t* serial = data.image.data() + kSerialFirst;
    Require(std::equal(serial, serial + (kSerialLast - kSerialFirst + 1), adapter.serialBlockDelivered.begin()),
            "the serial number taken over is not the pager's");
  }
  Require(data.selection == before.selection, "a write changed the selection block");
  Require(adapter.ends == (verified ? 1 : 0), "the end command without a verified write, or none after one");

  const QStringList failedAtOnce{"Write Pager error !"};
  const QStringList failedWriting{"Write Data to Pager ... ", "Write Pager error !"};
  const QStringList verifiedTexts{"Write Data to Pager ... ", "Verifying ... ", "DPT Verify ok !"};
  const QStringList verifyFailed{"Write Data to Pager ... ", "Verifying ... ", "DPT Verify error !"};
  const bool known = host.statuses == failedAtOnce || host.statuses == failedWriting ||
                     host.statuses == verifiedTexts || host.statuses == verifyFailed;
  Require(known, "write status texts");
  Require((host.statuses == verifiedTexts) == verified, "the result and the last text disagree");
  Require(host.beeps == std::vector<Beep>{verified ? Beep::Confirm : Beep::Error}, "write beep");
  Require(!host.exchanges.empty() && host.exchanges.front() == Direction::Store, "the pages store before a write");
  if (host.statuses.contains("Verifying ... "))
    Require(adapter.blockWrites == kTransferBlocks && host.exchanges.back() == Direction::Load,
            "a verify before every block was written, or no reload after it");
}

void CheckProbe(AdapterState state, const ScriptedAdapter& adapter) {
  Require((state == AdapterState::Absent) == adapter.refused, "absent exactly when no port opened");
  Require((state == AdapterState::Ready) == (adapter.probeAnswer == kProbeReply), "ready exactly on the probe answer");
}

void CheckDump(DumpOutcome outcome, const PagerData& data, const RecordingHost& host) {
  Require(data.image == StartingData().image, "a dump changed the image");
  switch (outcome) {
    case DumpOutcome::Saved:
      Require(host.statuses == QStringList({"Reading Pager ... ", "File Saved ok"}), "dump saved texts");
      Require(host.beeps == std::vector<Beep>{Beep::Confirm}, "dump saved beep");
      break;
    case DumpOutcome::ReadFailed:
      Require(host.statuses == QStringList({"Reading Pager ... ", "Read Pager error !"}), "dump failed texts");
      Require(host.beeps == std::vector<Beep>{Beep::Error}, "dump failed beep");
      break;
    default: Require(false, "a dump outcome that no choice here leads to");
  }
}

// The scratch folder of the dump's files, in memory where the system offers it.
const QTemporaryDir& Scratch() {
  static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                     ? QStringLiteral("/dev/shm/m84-link-fuzz-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/m84-link-fuzz-XXXXXX"));
  return dir;
}

}  // namespace

// Exported from the executable (see CMakeLists.txt), so the Qt library's sleeps come here.
extern "C" int nanosleep(const timespec* duration, timespec* remaining) {
  using Sleep = int (*)(const timespec*, timespec*);
  static const auto system = reinterpret_cast<Sleep>(dlsym(RTLD_NEXT, "nanosleep"));
  if (timeStandsStill) return 0;
  return system(duration, remaining);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  const auto operation = static_cast<Operation>(input[0] % static_cast<int>(Operation::Count));
  PagerData data = StartingData();
  ScriptedAdapter adapter(input + 1, size - 1, data.image);
  AdapterLink link(adapter);
  RecordingHost host;
  timeStandsStill = true;

  switch (operation) {
    case Operation::Read: CheckRead(bool(ReadIntoPages(link, data, host, host)), adapter, data, host); break;
    case Operation::WriteKeepingSerial:
    case Operation::WriteOverSerial: {
      host.keepSerial = operation == Operation::WriteKeepingSerial;
      const bool verified = bool(WriteFromPages(link, data, host, WriteOptions{host.keepSerial}, host).outcome);
      CheckWrite(verified, host.keepSerial, adapter, data, host);
      break;
    }
    case Operation::Probe: CheckProbe(link.PresenceCheck(), adapter); break;
    case Operation::Dump: {
      const bool ready = link.PresenceCheck() == AdapterState::Ready;
      const DumpOutcome outcome = MemoryDump(
          link, ready, [](const QString&) { return Scratch().filePath(QStringLiteral("dump.BIN")); }, host);
      CheckDump(outcome, data, host);
      break;
    }
    case Operation::Count: break;
  }
  timeStandsStill = false;
  Require(adapter.waits <= kMostWaits[static_cast<int>(operation)], "more waits than the operation's blocks allow");
  return 0;
}
