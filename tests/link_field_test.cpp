// The link as a technician meets it, through the real program against the simulated adapter on
// a pseudo-terminal: a pulled cable, Ctrl+C and a closed terminal during a transfer, a write that
// stops part-way, the serial trace and the files it refuses, a blank pager, the port list, and
// programming a batch of pagers with consecutive capcodes and the guards around it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"
#include "core/link/simulator_host.h"
#include "core/pages/capcode.h"
#include "core/pages/model_page_set.h"

using namespace m84;

namespace {

constexpr int kInterrupted = 130;
constexpr uint8_t kOldByte = 0x5A;  // what the pager holds before a write

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program run as a technician runs it; its stdin stays open for the batch's prompts.
struct Program {
  QProcess process;

  void Start(const QStringList& arguments) {
    process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    ASSERT_TRUE(process.waitForStarted());
  }
  // Under a shell's file size limit of one 1024-byte block.
  void StartWithFileLimit(const QStringList& arguments) {
    process.start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"), QStringLiteral("ulimit -f 1; exec \"$0\" \"$@\""),
                              QStringLiteral(M84DPT_PROGRAM)} +
                      arguments);
    ASSERT_TRUE(process.waitForStarted());
  }
  // Waits until stdout (or stderr) holds text.
  bool WaitFor(const QString& text, bool onStderr = false, int limitMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
      const QByteArray& seen = onStderr ? err : out;
      if (seen.contains(text.toUtf8())) return true;
      if (std::chrono::steady_clock::now() > deadline || process.state() == QProcess::NotRunning) return false;
      process.waitForReadyRead(50);
      Collect();
    }
  }
  int Finish() {
    process.closeWriteChannel();
    process.waitForFinished(30000);
    Collect();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
  void Signal(int signal) { ::kill(static_cast<pid_t>(process.processId()), signal); }
  void Collect() {
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
  }
  QByteArray out;
  QByteArray err;
};

class LinkInTheField : public ::testing::Test {
 protected:
  void StartSimulator(bool pace, const QString& faults = {}) {
    SimulatorOptions options;
    options.pace = pace;
    options.faults = *ParseFaultPlan(faults);
    simulator = std::make_unique<SimulatorHost>(options);
    PagerImage old = SimulatedPagerMemory();
    std::fill(old.data(), old.data() + kExchangedSize, kOldByte);
    simulator->SetMemory(old);
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    port = simulator->DevicePath();
  }

  // A data file whose every exchanged byte differs from the old memory.
  QString DataFile(const PagerData& data = PagerData()) {
    const QString path = dir.filePath(QStringLiteral("batch.DAT"));
    EXPECT_TRUE(WriteFileAtomically(path, EncodeDatFile(data, 0)));
    return path;
  }

  // The block addresses from..to (exclusive) hold the file's image, the rest of the exchanged
  // range the old bytes.
  void ExpectWrittenUpTo(const PagerImage& image, int end) {
    const PagerImage memory = simulator->Memory();
    for (int at = 0; at < kExchangedSize; ++at) {
      const uint8_t expected = at < end ? image[at] : kOldByte;
      ASSERT_EQ(memory[at], expected) << "at " << at << ", written up to " << end;
    }
  }

  QStringList Port() const { return {QStringLiteral("--port"), port}; }

  // The technician takes the pager out and puts pager `number` of the batch in, whose serial
  // number is its own.
  void SwapPager(int number) {
    PagerImage next = SimulatedPagerMemory();
    std::fill(next.data(), next.data() + kExchangedSize, kOldByte);
    const QByteArray serial = QStringLiteral("55500000%1").arg(number, 2, 10, QLatin1Char('0')).toLatin1();
    std::copy(serial.begin(), serial.end(), next.data() + kSerialFirst);
    next[kSerialLast] = 0;
    simulator->SetMemory(next);
  }

  QTemporaryDir dir;
  std::unique_ptr<SimulatorHost> simulator;
  QString port;
};

// The image a write of this data file puts into the pager: the pages load the file and store
// their rules back before the write, as the write command has them do.
PagerImage WrittenImage(const QString& file) {
  std::optional<PagerData> data = DecodeDatFile(ReadAll(file));
  if (!data) return PagerImage();
  ModelPageSet pages(*data, DisplayMode::Advanced);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  return data->image;
}

int WrittenEnd(const QByteArray& err) {
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("blocks 0x000 to 0x([0-9A-F]{3}) hold the new contents"))
          .match(QString::fromUtf8(err));
  return m.hasMatch() ? m.captured(1).toInt(nullptr, 16) + kBlockSize : 0;
}

}  // namespace

TEST_F(LinkInTheField, APulledCableIsNamedWithTheBlockByTheProgramAndTheSimulator) {
  struct Case {
    const char* command;
    const char* status;
  };
  for (const Case& c : {Case{"read", "Read Pager error !"}, Case{"write", "Write Pager error !"}}) {
    SCOPED_TRACE(c.command);
    Program simulate;
    simulate.Start({QStringLiteral("simulate"), QStringLiteral("--fault"), QStringLiteral("unplug:4")});
    ASSERT_TRUE(simulate.WaitFor(QStringLiteral("\n")));
    port = QString::fromUtf8(simulate.out).trimmed();
    const bool write = QLatin1String(c.command) == QLatin1String("write");
    QStringList arguments{QLatin1String(c.command)};
    arguments << (write ? QStringList{DataFile(), QStringLiteral("--no-keep-serial")}
                        : QStringList{dir.filePath(QStringLiteral("out.DAT"))});
    Program program;
    program.Start(arguments + Port());
    EXPECT_EQ(program.Finish(), 1);
    EXPECT_TRUE(program.out.contains(c.status)) << program.out.toStdString();
    EXPECT_TRUE(program.err.contains("m84dpt: block 0x100"));
    EXPECT_TRUE(program.err.contains("the adapter was disconnected")) << program.err.toStdString();
    EXPECT_FALSE(program.err.contains("\r"));  // no progress bar where stderr is no terminal
    if (write)
      EXPECT_TRUE(
          program.err.contains("blocks 0x000 to 0x0C0 hold the new contents, blocks 0x100 to 0x5C0 still hold "
                               "the old contents; writing again repairs it"))
          << program.err.toStdString();

    simulate.Signal(SIGTERM);
    simulate.Finish();
    EXPECT_TRUE(simulate.err.contains("cable pulled at block 0x100")) << simulate.err.toStdString();
  }
}

TEST_F(LinkInTheField, ARefusedWriteSaysWhichBlocksHoldWhat) {
  StartSimulator(false, QStringLiteral("write-nak:5"));
  const QString file = DataFile();
  Program program;
  program.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--no-keep-serial")} + Port());
  EXPECT_EQ(program.Finish(), 1);
  EXPECT_TRUE(program.out.contains("Write Pager error !"));
  EXPECT_TRUE(
      program.err.contains("m84dpt: the pager is half-written: blocks 0x000 to 0x100 hold the new contents, "
                           "blocks 0x140 to 0x5C0 still hold the old contents; writing again repairs it\n"))
      << program.err.toStdString();
  ExpectWrittenUpTo(WrittenImage(file), 5 * kBlockSize);
}

TEST_F(LinkInTheField, CtrlCEndsAReadOrDumpAfterTheBlockInProgressAndTheNextReadWorks) {
  struct Case {
    const char* command;
    const char* out;
    int signal;
    int delayMs;
  };
  const Case cases[] = {
      {"read", "read.DAT", SIGINT, 150},
      {"read", "read.DAT", SIGINT, 700},
      {"read", "read.DAT", SIGTERM, 1300},
      {"dump", "dump.BIN", SIGINT, 900},
  };
  StartSimulator(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.command << " " << c.delayMs);
    const QString out = dir.filePath(QLatin1String(c.out));
    Program program;
    program.Start(QStringList{QLatin1String(c.command), out} + Port());
    ASSERT_TRUE(program.WaitFor(QStringLiteral("Reading Pager")));
    QThread::msleep(static_cast<unsigned long>(c.delayMs));
    program.Signal(c.signal);
    EXPECT_EQ(program.Finish(), kInterrupted);
    EXPECT_TRUE(program.out.contains("Read Pager error !"));
    EXPECT_TRUE(program.err.contains("m84dpt: interrupted before block 0x")) << program.err.toStdString();
    EXPECT_TRUE(program.err.contains("; nothing saved"));
    EXPECT_FALSE(QFile::exists(out));
    // At once, with no pause for the line to settle.
    const QString next = dir.filePath(QStringLiteral("next.DAT"));
    EXPECT_EQ(RunReadCommand(QStringList{next} + Port()), 0);
    EXPECT_TRUE(QFile::remove(next));
  }
}

TEST_F(LinkInTheField, TheFirstCtrlCDuringAWriteWarnsAndTheSecondStopsHalfWritten) {
  StartSimulator(true);
  const QString file = DataFile();
  const PagerImage image = WrittenImage(file);

  Program once;
  once.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--no-keep-serial")} + Port());
  ASSERT_TRUE(once.WaitFor(QStringLiteral("Write Data to Pager")));
  QThread::msleep(400);
  once.Signal(SIGINT);
  EXPECT_EQ(once.Finish(), 0);
  EXPECT_TRUE(once.out.contains("DPT Verify ok !"));
  EXPECT_TRUE(once.err.contains("stopping now would leave the pager half-written")) << once.err.toStdString();
  ExpectWrittenUpTo(image, kExchangedSize);

  StartSimulator(true);
  Program twice;
  twice.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--no-keep-serial")} + Port());
  ASSERT_TRUE(twice.WaitFor(QStringLiteral("Write Data to Pager")));
  QThread::msleep(400);
  twice.Signal(SIGINT);
  ASSERT_TRUE(twice.WaitFor(QStringLiteral("half-written"), true));
  twice.Signal(SIGINT);
  EXPECT_EQ(twice.Finish(), kInterrupted);
  EXPECT_TRUE(twice.out.contains("Write Pager error !"));
  const int end = WrittenEnd(twice.err);
  ASSERT_GT(end, 0) << twice.err.toStdString();
  ASSERT_LT(end, kExchangedSize);
  ExpectWrittenUpTo(image, end);

  // Writing again repairs it.
  EXPECT_EQ(RunWriteCommand(QStringList{file, QStringLiteral("--no-keep-serial")} + Port()), 0);
  ExpectWrittenUpTo(image, kExchangedSize);
}

TEST_F(LinkInTheField, TheTraceOfAProbe) {
  StartSimulator(false);
  const QString trace = dir.filePath(QStringLiteral("trace.txt"));
  ASSERT_EQ(RunProbeCommand(Port() + QStringList{QStringLiteral("--trace"), trace}), 0);
  QString text = QString::fromUtf8(ReadAll(trace));
  text.replace(QRegularExpression(QStringLiteral("^# m84dpt probe, \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"),
                                  QRegularExpression::MultilineOption),
               QStringLiteral("# m84dpt probe, DATE"));
  text.replace(QRegularExpression(QStringLiteral("^ *\\d+\\.\\d "), QRegularExpression::MultilineOption),
               QStringLiteral("T "));
  text.replace(port, QStringLiteral("PORT"));
  EXPECT_EQ(text.toStdString(),
            "# m84dpt probe, DATE\n"
            "T open PORT\n"
            "T -> 0D 06 00 FA 00 00 40 00 B1  probe\n"
            "T <- 28\n");
}

TEST_F(LinkInTheField, ABatchStepsTheCapcodesSavesTheFileAfterEachPagerAndStopsAtTheFirstFailure) {
  StartSimulator(false);
  PagerData data;
  const int start[] = {1000, 2000000, 300};
  const int stepIndex[] = {3, 4, 0};  // +1, +8, -8
  for (int row = 0; row < 3; ++row) {
    WriteCapcode(data.image, row, uint32_t(start[row]));
    data.image[CapcodeFieldOffset(row)] &= static_cast<uint8_t>(~kCapcodeEnableBit);
    data.selection.SetAutoIncrement(row, stepIndex[row]);
  }
  for (int row = 3; row < kCapcodeRowCount; ++row) data.image[CapcodeFieldOffset(row)] |= kCapcodeEnableBit;
  const QString file = DataFile(data);
  QByteArray fileAfter[3];

  Program batch;
  batch.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--increment"), QStringLiteral("--count"),
                          QStringLiteral("3"), QStringLiteral("--no-keep-serial")} +
              Port());
  for (int next = 2; next <= 3; ++next) {
    SCOPED_TRACE(next);
    ASSERT_TRUE(batch.WaitFor(QStringLiteral("Insert the next pager and press Enter (pager %1 of 3)").arg(next), true))
        << batch.err.toStdString();
    const int written = next - 1;
    const PagerImage memory = simulator->Memory();
    const PagerImage saved = WrittenImage(file);
    fileAfter[written] = ReadAll(file);
    for (int row = 0; row < 3; ++row) {
      const int step = AutoIncrementStep(stepIndex[row]);
      EXPECT_EQ(int(ReadCapcode(memory, row)), start[row] + step * (written - 1)) << "row " << row;
      EXPECT_EQ(int(ReadCapcode(saved, row)), start[row] + step * written) << "row " << row;
    }
    if (next == 3) simulator->SetFaults(*ParseFaultPlan(QStringLiteral("write-nak:5")));
    SwapPager(next);
    batch.process.write("\n");
  }
  EXPECT_EQ(batch.Finish(), 1);
  EXPECT_TRUE(
      batch.err.startsWith("m84dpt: plan: 3 pager(s); capcode 1: 1000 to 1002, capcode 2: 2000000 to 2000016, "
                           "capcode 3: 300 to 284\n"))
      << batch.err.toStdString();
  EXPECT_EQ(ReadAll(file), fileAfter[2]);  // the failed pager changed nothing in the file
  EXPECT_TRUE(
      batch.out.contains("2 of 3 pager(s) written; capcode 1: 1000 to 1001, capcode 2: 2000000 to 2000008, "
                         "capcode 3: 300 to 292\n"))
      << batch.out.toStdString();
}

TEST_F(LinkInTheField, ABatchStopsBeforeWritingWhenACapcodeWouldLeaveItsRange) {
  StartSimulator(false);
  PagerData data;
  WriteCapcode(data.image, 0, uint32_t(kCapcodeMax));
  data.selection.SetAutoIncrement(0, 3);  // +1
  const QString file = DataFile(data);
  const QByteArray before = ReadAll(file);
  Program batch;
  batch.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--increment")} + Port());
  EXPECT_EQ(batch.Finish(), 1);
  EXPECT_TRUE(batch.err.contains("capcode 1 would step from 2097151 to 2097152, outside 8 to 2097151"))
      << batch.err.toStdString();
  EXPECT_EQ(simulator->Counted().blockWrites, 0);
  EXPECT_EQ(ReadAll(file), before);
}

TEST(TerminalProgress, DrawsOneLineOnlyWhereEnabledAndClearsItBeforeStatusLines) {
  for (bool enabled : {true, false}) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
      TerminalProgress bar(stream, enabled);
      bar.Show(8);
      bar.Show(16);
      bar.Clear();
      bar.Clear();  // nothing drawn: nothing to clear
    }
    std::rewind(stream);
    char text[512] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(
        std::string(text, length),
        enabled ? "\r[################................]  50 %\r[################################] 100 %\r\033[K" : "");
  }
}

namespace {

// A data file whose capcode 1 starts at `capcode` and steps by the selection `stepIndex`; every
// other row keeps its default step (0 for the default file, whose steps are all 0).
PagerData BatchData(int capcode, std::optional<int> stepIndex) {
  PagerData data;
  WriteCapcode(data.image, 0, uint32_t(capcode));
  for (int row = 0; row < kCapcodeRowCount; ++row) data.selection.SetAutoIncrement(row, 2);  // step 0
  if (stepIndex) data.selection.SetAutoIncrement(0, *stepIndex);
  return data;
}

}  // namespace

// Everything the batch can know before its first write refuses it there: the pager keeps its
// memory and the file its bytes.
TEST_F(LinkInTheField, ABatchIsRefusedBeforeItsFirstWrite) {
  struct Case {
    const char* what;
    int capcode;
    std::optional<int> stepIndex;
    const char* options;
    bool fileLimit;
    const char* err;
  };
  const Case cases[] = {
      {"all steps 0", 1000, std::nullopt, "--increment --count 3", false,
       "every Auto Increment step in .*batch.DAT is 0, so each pager would get the same capcodes; .*--same-capcodes"},
      {"all steps 0, one pager", 1000, std::nullopt, "--increment", false, "every Auto Increment step"},
      {"the last step leaves the range", kCapcodeMax - 1, 3, "--increment --count 2", false,
       "capcode 1 would step from 2097151 to 2097152, outside 8 to 2097151 after pager 2; nothing written"},
      {"the file cannot be saved", 1000, 3, "--increment --count 2", true,
       "batch.DAT cannot be saved after each pager \\(File too large\\); nothing written"},
  };
  StartSimulator(false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString file = DataFile(BatchData(c.capcode, c.stepIndex));
    const QByteArray before = ReadAll(file);
    Program batch;
    const QStringList arguments =
        QStringList{QStringLiteral("write"), file} + QString::fromLatin1(c.options).split(QLatin1Char(' ')) + Port();
    if (c.fileLimit)
      batch.StartWithFileLimit(arguments);
    else
      batch.Start(arguments);
    EXPECT_EQ(batch.Finish(), 1);
    EXPECT_TRUE(QRegularExpression(QString::fromLatin1(c.err)).match(QString::fromUtf8(batch.err)).hasMatch())
        << batch.err.toStdString();
    EXPECT_EQ(batch.out, "File Loaded ok\n");  // no "Write Data to Pager ... "
    EXPECT_EQ(ReadAll(file), before);
  }
  // Not the simulator's counts: a test program running beside this one may still open a
  // pseudo-terminal whose number was its own a moment ago.
}

TEST_F(LinkInTheField, SameCapcodesProgramsIdenticalPagersOnPurpose) {
  StartSimulator(false);
  const QString file = DataFile(BatchData(1000, std::nullopt));
  const QByteArray before = ReadAll(file);
  Program batch;
  batch.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--same-capcodes"), QStringLiteral("--count"),
                          QStringLiteral("2"), QStringLiteral("--keep-serial")} +
              Port());
  ASSERT_TRUE(batch.WaitFor(QStringLiteral("(pager 2 of 2)"), true)) << batch.err.toStdString();
  SwapPager(2);
  batch.process.write("\n");
  EXPECT_EQ(batch.Finish(), 0) << batch.err.toStdString();
  EXPECT_TRUE(batch.out.contains("2 of 2 pager(s) written; capcode 1: 1000, ")) << batch.out.toStdString();
  EXPECT_EQ(int(ReadCapcode(simulator->Memory(), 0)), 1000);
  EXPECT_EQ(ReadAll(file), before);
}

// Enter pressed without swapping: the pager in the adapter is the one just written.
TEST_F(LinkInTheField, ABatchAsksAgainWhenThePagerWasNotSwapped) {
  StartSimulator(false);
  const QString file = DataFile(BatchData(1000, 3));
  Program batch;
  batch.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--increment"), QStringLiteral("--count"),
                          QStringLiteral("2"), QStringLiteral("--keep-serial")} +
              Port());
  ASSERT_TRUE(batch.WaitFor(QStringLiteral("(pager 2 of 2)"), true)) << batch.err.toStdString();
  const int writesAfterFirst = simulator->Counted().blockWrites;
  batch.process.write("\n");
  ASSERT_TRUE(batch.WaitFor(QStringLiteral("the one just written; insert the next pager\n"), true))
      << batch.err.toStdString();
  ASSERT_TRUE(batch.WaitFor(QStringLiteral("(pager 2 of 2)\n"), true));
  EXPECT_EQ(batch.err.count("(pager 2 of 2)"), 2);
  EXPECT_EQ(simulator->Counted().blockWrites, writesAfterFirst);
  SwapPager(2);
  batch.process.write("\n");
  EXPECT_EQ(batch.Finish(), 0) << batch.err.toStdString();
  EXPECT_EQ(int(ReadCapcode(simulator->Memory(), 0)), 1001);
  EXPECT_EQ(QString::fromLatin1(reinterpret_cast<const char*>(simulator->Memory().data() + kSerialFirst)),
            QStringLiteral("5550000002"));  // kept its own
}

// Closing the terminal during a write: the write and its verify are finished, then the exit
// says so. During a read it stops the read, as Ctrl+C does.
TEST_F(LinkInTheField, AClosedTerminalFinishesAWriteAndStopsARead) {
  StartSimulator(true);
  const QString file = DataFile();
  Program write;
  write.Start(QStringList{QStringLiteral("write"), file, QStringLiteral("--no-keep-serial")} + Port());
  ASSERT_TRUE(write.WaitFor(QStringLiteral("Write Data to Pager")));
  QThread::msleep(400);
  write.Signal(SIGHUP);
  EXPECT_EQ(write.Finish(), 129);
  EXPECT_TRUE(write.out.contains("DPT Verify ok !")) << write.out.toStdString();
  ExpectWrittenUpTo(WrittenImage(file), kExchangedSize);
  EXPECT_EQ(simulator->Counted().ends, 1);

  const QString out = dir.filePath(QStringLiteral("read.DAT"));
  Program read;
  read.Start(QStringList{QStringLiteral("read"), out} + Port());
  ASSERT_TRUE(read.WaitFor(QStringLiteral("Reading Pager")));
  QThread::msleep(400);
  read.Signal(SIGHUP);
  EXPECT_EQ(read.Finish(), 129);
  EXPECT_TRUE(read.err.contains("; nothing saved")) << read.err.toStdString();
  EXPECT_FALSE(QFile::exists(out));
}

// A trace only appends to a trace of ours, and never to the command's own files; every refusal
// comes before a byte is sent.
TEST_F(LinkInTheField, TheTraceRefusesFilesThatAreNotTraces) {
  StartSimulator(false);
  const QString image = dir.filePath(QStringLiteral("img.BIN"));
  ASSERT_TRUE(WriteFileAtomically(image, QByteArray(kImageSize, '\x11')));
  const QString file = DataFile();
  const QString fifo = dir.filePath(QStringLiteral("fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  QDir::setCurrent(dir.path());
  struct Case {
    QStringList arguments;
    QString err;
  };
  const Case cases[] = {
      {{"probe", "--trace", image},
       image + ": not a trace of this program (its first line does not begin with \"# m84dpt\")"},
      {{"read", "rb", "--trace", "rb.DAT"}, "rb.DAT: the command's own file"},
      {{"read", "rb", "--base", file, "--trace", file}, file + ": the command's own file"},
      {{"dump", "d", "--trace", dir.filePath(QStringLiteral("d.BIN"))},
       dir.filePath(QStringLiteral("d.BIN")) + ": the command's own file"},
      {{"write", file, "--trace", "./batch.DAT"}, "./batch.DAT: the command's own file"},
      {{"write", file, "--increment", "--trace", file}, file + ": the command's own file"},
      {{"probe", "--trace", fifo}, fifo + ": not a regular file"},
      // Looks regular, keeps nothing.
      {{"probe", "--trace", "/proc/self/mem"},
       "/proc/self/mem: a file of the kernel (/proc, /sys), which keeps no trace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    Program program;
    program.Start(c.arguments + Port());
    EXPECT_EQ(program.Finish(), 1);
    EXPECT_EQ(QString::fromUtf8(program.err), QStringLiteral("m84dpt: the trace cannot be written: ") + c.err + "\n");
    EXPECT_FALSE(program.out.contains("Pager")) << program.out.toStdString();  // nothing started
  }
  EXPECT_EQ(ReadAll(image), QByteArray(kImageSize, '\x11'));
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("rb.DAT"))));

  // A trace of ours takes the next run's lines after its own.
  const QString trace = dir.filePath(QStringLiteral("trace.txt"));
  for (int run = 0; run < 2; ++run)
    ASSERT_EQ(RunProbeCommand(Port() + QStringList{QStringLiteral("--trace"), trace}), 0);
  EXPECT_EQ(ReadAll(trace).count("# m84dpt probe, "), 2);

  // A trace into /dev/stdout redirected into a file shares it with the command's output, which
  // goes on after the trace's lines rather than over them; a terminal or /dev/null takes it too.
  const QString shared = dir.filePath(QStringLiteral("shared.txt"));
  QProcess shell;
  shell.start(QStringLiteral("sh"),
              {QStringLiteral("-c"), QStringLiteral("\"$0\" probe --port \"$1\" --trace /dev/stdout > \"$2\""),
               QStringLiteral(M84DPT_PROGRAM), port, shared});
  ASSERT_TRUE(shell.waitForFinished(30000));
  EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
  const QByteArray both = ReadAll(shared);
  EXPECT_TRUE(both.startsWith("# m84dpt probe, ")) << both.toStdString();
  EXPECT_TRUE(both.contains(" probe\n")) << both.toStdString();
  EXPECT_TRUE(both.endsWith("\nOK\n")) << both.toStdString();
  EXPECT_EQ(RunProbeCommand(Port() + QStringList{QStringLiteral("--trace"), QStringLiteral("/dev/null")}), 0);
}

// A trace that cannot be written (a full disk) is said on standard error as soon as it is lost,
// the operation goes on to its end as it would, and the exit code then says the trace is gone.
TEST_F(LinkInTheField, ALostTraceIsSaidAtOnceAndFailsTheCommandAfterItsWork) {
  const QString lost = QStringLiteral("m84dpt: the trace to /dev/full is lost: No space left on device\n");
  StartSimulator(true);
  const QString out = dir.filePath(QStringLiteral("r.DAT"));
  Program read;
  read.Start(QStringList{QStringLiteral("read"), out, QStringLiteral("--trace"), QStringLiteral("/dev/full")} + Port());
  ASSERT_TRUE(read.WaitFor(QStringLiteral("is lost"), true));
  EXPECT_EQ(read.process.state(), QProcess::Running) << "said while the read goes on";
  EXPECT_EQ(read.Finish(), 1);
  EXPECT_TRUE(read.out.contains("Read Pager ok !")) << read.out.toStdString();
  EXPECT_TRUE(QFile::exists(out));
  EXPECT_EQ(QString::fromUtf8(read.err).count(lost), 1) << read.err.toStdString();

  StartSimulator(false);
  const QString file = DataFile();
  const PagerImage image = WrittenImage(file);
  struct Case {
    QStringList arguments;
    const char* done;  // on standard output: the operation went through
  };
  const Case cases[] = {
      {{"probe"}, "OK"},
      {{"write", file, "--no-keep-serial"}, "DPT Verify ok !"},
      {{"dump", dir.filePath(QStringLiteral("d.BIN"))}, "File Saved ok"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    Program program;
    program.Start(c.arguments + QStringList{QStringLiteral("--trace"), QStringLiteral("/dev/full")} + Port());
    EXPECT_EQ(program.Finish(), 1);
    EXPECT_TRUE(program.out.contains(c.done)) << program.out.toStdString();
    EXPECT_EQ(QString::fromUtf8(program.err).count(lost), 1) << program.err.toStdString();
  }
  ExpectWrittenUpTo(image, kExchangedSize);

  // A disk that fills part-way through the read: a tmpfs of one page, in a mount namespace of the
  // run's own where the machine allows one.
  const QString small = dir.filePath(QStringLiteral("small"));
  ASSERT_TRUE(QDir().mkpath(small));
  constexpr int kNoMount = 77;
  QProcess full;
  full.start(QStringLiteral("unshare"),
             {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
              QStringLiteral("mount -t tmpfs -o size=4k tmpfs \"$0\" || exit %1; exec \"$@\"").arg(kNoMount), small,
              QStringLiteral(M84DPT_PROGRAM), QStringLiteral("read"), out, QStringLiteral("--trace"),
              small + QStringLiteral("/trace.log"), QStringLiteral("--port"), port});
  if (!full.waitForFinished(30000) || full.exitCode() == kNoMount || full.exitStatus() != QProcess::NormalExit) {
    std::printf("no small tmpfs could be mounted here; the full disk was /dev/full alone\n");
    return;
  }
  EXPECT_EQ(full.exitCode(), 1);
  EXPECT_TRUE(full.readAllStandardOutput().contains("Read Pager ok !"));
  const QByteArray said = full.readAllStandardError();
  EXPECT_TRUE(said.contains(
      QStringLiteral("m84dpt: the trace to %1/trace.log is lost: No space left on device\n").arg(small).toUtf8()))
      << said.toStdString();
}

// One adapter behind two names (its device and a link to it, as /dev/serial/by-id/... is to
// /dev/ttyUSB0) is taken by one command at a time, and one run is refused it twice.
TEST_F(LinkInTheField, OneAdapterBehindTwoNamesServesOneCommandAtATime) {
  StartSimulator(true);
  const QString alias = dir.filePath(QStringLiteral("alias"));
  ASSERT_TRUE(QFile::link(port, alias));
  Program read;
  read.Start(QStringList{QStringLiteral("read"), dir.filePath(QStringLiteral("r.DAT"))} + Port());
  ASSERT_TRUE(read.WaitFor(QStringLiteral("Reading Pager")));
  Program dump;
  dump.Start({QStringLiteral("dump"), dir.filePath(QStringLiteral("d.BIN")), QStringLiteral("--port"), alias});
  EXPECT_EQ(dump.Finish(), 1);
  EXPECT_TRUE(dump.err.contains(
      QStringLiteral("%1: in use by m84dpt (pid %2)").arg(alias).arg(read.process.processId()).toUtf8()))
      << dump.err.toStdString();
  EXPECT_EQ(read.Finish(), 0) << read.err.toStdString();
  EXPECT_TRUE(read.out.contains("Read Pager ok !"));
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("d.BIN"))));

  Program fleet;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("M84DPT_HISTORY"), dir.filePath(QStringLiteral("history.sqlite")));
  environment.remove(QStringLiteral("M84DPT_NO_HISTORY"));
  fleet.process.setProcessEnvironment(environment);
  fleet.Start({QStringLiteral("fleet"), QStringLiteral("run"), dir.filePath(QStringLiteral("order.csv")),
               QStringLiteral("--port"), port, QStringLiteral("--port"), alias});
  EXPECT_EQ(fleet.Finish(), 2);
  EXPECT_TRUE(fleet.err.startsWith(
      QStringLiteral("m84dpt fleet: --port %1 and --port %2 are one device: give each adapter once\n")
          .arg(port, alias)
          .toUtf8()))
      << fleet.err.toStdString();
}

TEST_F(LinkInTheField, ReadAndDumpCheckTheOutputFolderBeforeTheTransfer) {
  StartSimulator(false);
  for (const char* command : {"read", "dump"}) {
    SCOPED_TRACE(command);
    const QString out = dir.filePath(QStringLiteral("nowhere/x"));
    Program program;
    program.Start(QStringList{QLatin1String(command), out} + Port());
    EXPECT_EQ(program.Finish(), 1);
    EXPECT_EQ(program.out, "Save data file error\n");  // no "Reading Pager ... "
    EXPECT_TRUE(program.err.endsWith(": No such file or directory\n")) << program.err.toStdString();
  }
}

// The read saves what it got, as asked, and warns beside the fixed text.
TEST_F(LinkInTheField, ABlankPagerReadsWithAWarning) {
  struct Case {
    const char* what;
    uint8_t fill;
    bool serialDigits;
    bool warned;
  };
  const Case cases[] = {
      {"erased", 0xFF, false, true},
      {"zeros", 0x00, false, true},
      {"serial number not digits", 0x41, false, true},
      {"programmed", 0x41, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimulatorOptions options;
    simulator = std::make_unique<SimulatorHost>(options);
    PagerImage memory = SimulatedPagerMemory();
    std::fill(memory.data(), memory.data() + kExchangedSize, c.fill);
    if (c.serialDigits) std::copy_n("1234567890", 10, memory.data() + kSerialFirst);
    simulator->SetMemory(memory);
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    port = simulator->DevicePath();
    const QString out = dir.filePath(QStringLiteral("blank.DAT"));
    Program read;
    read.Start(QStringList{QStringLiteral("read"), out} + Port());
    EXPECT_EQ(read.Finish(), 0);
    EXPECT_TRUE(read.out.contains("Read Pager ok !\n"));
    EXPECT_EQ(read.err.contains("m84dpt: the pager's memory looks blank\n"), c.warned) << read.err.toStdString();
    EXPECT_TRUE(QFile::exists(out));
    QFile::remove(out);
  }
}

TEST_F(LinkInTheField, PortsMarksThePortWhereTheAdapterAnswers) {
  struct Case {
    const char* faults;
    int exitCode;
    const char* mark;
  };
  for (const Case& c : {Case{"", 0, "adapter answers"}, Case{"probe:silent", 1, "no adapter answer"}}) {
    SCOPED_TRACE(c.mark);
    StartSimulator(false, QLatin1String(c.faults));
    Program ports;
    ports.Start(QStringList{QStringLiteral("ports")} + Port());
    EXPECT_EQ(ports.Finish(), c.exitCode);
    const QRegularExpression line(
        QStringLiteral("^%1 +- +%2$").arg(QRegularExpression::escape(port), QLatin1String(c.mark)),
        QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(QString::fromUtf8(ports.out)).hasMatch()) << ports.out.toStdString();
  }
}

// The simulate command as a separate program: its memory file holds a write by the time the
// write command has ended, and a pulled cable ends it.
TEST_F(LinkInTheField, TheSimulatorKeepsItsMemoryFileBeforeTheEndAndStopsAfterAPulledCable) {
  const QString memory = dir.filePath(QStringLiteral("pager.BIN"));
  Program simulate;
  simulate.Start({QStringLiteral("simulate"), QStringLiteral("--memory"), memory});
  ASSERT_TRUE(simulate.WaitFor(QStringLiteral("\n")));
  port = QString::fromUtf8(simulate.out).trimmed();
  const QString file = DataFile();
  ASSERT_EQ(RunWriteCommand(QStringList{file, QStringLiteral("--no-keep-serial")} + Port()), 0);
  const QByteArray kept = ReadAll(memory).left(kExchangedSize);
  const PagerImage image = WrittenImage(file);
  EXPECT_EQ(kept, QByteArray(reinterpret_cast<const char*>(image.data()), kExchangedSize));
  simulate.Signal(SIGTERM);
  EXPECT_EQ(simulate.Finish(), 0);

  Program unplugged;
  unplugged.Start({QStringLiteral("simulate"), QStringLiteral("--fault"), QStringLiteral("unplug:probe")});
  ASSERT_TRUE(unplugged.WaitFor(QStringLiteral("\n")));
  port = QString::fromUtf8(unplugged.out).trimmed();
  EXPECT_EQ(RunProbeCommand(Port()), 1);
  EXPECT_TRUE(unplugged.process.waitForFinished(10000)) << "the simulator still runs after the cable was pulled";
  unplugged.Collect();
  EXPECT_TRUE(unplugged.err.contains("cable pulled at the probe")) << unplugged.err.toStdString();
}

// The memory file is read only when it is a regular file of 2048 bytes, and without blocking: a
// FIFO, a device that never ends, a folder or a huge sparse file is refused at once.
TEST_F(LinkInTheField, TheSimulatorTakesOnlyARegularMemoryFileOfTheImagesSize) {
  const QString fifo = dir.filePath(QStringLiteral("fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString sparse = dir.filePath(QStringLiteral("sparse.BIN"));
  {
    QFile file(sparse);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(1) << 30));
  }
  const QString shortFile = dir.filePath(QStringLiteral("short.BIN"));
  ASSERT_TRUE(WriteFileAtomically(shortFile, QByteArray(kImageSize - 1, '\0')));
  const QString holds = QStringLiteral("a pager memory file is a regular file of exactly 2048 bytes");
  const QString cases[][2] = {
      {QStringLiteral("/dev/zero"), QStringLiteral("/dev/zero: no regular file; ") + holds},
      {fifo, fifo + QStringLiteral(": no regular file; ") + holds},
      {dir.path(), dir.path() + QStringLiteral(": no regular file; ") + holds},
      {sparse, sparse + QStringLiteral(": ") + holds},
      {shortFile, shortFile + QStringLiteral(": ") + holds},
  };
  for (const auto& [memory, said] : cases) {
    SCOPED_TRACE(memory.toStdString());
    Program simulate;
    simulate.Start({QStringLiteral("simulate"), QStringLiteral("--memory"), memory});
    ASSERT_TRUE(simulate.process.waitForFinished(10000)) << "still running";
    EXPECT_EQ(simulate.Finish(), 1);
    EXPECT_EQ(simulate.out, "");
    EXPECT_EQ(QString::fromUtf8(simulate.err), QStringLiteral("m84dpt: ") + said + QLatin1Char('\n'));
  }
}

// The window's presence check, once a second, goes into its trace as a count; any other
// exchange, and the end of the trace, writes the count first.
TEST(SerialTraceOfTheWindow, CountsPresenceChecksAndWritesEverythingElse) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("window.txt"));
  const AdapterFrame frame = ReadBlockFrame(0x000);
  const AdapterFrame probe = ProbeFrame();
  const uint8_t answer = kProbeReply;
  {
    SerialTrace trace;
    const Outcome opened = trace.Open(path, QStringLiteral("m84dpt window"));
    ASSERT_TRUE(opened) << opened.failure().reason.toStdString();
    trace.SummarizePresenceChecks();
    for (int check = 0; check < 3; ++check) {
      trace.Opened(QStringLiteral("/dev/ttyUSB0"));
      trace.Sent(probe.data(), kFrameSize);
      if (check != 1) trace.Received(&answer, 1, false);
    }
    trace.Opened(QStringLiteral("/dev/ttyUSB0"));
    trace.Sent(frame.data(), kFrameSize);
    trace.Opened(QStringLiteral("/dev/ttyUSB0"));
    trace.Sent(probe.data(), kFrameSize);
    trace.Received(&answer, 1, false);
  }
  QString text = QString::fromUtf8(ReadAll(path));
  text.replace(QRegularExpression(QStringLiteral("^ *\\d+\\.\\d "), QRegularExpression::MultilineOption),
               QStringLiteral("T "));
  text.replace(QRegularExpression(QStringLiteral(" in \\d+\\.\\d s:")), QStringLiteral(" in S s:"));
  const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1);
  EXPECT_EQ(
      lines,
      (QStringList{QStringLiteral("T 3 presence check(s) in S s: 2 answered, 1 not"),
                   QStringLiteral("T open /dev/ttyUSB0"),
                   QStringLiteral("T -> 0D 06 28 C3 00 00 40 00 %1  read block 0x000")
                       .arg(QString::number(frame[kFrameSize - 1], 16).toUpper().rightJustified(2, QLatin1Char('0'))),
                   QStringLiteral("T 1 presence check(s) in S s: 1 answered, 0 not")}))
      << text.toStdString();
}
