// The read, write and probe commands against the simulated adapter on a pseudo-terminal: what
// decides keeping the serial number, and which results give exit code 0.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "cli/commands.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"
#include "core/link/simulator_process.h"
#include "core/settings/settings_document.h"

using namespace m84;

namespace {

QString SerialNumber(const PagerImage& image) {
  return QString::fromLatin1(reinterpret_cast<const char*>(image.data() + kSerialFirst));
}

class LinkCommands : public ::testing::Test {
 protected:
  void StartSimulator(const QString& faults = {}) {
    SimulatorOptions options;
    options.faults = *ParseFaultPlan(faults);
    simulator = std::make_unique<SimulatorHost>(options);
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    port = simulator->DevicePath();
  }

  // A data file whose serial number differs from the simulated pager's.
  QString DataFile(bool keepSerialByte) {
    PagerData data;
    std::memcpy(data.image.data() + kSerialFirst, "1234567890", 11);
    data.selection.SetKeepSerial(keepSerialByte);
    const QString path = dir.filePath(keepSerialByte ? QStringLiteral("keep.DAT") : QStringLiteral("overwrite.DAT"));
    EXPECT_TRUE(WriteFileAtomically(path, EncodeDatFile(data, 0)));
    return path;
  }

  QTemporaryDir dir;
  std::unique_ptr<SimulatorHost> simulator;
  QString port;
};

}  // namespace

TEST_F(LinkCommands, WriteTakesTheKeepSerialChoiceFromTheFileUnlessTold) {
  struct Case {
    bool fileKeeps;
    const char* option;
    bool pagerKeeps;
  };
  const Case cases[] = {
      {true, nullptr, true},
      {false, nullptr, false},
      {false, "--keep-serial", true},
      {true, "--no-keep-serial", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "file keeps " << c.fileKeeps << ", option " << (c.option ? c.option : "none"));
    StartSimulator();
    const QString pagerSerial = SerialNumber(simulator->Memory());
    QStringList arguments{DataFile(c.fileKeeps), QStringLiteral("--port"), port};
    if (c.option) arguments << QString::fromLatin1(c.option);

    EXPECT_EQ(RunWriteCommand(arguments), 0);
    EXPECT_EQ(SerialNumber(simulator->Memory()), c.pagerKeeps ? pagerSerial : QStringLiteral("1234567890"));
  }
}

TEST_F(LinkCommands, OnlyAVerifiedWriteAndAReadThatSucceededCountAsSuccess) {
  StartSimulator(QStringLiteral("corrupt:0x100"));
  EXPECT_EQ(RunWriteCommand({DataFile(false), QStringLiteral("--port"), port}), 1);

  StartSimulator(QStringLiteral("read-nak:7"));
  const QString failedRead = dir.filePath(QStringLiteral("failed.DAT"));
  EXPECT_EQ(RunReadCommand({failedRead, QStringLiteral("--port"), port}), 1);
  EXPECT_FALSE(QFile::exists(failedRead));

  StartSimulator();
  const QString read = dir.filePath(QStringLiteral("read.DAT"));
  EXPECT_EQ(RunReadCommand({read, QStringLiteral("--port"), port}), 0);
  QFile saved(read);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const std::optional<PagerData> data = DecodeDatFile(saved.readAll());
  ASSERT_TRUE(data);
  EXPECT_EQ(SerialNumber(data->image), SerialNumber(simulator->Memory()));
}

TEST_F(LinkCommands, ProbeSucceedsOnlyOnTheAdaptersAnswer) {
  StartSimulator();
  EXPECT_EQ(RunProbeCommand({QStringLiteral("--port"), port}), 0);
  StartSimulator(QStringLiteral("probe:0x06"));
  EXPECT_EQ(RunProbeCommand({QStringLiteral("--port"), port}), 1);
  EXPECT_EQ(RunProbeCommand({QStringLiteral("--port"), dir.filePath(QStringLiteral("no-such-port"))}), 1);
  EXPECT_EQ(RunProbeCommand({QStringLiteral("extra")}), 2);
}

TEST(SimulatorProcess, ServesTheDevicePathItPrintsUntilStopped) {
  SimulatorProcess simulator;
  const Outcome started = simulator.Start({QStringLiteral("--fault"), QStringLiteral("read-nak:3")}, M84DPT_PROGRAM);
  ASSERT_TRUE(started) << started.failure().reason.toStdString();
  SerialPort port(simulator.DevicePath());
  AdapterLink link(port);
  EXPECT_EQ(link.PresenceCheck(), AdapterState::Ready);
  uint8_t block[kImageSize];
  EXPECT_FALSE(link.ReadBlocks(0x0C0, 0x0FF, block, nullptr));  // the arguments reached the child
  port.Close();

  simulator.Stop();
  EXPECT_EQ(link.PresenceCheck(), AdapterState::Absent);
}

// --dry-run reads the pager and prints exactly the settings a write would change, one a line,
// and writes nothing; --review asks, and writes only on yes.
TEST_F(LinkCommands, DryRunAndReviewPrintTheSettingsAWriteWouldChange) {
  StartSimulator();
  const QString read = dir.filePath(QStringLiteral("pager.DAT"));
  ASSERT_EQ(RunReadCommand({read, QStringLiteral("--port"), port}), 0);
  QFile readFile(read);
  ASSERT_TRUE(readFile.open(QIODevice::ReadOnly));
  const std::optional<PagerData> pager = DecodeDatFile(readFile.readAll());
  ASSERT_TRUE(pager);
  QByteArray text = WriteSettingsDocument(*pager);
  ASSERT_TRUE(text.contains("startup_text: "));
  text = QString::fromUtf8(text)
             .replace(QRegularExpression(QStringLiteral("startup_text: \"[^\"]*\"")),
                      QStringLiteral("startup_text: \"Reviewed\""))
             .replace(QRegularExpression(QStringLiteral("contrast: \"Level \\d+\"")),
                      QStringLiteral("contrast: \"Level 3\""))
             .toUtf8();
  const QString changed = dir.filePath(QStringLiteral("changed.yaml"));
  ASSERT_TRUE(WriteFileAtomically(changed, text));
  const PagerImage before = simulator->Memory();

  const auto run = [&](const QStringList& arguments, const QByteArray& input = {}) {
    QProcess program;
    program.start(QStringLiteral(M84DPT_PROGRAM),
                  QStringList{QStringLiteral("write")} + arguments + QStringList{QStringLiteral("--port"), port});
    program.write(input);
    program.closeWriteChannel();
    EXPECT_TRUE(program.waitForFinished(30000));
    return std::make_pair(program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()));
  };
  const auto [same, sameSaid] = run({read, QStringLiteral("--dry-run")});
  EXPECT_EQ(same, 0);
  EXPECT_EQ(sameSaid, QStringLiteral("No setting will change\n"));

  const auto [differs, said] = run({changed, QStringLiteral("--dry-run")});
  EXPECT_EQ(differs, 1);
  const QStringList lines = said.trimmed().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2) << said.toStdString();
  EXPECT_EQ(lines.filter(QStringLiteral("Reviewed")).size(), 1) << said.toStdString();
  EXPECT_EQ(lines.filter(QStringLiteral("Level 3")).size(), 1) << said.toStdString();
  EXPECT_EQ(simulator->Memory(), before);

  const auto [refused, refusedSaid] = run({changed, QStringLiteral("--review")}, "n\n");
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(refusedSaid, said);
  EXPECT_EQ(simulator->Memory(), before);
  const auto [written, writtenSaid] = run({changed, QStringLiteral("--review")}, "y\n");
  EXPECT_EQ(written, 0);
  EXPECT_TRUE(writtenSaid.startsWith(said)) << writtenSaid.toStdString();
  EXPECT_NE(simulator->Memory(), before);
  EXPECT_EQ(run({changed, QStringLiteral("--dry-run")}).first, 0);
}
