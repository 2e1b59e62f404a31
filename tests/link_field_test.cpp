// The link as a technician meets it, through the real program against the simulated adapter on
// a pseudo-terminal: a pulled cable, Ctrl+C during a transfer, a write that stops part-way, the
// serial trace, and programming a batch of pagers with consecutive capcodes.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/commands.h"
#include "app/terminal_progress.h"
#include "image/dat_file.h"
#include "link/adapter_link.h"
#include "link/serial_port.h"
#include "link/simulator_host.h"
#include "pages/capcode.h"
#include "pages/model_page_set.h"

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
    options.faults = *ParseFaultPlan(faults, nullptr);
    simulator = std::make_unique<SimulatorHost>(options);
    PagerImage old = SimulatedPagerMemory();
    std::fill(old.data(), old.data() + kExchangedSize, kOldByte);
    simulator->SetMemory(old);
    QString error;
    ASSERT_TRUE(simulator->Start(&error)) << error.toStdString();
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
      QRegularExpression(QStringLiteral("blocks 0x000 to 0x([0-9A-F]{3}) hold the new contents")).match(QString::fromUtf8(err));
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
      EXPECT_TRUE(program.err.contains("blocks 0x000 to 0x0C0 hold the new contents, blocks 0x100 to 0x5C0 still hold "
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
  EXPECT_TRUE(program.err.contains("m84dpt: the pager is half-written: blocks 0x000 to 0x100 hold the new contents, "
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
    if (next == 3) simulator->SetFaults(*ParseFaultPlan(QStringLiteral("write-nak:5"), nullptr));
    batch.process.write("\n");
  }
  EXPECT_EQ(batch.Finish(), 1);
  EXPECT_EQ(ReadAll(file), fileAfter[2]);  // the failed pager changed nothing in the file
  EXPECT_TRUE(batch.out.contains("2 of 3 pager(s) written; capcode 1: 1000 to 1001, capcode 2: 2000000 to 2000008, "
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
    EXPECT_EQ(std::string(text, length),
              enabled ? "\r[################................]  50 %\r[################################] 100 %\r\033[K"
                      : "");
  }
}
