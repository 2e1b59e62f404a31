// Pager read, write with verify and the presence check, through the real serial code, against
// the simulated adapter on a pseudo-terminal (unpaced, so a full read takes milliseconds).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/link/adapter_link.h"
#include "core/link/pager_transfer.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"
#include "recording_host.h"

using namespace m84;

namespace {

QString SerialNumber(const PagerImage& image) {
  return QString::fromLatin1(reinterpret_cast<const char*>(image.data() + kSerialFirst));
}

void PutSerialNumber(PagerImage& image, const char* digits) {
  std::memcpy(image.data() + kSerialFirst, digits, std::strlen(digits) + 1);
}

bool SameRange(const PagerImage& a, const PagerImage& b, int first, int last) {
  return std::equal(a.data() + first, a.data() + last + 1, b.data() + first);
}

// A pager whose memory differs from the default image everywhere, so a copy shows.
PagerImage PatternedPager() {
  PagerImage memory;
  for (int i = 0; i < kImageSize; ++i) memory[i] = static_cast<uint8_t>(i * 7 + 3);
  PutSerialNumber(memory, "8400012345");
  return memory;
}

class LinkOverPty : public ::testing::Test {
 protected:
  // Starts the simulated adapter (with these faults) and a port and link on its device.
  void StartSimulator(const QString& faults = {}, const QString& memoryFile = {}, bool pace = false,
                      bool swap = false) {
    SimulatorOptions options;
    options.pace = pace;
    options.swap = swap;
    options.faults = *ParseFaultPlan(faults);
    options.memoryFile = memoryFile;
    simulator = std::make_unique<SimulatorHost>(options);
    if (memoryFile.isEmpty()) simulator->SetMemory(PatternedPager());
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    port = std::make_unique<SerialPort>(simulator->DevicePath());
    link = std::make_unique<AdapterLink>(*port);
  }

  std::unique_ptr<SimulatorHost> simulator;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<AdapterLink> link;
  PagerData data;
  RecordingHost host;
};

}  // namespace

TEST_F(LinkOverPty, ReadCopiesTheExchangedRangeAndLeavesTheRestAlone) {
  StartSimulator();
  for (int i = 0x600; i < kImageSize; ++i) data.image[i] = 0x5A;
  const PagerImage before = data.image;

  EXPECT_TRUE(bool(ReadIntoPages(*link, data, host, host)));

  EXPECT_EQ(host.statuses, (QStringList{"Reading Pager ... ", "Read Pager ok !"}));
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Confirm});
  EXPECT_EQ(host.exchanges, std::vector<Direction>{Direction::Load});
  EXPECT_TRUE(SameRange(data.image, simulator->Memory(), 0x000, 0x5FF));
  EXPECT_TRUE(SameRange(data.image, before, 0x600, 0x7FF));
  // one position per block, 0 after the first and 16 after the last, then back to 0
  ASSERT_EQ(host.progress.size(), 25u);
  EXPECT_EQ(host.progress.front(), 0);
  EXPECT_EQ(host.progress[23], 16);
  EXPECT_EQ(host.progress.back(), 0);
  EXPECT_TRUE(std::is_sorted(host.progress.begin(), host.progress.end() - 1));
}

TEST_F(LinkOverPty, EveryReadFaultEndsInReadErrorWithTheImageUnchanged) {
  for (const char* fault : {"read-nak:0", "read-nak:23", "read-silent:5", "read-short:12"}) {
    SCOPED_TRACE(fault);
    StartSimulator(QString::fromLatin1(fault));
    PagerData data;
    RecordingHost host;
    const PagerImage before = data.image;

    EXPECT_FALSE(bool(ReadIntoPages(*link, data, host, host)));

    EXPECT_EQ(host.statuses, (QStringList{"Reading Pager ... ", "Read Pager error !"}));
    EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
    EXPECT_TRUE(host.exchanges.empty());
    EXPECT_EQ(data.image, before);
    EXPECT_EQ(host.progress.back(), 0);
    EXPECT_FALSE(link->LastFailure().isEmpty());
  }
}

TEST_F(LinkOverPty, WriteKeepsThePagersSerialNumberOnlyWhenAsked) {
  for (bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "keep" : "overwrite");
    StartSimulator();
    PagerData data;
    RecordingHost host;
    host.keepSerial = keep;
    PutSerialNumber(data.image, "1234567890");
    data.image[0x518] = 'X';  // an edit that must reach the pager either way
    const PagerImage pagerBefore = simulator->Memory();

    EXPECT_TRUE(bool(WriteFromPages(*link, data, host, host.Options(), host).outcome));

    EXPECT_EQ(host.statuses, (QStringList{"Write Data to Pager ... ", "Verifying ... ", "DPT Verify ok !"}));
    EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Confirm});
    const PagerImage pager = simulator->Memory();
    EXPECT_EQ(SerialNumber(pager), keep ? "8400012345" : "1234567890");
    EXPECT_EQ(SerialNumber(data.image), SerialNumber(pager));  // the pages show what the pager holds
    EXPECT_EQ(pager[0x518], 'X');
    EXPECT_TRUE(SameRange(pager, data.image, 0x000, 0x5FF));
    EXPECT_TRUE(SameRange(pager, pagerBefore, 0x600, 0x7FF));
    EXPECT_EQ(simulator->Counted().ends, 1);
    const std::vector<Direction> keptExchanges = {Direction::Store, Direction::Load, Direction::Load};
    const std::vector<Direction> plainExchanges = {Direction::Store, Direction::Load};
    EXPECT_EQ(host.exchanges, keep ? keptExchanges : plainExchanges);
    EXPECT_EQ(host.progress.back(), 0);
  }
}

// A bench without anyone at it: after each write's end the adapter holds a fresh pager, the
// memory the simulator started with and the next serial number; a write that failed swaps
// nothing, since the pager stays seated for another try.
TEST_F(LinkOverPty, TheSwappingSimulatorAnswersAsAFreshPagerAfterEachWrite) {
  StartSimulator({}, {}, false, true);
  const PagerImage fresh = simulator->Memory();
  PagerData data;
  RecordingHost host;
  host.keepSerial = true;
  data.image[0x518] = 'X';
  for (const char* next : {"8400012346", "8400012347"}) {
    SCOPED_TRACE(next);
    const WriteResult written = WriteFromPages(*link, data, host, host.Options(), host);
    ASSERT_TRUE(bool(written.outcome)) << written.outcome.failure().reason.toStdString();
    ASSERT_TRUE(written.keptSerial);
    const std::optional<QByteArray> serial = link->ReadSerialNumber();
    link->ClosePort();
    ASSERT_TRUE(serial);
    EXPECT_EQ(QString::fromLatin1(serial->left(10)), next);
    PagerImage expected = fresh;
    PutSerialNumber(expected, next);
    EXPECT_EQ(simulator->Memory(), expected);  // the write's 'X' went with the pager taken out
  }
  simulator->SetFaults(*ParseFaultPlan(QStringLiteral("write-nak:3")));
  EXPECT_FALSE(bool(WriteFromPages(*link, data, host, host.Options(), host).outcome));
  link->ClosePort();
  const std::optional<QByteArray> serial = link->ReadSerialNumber();
  ASSERT_TRUE(serial);
  EXPECT_EQ(QString::fromLatin1(serial->left(10)), "8400012347");
}

TEST_F(LinkOverPty, VerifyMismatchInTheLastByteIsAVerifyErrorWithoutEnd) {
  StartSimulator(QStringLiteral("corrupt:0x5FF"));

  EXPECT_FALSE(bool(WriteFromPages(*link, data, host, host.Options(), host).outcome));

  EXPECT_EQ(host.statuses.back(), "DPT Verify error !");
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
  EXPECT_EQ(simulator->Counted().ends, 0);
  EXPECT_EQ(simulator->Counted().blockWrites, 24);
  EXPECT_TRUE(link->LastFailure().contains("0x5FF")) << link->LastFailure().toStdString();
  EXPECT_EQ(host.exchanges.back(), Direction::Load);
}

TEST_F(LinkOverPty, EveryWriteFaultEndsInWriteErrorBeforeAnyVerify) {
  struct Case {
    const char* fault;
    bool keepSerial;
    int blocksWritten;
  };
  const Case cases[] = {
      {"read-nak:21", true, 0},  // the serial number's block
      {"enable-nak", false, 0},     {"write-nak:0", false, 0},
      {"write-silent:3", false, 3}, {"write-data-nak:23", false, 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    StartSimulator(QString::fromLatin1(c.fault));
    PagerData data;
    RecordingHost host;
    host.keepSerial = c.keepSerial;
    const PagerImage before = data.image;

    EXPECT_FALSE(bool(WriteFromPages(*link, data, host, host.Options(), host).outcome));

    EXPECT_EQ(host.statuses, (QStringList{"Write Data to Pager ... ", "Write Pager error !"}));
    EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
    EXPECT_EQ(data.image, before);
    EXPECT_EQ(simulator->Counted().blockWrites, c.blocksWritten);
    EXPECT_EQ(simulator->Counted().ends, 0);
    EXPECT_EQ(host.progress.back(), 0);
  }
}

TEST_F(LinkOverPty, PresenceCheckNeedsTheRightProbeAnswer) {
  StartSimulator();
  // every check re-opens the port; the simulated adapter has to keep answering
  for (int i = 0; i < 3; ++i) EXPECT_EQ(link->PresenceCheck(), AdapterState::Ready);

  for (const char* fault : {"probe:0x27", "probe:silent"}) {
    SCOPED_TRACE(fault);
    StartSimulator(QString::fromLatin1(fault));
    EXPECT_EQ(link->PresenceCheck(), AdapterState::UsbPortOnly);
    EXPECT_FALSE(link->LastFailure().isEmpty());
  }
  EXPECT_EQ(AdapterStateText(AdapterState::Ready), " OK");
  EXPECT_EQ(AdapterStateText(AdapterState::UsbPortOnly), "USB");
  EXPECT_EQ(AdapterStateText(AdapterState::Absent), "");
}

TEST_F(LinkOverPty, AnAnswerLeftOverFromAnEarlierExchangeIsDiscardedOnOpen) {
  StartSimulator();
  ASSERT_TRUE(port->OpenAdapterPort());
  const AdapterFrame probe = ProbeFrame();
  port->Write(probe.data(), kFrameSize);  // its answer 0x28 is never read here
  port->Close();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  EXPECT_TRUE(bool(ReadIntoPages(*link, data, host, host))) << link->LastFailure().toStdString();
}

// An exchange cut short (a killed program) leaves the adapter sending for a while yet: the
// next open must not take those bytes for its own answers.
TEST_F(LinkOverPty, AnAnswerStillArrivingWhenThePortOpensIsDrained) {
  StartSimulator({}, {}, true);
  ASSERT_TRUE(port->OpenAdapterPort());
  const AdapterFrame read = ReadBlockFrame(0x100);
  port->Write(read.data(), kFrameSize);
  uint8_t ack = 0;
  ASSERT_EQ(port->ReadWithTimeout(&ack, 1, 1000), 1);  // 64 data bytes follow, one a millisecond
  port->Close();

  ASSERT_TRUE(port->OpenAdapterPort());
  EXPECT_GT(port->DrainedBytes(), 0);
  EXPECT_LT(port->DrainMs(), kDrainLimitMs + 50);
  uint8_t memory[kImageSize] = {};
  EXPECT_TRUE(link->ReadBlocks(0x000, 0x03F, memory, nullptr)) << link->LastFailure().toStdString();
  EXPECT_TRUE(std::equal(memory, memory + kBlockSize, simulator->Memory().data()));
}

TEST_F(LinkOverPty, ReadWithTimeoutReturnsOnTheFirstByteOrAtTheLimit) {
  using Clock = std::chrono::steady_clock;
  StartSimulator();
  uint8_t byte = 0;

  Clock::time_point start = Clock::now();
  EXPECT_EQ(port->ReadWithTimeout(&byte, 1, 5000), 0);  // closed: at once
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));

  ASSERT_TRUE(port->OpenAdapterPort());
  start = Clock::now();
  EXPECT_EQ(port->ReadWithTimeout(&byte, 1, 50), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));

  const AdapterFrame probe = ProbeFrame();
  port->Write(probe.data(), kFrameSize);
  start = Clock::now();
  EXPECT_EQ(port->ReadWithTimeout(&byte, 1, 5000), 1);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));  // long before the limit
  EXPECT_EQ(byte, kProbeReply);
}

TEST_F(LinkOverPty, AMissingPortIsNoAdapter) {
  SerialPort missing(QStringLiteral("/dev/m84dpt-no-such-port"));
  AdapterLink absent(missing);

  EXPECT_EQ(absent.PresenceCheck(), AdapterState::Absent);
  EXPECT_FALSE(bool(ReadIntoPages(absent, data, host, host)));
  EXPECT_EQ(host.statuses, QStringList{"No DPT Adapter connect"});
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
  EXPECT_TRUE(absent.LastFailure().contains("no such device"));

  RecordingHost writeHost;
  EXPECT_FALSE(bool(WriteFromPages(absent, data, writeHost, writeHost.Options(), writeHost).outcome));
  EXPECT_EQ(writeHost.statuses, QStringList{"Write Pager error !"});
}

TEST_F(LinkOverPty, TheMemoryFileStartsThePagerAndKeepsWhatWasWritten) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("pager.bin"));
  StartSimulator({}, file);
  ASSERT_TRUE(QFile::exists(file));  // a new file starts as the built-in pager
  EXPECT_EQ(SerialNumber(simulator->Memory()), SerialNumber(SimulatedPagerMemory()));

  data.image[0x518] = 'Q';
  ASSERT_TRUE(bool(WriteFromPages(*link, data, host, host.Options(), host).outcome))
      << link->LastFailure().toStdString();
  simulator->Stop();

  QFile kept(file);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  const QByteArray bytes = kept.readAll();
  ASSERT_EQ(bytes.size(), kImageSize);
  EXPECT_EQ(bytes[0x518], 'Q');

  // a second run starts from what the first one kept
  StartSimulator({}, file);
  EXPECT_EQ(simulator->Memory()[0x518], 'Q');
}

// Another holder of the port (here a thread of this process, as the window's presence check would
// be): an open that finds the port held tries again for a while, then names the holder.
TEST_F(LinkOverPty, AHeldPortIsTriedAgainBrieflyThenNamesItsHolder) {
  StartSimulator();
  std::atomic<bool> holding{false};
  std::atomic<int> holdMs{kHeldPortRetryMs * 5};
  std::unique_ptr<QThread> holder(QThread::create([&] {
    SerialPort other(simulator->DevicePath());
    if (!other.OpenAdapterPort()) return;
    holding = true;
    while (holdMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      holdMs -= 10;
    }
  }));
  holder->start();
  while (!holding && !holder->isFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(holding);

  const QString named = QStringLiteral("%1 (pid %2)").arg(ProcessName(::getpid())).arg(::getpid());
  port->SetHeldPortRetry(0);
  EXPECT_EQ(link->PresenceCheck(), AdapterState::Held);
  EXPECT_EQ(link->LastCause(), QStringLiteral("the port is in use by ") + named);
  EXPECT_EQ(port->OpenFailure(), simulator->DevicePath() + QStringLiteral(": in use by ") + named);

  // Given up well within the retry: the open waits for it and succeeds.
  port->SetHeldPortRetry(kHeldPortRetryMs);
  holdMs = kHeldPortRetryMs / 3;
  EXPECT_TRUE(port->OpenAdapterPort()) << port->OpenFailure().toStdString();
  EXPECT_FALSE(port->HeldElsewhere());
  holder->wait();
  EXPECT_EQ(link->PresenceCheck(), AdapterState::Ready);
}

namespace {

// A transfer's host that, at its first block, waits until the other transfer has reached its own
// first block: both are then on their lines at the same time, or the wait runs out.
struct MeetingHost : RecordingHost {
  std::atomic<int>* started = nullptr;
  bool met = false;

  void SetProgress(int position) override {
    RecordingHost::SetProgress(position);
    if (met || position == 0) return;
    started->fetch_add(1);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (started->load() < 2 && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    met = started->load() >= 2;
  }
};

}  // namespace

// Nothing of a transfer is shared: two adapters on two ports, each written with verify on a
// thread of its own at the same time, each pager gets its own image.
TEST(TwoAdapters, WriteWithVerifyOnBothAtOnce) {
  struct Side {
    const char* serial;
    uint8_t fill;
    bool keepSerial;
    std::unique_ptr<SimulatorHost> simulator;
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<AdapterLink> link;
    PagerImage image;
    MeetingHost host;
    std::optional<WriteResult> written;
  };
  Side sides[2] = {{"1111111111", 0xA5, false, {}, {}, {}, {}, {}, {}},
                   {"2222222222", 0x3C, true, {}, {}, {}, {}, {}, {}}};
  std::atomic<int> started{0};
  for (Side& side : sides) {
    SimulatorOptions options;
    side.simulator = std::make_unique<SimulatorHost>(options);
    side.simulator->SetMemory(PatternedPager());
    const Outcome serving = side.simulator->Start();
    ASSERT_TRUE(serving) << serving.failure().reason.toStdString();
    side.port = std::make_unique<SerialPort>(side.simulator->DevicePath());
    side.link = std::make_unique<AdapterLink>(*side.port);
    for (int i = 0x100; i < 0x500; ++i) side.image[i] = static_cast<uint8_t>(side.fill ^ i);
    PutSerialNumber(side.image, side.serial);
    side.host.started = &started;
  }
  ASSERT_NE(sides[0].simulator->DevicePath(), sides[1].simulator->DevicePath());

  std::vector<std::thread> threads;
  for (Side& side : sides)
    threads.emplace_back([&side] {
      side.written = side.link->WritePager(side.image, WriteOptions{side.keepSerial}, side.host);
      side.link->ClosePort();
    });
  for (std::thread& thread : threads) thread.join();

  for (Side& side : sides) {
    SCOPED_TRACE(side.serial);
    EXPECT_TRUE(side.host.met) << "the two writes did not run at the same time";
    ASSERT_TRUE(side.written);
    EXPECT_TRUE(bool(side.written->outcome)) << side.written->outcome.failure().Text().toStdString();
    EXPECT_EQ(side.host.statuses, (QStringList{"Write Data to Pager ... ", "Verifying ... ", "DPT Verify ok !"}));
    PagerImage expected = side.image;
    TakeWrite(*side.written, expected);
    EXPECT_EQ(SerialNumber(expected), side.keepSerial ? "8400012345" : side.serial);
    const PagerImage pager = side.simulator->Memory();
    EXPECT_TRUE(SameRange(pager, expected, 0x000, 0x5FF));
    ASSERT_TRUE(side.written->readBack);
    EXPECT_TRUE(SameRange(*side.written->readBack, expected, 0x000, 0x5FF));
    EXPECT_EQ(side.simulator->Counted().ends, 1);
  }
  // Each pager holds its own image, not the other's.
  EXPECT_FALSE(SameRange(sides[0].simulator->Memory(), sides[1].simulator->Memory(), 0x100, 0x4FF));
}

// A lock file's pid in each form it takes; four bytes with a NUL are binary even where their
// first bytes read as a text line (pid 2617 is "9\n\0\0", pid 12345 "90\0\0").
TEST(PortLockFile, NamesThePidInEveryForm) {
  const auto binary = [](int32_t pid) { return QByteArray(reinterpret_cast<const char*>(&pid), sizeof pid); };
  const struct {
    QByteArray content;
    std::optional<qint64> pid;
  } cases[] = {
      {"      4242\n", 4242}, {"4242", 4242},         {"4242\nminicom\n", 4242}, {binary(4242), 4242},
      {binary(2617), 2617},   {binary(12345), 12345}, {"junk\n", std::nullopt},  {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(LockFilePid(c.content), c.pid) << c.content.toHex().toStdString();
}

// A port's lock as other serial programs leave it, made in a scratch lock folder: a living holder
// is named whatever its file's form, by the name the system gives the process (never by the
// file's words), and its lock is never deleted; a lock name that holds no lock (a FIFO, a folder,
// a link, a file naming no process) is refused at once, naming it and how to remove it; a stale
// lock stands in no one's way.
TEST_F(LinkOverPty, APortLockNamesALivingHolderInAnyFormAndALockNameThatIsNoLockIsRefused) {
  StartSimulator();
  QTemporaryDir locks;
  QString name = simulator->DevicePath().mid(5);
  name.replace(QLatin1Char('/'), QLatin1Char('_'));
  const QString lockPath = locks.filePath(QStringLiteral("LCK..") + name);
  const QByteArray lockName = QFile::encodeName(lockPath);
  const auto writeLock = [&](const QByteArray& content) {
    QFile file(lockPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
  };
  const int32_t ownPid = int32_t(::getpid());
  const QByteArray binaryPid(reinterpret_cast<const char*>(&ownPid), sizeof ownPid);
  const QString self = QStringLiteral("%1 (pid %2)").arg(ProcessName(::getpid())).arg(::getpid());
  struct Case {
    const char* name;
    std::function<void()> make;
    QString held;     // the holder named, or empty
    QString blocked;  // the start of the refusal after "DEVICE: blocked: ", or empty
  };
  const Case cases[] = {
      {"a living pid, padded text",
       [&] { writeLock(QByteArray::number(::getpid()).rightJustified(10) + "\n"); },
       self,
       {}},
      {"a living pid, bare text", [&] { writeLock(QByteArray::number(::getpid())); }, self, {}},
      {"a living pid, binary", [&] { writeLock(binaryPid); }, self, {}},
      {"a living pid, the file naming another program",
       [&] { writeLock(QByteArray::number(::getpid()) + "\n\x1b]0;brltty; sudo rm -rf /\x07\n"); },
       self,
       {}},
      {"pid 1", [&] { writeLock("         1\n"); }, {}, lockPath + QStringLiteral(" names pid 1, the system's own")},
      {"a FIFO",
       [&] { ASSERT_EQ(::mkfifo(lockName.constData(), 0644), 0); },
       {},
       lockPath + QStringLiteral(" is a FIFO, no lock file; remove it: sudo rm -r '") + lockPath + QLatin1Char('\'')},
      {"a folder", [&] { ASSERT_TRUE(QDir().mkdir(lockPath)); }, {}, lockPath + QStringLiteral(" is a folder")},
      {"a dangling link",
       [&] { ASSERT_TRUE(QFile::link(locks.filePath(QStringLiteral("gone")), lockPath)); },
       {},
       lockPath + QStringLiteral(" is a symbolic link")},
      {"junk", [&] { writeLock("junk\n"); }, {}, lockPath + QStringLiteral(" names no process")},
      {"a stale lock", [&] { writeLock("2147483646\n"); }, {}, {}},
  };
  port->SetLockFolders({locks.path()});
  port->SetHeldPortRetry(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.make();
    QByteArray before;
    if (QFile file(lockPath); QFileInfo(lockPath).isFile() && file.open(QIODevice::ReadOnly)) before = file.readAll();
    const auto start = std::chrono::steady_clock::now();
    const bool opened = port->OpenAdapterPort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    if (c.held.isEmpty() && c.blocked.isEmpty()) {
      EXPECT_TRUE(opened) << port->OpenFailure().toStdString();
      port->Close();
    } else if (!c.held.isEmpty()) {
      EXPECT_FALSE(opened);
      EXPECT_TRUE(port->HeldElsewhere());
      EXPECT_TRUE(port->OpenFailure().startsWith(simulator->DevicePath() + QStringLiteral(": in use by ")))
          << port->OpenFailure().toStdString();
      EXPECT_TRUE(port->OpenFailure().endsWith(c.held)) << port->OpenFailure().toStdString();
      QFile kept(lockPath);
      ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << "the holder's lock was deleted";
      EXPECT_EQ(kept.readAll(), before);
    } else {
      EXPECT_FALSE(opened);
      EXPECT_FALSE(port->HeldElsewhere());
      EXPECT_TRUE(port->OpenFailure().startsWith(simulator->DevicePath() + QStringLiteral(": blocked: ") + c.blocked))
          << port->OpenFailure().toStdString();
    }
    QDir(lockPath).removeRecursively();
    QFile::remove(lockPath);
  }
}

// Two names of one device, the second a link in a scratch folder (as /dev/serial/by-id/... is to
// /dev/ttyUSB0): the lock belongs to the device, so a lock taken under either name holds the
// other off, and the lock is named as other serial programs name the device's.
TEST_F(LinkOverPty, APortBehindALinkIsLockedAsTheDeviceItIs) {
  StartSimulator();
  QTemporaryDir scratch;
  const QString alias = scratch.filePath(QStringLiteral("alias"));
  ASSERT_TRUE(QFile::link(simulator->DevicePath(), alias));
  QString device = simulator->DevicePath().mid(5);
  device.replace(QLatin1Char('/'), QLatin1Char('_'));
  EXPECT_EQ(LockFileNames(alias).value(0), QStringLiteral("LCK..") + device);
  EXPECT_EQ(LockFileNames(simulator->DevicePath()), QStringList{QStringLiteral("LCK..") + device});
  EXPECT_EQ(ResolvedDevicePath(alias), simulator->DevicePath());

  QTemporaryDir locks;
  const QString lock = locks.filePath(QStringLiteral("LCK..") + device);
  {
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(::getpid()).rightJustified(10) + "\n");
  }
  SerialPort byAlias(alias);
  byAlias.SetLockFolders({locks.path()});
  byAlias.SetHeldPortRetry(0);
  EXPECT_FALSE(byAlias.OpenAdapterPort());
  EXPECT_TRUE(byAlias.HeldElsewhere()) << byAlias.OpenFailure().toStdString();
  ASSERT_TRUE(QFile::remove(lock));
  ASSERT_TRUE(byAlias.OpenAdapterPort()) << byAlias.OpenFailure().toStdString();
  // Open under the alias, the line is the device's: the serial layer's own lock says so to the
  // device's own name.
  port->SetHeldPortRetry(0);
  EXPECT_FALSE(port->OpenAdapterPort());
  EXPECT_TRUE(port->HeldElsewhere()) << port->OpenFailure().toStdString();
  byAlias.Close();
  EXPECT_TRUE(port->OpenAdapterPort()) << port->OpenFailure().toStdString();
}

// One device named twice among the ports of a run, by a link or by the same name, is found.
TEST(PortNames, OneDeviceUnderTwoNamesIsFound) {
  QTemporaryDir scratch;
  const QString alias = scratch.filePath(QStringLiteral("null-alias"));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), alias));
  const auto twice = OneDeviceTwice({QStringLiteral("/dev/zero"), QStringLiteral("null"), alias});
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->first, QStringLiteral("null"));
  EXPECT_EQ(twice->second, alias);
  EXPECT_FALSE(OneDeviceTwice({QStringLiteral("/dev/zero"), QStringLiteral("/dev/null"), scratch.filePath("gone")}));
}
