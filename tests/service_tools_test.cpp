// The technician's service tools: the compare listing and the C-array text, the compare flow
// behind its two dialogs, the memory dump against the simulated adapter on a pseudo-terminal
// (with injected faults), and the firmware status receiver.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "core/image/dat_file.h"
#include "core/link/binary_tools.h"
#include "core/link/memory_dump.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"
#include "core/window/firmware_status.h"

using namespace m84;

namespace {

struct RecordingHost : TransferHost {
  QStringList statuses;
  std::vector<Beep> beeps;
  std::vector<int> progress;

  void ShowStatus(const QString& text) override { statuses << text; }
  void Sound(Beep beep) override { beeps.push_back(beep); }
  void SetProgress(int position) override { progress.push_back(position); }
};

// Offset i holds the byte i & 0xFF: rows 0x000-0x01F are all unprintable, so characters stand out.
QByteArray CountingFile() {
  QByteArray bytes(kDumpSize, '\0');
  for (int i = 0; i < kDumpSize; ++i) bytes[i] = static_cast<char>(i & 0xFF);
  return bytes;
}

QList<QByteArray> Lines(const QByteArray& text) {
  QList<QByteArray> lines = text.split('\n');
  EXPECT_TRUE(lines.last().isEmpty()) << "the text ends without a line end";
  lines.removeLast();
  for (QByteArray& line : lines) line.append('\n');
  return lines;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  return static_cast<bool>(WriteFileAtomically(path, bytes));
}

}  // namespace

// ---- the listing and the text dump ----

TEST(CompareListing, IdenticalFilesGiveOneLineAPerRowAndNoLineB) {
  const QList<QByteArray> lines = Lines(CompareListing(CountingFile(), CountingFile()));
  ASSERT_EQ(lines.size(), kDumpRowCount);
  for (int row = 0; row < kDumpRowCount; ++row) {
    EXPECT_EQ(lines[row].size(), 78) << "row " << row;
    EXPECT_TRUE(
        lines[row].startsWith(QStringLiteral("[%1]: ").arg(row * 16, 4, 16, QLatin1Char('0')).toUpper().toLatin1()))
        << lines[row].constData();
  }
  EXPECT_EQ(lines[4], "[0040]: 40 41 42 43  44 45 46 47  48 49 4A 4B  4C 4D 4E 4F  @ABCDEFGHIJKLMNO\r\n");
  EXPECT_EQ(lines[7], "[0070]: 70 71 72 73  74 75 76 77  78 79 7A 7B  7C 7D 7E 7F  pqrstuvwxyz{|}~.\r\n");
}

TEST(CompareListing, ADifferenceAt0x013ShowsOnlyTheFourthFieldUnderRow0x010) {
  struct Case {
    uint8_t file2Byte;
    const char* lineB;
  };
  const Case cases[] = {
      {0x41, "                 41                                            A            \r\n"},
      {0xC8, "                 C8                                            .            \r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file2Byte);
    QByteArray file2 = CountingFile();
    file2[0x013] = static_cast<char>(c.file2Byte);
    const QList<QByteArray> lines = Lines(CompareListing(CountingFile(), file2));
    ASSERT_EQ(lines.size(), kDumpRowCount + 1);
    EXPECT_EQ(lines[1], "[0010]: 10 11 12 13  14 15 16 17  18 19 1A 1B  1C 1D 1E 1F  ................\r\n");
    EXPECT_EQ(lines[2], c.lineB);
    EXPECT_EQ(lines[2].size(), 78);
    EXPECT_TRUE(lines[3].startsWith("[0020]: "));
  }
}

TEST(CompareListing, LineBShowsEveryDifferingFieldBetweenItsGroupBlanks) {
  QByteArray file2 = CountingFile();
  for (int offset : {0x7F0, 0x7F3, 0x7F4, 0x7FF}) file2[offset] = 'x';
  const QList<QByteArray> lines = Lines(CompareListing(CountingFile(), file2));
  ASSERT_EQ(lines.size(), kDumpRowCount + 1);
  EXPECT_EQ(lines.last(), "        78       78  78                                 78  x  xx          x\r\n");
}

TEST(CompareListing, MissingBytesOfAShortInputCountAsZeroAndExtraBytesAreIgnored) {
  const QByteArray zeros(kDumpSize, '\0');
  EXPECT_EQ(CompareListing(zeros, QByteArray(3, '\0')), CompareListing(zeros, zeros));

  QByteArray longer = CountingFile() + QByteArray(500, 'z');
  EXPECT_EQ(CompareListing(longer, CountingFile()), CompareListing(CountingFile(), CountingFile()));

  const QList<QByteArray> lines = Lines(CompareListing(QByteArray(kDumpSize, '\x55'), QByteArray(0x7FE, '\x55')));
  ASSERT_EQ(lines.size(), kDumpRowCount + 1);
  EXPECT_EQ(lines.last(), "                                                     00 00                ..\r\n");

  const CompareSummary summary = SummarizeCompare(QByteArray(kDumpSize, '\x55'), QByteArray(0x7FE, '\x55'));
  EXPECT_EQ(summary.differing, 2);
  EXPECT_EQ(summary.firstDifference, 0x7FE);
  EXPECT_EQ(summary.size2, 0x7FE);
}

TEST(CArrayDump, TheDefaultImageAsCArrayLines) {
  const PagerImage image;
  const QList<QByteArray> lines = Lines(CArrayDump(image.data()));
  ASSERT_EQ(lines.size(), kDumpRowCount);
  EXPECT_EQ(
      lines[0],
      "0x5A,0xC3,0x01,0x23,0x45,0x67,0x01,0x23,0x45,0x68,0x01,0x23,0x45,0x69,0x01,0x23, //000 Z..#Eg.#Eh.#Ei.#\r\n");
  for (const QByteArray& line : lines) EXPECT_EQ(line.size(), 16 * 5 + 7 + 16 + 2);
  EXPECT_TRUE(lines.last().contains(" //7F0 "));

  const QByteArray counting = CountingFile();
  EXPECT_EQ(
      Lines(CArrayDump(reinterpret_cast<const uint8_t*>(counting.constData())))[7],
      "0x70,0x71,0x72,0x73,0x74,0x75,0x76,0x77,0x78,0x79,0x7A,0x7B,0x7C,0x7D,0x7E,0x7F, //070 pqrstuvwxyz{|}~.\r\n");
}

TEST(CArrayDump, TheExtensionDecidesTextInAnyCase) {
  const PagerImage image;
  const QByteArray raw(reinterpret_cast<const char*>(image.data()), kDumpSize);
  for (const char* name : {"dump.TXT", "dump.txt", "/a.b/dump.TxT"})
    EXPECT_EQ(DumpFileContents(QString::fromLatin1(name), image.data()), CArrayDump(image.data())) << name;
  for (const char* name : {"dump.BIN", "dump.hex", "dump.txt.bin", "/a.txt/dump"})
    EXPECT_EQ(DumpFileContents(QString::fromLatin1(name), image.data()), raw) << name;
}

// ---- the compare flow ----

class CompareFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteBytes(Path("one.BIN"), CountingFile()));
    QByteArray other = CountingFile();
    other[0x013] = 'A';
    ASSERT_TRUE(WriteBytes(Path("two.BIN"), other));
  }

  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  // Answers the dialogs in turn, recording their titles.
  CompareResult Run(QStringList answers, const std::optional<QString>& listing = std::nullopt) {
    return BinaryCompare(
        [&](const QString& title) {
          titles << title;
          return answers.isEmpty() ? QString() : answers.takeFirst();
        },
        listing, host);
  }

  QTemporaryDir dir;
  RecordingHost host;
  QStringList titles;
};

TEST_F(CompareFlow, WritesTheListingBesideFileOneWithAConfirmBeepAndNoStatus) {
  // Names typed without an extension get ".BIN".
  const CompareResult result = Run({Path("one"), Path("two")});
  EXPECT_EQ(result.outcome, CompareOutcome::Written);
  EXPECT_EQ(titles, (QStringList{"Select Compare Binary File 1", "Select Compare Binary File 2"}));
  EXPECT_EQ(result.listingPath, Path("CMP.TXT"));
  QByteArray other = CountingFile();
  other[0x013] = 'A';
  EXPECT_EQ(ReadAll(Path("CMP.TXT")), CompareListing(CountingFile(), other));
  EXPECT_TRUE(host.statuses.isEmpty());
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Confirm});
  EXPECT_EQ(result.summary.differing, 1);
  EXPECT_EQ(result.summary.firstDifference, 0x013);
}

TEST_F(CompareFlow, ACancelOrAFailureEndsWithItsTextAndNoBeep) {
  struct Case {
    QStringList answers;
    CompareOutcome outcome;
    QStringList statuses;
    int dialogs;
  };
  const QString missing = Path("missing.BIN");
  const Case cases[] = {
      {{}, CompareOutcome::Cancelled, {}, 1},
      {{Path("one.BIN")}, CompareOutcome::Cancelled, {}, 2},
      {{missing, Path("two.BIN")}, CompareOutcome::InputFailed, {"Open data file 1 error"}, 1},
      {{Path("one.BIN"), missing}, CompareOutcome::InputFailed, {"Open data file 2 error"}, 2},
      {{dir.path(), Path("two.BIN")}, CompareOutcome::InputFailed, {"Open data file 1 error"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers.join(QLatin1Char(' ')).toStdString());
    host = RecordingHost();
    titles.clear();
    EXPECT_EQ(Run(c.answers).outcome, c.outcome);
    EXPECT_EQ(host.statuses, c.statuses);
    EXPECT_TRUE(host.beeps.empty());
    EXPECT_EQ(titles.size(), c.dialogs);
    EXPECT_FALSE(QFile::exists(Path("CMP.TXT")));
  }
}

TEST_F(CompareFlow, AListingThatCannotBeWrittenLeavesTheOldOneAlone) {
  EXPECT_EQ(Run({Path("one.BIN"), Path("two.BIN")}, Path("no-such-folder/CMP.TXT")).outcome,
            CompareOutcome::OutputFailed);
  EXPECT_EQ(host.statuses, QStringList{"Open compare result error"});
  EXPECT_TRUE(host.beeps.empty());

  // The listing lands where it is told, replacing what was there.
  ASSERT_TRUE(WriteBytes(Path("old.TXT"), "old listing"));
  host = RecordingHost();
  EXPECT_EQ(Run({Path("one.BIN"), Path("one.BIN")}, Path("old.TXT")).outcome, CompareOutcome::Written);
  EXPECT_EQ(ReadAll(Path("old.TXT")), CompareListing(CountingFile(), CountingFile()));
  EXPECT_FALSE(QFile::exists(Path("CMP.TXT")));
}

// ---- the memory dump ----

class DumpOverPty : public ::testing::Test {
 protected:
  void StartSimulator(const QString& faults = {}) {
    SimulatorOptions options;
    options.faults = *ParseFaultPlan(faults);
    simulator = std::make_unique<SimulatorHost>(options);
    simulator->SetMemory(Patterned());
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    port = std::make_unique<SerialPort>(simulator->DevicePath());
    link = std::make_unique<AdapterLink>(*port);
  }

  // Every byte of the pager's memory differs from its neighbours and from the default image.
  static PagerImage Patterned() {
    PagerImage memory;
    for (int i = 0; i < kImageSize; ++i) memory[i] = static_cast<uint8_t>(i * 11 + 5);
    return memory;
  }

  // The dump as the window runs it: after a presence check that found the adapter.
  DumpOutcome Dump(const QString& answer, bool adapterReady = true) {
    const bool opened = port->OpenAdapterPort();
    return MemoryDump(
        *link, adapterReady && opened,
        [&](const QString& title) {
          titles << title;
          return answer;
        },
        host);
  }

  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  std::unique_ptr<SimulatorHost> simulator;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<AdapterLink> link;
  RecordingHost host;
  QStringList titles;
};

TEST_F(DumpOverPty, SavesTheWholeMemoryAsBinaryWithProgressAndAConfirmBeep) {
  StartSimulator();
  EXPECT_EQ(Dump(Path("pager")), DumpOutcome::Saved);

  const PagerImage memory = Patterned();
  EXPECT_EQ(ReadAll(Path("pager.BIN")), QByteArray(reinterpret_cast<const char*>(memory.data()), kDumpSize));
  EXPECT_EQ(simulator->Counted().blockReads, 32);
  EXPECT_EQ(titles, QStringList{"Save Data File"});
  EXPECT_EQ(host.statuses, (QStringList{"Reading Pager ... ", "File Saved ok"}));
  EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Confirm});
  ASSERT_EQ(host.progress.size(), 33u);
  EXPECT_EQ(host.progress[0], 0);  // 16 * 65 / 2048
  EXPECT_EQ(host.progress[1], 1);  // 16 * 129 / 2048
  EXPECT_EQ(host.progress[31], 16);
  EXPECT_EQ(host.progress[32], 0);  // back to rest when done
}

TEST_F(DumpOverPty, ALowerCaseTxtNameWritesTheCArrayText) {
  StartSimulator();
  EXPECT_EQ(Dump(Path("pager.txt")), DumpOutcome::Saved);
  const PagerImage memory = Patterned();
  EXPECT_EQ(ReadAll(Path("pager.txt")), CArrayDump(memory.data()));
}

TEST_F(DumpOverPty, AFailedReadSaysSoWithAnErrorBeepAndAsksForNoFile) {
  struct Case {
    const char* faults;
    bool adapterReady;
    int blockReads;
  };
  const Case cases[] = {
      {"read-silent:31", true, 32},  // the last block, beyond the range a pager read moves
      {"read-short:24", true, 25},
      {"read-nak:0", true, 1},
      {"", false, 0},  // no adapter answered the presence check: nothing is sent
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    StartSimulator(QString::fromLatin1(c.faults));
    host = RecordingHost();
    titles.clear();
    EXPECT_EQ(Dump(Path("never.BIN"), c.adapterReady), DumpOutcome::ReadFailed);
    EXPECT_EQ(host.statuses, (QStringList{"Reading Pager ... ", "Read Pager error !"}));
    EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
    EXPECT_EQ(host.progress.back(), 0);
    EXPECT_TRUE(titles.isEmpty());
    EXPECT_EQ(simulator->Counted().blockReads, c.blockReads);
    EXPECT_FALSE(QFile::exists(Path("never.BIN")));
  }
}

TEST_F(DumpOverPty, ACancelledOrFailedSaveKeepsAnyOldFile) {
  StartSimulator();
  EXPECT_EQ(Dump(QString()), DumpOutcome::Cancelled);
  EXPECT_EQ(host.statuses, QStringList{"Reading Pager ... "});
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(host.progress.back(), 0);

  host = RecordingHost();
  EXPECT_EQ(Dump(Path("no-such-folder/pager.BIN")), DumpOutcome::SaveFailed);
  EXPECT_EQ(host.statuses, (QStringList{"Reading Pager ... ", "Save data file error"}));
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(host.progress.back(), 0);
}

// ---- firmware status ----

class FirmwareReceiver : public ::testing::Test {
 protected:
  FirmwareReceiver()
      : firmware({[this](const QString& text) { statuses << text; },
                  [this](int percent) { progress.push_back(percent); }, [this] { ++portCloses; }}) {}

  FirmwareStatus firmware;
  QStringList statuses;
  std::vector<int> progress;
  int portCloses = 0;
};

TEST_F(FirmwareReceiver, EachCodeShowsItsTextAndEveryResultClosesThePort) {
  struct Case {
    int code;
    std::optional<const char*> status;
    std::optional<int> progress;
  };
  const Case cases[] = {
      {0, "Programming ...", 0},
      {57, "Programming ...", 57},
      {100, "Programming ...", 100},
      {-5, "Programming ...", -5},
      {101, std::nullopt, std::nullopt},
      {200, "Firmware program success ! (Time: 2.50s)", std::nullopt},
      {201, "Firmware program error !", std::nullopt},
      {202, std::nullopt, std::nullopt},
      {300, "Firmware read success ! (Time: 2.50s)", std::nullopt},
      {301, "Firmware read error !", std::nullopt},
      {0x7FFFFFFF, std::nullopt, std::nullopt},
  };
  firmware.SetProgressText(QStringLiteral("Programming ..."));
  firmware.RecordStart(1000);
  firmware.RecordEnd(1000 + CounterFrequency() * 5 / 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    statuses.clear();
    progress.clear();
    portCloses = 0;
    EXPECT_EQ(firmware.Receive(c.code), 0);
    EXPECT_EQ(statuses, c.status ? QStringList{QString::fromLatin1(*c.status)} : QStringList());
    EXPECT_EQ(progress, c.progress ? std::vector<int>{*c.progress} : std::vector<int>());
    EXPECT_EQ(portCloses, c.code > 100 ? 1 : 0);
  }
}

TEST_F(FirmwareReceiver, TheTimeIsTakenFromTheTwoClockReadingsInFiveColumns) {
  struct Case {
    double seconds;
    const char* status;
  };
  const Case cases[] = {
      {0.0, "Firmware read success ! (Time: 0.00s)"},
      {12.5, "Firmware read success ! (Time:12.50s)"},
      {125.25, "Firmware read success ! (Time:125.25s)"},
  };
  for (const Case& c : cases) {
    statuses.clear();
    firmware.RecordStart(0);
    firmware.RecordEnd(static_cast<int64_t>(c.seconds * static_cast<double>(CounterFrequency())));
    firmware.Receive(kFirmwareReadOk);
    EXPECT_EQ(statuses, QStringList{QString::fromLatin1(c.status)});
  }

  // Readings of the real clock: a later one is never earlier.
  firmware.RecordStart();
  firmware.RecordEnd();
  EXPECT_GE(firmware.ElapsedSeconds(), 0.0);
}

TEST_F(FirmwareReceiver, PostedEventsReachItOnTheObjectItWatches) {
  QObject window;
  window.installEventFilter(&firmware);
  firmware.SetProgressText(QStringLiteral("Reading firmware"));
  QCoreApplication::postEvent(&window, new FirmwareStatusEvent(40));
  QCoreApplication::postEvent(&window, new FirmwareStatusEvent(kFirmwareReadError));
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(statuses, (QStringList{"Reading firmware", "Firmware read error !"}));
  EXPECT_EQ(progress, std::vector<int>{40});
  EXPECT_EQ(portCloses, 1);
}
