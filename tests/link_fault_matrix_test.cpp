// Every line fault against every adapter operation, through the real serial code and a simulated
// adapter on a pseudo-terminal: pager read, write with and without keeping the serial number,
// the presence probe and the memory dump, each against silence, a wrong acknowledgement, a short
// data block, garbage ahead of an answer, an answer just inside and just outside its time limit,
// a corrupted byte on read-back and the cable pulled mid-transfer.
//
// Each cell ends in its status text and beep; the image is unchanged except for a serial number
// that a write already took over; a failed read writes no data file and a failed dump no dump
// file; only a verified write sends the end command; and afterwards the same port serves the
// next operation (after an unplugged cable: once the adapter is plugged in again).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_link.h"
#include "core/link/memory_dump.h"
#include "core/link/pager_transfer.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"
#include "recording_host.h"

using namespace m84;

namespace {

enum class Operation { Read, WriteKeepingSerial, WriteOverSerial, Probe, Dump };

// How an operation ends, as the user sees it.
enum class Result { ReadOk, ReadError, VerifyOk, VerifyError, WriteError, Ready, NotReady, Saved, DumpReadError };

struct Cell {
  const char* name;
  Operation operation;
  const char* faults;  // the simulated adapter's fault plan
  Result result;
  int corruptOffset = -1;  // where a read that succeeds carries the corrupted byte
  int heldBackMs = 0;      // an answer that may still arrive after the operation ended
};

// Where the faults strike: block 10 (0x280) in the middle of the exchanged range, block 28
// (0x700) that only the dump reads, the last blocks of either. The serial number's block (0x540,
// block 21) comes first in a keeping write, so only faults on it stop the take-over. Answers are
// held back 800 ms (inside the 1000 ms limit) or 1300 ms (outside); the probe's 40 or 250 ms
// against its 100 ms: margins that hold on a loaded machine under the sanitizers.
constexpr int kOutsideMs = 1300;
constexpr int kProbeOutsideMs = 250;

const Cell kCells[] = {
    {"read_silence", Operation::Read, "read-silent:10", Result::ReadError},
    {"read_wrong_ack", Operation::Read, "read-nak:10", Result::ReadError},
    {"read_short_block", Operation::Read, "read-short:10", Result::ReadError},
    {"read_garbage_first", Operation::Read, "noise:10", Result::ReadError},
    {"read_ack_inside", Operation::Read, "late-ack:10:800", Result::ReadOk},
    {"read_data_inside", Operation::Read, "late-data:10:800", Result::ReadOk},
    {"read_ack_outside", Operation::Read, "late-ack:10:1300", Result::ReadError, -1, kOutsideMs},
    {"read_data_outside", Operation::Read, "late-data:10:1300", Result::ReadError, -1, kOutsideMs},
    // A read has nothing to compare with: the pager's answer is taken as it comes.
    {"read_corrupt_byte", Operation::Read, "corrupt:0x2A0", Result::ReadOk, 0x2A0},
    {"read_unplugged", Operation::Read, "unplug:10", Result::ReadError},

    {"keep_silence", Operation::WriteKeepingSerial, "write-silent:10", Result::WriteError},
    {"keep_serial_silence", Operation::WriteKeepingSerial, "read-silent:21", Result::WriteError},
    {"keep_wrong_ack", Operation::WriteKeepingSerial, "write-nak:10", Result::WriteError},
    {"keep_wrong_data_ack", Operation::WriteKeepingSerial, "write-data-nak:10", Result::WriteError},
    {"keep_enable_refused", Operation::WriteKeepingSerial, "enable-nak", Result::WriteError},
    {"keep_short_readback", Operation::WriteKeepingSerial, "read-short:10", Result::VerifyError},
    {"keep_short_serial", Operation::WriteKeepingSerial, "read-short:21", Result::WriteError},
    {"keep_garbage_first", Operation::WriteKeepingSerial, "noise:10", Result::WriteError},
    {"keep_ack_inside", Operation::WriteKeepingSerial, "late-ack:10:800", Result::VerifyOk},
    {"keep_data_ack_inside", Operation::WriteKeepingSerial, "late-data:10:800", Result::VerifyOk},
    {"keep_ack_outside", Operation::WriteKeepingSerial, "late-ack:10:1300", Result::WriteError, -1, kOutsideMs},
    {"keep_data_ack_outside", Operation::WriteKeepingSerial, "late-data:10:1300", Result::WriteError, -1, kOutsideMs},
    {"keep_corrupt_readback", Operation::WriteKeepingSerial, "corrupt:0x2A0", Result::VerifyError},
    {"keep_unplugged", Operation::WriteKeepingSerial, "unplug:10", Result::WriteError},

    {"over_silence", Operation::WriteOverSerial, "write-silent:10", Result::WriteError},
    {"over_wrong_ack", Operation::WriteOverSerial, "write-nak:10", Result::WriteError},
    {"over_wrong_data_ack", Operation::WriteOverSerial, "write-data-nak:10", Result::WriteError},
    {"over_short_readback", Operation::WriteOverSerial, "read-short:10", Result::VerifyError},
    {"over_readback_silence", Operation::WriteOverSerial, "read-silent:23", Result::VerifyError},
    {"over_garbage_first", Operation::WriteOverSerial, "noise:10", Result::WriteError},
    {"over_ack_inside", Operation::WriteOverSerial, "late-ack:10:800", Result::VerifyOk},
    {"over_data_ack_inside", Operation::WriteOverSerial, "late-data:10:800", Result::VerifyOk},
    {"over_ack_outside", Operation::WriteOverSerial, "late-ack:10:1300", Result::WriteError, -1, kOutsideMs},
    {"over_data_ack_outside", Operation::WriteOverSerial, "late-data:10:1300", Result::WriteError, -1, kOutsideMs},
    {"over_corrupt_last_byte", Operation::WriteOverSerial, "corrupt:0x5FF", Result::VerifyError},
    {"over_unplugged", Operation::WriteOverSerial, "unplug:10", Result::WriteError},

    // The probe has no data block and nothing to read back.
    {"probe_silence", Operation::Probe, "probe:silent", Result::NotReady},
    {"probe_wrong_answer", Operation::Probe, "probe:0x27", Result::NotReady},
    {"probe_garbage_first", Operation::Probe, "noise:probe", Result::NotReady},
    {"probe_inside", Operation::Probe, "late-ack:probe:40", Result::Ready},
    {"probe_outside", Operation::Probe, "late-ack:probe:250", Result::NotReady, -1, kProbeOutsideMs},
    {"probe_unplugged", Operation::Probe, "unplug:probe", Result::NotReady},

    {"dump_silence", Operation::Dump, "read-silent:28", Result::DumpReadError},
    {"dump_wrong_ack", Operation::Dump, "read-nak:28", Result::DumpReadError},
    {"dump_short_block", Operation::Dump, "read-short:31", Result::DumpReadError},
    {"dump_garbage_first", Operation::Dump, "noise:28", Result::DumpReadError},
    {"dump_ack_inside", Operation::Dump, "late-ack:28:800", Result::Saved},
    {"dump_data_inside", Operation::Dump, "late-data:28:800", Result::Saved},
    {"dump_ack_outside", Operation::Dump, "late-ack:28:1300", Result::DumpReadError, -1, kOutsideMs},
    {"dump_data_outside", Operation::Dump, "late-data:28:1300", Result::DumpReadError, -1, kOutsideMs},
    {"dump_corrupt_byte", Operation::Dump, "corrupt:0x700", Result::Saved, 0x700},
    {"dump_unplugged", Operation::Dump, "unplug:28", Result::DumpReadError},
};

void PrintTo(const Cell& cell, std::ostream* out) { *out << cell.name << " (" << cell.faults << ")"; }

struct Expected {
  const char* status;  // the last status text, or pane 3 for the probe
  std::optional<Beep> beep;
};

Expected ExpectedFor(Result result) {
  switch (result) {
    case Result::ReadOk: return {"Read Pager ok !", Beep::Confirm};
    case Result::ReadError: return {"Read Pager error !", Beep::Error};
    case Result::VerifyOk: return {"DPT Verify ok !", Beep::Confirm};
    case Result::VerifyError: return {"DPT Verify error !", Beep::Error};
    case Result::WriteError: return {"Write Pager error !", Beep::Error};
    case Result::Ready: return {" OK", std::nullopt};
    case Result::NotReady: return {"USB", std::nullopt};
    case Result::Saved: return {"File Saved ok", Beep::Confirm};
    // The dump says so rather than leave "Reading Pager ... " standing as if still reading.
    case Result::DumpReadError: return {"Read Pager error !", Beep::Error};
  }
  return {"", std::nullopt};
}

bool Succeeds(Result result) {
  return result == Result::ReadOk || result == Result::VerifyOk || result == Result::Ready || result == Result::Saved;
}

const char kPagerSerial[] = "8400012345";
const char kImageSerial[] = "1234567890";

// A pager whose memory differs from the image everywhere, so whatever is copied shows.
PagerImage PatternedPager() {
  PagerImage memory;
  for (int i = 0; i < kImageSize; ++i) memory[i] = static_cast<uint8_t>(i * 7 + 3);
  std::memcpy(memory.data() + kSerialFirst, kPagerSerial, sizeof kPagerSerial);
  return memory;
}

PagerData ImageBefore() {
  PagerData data;
  std::memcpy(data.image.data() + kSerialFirst, kImageSerial, sizeof kImageSerial);
  for (int i = kExchangedSize; i < kImageSize; ++i) data.image[i] = 0x5A;
  return data;
}

// What a successful read of the (possibly corrupted) pager gives.
PagerImage PagerAsRead(const Cell& cell) {
  PagerImage read = PatternedPager();
  if (cell.corruptOffset >= 0) read[cell.corruptOffset] = static_cast<uint8_t>(~read[cell.corruptOffset]);
  return read;
}

// The serial number's block is read first of all in a keeping write; only a fault on block 21
// stops the take-over.
bool StrikesSerialRead(const Cell& cell) { return std::strstr(cell.faults, ":21") != nullptr; }

bool Unplugs(const Cell& cell) { return std::strstr(cell.faults, "unplug") != nullptr; }

PagerImage ExpectedImage(const Cell& cell) {
  PagerImage image = ImageBefore().image;
  if (cell.operation == Operation::WriteKeepingSerial && !StrikesSerialRead(cell))
    std::memcpy(image.data() + kSerialFirst, kPagerSerial, sizeof kPagerSerial);
  if (cell.result == Result::ReadOk) {
    const PagerImage read = PagerAsRead(cell);
    std::copy(read.data(), read.data() + kExchangedSize, image.data());
  }
  return image;
}

class LinkFaultMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    StartAdapter(GetParam().faults);
  }

  void StartAdapter(const char* faults) {
    SimulatorOptions options;
    const m84::Result<FaultPlan> plan = ParseFaultPlan(QString::fromLatin1(faults));
    ASSERT_TRUE(plan) << plan.failure().reason.toStdString();
    options.faults = *plan;
    {
      std::lock_guard<std::mutex> lock(pullMutex);
      pulled = false;
    }
    // A pulled cable takes the adapter's name away, as a USB adapter's device node goes: the
    // pseudo-terminal's own number may meanwhile serve another program's terminal.
    options.unplugged = [this] {
      QFile::remove(AdapterName());
      std::lock_guard<std::mutex> lock(pullMutex);
      pulled = true;
      pulledChanged.notify_all();
    };
    simulator = std::make_unique<SimulatorHost>(options);
    simulator->SetMemory(PatternedPager());
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    QFile::remove(AdapterName());
    ASSERT_TRUE(QFile::link(simulator->DevicePath(), AdapterName()));
    if (port)
      port->SetFixedName(AdapterName());
    else
      port = std::make_unique<SerialPort>(AdapterName());
  }

  QString AdapterName() const { return folder.filePath(QStringLiteral("ttyADAPTER")); }

  // Until the simulator has taken the adapter's name away after a pulled cable.
  bool WaitUntilPulled() {
    std::unique_lock<std::mutex> lock(pullMutex);
    return pulledChanged.wait_for(lock, std::chrono::seconds(5), [this] { return pulled; });
  }

  // Runs the cell's operation; returns the status text (pane 3 for the probe).
  QString Run(const Cell& cell) {
    switch (cell.operation) {
      case Operation::Read: bool(ReadIntoPages(*link, data, host, host)); break;
      case Operation::WriteKeepingSerial:
      case Operation::WriteOverSerial:
        host.keepSerial = cell.operation == Operation::WriteKeepingSerial;
        WriteFromPages(*link, data, host, host.Options(), host);
        break;
      case Operation::Probe: return AdapterStateText(link->PresenceCheck());
      case Operation::Dump: {
        const bool ready = link->PresenceCheck() == AdapterState::Ready;
        MemoryDump(
            *link, ready, [&](const QString&) { return DumpPath(); }, host);
        break;
      }
    }
    return host.statuses.isEmpty() ? QString() : host.statuses.back();
  }

  QString DumpPath() const { return folder.filePath(QStringLiteral("dump.BIN")); }
  QString ReadOutPath() const { return folder.filePath(QStringLiteral("read.DAT")); }

  // An answer held back past its limit still arrives; the user's next press comes after it.
  void WaitForQuietLine(const Cell& cell) {
    std::this_thread::sleep_for(std::chrono::milliseconds(cell.heldBackMs + 200));
  }

  QTemporaryDir folder;
  std::mutex pullMutex;
  std::condition_variable pulledChanged;
  bool pulled = false;
  std::unique_ptr<SimulatorHost> simulator;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<AdapterLink> link;
  PagerData data = ImageBefore();
  RecordingHost host;
};

TEST_P(LinkFaultMatrix, EndsAsSpecifiedAndLeavesThePortUsable) {
  const Cell& cell = GetParam();
  const Expected expected = ExpectedFor(cell.result);
  link = std::make_unique<AdapterLink>(*port);

  const QString status = Run(cell);

  EXPECT_EQ(status.toStdString(), expected.status) << link->LastFailure().toStdString();
  // The reason beside the status names a pulled cable as such, never as a slow adapter.
  EXPECT_EQ(link->LastFailure().contains(QStringLiteral("the adapter was disconnected")), Unplugs(cell))
      << link->LastFailure().toStdString();
  if (expected.beep)
    EXPECT_EQ(host.beeps, std::vector<Beep>{*expected.beep});
  else
    EXPECT_TRUE(host.beeps.empty());
  if (!host.progress.empty()) EXPECT_EQ(host.progress.back(), 0);
  EXPECT_EQ(data.image, ExpectedImage(cell));
  EXPECT_EQ(simulator->Counted().ends, cell.result == Result::VerifyOk ? 1 : 0);
  if (cell.result == Result::VerifyOk)
    EXPECT_TRUE(std::equal(data.image.data(), data.image.data() + kExchangedSize, simulator->Memory().data()));

  if (cell.operation == Operation::Dump) {
    QFile dump(DumpPath());
    EXPECT_EQ(dump.exists(), cell.result == Result::Saved);
    if (cell.result == Result::Saved && dump.open(QIODevice::ReadOnly)) {
      const PagerImage read = PagerAsRead(cell);
      EXPECT_EQ(dump.readAll(), QByteArray(reinterpret_cast<const char*>(read.data()), kImageSize));
    }
  }

  WaitForQuietLine(cell);
  if (cell.operation == Operation::Read) {
    // The command line's read, the one read that writes a data file: only when it succeeded.
    // It opens the adapter itself, and a port is never shared.
    link->ClosePort();
    const int exitCode = RunReadCommand({ReadOutPath(), QStringLiteral("--port"), port->PortName()});
    EXPECT_EQ(exitCode, Succeeds(cell.result) ? 0 : 1);
    EXPECT_EQ(QFile::exists(ReadOutPath()), Succeeds(cell.result));
    WaitForQuietLine(cell);
  }

  if (Unplugs(cell)) {
    // The adapter is gone until it is plugged in again.
    ASSERT_TRUE(WaitUntilPulled());
    PagerData untouched = ImageBefore();
    RecordingHost absentHost;
    EXPECT_FALSE(bool(ReadIntoPages(*link, untouched, absentHost, absentHost)));
    EXPECT_EQ(absentHost.statuses, QStringList{"No DPT Adapter connect"});
    EXPECT_EQ(link->PresenceCheck(), AdapterState::Absent);
    StartAdapter("");
  } else {
    simulator->SetFaults({});
  }
  EXPECT_EQ(link->PresenceCheck(), AdapterState::Ready) << link->LastFailure().toStdString();
  PagerData next = ImageBefore();
  RecordingHost nextHost;
  EXPECT_TRUE(bool(ReadIntoPages(*link, next, nextHost, nextHost))) << link->LastFailure().toStdString();
  EXPECT_TRUE(std::equal(next.image.data(), next.image.data() + kExchangedSize, simulator->Memory().data()));
}

INSTANTIATE_TEST_SUITE_P(Faults, LinkFaultMatrix, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell>& info) { return std::string(info.param.name); });

}  // namespace
