// The programming history as a technician meets it: the real program's reads and writes against
// the simulated adapter recorded with their outcome, listed as a table and as CSV (read back by
// Python's csv module), a write undone from its --backup byte for byte, recording turned off,
// a history that cannot be written never costing the write, and the window and two batch
// processes writing one SQLite file at once without losing a record.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "core/history/history_store.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/simulator_host.h"
#include "core/pages/capcode.h"
#include "core/pages/general_page.h"
#include "gui/main_window.h"
#include "password_forms.h"
#include "qstring_printer.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;
using namespace m84::password_forms;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

std::unique_ptr<SimulatorHost> StartSimulator(const QString& faults = {},
                                              const PagerImage& memory = SimulatedPagerMemory()) {
  SimulatorOptions options;
  options.faults = *ParseFaultPlan(faults);
  auto simulator = std::make_unique<SimulatorHost>(options);
  simulator->SetMemory(memory);
  const m84::Outcome started = simulator->Start();
  EXPECT_TRUE(started) << started.failure().reason.toStdString();
  return simulator;
}

// Python's csv module, as a spreadsheet's stand-in: the rows as JSON objects.
QJsonArray CsvRows(const QString& csv) {
  QProcess python;
  python.start(QStringLiteral("python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import csv, io, json, sys; "
                               "print(json.dumps(list(csv.DictReader(io.StringIO(sys.stdin.read(), newline='')))))")});
  python.write(csv.toUtf8());
  python.closeWriteChannel();
  if (!python.waitForFinished(10000)) return {};
  return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

class HistoryCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("M84DPT_HISTORY"), historyFile());
  }

  QString historyFile() const { return dir.filePath(QStringLiteral("history.sqlite")); }
  QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }

  Outcome Program(const QStringList& arguments, const QByteArray& input = {}, const QString& folder = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty()) process.setWorkingDirectory(folder);
    process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
  }

  QString DataFile(const char* name, const PagerData& data) {
    const QString path = Path(name);
    EXPECT_TRUE(WriteFileAtomically(path, EncodeDatFile(data, 0)));
    return path;
  }

  QJsonArray History(const QStringList& filters = {}) {
    const Outcome listed = Program(QStringList{QStringLiteral("history"), QStringLiteral("--csv")} + filters);
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    return CsvRows(listed.out);
  }

  QTemporaryDir dir;
  QProcessEnvironment environment;
};

// Capcode 1 steps by +1 in a batch.
PagerData PagerWithCapcode(int capcode) {
  PagerData data;
  WriteCapcode(data.image, 0, uint32_t(capcode));
  data.selection.SetAutoIncrement(0, 3);
  return data;
}

TEST_F(HistoryCommands, ReadsWritesAndFailuresAreRecordedNewestFirst) {
  auto pager = StartSimulator();
  const QString file = DataFile("pager.DAT", PagerWithCapcode(4321));
  const QStringList port{QStringLiteral("--port"), pager->DevicePath()};
  ASSERT_EQ(Program(QStringList{QStringLiteral("read"), Path("read.DAT")} + port).exitCode, 0);
  ASSERT_EQ(Program(QStringList{QStringLiteral("write"), file, QStringLiteral("--no-keep-serial")} + port).exitCode, 0);
  auto refusing = StartSimulator(QStringLiteral("write-nak:4"));
  const Outcome failed = Program({QStringLiteral("write"), file, QStringLiteral("--port"), refusing->DevicePath()});
  ASSERT_EQ(failed.exitCode, 1);

  const QJsonArray rows = History();
  ASSERT_EQ(rows.size(), 3);
  struct Expected {
    const char* operation;
    const char* outcome;
    const char* status;
    const char* exitCode;
    const char* detail;
    QString port;
    QString file;
    const char* capcode1;
  };
  const Expected expected[] = {
      {"write", "failed", "Write Pager error !", "1", "block 0x100 write: acknowledged with 0x15 instead of 0x06",
       refusing->DevicePath(), file, "4321"},
      {"write", "ok", "DPT Verify ok !", "0", "", pager->DevicePath(), file, "4321"},
      {"read", "ok", "Read Pager ok !", "0", "", pager->DevicePath(), Path("read.DAT"), "1234567"},
  };
  for (int i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const QJsonObject row = rows[i].toObject();
    const Expected& e = expected[i];
    EXPECT_EQ(row["operation"].toString(), e.operation);
    EXPECT_EQ(row["outcome"].toString(), e.outcome);
    EXPECT_EQ(row["status"].toString(), e.status);
    EXPECT_EQ(row["exit_code"].toString(), e.exitCode);
    EXPECT_EQ(row["detail"].toString(), e.detail);
    EXPECT_EQ(row["port"].toString(), e.port);
    EXPECT_EQ(row["file"].toString(), e.file);
    EXPECT_EQ(row["capcode1"].toString(), e.capcode1);
    EXPECT_EQ(row["source"].toString(), "command line");
    EXPECT_EQ(row["frequency_hz"].toString(), "457575000");
  }
  EXPECT_EQ(rows[0].toObject()["id"].toString().toInt(), rows[2].toObject()["id"].toString().toInt() + 2);

  // The filters, and the table a person reads.
  EXPECT_EQ(History({QStringLiteral("--capcode"), QStringLiteral("4321")}).size(), 2);
  EXPECT_EQ(
      History({QStringLiteral("--capcode"), QStringLiteral("4321"), QStringLiteral("--limit"), QStringLiteral("1")})
          .first()
          .toObject()["outcome"]
          .toString(),
      "failed");
  EXPECT_EQ(History({QStringLiteral("--since"), QStringLiteral("2999-01-01")}).size(), 0);
  const Outcome table =
      Program({QStringLiteral("history"), QStringLiteral("--serial"), rows[2].toObject()["serial"].toString()});
  const QStringList lines = table.out.split('\n', Qt::SkipEmptyParts);
  // The failed write kept the pager's own serial number, as its file says; the other did not.
  ASSERT_EQ(lines.size(), 3) << table.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith("ID  Time (UTC)")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].contains("  write      failed   Write Pager error !  ")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].contains("  read       ok       Read Pager ok !      ")) << lines[2].toStdString();

  EXPECT_EQ(Program({QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("March")}).exitCode, 2);
  EXPECT_EQ(Program({QStringLiteral("history"), QStringLiteral("undo"), QStringLiteral("1")}).exitCode, 2);
}

// A spreadsheet runs a cell that starts as a formula does: such cells start with a quote.
TEST_F(HistoryCommands, CsvCellsThatASpreadsheetWouldRunAreText) {
  const QString cases[][2] = {
      {QStringLiteral("=HYPERLINK(\"http://x.example\",\"y\")"),
       QStringLiteral("'=HYPERLINK(\"http://x.example\",\"y\")")},
      {QStringLiteral("+cmd|' -c calc'!A0"), QStringLiteral("'+cmd|' -c calc'!A0")},
      {QStringLiteral("-2+3"), QStringLiteral("'-2+3")},
      {QStringLiteral("@SUM(A1:A2)"), QStringLiteral("'@SUM(A1:A2)")},
      {QStringLiteral("\t=1+1"), QStringLiteral("'\t=1+1")},
      {QStringLiteral("\r=1+1"), QStringLiteral("'\r=1+1")},
      {QStringLiteral("pager=1.DAT"), QStringLiteral("pager=1.DAT")},
      {QStringLiteral("plain.DAT"), QStringLiteral("plain.DAT")},
  };
  {
    HistoryStore store({HistoryLocation::Backend::SQLite, historyFile()});
    for (const auto& c : cases) {
      HistoryRecord record;
      record.time = QDateTime::currentDateTimeUtc();
      record.operation = QStringLiteral("write");
      record.outcome = QStringLiteral("ok");
      record.file = c[0];
      record.detail = c[0];
      ASSERT_TRUE(store.Append(record));
    }
  }
  const QJsonArray rows = History();
  ASSERT_EQ(rows.size(), int(std::size(cases)));
  for (int i = 0; i < rows.size(); ++i) {
    const QString& expected = cases[std::size(cases) - 1 - size_t(i)][1];
    SCOPED_TRACE(expected.toStdString());
    EXPECT_EQ(rows[i].toObject()["file"].toString(), expected);
    EXPECT_EQ(rows[i].toObject()["detail"].toString(), expected);
  }
}

TEST_F(HistoryCommands, BackupUndoesAWriteByteForByte) {
  // The pager holds settings of its own, with bytes in places no page edits.
  PagerImage old = SimulatedPagerMemory();
  WriteCapcode(old, 0, 777777);
  for (int at = 0x553; at < kExchangedSize; ++at) old[at] = uint8_t(at * 13);
  auto pager = StartSimulator({}, old);
  const QStringList port{QStringLiteral("--port"), pager->DevicePath()};
  const QString file = DataFile("new.DAT", PagerWithCapcode(1000));

  const Outcome written = Program(QStringList{QStringLiteral("write"), file, QStringLiteral("--backup")} + port);
  ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
  EXPECT_EQ(written.out,
            "File Loaded ok\nReading Pager ... \nRead Pager ok !\nWrite Data to Pager ... \nVerifying ... \nDPT Verify "
            "ok !\n");
  ASSERT_NE(pager->Memory(), old);
  const QJsonArray rows = History();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[1].toObject()["operation"].toString(), "backup");
  EXPECT_EQ(rows[1].toObject()["capcode1"].toString(), "777777");
  const QString backupId = rows[1].toObject()["id"].toString();

  // Restored as a raw image and as a data file: the pager's bytes, every one.
  ASSERT_EQ(Program({QStringLiteral("history"), QStringLiteral("restore"), backupId, Path("old.BIN")}).exitCode, 0);
  const QByteArray raw = ReadAll(Path("old.BIN"));
  ASSERT_EQ(raw.size(), kImageSize);
  EXPECT_EQ(raw.left(kExchangedSize), QByteArray(reinterpret_cast<const char*>(old.data()), kExchangedSize));
  const Outcome restored = Program({QStringLiteral("history"), QStringLiteral("restore"), backupId, Path("old")});
  ASSERT_EQ(restored.exitCode, 0);
  EXPECT_EQ(restored.out, "File Saved ok\n");
  const std::optional<PagerData> data = DecodeDatFile(ReadAll(Path("old.DAT")));
  ASSERT_TRUE(data);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data->image.data()), kImageSize), raw);

  // As a settings document: what "history show" prints, and what a YAML reader of another
  // language reads.
  ASSERT_EQ(Program({QStringLiteral("history"), QStringLiteral("restore"), backupId, Path("old.yaml")}).exitCode, 0);
  const Outcome shown = Program({QStringLiteral("history"), QStringLiteral("show"), backupId});
  ASSERT_EQ(shown.exitCode, 0) << shown.err.toStdString();
  EXPECT_TRUE(shown.out.startsWith("# M84 DPT settings, written by m84dpt ")) << shown.out.left(80).toStdString();
  EXPECT_EQ(shown.out.toUtf8(), ReadAll(Path("old.yaml")));
  QProcess python;
  python.start(QStringLiteral("python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import sys, yaml; yaml.safe_load(open(sys.argv[1])); print('ok')"), Path("old.yaml")});
  ASSERT_TRUE(python.waitForFinished(10000));
  EXPECT_EQ(python.readAllStandardOutput(), "ok\n") << python.readAllStandardError().toStdString();

  // Written back (through the pages' rules, as every write), the pager has its settings again,
  // the bytes no page edits among them.
  const Outcome undone =
      Program(QStringList{QStringLiteral("write"), Path("old.DAT"), QStringLiteral("--no-keep-serial")} + port);
  ASSERT_EQ(undone.exitCode, 0) << undone.err.toStdString();
  EXPECT_EQ(ReadCapcode(pager->Memory(), 0), 777777u);
  for (int at = 0x553; at < kExchangedSize; ++at) ASSERT_EQ(pager->Memory()[at], old[at]) << "at " << at;

  // Standard output takes the state as a data file: "-", and /dev/stdout redirected into a file,
  // which is never a "/dev/stdout.DAT".
  for (const QString& out : {QStringLiteral("-"), QStringLiteral("/dev/stdout")}) {
    SCOPED_TRACE(out.toStdString());
    QProcess shell;
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("sh"),
                {QStringLiteral("-c"), QStringLiteral("\"$0\" history restore \"$1\" \"$2\" > \"$3\""),
                 QStringLiteral(M84DPT_PROGRAM), backupId, out, Path("redirected")});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    const std::optional<PagerData> streamed = DecodeDatFile(ReadAll(Path("redirected")));
    ASSERT_TRUE(streamed);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(streamed->image.data()), kImageSize), raw);
  }
  EXPECT_FALSE(QFile::exists(QStringLiteral("/dev/stdout.DAT")));

  // Records that cannot be restored say why.
  const Outcome missing =
      Program({QStringLiteral("history"), QStringLiteral("restore"), QStringLiteral("999"), Path("x.BIN")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "m84dpt: the history has no record 999\n");
  EXPECT_FALSE(QFile::exists(Path("x.BIN")));
}

TEST_F(HistoryCommands, BackupThatCannotReadThePagerWritesNothing) {
  auto pager = StartSimulator(QStringLiteral("read-nak:3"));
  const PagerImage before = pager->Memory();
  const Outcome run = Program({QStringLiteral("write"), DataFile("new.DAT", PagerWithCapcode(1000)),
                               QStringLiteral("--backup"), QStringLiteral("--port"), pager->DevicePath()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "File Loaded ok\nReading Pager ... \nRead Pager error !\n");
  EXPECT_TRUE(run.err.endsWith("m84dpt: the pager was not written: its state before the write could not be read\n"))
      << run.err.toStdString();
  EXPECT_EQ(pager->Memory(), before);
  const QJsonArray rows = History();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0].toObject()["operation"].toString(), "backup");
  EXPECT_EQ(rows[0].toObject()["outcome"].toString(), "failed");
}

TEST_F(HistoryCommands, RecordingTurnedOffKeepsNothing) {
  auto pager = StartSimulator();
  const QStringList read{QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()};
  ASSERT_EQ(Program(read + QStringList{QStringLiteral("--no-history")}).exitCode, 0);
  environment.insert(QStringLiteral("M84DPT_NO_HISTORY"), QStringLiteral("1"));
  ASSERT_EQ(Program(read).exitCode, 0);
  EXPECT_FALSE(QFile::exists(historyFile()));
  // --backup has nowhere to keep the pager's state.
  const Outcome refused = Program({QStringLiteral("write"), Path("r.DAT"), QStringLiteral("--backup"),
                                   QStringLiteral("--port"), pager->DevicePath()});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_TRUE(
      refused.err.contains("--backup keeps the pager's state in the history, which M84DPT_NO_HISTORY turns off"));
}

TEST_F(HistoryCommands, HistoryThatCannotBeWrittenNeverCostsTheOperation) {
  auto pager = StartSimulator();
  QFile plain(Path("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  const QString unreachable = QStringLiteral("host=%1 dbname=m84 user=m84").arg(Path("no-server"));
  for (const QString& history : {Path("plain/h.sqlite"), unreachable}) {
    SCOPED_TRACE(history.toStdString());
    environment.insert(QStringLiteral("M84DPT_HISTORY"), history);
    const Outcome run = Program({QStringLiteral("write"), DataFile("w.DAT", PagerWithCapcode(1000)),
                                 QStringLiteral("--port"), pager->DevicePath()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.endsWith("DPT Verify ok !\n"));
    EXPECT_TRUE(run.err.contains("m84dpt: history: this write was not recorded: ")) << run.err.toStdString();
    EXPECT_EQ(ReadCapcode(pager->Memory(), 0), 1000u);
  }
}

// --backup exists so that a write can be undone: with its record lost, the write does not start.
TEST_F(HistoryCommands, BackupThatCannotBeRecordedWritesNothing) {
  auto pager = StartSimulator();
  const PagerImage before = pager->Memory();
  QFile plain(Path("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  const QString unreachable = QStringLiteral("host=%1 dbname=m84 user=m84").arg(Path("no-server"));
  const QString file = DataFile("w.DAT", PagerWithCapcode(1000));
  const QStringList batch{QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--same-capcodes")};
  for (const QString& history : {Path("plain/h.sqlite"), unreachable}) {
    for (const QStringList& extra : {QStringList(), batch}) {
      SCOPED_TRACE((history + QLatin1Char(' ') + extra.join(QLatin1Char(' '))).toStdString());
      environment.insert(QStringLiteral("M84DPT_HISTORY"), history);
      const Outcome run = Program(QStringList{QStringLiteral("write"), file, QStringLiteral("--backup"),
                                              QStringLiteral("--port"), pager->DevicePath()} +
                                  extra);
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_FALSE(run.out.contains("Write Data to Pager")) << run.out.toStdString();
      EXPECT_TRUE(run.err.contains("m84dpt: history: this backup was not recorded: ")) << run.err.toStdString();
      EXPECT_TRUE(
          run.err.contains("m84dpt: the pager was not written: its state before the write could not be kept "
                           "in the history"))
          << run.err.toStdString();
      EXPECT_EQ(pager->Memory(), before);
    }
  }
}

// Listing only reads: a store this user may not write (its file 0400, or its folder read-only
// without a log beside it) is listed as it is, and left so.
TEST_F(HistoryCommands, AStoreThatCannotBeWrittenIsStillListed) {
  if (::geteuid() != 0) GTEST_SKIP() << "run as root, the test lists as another user";
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (setpriv.isEmpty()) GTEST_SKIP() << "setpriv is missing";
  auto pager = StartSimulator();
  ASSERT_EQ(Program({QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()}).exitCode,
            0);
  const QString folder = Path("store");
  ASSERT_TRUE(QDir().mkdir(folder));
  const QString store = QDir(folder).filePath(QStringLiteral("history.sqlite"));
  ASSERT_TRUE(QFile::copy(historyFile(), store));
  environment.insert(QStringLiteral("M84DPT_HISTORY"), store);
  const QString nobody = QStringLiteral("65534");
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
  ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
  ASSERT_EQ(::chown(QFile::encodeName(store).constData(), 65534, 65534), 0);
  struct Case {
    const char* name;
    mode_t file;
    mode_t folder;
  };
  const Case cases[] = {{"file 0400", 0400, 0700}, {"folder 0500", 0600, 0500}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    for (const char* suffix : {"-wal", "-shm"}) QFile::remove(store + QLatin1String(suffix));
    ASSERT_EQ(::chmod(QFile::encodeName(store).constData(), c.file), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.folder), 0);
    const QByteArray before = ReadAll(store);
    for (const QStringList& listing :
         {QStringList{QStringLiteral("history")}, QStringList{QStringLiteral("history"), QStringLiteral("--csv")}}) {
      QProcess process;
      process.setProcessEnvironment(environment);
      process.start(setpriv, QStringList{QStringLiteral("--reuid=") + nobody, QStringLiteral("--regid=") + nobody,
                                         QStringLiteral("--clear-groups"), QStringLiteral(M84DPT_PROGRAM)} +
                                 listing);
      ASSERT_TRUE(process.waitForFinished(60000));
      EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
      const QString out = QString::fromUtf8(process.readAllStandardOutput());
      EXPECT_TRUE(out.contains(QLatin1String("Read Pager ok !"))) << out.toStdString();
    }
    EXPECT_EQ(ReadAll(store), before);
  }
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
}

TEST_F(HistoryCommands, WithoutTheVariableThePreferenceOrTheUsersDataFolderHoldsTheHistory) {
  environment.remove(QStringLiteral("M84DPT_HISTORY"));
  auto pager = StartSimulator();
  ASSERT_EQ(Program({QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()}).exitCode,
            0);
  const QString file = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Tarnwell/M84DPT/history.sqlite");
  EXPECT_TRUE(QFile::exists(file)) << file.toStdString();
  QFile::remove(file);

  // The preference names another store.
  const QString preferences = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwell/M84DPT.conf");
  ASSERT_TRUE(QDir().mkpath(QFileInfo(preferences).absolutePath()));
  {
    QFile ini(preferences);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nhistory=" + Path("shared.sqlite").toUtf8() + "\n");
  }
  ASSERT_EQ(Program({QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()}).exitCode,
            0);
  QFile::remove(preferences);
  EXPECT_TRUE(QFile::exists(Path("shared.sqlite")));
  EXPECT_FALSE(QFile::exists(file));
}

// The user's data folder by the XDG rules: XDG_DATA_HOME whenever it is an absolute path, HOME
// missing or not; a relative one ignored. Without a home that is the user's own (none, missing,
// the filesystem's root, another's), nothing is made anywhere and the message says why.
TEST_F(HistoryCommands, WithoutAHomeOfItsOwnTheHistoryIsRefusedAndNothingIsMade) {
  environment.remove(QStringLiteral("M84DPT_HISTORY"));
  auto pager = StartSimulator();
  const QString missing = Path("gone");
  const QString othersHome = Path("others");
  ASSERT_TRUE(QDir().mkpath(othersHome));
  ASSERT_EQ(::chown(QFile::encodeName(othersHome).constData(), ::geteuid() + 1, ::getegid()), 0);
  const QString xdg = Path("xdg-data");
  struct Case {
    const char* name;
    std::optional<QString> home;
    std::optional<QString> xdgDataHome;
    QString said;  // empty: the history is kept in XDG_DATA_HOME
  };
  const Case cases[] = {
      {"HOME unset", std::nullopt, std::nullopt, QStringLiteral("HOME is not set")},
      {"HOME missing", missing, std::nullopt, QStringLiteral("the home folder %1 does not exist").arg(missing)},
      {"HOME at the root", QStringLiteral("/"), std::nullopt, QStringLiteral("HOME is the filesystem's root (/)")},
      {"HOME of another user", othersHome, std::nullopt,
       QStringLiteral("the home folder %1 is not this user's own").arg(othersHome)},
      {"a relative XDG_DATA_HOME", QStringLiteral("/"), QStringLiteral("relxdg"),
       QStringLiteral("HOME is the filesystem's root (/) (XDG_DATA_HOME relxdg is no absolute path, so it is "
                      "ignored)")},
      {"an absolute XDG_DATA_HOME without HOME", std::nullopt, xdg, {}},
      {"an absolute XDG_DATA_HOME that is missing, HOME at the root", QStringLiteral("/"), xdg + "/new", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.home) {
      environment.insert(QStringLiteral("HOME"), *c.home);
    } else {
      environment.remove(QStringLiteral("HOME"));
    }
    if (c.xdgDataHome) {
      environment.insert(QStringLiteral("XDG_DATA_HOME"), *c.xdgDataHome);
    } else {
      environment.remove(QStringLiteral("XDG_DATA_HOME"));
    }
    const Outcome read =
        Program({QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()}, {}, dir.path());
    EXPECT_EQ(read.exitCode, 0);
    const Outcome listed = Program({QStringLiteral("history")}, {}, dir.path());
    if (c.said.isEmpty()) {
      EXPECT_FALSE(read.err.contains(QStringLiteral("not recorded"))) << read.err.toStdString();
      EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
      EXPECT_TRUE(QFile::exists(*c.xdgDataHome + QStringLiteral("/Tarnwell/M84DPT/history.sqlite")));
    } else {
      const QString reason = QStringLiteral(
                                 "no place for the history: %1, so the user's data folder is unknown; name the "
                                 "history's file in M84DPT_HISTORY, or turn the history off with "
                                 "M84DPT_NO_HISTORY=1")
                                 .arg(c.said);
      EXPECT_TRUE(read.err.contains(QStringLiteral("m84dpt: history: this read was not recorded: ") + reason))
          << read.err.toStdString();
      EXPECT_EQ(listed.exitCode, 1);
      EXPECT_EQ(listed.err, QStringLiteral("m84dpt: ") + reason + QLatin1Char('\n'));
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_FALSE(QFileInfo::exists(Path("relxdg"))) << "a relative XDG_DATA_HOME is ignored";
    EXPECT_EQ(QDir(othersHome).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/.local"))) << "nothing at the filesystem's root";
  }
}

// The store as every command shows it (a read's warning, history, doctor --json): never with its
// password, in any form libpq takes one.
TEST_F(HistoryCommands, NoCommandShowsTheStoresPassword) {
  auto pager = StartSimulator();
  for (const PasswordForm& c : PasswordForms(Path("nosocket"))) {
    SCOPED_TRACE(c.connection.toStdString());
    environment.insert(QStringLiteral("M84DPT_HISTORY"), c.connection);
    const Outcome read =
        Program({QStringLiteral("read"), Path("r.DAT"), QStringLiteral("--port"), pager->DevicePath()});
    const Outcome listed = Program({QStringLiteral("history")});
    const Outcome doctor = Program(
        {QStringLiteral("doctor"), QStringLiteral("--json"), QStringLiteral("--port"), QStringLiteral("/dev/null")});
    EXPECT_EQ(read.exitCode, 0);
    EXPECT_EQ(listed.exitCode, 1);
    for (const QString& said : {read.err, listed.err, doctor.out}) {
      EXPECT_TRUE(said.contains(c.shown)) << said.toStdString();
      for (const QString& secret : c.secrets) EXPECT_FALSE(said.contains(secret)) << said.toStdString();
    }
  }
}

// ---- the window ----

struct NoDialogs : FileDialogs {
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

// Transfers run on the window's own thread; the history is written when one has finished.
void Finish(MainWindow& window) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Busy(); }, 60000));
}

// Yes to every question: the reviewed write goes ahead.
struct YesQuestions : Questions {
  bool Confirm(QWidget*, const QString&) override { return true; }
  UnsavedChoice AskUnsaved(QWidget*, const QString&) override { return UnsavedChoice::Discard; }
  void ShowFailure(QWidget*, const QString&, const QString&) override {}
  bool ConfirmWrite(QWidget*, const QString&) override { return true; }
  void Withdraw() override {}
};

struct WindowHistory : HistoryCommands {
  std::unique_ptr<MainWindow> Window(PagerData& data, const QString& port, const HistoryLocation& location) {
    WindowOptions options{std::make_shared<NoDialogs>(), std::make_shared<RecordingTones>(), port};
    options.history = std::make_shared<PagerHistory>(location, kSourceWindow);
    options.questions = std::make_shared<YesQuestions>();
    return std::make_unique<MainWindow>(data, options);
  }
};

TEST_F(WindowHistory, TheWindowRecordsItsReadsAndWritesAndSaysWhenItCannot) {
  auto pager = StartSimulator();
  PagerData data;
  auto window = Window(data, pager->DevicePath(), ParseHistoryLocation(historyFile()));
  window->ReadCommand();
  Finish(*window);
  window->WriteCommand();
  Finish(*window);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");
  const QJsonArray rows = History();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toObject()["operation"].toString(), "write");
  EXPECT_EQ(rows[1].toObject()["operation"].toString(), "read");
  for (const QJsonValue& row : rows) {
    EXPECT_EQ(row.toObject()["source"].toString(), "window");
    EXPECT_EQ(row.toObject()["exit_code"].toString(), "");
  }

  window.reset();  // the port is the next window's
  QFile plain(Path("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  auto lost = Window(data, pager->DevicePath(), ParseHistoryLocation(Path("plain/h.sqlite")));
  lost->WriteCommand();
  Finish(*lost);
  EXPECT_EQ(lost->StatusText(MainWindow::kMessagePane), "DPT Verify ok ! (no history record)");
}

// A failed write from the window is filed under the serial number the pager holds: its own, where
// the write (keeping it) or a review before it read it, else none; never the pages' own.
TEST_F(WindowHistory, AFailedWriteIsFiledUnderThePagersSerialNumberNeverThePages) {
  struct Case {
    const char* what;
    bool keepSerial;     // the General page's box
    bool review;         // Write with Review
    const char* faults;  // the simulator's; nullptr: a port where no adapter answers
    const char* serial;  // the write's record's
  };
  const Case cases[] = {
      {"nothing read from the pager", false, false, "write-nak:5", ""},
      {"the serial number read to be kept", true, false, "write-nak:5", "7700000001"},
      {"the serial number read by the review", false, true, "write-nak:5", "7700000001"},
      {"no adapter", true, false, nullptr, ""},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PagerImage memory = SimulatedPagerMemory();
    std::copy_n("7700000001", 10, memory.data() + kSerialFirst);
    std::unique_ptr<SimulatorHost> pager;
    if (c.faults) pager = StartSimulator(QString::fromLatin1(c.faults), memory);
    PagerData data;
    std::copy_n("1234567890", 10, data.image.data() + kSerialFirst);
    data.selection.SetKeepSerial(c.keepSerial);
    const HistoryLocation location = ParseHistoryLocation(Path("window-%1.sqlite").arg(++number));
    auto window = Window(data, pager ? pager->DevicePath() : Path("no-adapter"), location);
    // The General page, whose box decides, as the person sees it; the review's question needs a
    // window on the screen.
    window->SwitchToAdvancedMode();
    window->show();
    if (c.review) {
      window->ReviewWriteCommand();
      Finish(*window);
      // The write follows the review's question.
      ASSERT_TRUE(QTest::qWaitFor(
          [&] { return window->StatusText(MainWindow::kMessagePane).startsWith("Write Pager error !"); }, 10000))
          << window->StatusText(MainWindow::kMessagePane).toStdString();
    } else {
      window->WriteCommand();
    }
    Finish(*window);
    HistoryStore store(location);
    const Result<std::vector<HistoryRecord>> listed = store.List({});
    ASSERT_TRUE(listed);
    ASSERT_FALSE(listed->empty());
    const HistoryRecord& write = listed->front();
    EXPECT_EQ(write.operation, OperationName(HistoryOperation::Write));
    EXPECT_EQ(write.outcome, kOutcomeFailed);
    EXPECT_EQ(write.serial, QString::fromLatin1(c.serial));
  }
}

// Two benches running batches, each with its own pager, and the window with a third, all writing
// one history at the same time.
TEST_F(WindowHistory, TheWindowAndTwoBatchesTogetherLoseNoRecord) {
  constexpr int kPagers = 6;
  std::vector<std::unique_ptr<SimulatorHost>> pagers;
  for (int i = 0; i < 3; ++i) pagers.push_back(StartSimulator());
  std::vector<std::unique_ptr<QProcess>> batches;
  for (int i = 0; i < 2; ++i) {
    const QString file = DataFile(i == 0 ? "a.DAT" : "b.DAT", PagerWithCapcode(1000 + 100 * i));
    // A batch refuses the pager it has just written, and these simulated pagers cannot be swapped:
    // each bench runs its batch as one --increment run per pager, one after the other.
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral("sh"),
                   {QStringLiteral("-c"),
                    QStringLiteral("for i in $(seq %1); do \"$0\" write \"$1\" --increment --backup "
                                   "--port \"$2\" || exit 1; done")
                        .arg(kPagers),
                    QStringLiteral(M84DPT_PROGRAM), file, pagers[size_t(i)]->DevicePath()});
    ASSERT_TRUE(process->waitForStarted());
    batches.push_back(std::move(process));
  }
  PagerData data;
  auto window = Window(data, pagers[2]->DevicePath(), ParseHistoryLocation(historyFile()));
  for (int i = 0; i < kPagers; ++i) {
    window->WriteCommand();
    Finish(*window);
  }
  for (auto& process : batches) {
    // The window's waits run the event loop, which may have seen the batch end already.
    ASSERT_TRUE(process->state() == QProcess::NotRunning || process->waitForFinished(60000));
    EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
  }

  QProcess shell;
  shell.start(QStringLiteral("sqlite3"),
              {historyFile(), QStringLiteral("SELECT source, operation, outcome, count(*) FROM "
                                             "pager_history GROUP BY 1, 2, 3 ORDER BY 1, 2")});
  ASSERT_TRUE(shell.waitForFinished(10000));
  EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()),
            "batch|backup|ok|12\nbatch|write|ok|12\nwindow|write|ok|6\n");
  // Each batch pager under its own capcode: 1104 went into the fifth pager of the second batch,
  // and the sixth held it before its write (the simulated pager is the same one each time).
  const QJsonArray rows = History({QStringLiteral("--capcode"), QStringLiteral("1104")});
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toObject()["operation"].toString(), "backup");
  EXPECT_EQ(rows[1].toObject()["operation"].toString(), "write");
}

}  // namespace
