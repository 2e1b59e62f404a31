// Fleet orders from the real program, as a bench meets them: "fleet check" reporting every fault
// at once, "fleet run" programming the rows on several simulated adapters at once (each handing
// over a fresh pager after every write, as --swap does), resuming after a stop, a failed row
// tried again on the next run, the swap guard refusing a pager the order already wrote, and
// "fleet status" saying what is done.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/control_characters.h"
#include "core/fleet/fleet_order.h"
#include "core/fleet/fleet_runner.h"
#include "core/fleet/order_csv.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"
#include "core/history/pager_history.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/simulator_host.h"
#include "core/pages/capcode.h"
#include "order_template.h"
#include "qstring_printer.h"
#include "silent_server.h"

using namespace m84;
using namespace m84::fleet;

namespace {

// The shell's convention for a program ended by Ctrl+C.
constexpr int kInterruptedExit = 130;

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

const QByteArray kTemplate = kOneCapcodeTemplate;

QByteArray OrderOf(int rows, int firstCapcode = 1200100) {
  QByteArray csv = "label,general.capcodes[1].capcode,display.standby_text_1\r\n";
  for (int i = 0; i < rows; ++i)
    csv += QStringLiteral("\"Ward %1, bed %2\",%3,OWNER %2\r\n")
               .arg(i / 4 + 1)
               .arg(i + 1)
               .arg(firstCapcode + 8 * i)
               .toUtf8();
  return csv;
}

// A fresh pager whose serial number starts at `serial`, swapped after every write.
std::unique_ptr<SimulatorHost> StartSimulator(const char* serial, bool swap = true, const QString& faults = {}) {
  SimulatorOptions options;
  options.swap = swap;
  options.faults = *ParseFaultPlan(faults);
  auto simulator = std::make_unique<SimulatorHost>(options);
  PagerImage memory = SimulatedPagerMemory();
  std::memcpy(memory.data() + kSerialFirst, serial, std::strlen(serial) + 1);
  simulator->SetMemory(memory);
  const m84::Outcome started = simulator->Start();
  EXPECT_TRUE(started) << started.failure().reason.toStdString();
  return simulator;
}

class FleetCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("M84DPT_HISTORY"), History().target);
    ASSERT_TRUE(WriteFileAtomically(Path("template.yaml"), kTemplate));
  }

  HistoryLocation History() const {
    if (history) return *history;
    return {HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("history.sqlite"))};
  }
  QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }

  Outcome Program(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
  }

  QProcess* StartRun(const std::vector<const SimulatorHost*>& adapters, const QString& order,
                     const QByteArray& enters) {
    auto* process = new QProcess;
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(dir.path());
    QStringList arguments = {"fleet", "run", "order.csv", "--template", "template.yaml", "--order", order};
    for (const SimulatorHost* adapter : adapters) arguments << "--port" << adapter->DevicePath();
    process->start(QStringLiteral(M84DPT_PROGRAM), arguments);
    // Into the pipe now: a QProcess writes only while it is waited for, and the benches are
    // waited for one after the other.
    process->waitForStarted();
    process->write(enters);
    process->waitForBytesWritten();
    process->closeWriteChannel();
    return process;
  }

  // The program started with these arguments and one Enter on its standard input, then left to run.
  std::unique_ptr<QProcess> StartWithOneEnter(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(dir.path());
    process->start(QStringLiteral(M84DPT_PROGRAM), arguments);
    EXPECT_TRUE(process->waitForStarted());
    process->write("\n");
    process->waitForBytesWritten();
    process->closeWriteChannel();
    return process;
  }

  Outcome Run(const std::vector<const SimulatorHost*>& adapters, const QByteArray& enters) {
    QStringList arguments = {"fleet", "run", "order.csv", "--template", "template.yaml"};
    for (const SimulatorHost* adapter : adapters) arguments << "--port" << adapter->DevicePath();
    return Program(arguments, enters);
  }

  // The order as the program reads it, over the same template.
  Order ReadBack() const {
    const Result<PagerData> templateData = LoadOrderTemplate(Path("template.yaml"));
    EXPECT_TRUE(templateData);
    const Result<Order> order = LoadOrder(Path("order.csv"), *templateData);
    EXPECT_TRUE(order);
    return *order;
  }

  // The rows the history keeps for the order, and the record of each done row's write.
  std::vector<RowRecord> Rows() {
    HistoryStore store(History());
    const Result<std::vector<RowRecord>> rows = OrderState(store, orderName).Rows();
    EXPECT_TRUE(rows) << rows.failure().Text().toStdString();
    return rows ? *rows : std::vector<RowRecord>{};
  }

  // Every done row's record holds the row's image (with the pager's own serial number) and
  // the pager holds it too; no pager was written twice, no capcode given twice.
  void ExpectDoneRowsMatchTheirRecords(const Order& order) {
    HistoryStore store(History());
    QSet<QString> serials;
    for (const RowRecord& row : Rows()) {
      if (row.state != kRowDone) continue;
      SCOPED_TRACE(row.row);
      ASSERT_TRUE(row.historyId);
      const Result<std::optional<HistoryRecord>> found = store.Find(*row.historyId);
      ASSERT_TRUE(found && *found && (*found)->data);
      const HistoryRecord& record = **found;
      EXPECT_EQ(record.outcome, kOutcomeOk);
      EXPECT_EQ(record.source, kSourceFleet);
      EXPECT_EQ(record.file, QStringLiteral("order.csv:%1").arg(row.row));
      EXPECT_EQ(record.serial, row.serial);
      PagerImage expected = order.Row(row.row)->data.image;
      for (int i = kSerialFirst; i < kSerialLast; ++i) expected[i] = record.data->image[i];
      for (int i = 0; i < kTransferLast + 1; ++i) ASSERT_EQ(record.data->image[i], expected[i]) << i;
      EXPECT_FALSE(serials.contains(row.serial)) << row.serial.toStdString();
      serials.insert(row.serial);
    }
  }

  QTemporaryDir dir;
  QProcessEnvironment environment;
  QString orderName = QStringLiteral("order");
  std::optional<HistoryLocation> history;
};

TEST_F(FleetCommands, CheckReportsEveryFaultAtOnceAndWritesNothing) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"),
                                  "label,general.capcodes[1].capcode,display.lcd_contrast\r\n"
                                  "A,1200100,Level 1\r\nB,7,Level 2\r\nC,1200100,Level 3\r\n"));
  const Outcome refused = Program({"fleet", "check", "order.csv", "--template", "template.yaml"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err,
            "order.csv:1:display.lcd_contrast: unknown column 'display.lcd_contrast'; did you mean display.contrast?\n"
            "order.csv:3:general.capcodes[1].capcode: '7': Capcode must be in range 8 to 2097151\n"
            "order.csv:4:general.capcodes[1].capcode: capcode 1200100 is also row 2's: two pagers would answer it (a "
            "call the pagers share: --shared general.capcodes[1].capcode)\n");
  // A run refuses the same order before any adapter is touched.
  const Outcome run = Program({"fleet", "run", "order.csv", "--template", "template.yaml", "--port", "/dev/null"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.contains("order.csv has faults; nothing written")) << run.err.toStdString();
  EXPECT_FALSE(QFile::exists(History().target));

  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(3)));
  EXPECT_EQ(Program({"fleet", "check", "order.csv", "--template", "template.yaml"}).out, "order.csv: 3 row(s) ready\n");
  // The order keeps the template of its first good check: later commands need not name it.
  EXPECT_EQ(Program({"fleet", "check", "order.csv"}).out, "order.csv: 3 row(s) ready\n");
}

TEST_F(FleetCommands, TwoAdaptersProgramEveryRowOnceAndTheNextRunFindsNothingLeft) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(6)));
  const auto first = StartSimulator("1000000000");
  const auto second = StartSimulator("2000000000");
  const Outcome run = Run({first.get(), second.get()}, QByteArray(20, '\n'));
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.endsWith("order: 6 written, 0 failed in this run; 6 of 6 row(s) done\n"))
      << run.out.toStdString();
  // The first prompts in adapter order, each naming the row its pager is for.
  EXPECT_TRUE(
      run.err.startsWith(QStringLiteral("adapter 1 (%1): insert the pager for row 2 (Ward 1, bed 1) and press Enter\n"
                                        "adapter 2 (%2): insert the pager for row 3 (Ward 1, bed 2) and press Enter\n")
                             .arg(first->DevicePath(), second->DevicePath())))
      << run.err.toStdString();
  // Both adapters worked.
  EXPECT_GE(first->Counted().ends, 1);
  EXPECT_GE(second->Counted().ends, 1);
  EXPECT_EQ(first->Counted().ends + second->Counted().ends, 6);

  const Order order = ReadBack();
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 6u);
  for (const RowRecord& row : rows) EXPECT_EQ(row.state, kRowDone) << row.row;
  ExpectDoneRowsMatchTheirRecords(order);

  const Outcome status = Program({"fleet", "status", "order.csv", "--template", "template.yaml"});
  EXPECT_EQ(status.exitCode, 0) << status.out.toStdString();
  EXPECT_TRUE(status.out.contains("row 2: done, serial number ")) << status.out.toStdString();
  EXPECT_TRUE(status.out.contains(" (Ward 1, bed 1)\n")) << status.out.toStdString();
  EXPECT_TRUE(status.out.endsWith("order: 6 done, 0 failed, 0 to do\n")) << status.out.toStdString();

  // The delivery list: the order's rows as they were, with what each pager got.
  EXPECT_EQ(Program({"fleet", "export", "order.csv", "delivery.csv", "--template", "template.yaml"}).exitCode, 0);
  QFile delivery(Path("delivery.csv"));
  ASSERT_TRUE(delivery.open(QIODevice::ReadOnly));
  const CsvTable list = ParseCsv(delivery.readAll());
  EXPECT_TRUE(list.faults.empty());
  ASSERT_EQ(list.records.size(), 7u);
  EXPECT_EQ(list.records[0].fields,
            QStringList({"label", "general.capcodes[1].capcode", "display.standby_text_1", "state", "serial_number",
                         "time_utc", "user", "host", "adapter", "history_id", "detail"}));
  for (const RowRecord& row : rows) {
    const QStringList& fields = list.records[size_t(row.row - 1)].fields;
    EXPECT_EQ(fields.mid(0, 3), order.Row(row.row)->cells);
    EXPECT_EQ(fields.mid(3), QStringList({"done", row.serial, row.updated.toString(Qt::ISODate), row.user, row.host,
                                          row.port, QString::number(*row.historyId), QString()}));
  }

  const Outcome again = Run({first.get(), second.get()}, QByteArray(5, '\n'));
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_TRUE(again.out.endsWith("order: 0 written, 0 failed in this run; 6 of 6 row(s) done\n"))
      << again.out.toStdString();
  EXPECT_EQ(first->Counted().ends + second->Counted().ends, 6);

  // A row edited after it was done shows as changed, and is written again only when asked.
  QByteArray edited = OrderOf(6);
  edited.replace("OWNER 2\r\n", "OWNER TWO\r\n");
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), edited));
  const Outcome changed = Program({"fleet", "status", "order.csv", "--template", "template.yaml"});
  EXPECT_EQ(changed.exitCode, 1);
  EXPECT_TRUE(changed.out.contains("row 3: changed since it was done, serial number ")) << changed.out.toStdString();
  EXPECT_TRUE(Run({first.get()}, QByteArray(3, '\n')).out.contains("0 written"));
  // Row 3 again on its own pager.
  QString ownSerial;
  for (const RowRecord& row : Rows())
    if (row.row == 3) ownSerial = row.serial;
  const auto own = StartSimulator(ownSerial.toLatin1().constData(), false);
  const Outcome redo =
      Program({"fleet", "run", "order.csv", "--template", "template.yaml", "--port", own->DevicePath(), "--redo", "3"},
              QByteArray(3, '\n'));
  EXPECT_EQ(redo.exitCode, 0) << redo.err.toStdString();
  EXPECT_TRUE(redo.out.contains("1 written")) << redo.out.toStdString();
  EXPECT_EQ(Program({"fleet", "status", "order.csv", "--template", "template.yaml"}).exitCode, 0);
  ExpectDoneRowsMatchTheirRecords(ReadBack());
}

// Four adapters: the prompts come in adapter order, each names the row its pager is for, and the
// row a prompt names is the one that adapter writes: the Enter reaches the adapter it names.
TEST_F(FleetCommands, EachPromptNamesItsAdapterAndRowAndThatAdapterWritesIt) {
  constexpr int kRows = 10;
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(kRows)));
  std::vector<std::unique_ptr<SimulatorHost>> adapters;
  std::vector<const SimulatorHost*> ports;
  for (const char* serial : {"1000000000", "2000000000", "3000000000", "4000000000"}) {
    adapters.push_back(StartSimulator(serial, true, QStringLiteral("late-ack:3:50")));
    ports.push_back(adapters.back().get());
  }
  const Outcome run = Run(ports, QByteArray(3 * kRows, '\n'));
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QRegularExpression prompt(QStringLiteral("^adapter (\\d) \\(([^)]+)\\): insert the pager for row (\\d+) "
                                                 "\\(Ward \\d+, bed \\d+\\) and press Enter$"),
                                  QRegularExpression::MultilineOption);
  std::vector<std::pair<int, int>> asked;  // adapter, row
  for (auto match = prompt.globalMatch(run.err); match.hasNext();) {
    const QRegularExpressionMatch found = match.next();
    const int adapter = found.captured(1).toInt();
    ASSERT_EQ(found.captured(2), ports[size_t(adapter - 1)]->DevicePath());
    asked.emplace_back(adapter, found.captured(3).toInt());
  }
  ASSERT_GE(asked.size(), size_t(kRows));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(asked[size_t(i)], std::make_pair(i + 1, i + 2)) << i;
  // Each row written by the adapter whose prompt named it last before it was written.
  std::map<int, int> namedFor;  // row -> adapter
  for (const auto& [adapter, row] : asked) namedFor[row] = adapter;
  const QRegularExpression written(QStringLiteral("^row (\\d+): DPT Verify ok ! \\(serial number \\d+, adapter (\\d) "),
                                   QRegularExpression::MultilineOption);
  int rows = 0;
  for (auto match = written.globalMatch(run.out); match.hasNext(); ++rows) {
    const QRegularExpressionMatch found = match.next();
    EXPECT_EQ(namedFor[found.captured(1).toInt()], found.captured(2).toInt()) << found.captured(0).toStdString();
  }
  EXPECT_EQ(rows, kRows);
}

TEST_F(FleetCommands, AStoppedRunResumesWithTheRowsNotDone) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(4)));
  const auto adapter = StartSimulator("3000000000");
  // Two pagers, then nobody at the bench (the end of standard input).
  const Outcome stopped = Run({adapter.get()}, "\n\n");
  EXPECT_EQ(stopped.exitCode, 1);
  EXPECT_TRUE(stopped.out.endsWith("order: 2 written, 0 failed in this run; 2 of 4 row(s) done\n"))
      << stopped.out.toStdString();
  const Outcome status = Program({"fleet", "status", "order.csv", "--template", "template.yaml"});
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_TRUE(status.out.contains("row 4: to do (Ward 1, bed 3)\n")) << status.out.toStdString();
  EXPECT_TRUE(status.out.endsWith("order: 2 done, 0 failed, 2 to do\n")) << status.out.toStdString();

  const Outcome resumed = Run({adapter.get()}, QByteArray(5, '\n'));
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
  EXPECT_TRUE(resumed.out.startsWith("row 4: DPT Verify ok ! (serial number 3000000002, "))
      << resumed.out.toStdString();
  EXPECT_EQ(adapter->Counted().ends, 4);
  ExpectDoneRowsMatchTheirRecords(ReadBack());

  // The order's own pagers are no conflict; another order with the same capcodes is warned
  // about the pagers that hold them, and may still run.
  EXPECT_EQ(Program({"fleet", "check", "order.csv", "--template", "template.yaml"}).err, "");
  QByteArray other = OrderOf(2);
  other.replace("1200108", "1300000");
  ASSERT_TRUE(WriteFileAtomically(Path("other.csv"), other));
  const Outcome warned = Program({"fleet", "check", "other.csv", "--template", "template.yaml"});
  EXPECT_EQ(warned.exitCode, 0);
  EXPECT_EQ(warned.out, "other.csv: 2 row(s) ready\n");
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^other.csv:2:general.capcodes\\[1\\].capcode: warning: capcode "
                                                "1200100 is already in the pager with serial number 3000000000 "
                                                "\\(history record \\d+, [-0-9: ]+ UTC\\)\n$"))
                  .match(warned.err)
                  .hasMatch())
      << warned.err.toStdString();
}

TEST_F(FleetCommands, AFailedRowIsMarkedTheRunGoesOnAndTheNextRunTriesItAgain) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  // The adapter refuses block 3 of every write, until it is mended below.
  const auto adapter = StartSimulator("4000000000", true, QStringLiteral("write-nak:3"));
  const Outcome failed = Run({adapter.get()}, "\n\n\n");
  EXPECT_EQ(failed.exitCode, 1);
  // The run goes on with the next row after a failed one, and tries no failed row again.
  EXPECT_TRUE(failed.out.startsWith("row 2: Write Pager error ! (adapter 1 (")) << failed.out.toStdString();
  EXPECT_TRUE(failed.out.contains("\nrow 3: Write Pager error ! (adapter 1 (")) << failed.out.toStdString();
  EXPECT_TRUE(failed.out.contains("the pager is half-written")) << failed.out.toStdString();
  EXPECT_TRUE(failed.out.endsWith("order: 0 written, 2 failed in this run; 0 of 2 row(s) done\n"))
      << failed.out.toStdString();
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  for (const RowRecord& row : rows) {
    SCOPED_TRACE(row.row);
    EXPECT_EQ(row.state, kRowFailed);
    EXPECT_TRUE(row.detail.startsWith("block 0x0C0 write: ")) << row.detail.toStdString();
    // The record of a failed write names the pager's own serial number, not the row's image's.
    HistoryStore store(History());
    const Result<std::optional<HistoryRecord>> record = store.Find(*row.historyId);
    ASSERT_TRUE(record && *record);
    EXPECT_EQ((*record)->outcome, kOutcomeFailed);
    EXPECT_EQ((*record)->serial, "4000000000");
  }
  const Outcome status = Program({"fleet", "status", "order.csv", "--template", "template.yaml"});
  EXPECT_TRUE(status.out.contains("row 2: failed, ")) << status.out.toStdString();
  EXPECT_TRUE(status.out.endsWith("order: 0 done, 2 failed, 0 to do\n")) << status.out.toStdString();

  adapter->SetFaults({});
  const Outcome again = Run({adapter.get()}, QByteArray(5, '\n'));
  EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
  EXPECT_TRUE(again.out.startsWith("row 2: DPT Verify ok ! (serial number 4000000000, ")) << again.out.toStdString();
  EXPECT_TRUE(again.out.contains("row 3: DPT Verify ok ! (serial number 4000000001, ")) << again.out.toStdString();
  ExpectDoneRowsMatchTheirRecords(ReadBack());
}

TEST_F(FleetCommands, ThePagerStillSeatedAfterItsWriteIsRefused) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  // No swap: the pager just written stays in the adapter.
  const auto adapter = StartSimulator("5000000000", false);
  const Outcome run = Run({adapter.get()}, "\n\n\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(adapter->Counted().ends, 1);
  EXPECT_EQ(run.err.count("the pager in the adapter has serial number 5000000000, which row 2 of this order already "
                          "got; insert the next pager"),
            2)
      << run.err.toStdString();
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, kRowDone);
}

// Ctrl+C as for a single write: the first warns and lets the write in progress finish, and no
// other pager is started; the order goes on with the next run.
TEST_F(FleetCommands, CtrlCFinishesTheWriteInProgressAndStartsNoOtherPager) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(3)));
  SimulatorOptions paced;
  paced.pace = true;
  paced.swap = true;
  SimulatorHost adapter(paced);
  ASSERT_TRUE(adapter.Start());
  std::unique_ptr<QProcess> run(StartRun({&adapter}, orderName, QByteArray(5, '\n')));
  QDeadlineTimer midWrite(20000);
  while (adapter.Counted().blockWrites < 4 && !midWrite.hasExpired()) QThread::msleep(10);
  ASSERT_GE(adapter.Counted().blockWrites, 4);
  ::kill(pid_t(run->processId()), SIGINT);
  ASSERT_TRUE(run->waitForFinished(30000));
  const QString out = QString::fromUtf8(run->readAllStandardOutput());
  const QString err = QString::fromUtf8(run->readAllStandardError());
  EXPECT_EQ(run->exitCode(), 130) << err.toStdString();
  EXPECT_TRUE(err.contains("stopping now would leave the pager half-written")) << err.toStdString();
  EXPECT_TRUE(out.startsWith("row 2: DPT Verify ok ! (serial number 8400012345, ")) << out.toStdString();
  EXPECT_TRUE(out.endsWith("order: 1 written, 0 failed in this run; 1 of 3 row(s) done\n")) << out.toStdString();
  EXPECT_EQ(adapter.Counted().ends, 1);
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, kRowDone);
}

// The one Ctrl+C rule, for an order and a batch, with standard input a pipe or a terminal: at a
// prompt a signal ends the run at once (standard input never answers); during a write the first
// finishes that pager and starts no other, the second stops the write at once and says the pager
// is half-written. Every way ends with 130.
TEST_F(FleetCommands, OneCtrlCRuleForOrdersAndBatchesOnAPipeAndATerminal) {
  enum class When { AtPrompt, OnceInWrite, TwiceInWrite };
  struct Case {
    bool batch;
    bool terminal;
    When when;
  };
  std::vector<Case> cases;
  for (bool batch : {false, true})
    for (bool terminal : {false, true})
      for (When when : {When::AtPrompt, When::OnceInWrite, When::TwiceInWrite})
        cases.push_back({batch, terminal, when});
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(3)));
  int number = 0;
  for (const Case& c : cases) {
    const QString what = QStringLiteral("%1, %2, %3")
                             .arg(c.batch ? "batch" : "order", c.terminal ? "terminal" : "pipe")
                             .arg(c.when == When::AtPrompt      ? "at the prompt"
                                  : c.when == When::OnceInWrite ? "once in a write"
                                                                : "twice in a write");
    SCOPED_TRACE(what.toStdString());
    environment.insert(QStringLiteral("M84DPT_HISTORY"),
                       dir.filePath(QStringLiteral("ctrl-c-%1.sqlite").arg(++number)));
    PagerData data;
    WriteCapcode(data.image, 0, 1000);
    data.selection.SetAutoIncrement(0, 3);  // +1
    ASSERT_TRUE(WriteFileAtomically(Path("batch.DAT"), EncodeDatFile(data, 0)));
    SimulatorOptions options;
    options.swap = true;
    options.pace = c.when != When::AtPrompt;
    SimulatorHost adapter(options);
    ASSERT_TRUE(adapter.Start());
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setWorkingDirectory(dir.path());
    int terminal = -1;
    if (c.terminal) {
      terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
      ASSERT_GE(terminal, 0);
      ASSERT_EQ(::grantpt(terminal), 0);
      ASSERT_EQ(::unlockpt(terminal), 0);
      run.setStandardInputFile(QString::fromLatin1(::ptsname(terminal)));
    }
    const QStringList arguments = c.batch ? QStringList{"write", "batch.DAT",     "--increment", "--count",
                                                        "3",     "--keep-serial", "--port",      adapter.DevicePath()}
                                          : QStringList{"fleet",         "run",    "order.csv",         "--template",
                                                        "template.yaml", "--port", adapter.DevicePath()};
    run.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    ASSERT_TRUE(run.waitForStarted());
    // Enter for every prompt when the signal is to come in a write; none when it is to come at one.
    if (c.when != When::AtPrompt) {
      if (c.terminal)
        ASSERT_EQ(::write(terminal, "\n\n\n\n", 4), 4);
      else
        run.write("\n\n\n\n");
    }
    QString err;
    const auto waitFor = [&](const auto& done) {
      QDeadlineTimer limit(30000);
      while (!done() && !limit.hasExpired()) {
        run.waitForReadyRead(20);
        err += QString::fromUtf8(run.readAllStandardError());
      }
      return done();
    };
    if (c.when == When::AtPrompt) {
      ASSERT_TRUE(waitFor([&] { return err.contains(c.batch ? "Insert the next pager" : "press Enter"); }))
          << err.toStdString();
      QThread::msleep(200);
    } else {
      ASSERT_TRUE(waitFor([&] { return adapter.Counted().blockWrites >= 4; }));
    }
    const int endsBefore = adapter.Counted().ends;
    QElapsedTimer heard;
    heard.start();
    ::kill(pid_t(run.processId()), SIGINT);
    if (c.when == When::TwiceInWrite) {
      QThread::msleep(300);
      ::kill(pid_t(run.processId()), SIGINT);
    }
    ASSERT_TRUE(run.waitForFinished(30000));
    err += QString::fromUtf8(run.readAllStandardError());
    EXPECT_EQ(run.exitCode(), kInterruptedExit) << err.toStdString();
    if (c.when == When::AtPrompt) {
      EXPECT_LT(heard.elapsed(), 3000);
      EXPECT_EQ(adapter.Counted().ends, endsBefore);
    } else if (c.when == When::OnceInWrite) {
      EXPECT_TRUE(err.contains("the write goes on")) << err.toStdString();
      EXPECT_EQ(adapter.Counted().ends, endsBefore + 1);  // that pager finished, no other started
      EXPECT_LT(adapter.Counted().blockWrites, 2 * 24);
    } else {
      EXPECT_TRUE(err.contains("half-written")) << err.toStdString();
      EXPECT_EQ(adapter.Counted().ends, endsBefore);
    }
    if (terminal >= 0) ::close(terminal);
  }
}

// A hang-up as for a single write: every write in progress is finished and verified (nobody is
// left to see a warning, and a whole pager is safer than a half-written one), no other pager is
// started, nothing is left taken, and the exit is a hang-up's.
TEST_F(FleetCommands, AHangUpFinishesEveryWriteInProgressAndStartsNoOtherPager) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(4)));
  SimulatorOptions paced;
  paced.pace = true;
  paced.swap = true;
  SimulatorHost first(paced);
  SimulatorHost second(paced);
  PagerImage memory = SimulatedPagerMemory();
  std::memcpy(memory.data() + kSerialFirst, "6100000000", 11);
  second.SetMemory(memory);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  std::unique_ptr<QProcess> run(StartRun({&first, &second}, orderName, QByteArray(8, '\n')));
  QDeadlineTimer midWrite(20000);
  while ((first.Counted().blockWrites < 4 || second.Counted().blockWrites < 4) && !midWrite.hasExpired())
    QThread::msleep(10);
  ASSERT_GE(first.Counted().blockWrites, 4);
  ASSERT_GE(second.Counted().blockWrites, 4);
  ::kill(pid_t(run->processId()), SIGHUP);
  ASSERT_TRUE(run->waitForFinished(30000));
  const QString out = QString::fromUtf8(run->readAllStandardOutput());
  const QString err = QString::fromUtf8(run->readAllStandardError());
  EXPECT_EQ(run->exitCode(), 129) << err.toStdString();
  EXPECT_FALSE(err.contains("half-written")) << err.toStdString();
  EXPECT_EQ(out.count("DPT Verify ok !"), 2) << out.toStdString();
  EXPECT_TRUE(out.endsWith("order: 2 written, 0 failed in this run; 2 of 4 row(s) done\n")) << out.toStdString();
  EXPECT_EQ(first.Counted().ends, 1);
  EXPECT_EQ(second.Counted().ends, 1);
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  for (const RowRecord& row : rows) EXPECT_EQ(row.state, kRowDone) << row.row;
  ExpectDoneRowsMatchTheirRecords(ReadBack());
}

// A pulled cable fails the row being written, which says what the pager now holds.
TEST_F(FleetCommands, APulledCableFailsTheRowBeingWritten) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  const auto adapter = StartSimulator("9000000000", true, QStringLiteral("unplug:5"));
  // One pager only: the device is gone after the pull, and its number may soon be another's.
  const Outcome run = Run({adapter.get()}, "\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.startsWith("row 2: Write Pager error ! (adapter 1 (")) << run.out.toStdString();
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, kRowFailed);
  EXPECT_TRUE(rows[0].detail.contains("half-written")) << rows[0].detail.toStdString();
}

// The history's records of one row of the order, newest first.
std::vector<HistoryRecord> RecordsOfRow(const HistoryLocation& location, const QString& file) {
  HistoryStore store(location);
  const Result<std::vector<HistoryRecord>> listed = store.List({});
  EXPECT_TRUE(listed);
  std::vector<HistoryRecord> records;
  if (listed)
    for (const HistoryRecord& record : *listed)
      if (record.file == file) records.push_back(record);
  return records;
}

// A fleet run on a paced adapter, killed (SIGKILL) in the middle of its first pager's write.
void KillInMidWrite(QProcess& run, const SimulatorHost& adapter) {
  QDeadlineTimer midWrite(20000);
  while (adapter.Counted().blockWrites < 4 && !midWrite.hasExpired()) QThread::msleep(10);
  ASSERT_GE(adapter.Counted().blockWrites, 4);
  run.kill();
  ASSERT_TRUE(run.waitForFinished(5000));
  EXPECT_LT(adapter.Counted().blockWrites, 24);  // half-written
}

// A bench killed in mid-write, its half-written pager put back on the same machine: the claim's
// process is gone, so the row is taken at once (no time-out), written into that pager, and the
// history holds one interrupted record (with the row's capcodes, under the pager's serial
// number) and one ok record for the row; never two.
TEST_F(FleetCommands, ARowOfABenchKilledInMidWriteIsWrittenAgainAtOnceOnTheSameMachine) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  SimulatorOptions paced;
  paced.pace = true;
  SimulatorHost slow(paced);
  PagerImage memory = SimulatedPagerMemory();
  std::memcpy(memory.data() + kSerialFirst, "7000000000", 11);
  slow.SetMemory(memory);
  ASSERT_TRUE(slow.Start());
  std::unique_ptr<QProcess> killed(StartRun({&slow}, orderName, "\n\n"));
  KillInMidWrite(*killed, slow);
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(Rows()[0].state, kRowClaimed);

  QElapsedTimer again;
  again.start();
  const Outcome rerun = Run({&slow}, "\n\n");
  EXPECT_TRUE(rerun.out.startsWith("row 2: DPT Verify ok ! (serial number 7000000000, ")) << rerun.out.toStdString();
  // Then the same pager again, refused: it has row 2's settings now.
  EXPECT_TRUE(rerun.err.contains("serial number 7000000000, which row 2 of this order already got"))
      << rerun.err.toStdString();
  EXPECT_LT(again.elapsed(), 60000);  // well within the default time-out of 120 s
  EXPECT_EQ(slow.Counted().ends, 1);

  const std::vector<HistoryRecord> rowTwo = RecordsOfRow(History(), "order.csv:2");
  ASSERT_EQ(rowTwo.size(), 2u);
  EXPECT_EQ(rowTwo[0].outcome, kOutcomeOk);
  EXPECT_EQ(rowTwo[0].serial, "7000000000");
  EXPECT_EQ(rowTwo[1].outcome, kOutcomeInterrupted);
  EXPECT_EQ(rowTwo[1].serial, "7000000000");
  EXPECT_EQ(rowTwo[1].capcodes[0], std::optional<int>(1200100));
  EXPECT_TRUE(rowTwo[1].detail.contains("no longer runs")) << rowTwo[1].detail.toStdString();
  // Found by the capcode the half-written pager may answer.
  HistoryStore store(History());
  HistoryFilter byCapcode;
  byCapcode.capcode = 1200100;
  const Result<std::vector<HistoryRecord>> found = store.List(byCapcode);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->size(), 2u);
}

// A claim made on another machine is judged by the order's time-out (kept from its first run,
// whatever --claim-timeout a later bench gives) on the store's clock: before it runs out the row
// is not taken; after it, the row is taken and the unfinished write recorded as interrupted.
TEST_F(FleetCommands, AClaimFromAnotherMachineIsTakenOnceTheOrdersLeaseRunsOut) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  SimulatorOptions paced;
  paced.pace = true;
  SimulatorHost slow(paced);
  ASSERT_TRUE(slow.Start());
  const std::unique_ptr<QProcess> killed =
      StartWithOneEnter({"fleet", "run", "order.csv", "--template", "template.yaml", "--port", slow.DevicePath(),
                         "--claim-timeout", "4"});
  KillInMidWrite(*killed, slow);
  QElapsedTimer sinceKill;
  sinceKill.start();
  {
    // As a bench on another machine would have left it.
    HistoryStore store(History());
    Result<QSqlDatabase> db = store.Connection();
    ASSERT_TRUE(db);
    QSqlQuery query(*db);
    ASSERT_TRUE(query.exec("UPDATE order_rows SET process = 'another-machine boot 4242 1', host_name = 'bench-b'"));
  }

  const auto other = StartSimulator("8000000000");
  const QStringList run = {
      "fleet",           "run", "order.csv", "--template", "template.yaml", "--port", other->DevicePath(),
      "--claim-timeout", "1"};
  QThread::msleep(1500);
  const Outcome early = Program(run, QByteArray(5, '\n'));
  ASSERT_LT(sinceKill.elapsed(), 3500) << "the machine is too slow for this test's time-out";
  EXPECT_EQ(early.exitCode, 1);
  EXPECT_TRUE(early.out.startsWith("row 3: DPT Verify ok ! (serial number 8000000000, ")) << early.out.toStdString();
  const QString taken = Program({"fleet", "status", "order.csv", "--template", "template.yaml"}).out;
  EXPECT_TRUE(taken.contains("row 2: being written since ")) << taken.toStdString();
  QThread::msleep(std::max<qint64>(0, 4500 - sinceKill.elapsed()));
  const Outcome late = Program(run, QByteArray(5, '\n'));
  EXPECT_EQ(late.exitCode, 0) << late.err.toStdString();
  EXPECT_TRUE(late.out.startsWith("row 2: DPT Verify ok ! (serial number 8000000001, ")) << late.out.toStdString();
  ExpectDoneRowsMatchTheirRecords(ReadBack());
  const std::vector<HistoryRecord> rowTwo = RecordsOfRow(History(), "order.csv:2");
  ASSERT_EQ(rowTwo.size(), 2u);
  EXPECT_EQ(rowTwo[1].outcome, kOutcomeInterrupted);
  EXPECT_EQ(rowTwo[1].port, slow.DevicePath());
  EXPECT_TRUE(rowTwo[1].detail.contains("not heard from for its lease's time-out")) << rowTwo[1].detail.toStdString();
}

// A bench whose lease was taken while its pager was written (here by hand, as a bench that judged
// it over would have): the row stays the other's, the pager is recorded as written outside the
// order, and the run takes no other row and exits 1.
TEST_F(FleetCommands, ARunThatLostItsLeaseRecordsItsPagerOutsideTheOrderAndStops) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(3)));
  SimulatorOptions paced;
  paced.pace = true;
  paced.swap = true;
  SimulatorHost slow(paced);
  PagerImage memory = SimulatedPagerMemory();
  std::memcpy(memory.data() + kSerialFirst, "8400200020", 11);
  slow.SetMemory(memory);
  ASSERT_TRUE(slow.Start());
  std::unique_ptr<QProcess> run(StartRun({&slow}, orderName, QByteArray(5, '\n')));
  QDeadlineTimer midWrite(20000);
  while (slow.Counted().blockWrites < 4 && !midWrite.hasExpired()) QThread::msleep(10);
  {
    HistoryStore store(History());
    Result<QSqlDatabase> db = store.Connection();
    ASSERT_TRUE(db);
    QSqlQuery query(*db);
    ASSERT_TRUE(
        query.exec("UPDATE order_rows SET lease_token = 'bench-b-token', host_name = 'bench-b', "
                   "port = '/dev/ttyUSB9', process = 'another-machine boot 4242 1' WHERE row_number = 2"));
  }
  ASSERT_TRUE(run->waitForFinished(30000));
  const QString out = QString::fromUtf8(run->readAllStandardOutput());
  const QString err = QString::fromUtf8(run->readAllStandardError());
  EXPECT_EQ(run->exitCode(), 1);
  EXPECT_TRUE(
      err.contains("serial 8400200020 has row 2's settings, but row 2 was taken by a run on bench-b "
                   "(/dev/ttyUSB9); this run takes no other row"))
      << err.toStdString();
  EXPECT_TRUE(out.contains("order: 0 written, 0 failed in this run; 0 of 3 row(s) done")) << out.toStdString();
  EXPECT_EQ(slow.Counted().ends, 1);  // no other pager started
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, kRowClaimed);
  EXPECT_EQ(rows[0].leaseToken, "bench-b-token");
  EXPECT_TRUE(RecordsOfRow(History(), "order.csv:2").empty());
  const std::vector<HistoryRecord> outside = RecordsOfRow(History(), "order.csv");
  ASSERT_EQ(outside.size(), 1u);
  EXPECT_EQ(outside[0].outcome, kOutcomeOk);
  EXPECT_EQ(outside[0].serial, "8400200020");
  EXPECT_EQ(outside[0].capcodes[0], std::optional<int>(1200100));
}

// A store that cannot be written when the pager is verified (another program holds the SQLite
// file's write lock past the busy time-out): the record waits in a private journal beside the
// store, no other pager is started, and the next command that opens the store records it and
// marks the row done, so no bench writes the row again.
TEST_F(FleetCommands, AVerifiedPagerIsKeptInTheJournalWhileTheStoreFailsAndRecordedOnce) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  ASSERT_EQ(Program({"fleet", "status", "order.csv", "--template", "template.yaml"}).exitCode, 1);  // made
  SimulatorOptions paced;
  paced.pace = true;
  paced.swap = true;
  SimulatorHost slow(paced);
  ASSERT_TRUE(slow.Start());
  std::unique_ptr<QProcess> run(StartRun({&slow}, orderName, QByteArray(5, '\n')));
  QDeadlineTimer midWrite(20000);
  while (slow.Counted().blockWrites < 4 && !midWrite.hasExpired()) QThread::msleep(10);
  {
    QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
    locker.setDatabaseName(History().target);
    ASSERT_TRUE(locker.open());
    QSqlQuery lock(locker);
    ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
    QDeadlineTimer failing(60000);
    while (!QFileInfo(History().target + ".pending").size() && !failing.hasExpired()) QThread::msleep(20);
    ASSERT_GT(QFileInfo(History().target + ".pending").size(), 0);
    EXPECT_EQ(QFileInfo(History().target + ".pending").permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    ASSERT_TRUE(lock.exec("COMMIT"));
    lock.finish();
    locker.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("locker"));
  ASSERT_TRUE(run->waitForFinished(30000));
  const QString err = QString::fromUtf8(run->readAllStandardError());
  EXPECT_EQ(run->exitCode(), 1);
  EXPECT_TRUE(QString::fromUtf8(run->readAllStandardOutput()).startsWith("row 2: DPT Verify ok !"));
  EXPECT_TRUE(err.contains("is kept in " + History().target + ".pending and recorded when the store is next opened"))
      << err.toStdString();
  EXPECT_EQ(slow.Counted().ends, 1);

  // Another bench on the same store: row 2 is done, its pager recorded once, row 3 is written.
  const auto other = StartSimulator("8800000000");
  const Outcome next = Run({other.get()}, QByteArray(5, '\n'));
  EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
  EXPECT_TRUE(next.out.startsWith("row 3: DPT Verify ok ! (serial number 8800000000, ")) << next.out.toStdString();
  EXPECT_EQ(other->Counted().ends, 1);
  const std::vector<HistoryRecord> rowTwo = RecordsOfRow(History(), "order.csv:2");
  ASSERT_EQ(rowTwo.size(), 1u);
  EXPECT_EQ(rowTwo[0].outcome, kOutcomeOk);
  ExpectDoneRowsMatchTheirRecords(ReadBack());
  EXPECT_EQ(QFileInfo(History().target + ".pending").size(), 0);
}

// A batch killed (SIGKILL) while its third pager is written, that pager put back on the same
// machine: the batch run again finds itself from FILE as it now stands (FILE stepped twice), takes
// the killed run's claim at once since its process is gone, writes pager 3 into that pager and
// goes on to the batch's total, kept from its first run. Every pager has one ok record; the
// half-written one an interrupted record too, with its capcodes and serial number.
TEST_F(FleetCommands, ABatchKilledOnItsThirdPagerGoesOnAtOnceWithThatPager) {
  PagerData data;
  WriteCapcode(data.image, 0, 1000);
  data.selection.SetAutoIncrement(0, 3);  // +1
  ASSERT_TRUE(WriteFileAtomically(Path("batch.DAT"), EncodeDatFile(data, 0)));
  const auto fileCapcode = [&] {
    QFile file(Path("batch.DAT"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const std::optional<PagerData> decoded = DecodeDatFile(file.readAll());
    EXPECT_TRUE(decoded);
    return decoded ? int(ReadCapcode(decoded->image, 0)) : 0;
  };
  SimulatorOptions paced;
  paced.pace = true;
  paced.swap = true;
  SimulatorHost slow(paced);
  ASSERT_TRUE(slow.Start());
  const QStringList batch = {"write", "batch.DAT",     "--increment", "--count",
                             "5",     "--keep-serial", "--port",      slow.DevicePath()};
  QProcess killed;
  killed.setProcessEnvironment(environment);
  killed.setWorkingDirectory(dir.path());
  killed.start(QStringLiteral(M84DPT_PROGRAM), batch);
  ASSERT_TRUE(killed.waitForStarted());
  killed.write(QByteArray(5, '\n'));
  killed.waitForBytesWritten();
  QDeadlineTimer thirdPager(60000);
  while ((slow.Counted().ends < 2 || slow.Counted().blockWrites < 2 * 24 + 4) && !thirdPager.hasExpired())
    QThread::msleep(10);
  ASSERT_EQ(slow.Counted().ends, 2);
  killed.kill();
  ASSERT_TRUE(killed.waitForFinished(5000));
  EXPECT_EQ(fileCapcode(), 1002);

  QElapsedTimer again;
  again.start();
  const Outcome rerun = Program(batch, QByteArray(5, '\n'));
  EXPECT_EQ(rerun.exitCode, 0) << rerun.err.toStdString();
  EXPECT_TRUE(rerun.err.contains("holds pager 3 of a batch of 5 begun earlier")) << rerun.err.toStdString();
  EXPECT_TRUE(rerun.out.contains("3 of 3 pager(s) written; capcode 1: 1002 to 1004")) << rerun.out.toStdString();
  EXPECT_LT(again.elapsed(), 60000);  // no time-out waited
  EXPECT_EQ(slow.Counted().ends, 5);
  EXPECT_EQ(fileCapcode(), 1005);

  HistoryStore store(History());
  const Result<std::vector<HistoryRecord>> listed = store.List({});
  ASSERT_TRUE(listed);
  // By capcode: each pager's settings once ok; the half-written pager once interrupted.
  std::map<int, std::vector<HistoryRecord>> byCapcode;
  for (const HistoryRecord& record : *listed) byCapcode[record.capcodes[0].value_or(0)].push_back(record);
  ASSERT_EQ(byCapcode.size(), 5u);
  for (int capcode = 1000; capcode <= 1004; ++capcode) {
    SCOPED_TRACE(capcode);
    const std::vector<HistoryRecord>& records = byCapcode[capcode];
    ASSERT_EQ(records.size(), capcode == 1002 ? 2u : 1u);
    EXPECT_EQ(records[0].outcome, kOutcomeOk);
  }
  const std::vector<HistoryRecord>& third = byCapcode[1002];
  EXPECT_EQ(third[1].outcome, kOutcomeInterrupted);
  EXPECT_EQ(third[1].source, kSourceBatch);
  EXPECT_EQ(third[1].file, "batch.DAT:3");
  EXPECT_FALSE(third[1].serial.isEmpty());
  EXPECT_EQ(third[1].serial, third[0].serial);  // the same pager, put back
}

// The batch's faults, through the real program: --base holds in a batch, and the swap guard
// remembers every pager of the batch, not only the last.
TEST_F(FleetCommands, ABatchReadsItsSettingsTextOverTheBase) {
  PagerData base;
  WriteCapcode(base.image, 1, 1500000);
  base.selection.SetAutoIncrement(0, 3);  // +1
  ASSERT_TRUE(WriteFileAtomically(Path("hosp.DAT"), EncodeDatFile(base, 0)));
  ASSERT_TRUE(WriteFileAtomically(Path("pb.yaml"),
                                  "format: m84-settings/1\ngeneral:\n  capcodes:\n"
                                  "    - capcode: 1200100\n"));
  const auto adapter = StartSimulator("1100000000", false);
  const Outcome batch = Program(
      {"write", "pb.yaml", "--base", "hosp.DAT", "--increment", "--port", adapter->DevicePath(), "--no-history"});
  EXPECT_EQ(batch.exitCode, 0) << batch.err.toStdString();
  // The pager got capcode 1 of the text over everything else of the base: its capcode 2 included.
  EXPECT_TRUE(batch.out.contains("DPT Verify ok !")) << batch.out.toStdString();
  EXPECT_TRUE(batch.out.contains("1 of 1 pager(s) written; capcode 1: 1200100, capcode 2: 1500000"))
      << batch.out.toStdString();
  EXPECT_EQ(int(ReadCapcode(adapter->Memory(), 0)), 1200100);
  EXPECT_EQ(int(ReadCapcode(adapter->Memory(), 1)), 1500000);
}

TEST_F(FleetCommands, ABatchRefusesEveryPagerItHasWrittenNotOnlyTheLast) {
  PagerData data;
  WriteCapcode(data.image, 0, 1000);
  data.selection.SetAutoIncrement(0, 3);  // +1
  ASSERT_TRUE(WriteFileAtomically(Path("batch.DAT"), EncodeDatFile(data, 0)));
  SimulatorHost adapter;
  PagerImage first = SimulatedPagerMemory();
  adapter.SetMemory(first);
  ASSERT_TRUE(adapter.Start());
  QProcess batch;
  batch.setProcessEnvironment(environment);
  batch.setWorkingDirectory(dir.path());
  batch.start(QStringLiteral(M84DPT_PROGRAM), {"write", "batch.DAT", "--increment", "--count", "3", "--keep-serial",
                                               "--port", adapter.DevicePath(), "--no-history"});
  QString err;
  const auto waitFor = [&](const QString& text, int times) {
    QDeadlineTimer deadline(20000);
    while (err.count(text) < times && !deadline.hasExpired()) {
      batch.waitForReadyRead(100);
      err += QString::fromUtf8(batch.readAllStandardError());
    }
    return err.count(text) >= times;
  };
  const auto pagerWithSerial = [](const char* serial) {
    PagerImage memory = SimulatedPagerMemory();
    std::memcpy(memory.data() + kSerialFirst, serial, std::strlen(serial) + 1);
    return memory;
  };
  ASSERT_TRUE(waitFor("(pager 2 of 3)", 1)) << err.toStdString();
  const PagerImage firstWritten = adapter.Memory();
  adapter.SetMemory(pagerWithSerial("2200000000"));
  batch.write("\n");
  ASSERT_TRUE(waitFor("(pager 3 of 3)", 1)) << err.toStdString();
  // Pager 1 put back at the third prompt: refused, not overwritten with the third capcode.
  const PagerImage secondWritten = adapter.Memory();
  adapter.SetMemory(firstWritten);
  batch.write("\n");
  ASSERT_TRUE(waitFor("(pager 3 of 3)", 2)) << err.toStdString();
  EXPECT_TRUE(
      err.contains("the pager in the adapter has serial number 8400012345, pager 1 of this batch; insert the "
                   "next pager"))
      << err.toStdString();
  EXPECT_EQ(adapter.Memory(), firstWritten);
  // The last one put back: refused as before.
  adapter.SetMemory(secondWritten);
  batch.write("\n");
  ASSERT_TRUE(waitFor("(pager 3 of 3)", 3)) << err.toStdString();
  EXPECT_TRUE(err.contains("serial number 2200000000, the one just written")) << err.toStdString();
  adapter.SetMemory(pagerWithSerial("3300000000"));
  batch.write("\n");
  batch.closeWriteChannel();
  ASSERT_TRUE(batch.waitForFinished(20000));
  EXPECT_EQ(batch.exitCode(), 0) << err.toStdString();
  EXPECT_EQ(int(ReadCapcode(adapter.Memory(), 0)), 1002);
  EXPECT_EQ(int(ReadCapcode(firstWritten, 0)), 1000);
}

// The rest of the batch's faults, each a case through the real program: a batch that stopped
// before FILE was stepped (a full disk, a kill) goes on with the next capcodes, a settings text
// is stepped where it writes the capcode and keeps its comments, --no-keep-serial warns, and a
// failed write is recorded under the pager's serial number, or none when nothing was read.
TEST_F(FleetCommands, TheBatchsFaultsAreGone) {
  const QByteArray text =
      "format: m84-settings/1\n"
      "# ward 3's pagers: keep this line\n"
      "general:\n"
      "  serial: \"1234567890\"\n"
      "  capcodes:\n"
      "    - capcode: 1200100  # the ward's own\n"
      "      auto_increment: \"+1\"\n";
  struct Case {
    const char* what;
    QStringList arguments;  // after "write batch.yaml --port DEV"
    const char* faults;     // the simulator's; nullptr: a port where no adapter answers
    bool rerunUnstepped;    // first a run of one pager, then FILE put back as it was
    int exitCode;
    const char* err;           // a pattern standard error matches
    int capcode;               // capcode 1 of the newest write's record; 0: not looked at
    const char* fileCapcode;   // FILE's capcode line after
    const char* recordSerial;  // the newest write's record's serial number; nullptr: not looked at
  };
  const Case cases[] = {
      {"a batch stopped before FILE was stepped goes on with the next capcode",
       {"--increment", "--count", "2", "--keep-serial"},
       "",
       true,
       0,
       "the history records pager\\(s\\) 1 of this batch as written by an earlier run",
       1200101,
       "    - capcode: 1200102  # the ward's own\n",
       "7700000002"},
      {"a settings text is stepped in place",
       {"--increment", "--count", "2", "--keep-serial"},
       "",
       false,
       0,
       "plan: 2 pager\\(s\\); capcode 1: 1200100 to 1200101",
       1200101,
       "    - capcode: 1200102  # the ward's own\n",
       "7700000002"},
      {"--no-keep-serial warns that the pagers cannot be told apart",
       {"--increment", "--count", "2", "--no-keep-serial"},
       "",
       false,
       0,
       "every pager of this batch gets serial number 1234567890 from .*batch.yaml",
       1200101,
       "    - capcode: 1200102  # the ward's own\n",
       "1234567890"},
      {"a batch on a port where nothing answers",
       {"--increment", "--keep-serial"},
       nullptr,
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       ""},
      {"a single write on a port where nothing answers",
       {"--keep-serial"},
       nullptr,
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       ""},
      {"a write refused part-way, the pager's serial number not read",
       {"--no-keep-serial"},
       "write-nak:5",
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       ""},
      {"a batch's write refused part-way, the pager's serial number read",
       {"--increment", "--keep-serial"},
       "write-nak:5",
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       "7700000001"},
      {"a write refused part-way, the pager's serial number read by its review",
       {"--no-keep-serial", "--review"},
       "write-nak:5",
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       "7700000001"},
      {"a write refused part-way, the pager's serial number read by its backup",
       {"--no-keep-serial", "--backup"},
       "write-nak:5",
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       "7700000001"},
      {"a batch's write refused part-way, the pager's serial number read by its backup",
       {"--increment", "--no-keep-serial", "--backup"},
       "write-nak:5",
       false,
       1,
       ".",
       0,
       "    - capcode: 1200100  # the ward's own\n",
       "7700000001"},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HistoryLocation history{HistoryLocation::Backend::SQLite,
                                  dir.filePath(QStringLiteral("batch-history-%1.sqlite").arg(++number))};
    environment.insert(QStringLiteral("M84DPT_HISTORY"), history.target);
    ASSERT_TRUE(WriteFileAtomically(Path("batch.yaml"), text));
    std::unique_ptr<SimulatorHost> adapter;
    if (c.faults) adapter = StartSimulator("7700000001", true, QString::fromLatin1(c.faults));
    const QString port = adapter ? adapter->DevicePath() : Path("no-adapter");
    const QStringList write = QStringList{"write", "batch.yaml", "--port", port};
    if (c.rerunUnstepped) {
      const Outcome first = Program(write + QStringList{"--increment", "--keep-serial"});
      ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
      ASSERT_TRUE(WriteFileAtomically(Path("batch.yaml"), text));  // as if its save had failed
    }
    // Yes to a review's question; Enter at a batch's prompt.
    const Outcome batch = Program(write + c.arguments, "y\n");
    EXPECT_EQ(batch.exitCode, c.exitCode) << batch.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QString::fromLatin1(c.err)).match(batch.err).hasMatch()) << batch.err.toStdString();
    QFile file(Path("batch.yaml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray after = file.readAll();
    EXPECT_TRUE(after.contains(c.fileCapcode)) << after.toStdString();
    EXPECT_TRUE(after.contains("# ward 3's pagers: keep this line\n")) << after.toStdString();
    if (c.recordSerial) {
      HistoryStore store(history);
      const Result<std::vector<HistoryRecord>> listed = store.List({});
      ASSERT_TRUE(listed);
      const auto write = std::find_if(listed->begin(), listed->end(), [](const HistoryRecord& record) {
        return record.operation == OperationName(HistoryOperation::Write);
      });
      ASSERT_NE(write, listed->end());
      EXPECT_EQ(write->serial, QString::fromLatin1(c.recordSerial));
      // The pager swapped out is gone from the simulator: its capcode is the history's.
      if (c.capcode) EXPECT_EQ(write->capcodes[0], std::optional<int>(c.capcode));
    }
  }
}

// A slow write keeps its row: its claim is refreshed while it writes, so another bench with the
// same short time-out does not take it for one whose run went away.
TEST_F(FleetCommands, ARowBeingWrittenSlowlyStaysItsBenchs) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  SimulatorOptions paced;
  paced.pace = true;
  SimulatorHost slow(paced);
  ASSERT_TRUE(slow.Start());
  const std::unique_ptr<QProcess> writing =
      StartWithOneEnter({"fleet", "run", "order.csv", "--template", "template.yaml", "--port", slow.DevicePath(),
                         "--claim-timeout", "1"});
  // Well past the time-out, in mid-verify.
  QDeadlineTimer midWrite(20000);
  while (slow.Counted().blockWrites < 24 && !midWrite.hasExpired()) QThread::msleep(10);
  ASSERT_GE(slow.Counted().blockWrites, 24);
  QThread::msleep(500);
  ASSERT_EQ(slow.Counted().ends, 0);
  const auto other = StartSimulator("8800000000");
  const Outcome beside = Program({"fleet", "run", "order.csv", "--template", "template.yaml", "--port",
                                  other->DevicePath(), "--claim-timeout", "1"},
                                 QByteArray(5, '\n'));
  EXPECT_TRUE(beside.out.startsWith("row 3: DPT Verify ok ! (serial number 8800000000, ")) << beside.out.toStdString();
  EXPECT_EQ(other->Counted().ends, 1);
  ASSERT_TRUE(writing->waitForFinished(30000));
  EXPECT_EQ(writing->exitCode(), 0);
  EXPECT_TRUE(QString::fromUtf8(writing->readAllStandardOutput()).startsWith("row 2: DPT Verify ok ! "));
  HistoryStore store(History());
  const Result<std::vector<HistoryRecord>> listed = store.List({});
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->size(), 2u);  // no record of a write given up
}

// Several benches on one order: three processes with two adapters each share the rows through
// the history store, on SQLite and on PostgreSQL (when scripts/with_postgres.sh gives a scratch
// server). Every row is done exactly once and its record holds its image.
class FleetBenches : public FleetCommands, public ::testing::WithParamInterface<HistoryLocation::Backend> {
 protected:
  void SetUp() override {
    FleetCommands::SetUp();
    if (GetParam() == HistoryLocation::Backend::PostgreSql) {
      const QString connection = qEnvironmentVariable("M84DPT_TEST_POSTGRES");
      if (connection.isEmpty())
        GTEST_SKIP() << "M84DPT_TEST_POSTGRES is not set: no scratch PostgreSQL server (scripts/with_postgres.sh)";
      history = ParseHistoryLocation(connection);
      environment.insert(QStringLiteral("M84DPT_HISTORY"), connection);
      // The server outlives the test: an order of its own each time.
      orderName = QStringLiteral("benches-%1").arg(QDateTime::currentMSecsSinceEpoch());
    }
  }
};

TEST_P(FleetBenches, ThreeBenchesShareOneOrderAndDoEveryRowOnce) {
  constexpr int kRows = 30;
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(kRows)));
  // Each write held back a little, so that the benches overlap.
  std::vector<std::unique_ptr<SimulatorHost>> adapters;
  for (const char* serial : {"1000000000", "2000000000", "3000000000", "4000000000", "5000000000", "6000000000"})
    adapters.push_back(StartSimulator(serial, true, QStringLiteral("late-ack:5:100")));
  std::vector<std::unique_ptr<QProcess>> benches;
  for (int bench = 0; bench < 3; ++bench)
    benches.emplace_back(
        StartRun({adapters[2 * bench].get(), adapters[2 * bench + 1].get()}, orderName, QByteArray(2 * kRows, '\n')));
  int written = 0;
  for (const std::unique_ptr<QProcess>& bench : benches) {
    ASSERT_TRUE(bench->waitForFinished(120000));
    const QString out = QString::fromUtf8(bench->readAllStandardOutput());
    const QString err = QString::fromUtf8(bench->readAllStandardError());
    EXPECT_NE(bench->exitCode(), 2) << err.toStdString();
    EXPECT_FALSE(err.contains("cannot be kept")) << err.toStdString();
    const QRegularExpressionMatch summary = QRegularExpression(QStringLiteral("(\\d+) written, 0 failed")).match(out);
    ASSERT_TRUE(summary.hasMatch()) << out.toStdString() << err.toStdString();
    written += summary.captured(1).toInt();
  }
  EXPECT_EQ(written, kRows);
  int ends = 0;
  int busy = 0;
  for (const auto& adapter : adapters) {
    ends += adapter->Counted().ends;
    if (adapter->Counted().ends > 0) ++busy;
  }
  EXPECT_EQ(ends, kRows);
  EXPECT_GE(busy, 4) << "the benches did not share the order";
  const std::vector<RowRecord> rows = Rows();
  ASSERT_EQ(rows.size(), size_t(kRows));
  QSet<qint64> records;
  for (const RowRecord& row : rows) {
    EXPECT_EQ(row.state, kRowDone) << row.row;
    if (row.historyId) records.insert(*row.historyId);
  }
  EXPECT_EQ(records.size(), kRows);
  ExpectDoneRowsMatchTheirRecords(ReadBack());
}

// Two benches that disagree: one with a clock 5 minutes ahead (faketime) and a claim time-out of
// 1 s, the other with the default. A claim is judged by the store (its holder's process on this
// machine, the store's clock elsewhere) and by the order's time-out, never by a bench's own: every
// row gets exactly one ok record, and no pager is written outside the order.
TEST_P(FleetBenches, BenchesWithOtherClocksAndTimeOutsNeverTakeEachOthersRows) {
  const QString faketime = QStandardPaths::findExecutable(QStringLiteral("faketime"));
  if (faketime.isEmpty()) GTEST_SKIP() << "faketime is not installed (scripts/bootstrap.sh installs it)";
  constexpr int kRows = 12;
  const QDateTime started = QDateTime::currentDateTimeUtc();
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(kRows)));
  std::vector<std::unique_ptr<SimulatorHost>> adapters;
  for (const char* serial : {"1000000000", "2000000000", "3000000000", "4000000000"})
    adapters.push_back(StartSimulator(serial, true, QStringLiteral("late-ack:5:300")));
  // The first bench's clock ahead and its time-out short; the second's as they come.
  const QStringList ahead[] = {{"-f", "+5m", QStringLiteral(M84DPT_PROGRAM)}, {}};
  const QStringList timeOut[] = {{"--claim-timeout", "1"}, {}};
  std::vector<std::unique_ptr<QProcess>> benches;
  for (size_t i = 0; i < 2; ++i) {
    benches.push_back(std::make_unique<QProcess>());
    QProcess& bench = *benches.back();
    QProcessEnvironment clock = environment;
    // The wall clock ahead, as a bench's that is set wrong; its waits keep their length.
    if (i == 0) clock.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    bench.setProcessEnvironment(clock);
    bench.setWorkingDirectory(dir.path());
    QStringList arguments = ahead[i];
    arguments << "fleet"
              << "run"
              << "order.csv"
              << "--template"
              << "template.yaml"
              << "--order" << orderName;
    arguments << "--port" << adapters[2 * i]->DevicePath() << "--port" << adapters[2 * i + 1]->DevicePath();
    arguments << timeOut[i];
    bench.start(i == 0 ? faketime : QStringLiteral(M84DPT_PROGRAM), arguments);
    ASSERT_TRUE(bench.waitForStarted());
    bench.write(QByteArray(2 * kRows, '\n'));
    bench.waitForBytesWritten();
    bench.closeWriteChannel();
    QThread::msleep(1500);  // the second bench starts while the first writes
  }
  for (const std::unique_ptr<QProcess>& bench : benches) {
    ASSERT_TRUE(bench->waitForFinished(180000));
    const QString err = QString::fromUtf8(bench->readAllStandardError());
    EXPECT_FALSE(err.contains("taken by")) << err.toStdString();
    EXPECT_FALSE(err.contains("cannot be kept")) << err.toStdString();
  }
  HistoryStore store(History());
  HistoryFilter sinceStart;  // a PostgreSQL server keeps the records of other tests' orders
  sinceStart.since = started;
  const Result<std::vector<HistoryRecord>> listed = store.List(sinceStart);
  ASSERT_TRUE(listed);
  std::map<QString, int> ok;
  for (const HistoryRecord& record : *listed)
    if (record.file.startsWith("order.csv")) {
      EXPECT_EQ(record.outcome, kOutcomeOk) << record.file.toStdString() << " " << record.detail.toStdString();
      ++ok[record.file];
    }
  EXPECT_EQ(ok.size(), size_t(kRows));
  for (const auto& [file, count] : ok) EXPECT_EQ(count, 1) << file.toStdString();
  ExpectDoneRowsMatchTheirRecords(ReadBack());
}

INSTANTIATE_TEST_SUITE_P(Backends, FleetBenches,
                         ::testing::Values(HistoryLocation::Backend::SQLite, HistoryLocation::Backend::PostgreSql),
                         [](const auto& info) {
                           return info.param == HistoryLocation::Backend::SQLite ? "SQLite" : "PostgreSQL";
                         });

}  // namespace

namespace {

// A batch whose pager is written while another session holds the history's table locked on the
// PostgreSQL server: Ctrl+C in that wait is heard at once, FILE is stepped all the same (before
// the record), and the history says the write was not recorded.
TEST_F(FleetCommands, CtrlCIsHeardWhileTheHistorysServerHoldsALock) {
  const QString server = qEnvironmentVariable("M84DPT_TEST_POSTGRES");
  if (server.isEmpty())
    GTEST_SKIP() << "M84DPT_TEST_POSTGRES is not set: no scratch PostgreSQL server (scripts/with_postgres.sh)";
  // A database of its own: the lock must not hold other tests on the same server.
  const QString name = QStringLiteral("batch_lock_%1").arg(QDateTime::currentMSecsSinceEpoch());
  const QString connection = server + QStringLiteral(" dbname=") + name;
  {
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
    admin.setConnectOptions(server);
    ASSERT_TRUE(admin.open()) << admin.lastError().text().toStdString();
    ASSERT_TRUE(QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + name));
    admin.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("admin"));
  {
    HistoryStore store(ParseHistoryLocation(connection));
    ASSERT_TRUE(store.Open());
  }
  QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("locker"));
  locker.setConnectOptions(connection);
  ASSERT_TRUE(locker.open()) << locker.lastError().text().toStdString();
  ASSERT_TRUE(locker.transaction());
  ASSERT_TRUE(QSqlQuery(locker).exec(QStringLiteral("LOCK TABLE pager_history IN ACCESS EXCLUSIVE MODE")));

  PagerData data;
  WriteCapcode(data.image, 0, 1000);
  data.selection.SetAutoIncrement(0, 3);  // +1
  ASSERT_TRUE(WriteFileAtomically(Path("batch.DAT"), EncodeDatFile(data, 0)));
  const auto adapter = StartSimulator("1100000000");
  environment.insert(QStringLiteral("M84DPT_HISTORY"), connection);
  QProcess batch;
  batch.setProcessEnvironment(environment);
  batch.setWorkingDirectory(dir.path());
  batch.start(QStringLiteral(M84DPT_PROGRAM),
              {"write", "batch.DAT", "--increment", "--keep-serial", "--port", adapter->DevicePath()});
  QString out;
  QDeadlineTimer written(20000);
  while (!out.contains("DPT Verify ok !") && !written.hasExpired()) {
    batch.waitForReadyRead(100);
    out += QString::fromUtf8(batch.readAllStandardOutput());
  }
  ASSERT_TRUE(out.contains("DPT Verify ok !")) << out.toStdString();
  QThread::msleep(500);  // into the wait for the lock
  QElapsedTimer heard;
  heard.start();
  ::kill(pid_t(batch.processId()), SIGINT);
  ASSERT_TRUE(batch.waitForFinished(20000));
  // The limit on the wait is 5 s: well before it.
  EXPECT_LT(heard.elapsed(), 2500);
  const QString err = QString::fromUtf8(batch.readAllStandardError());
  EXPECT_TRUE(err.contains("recorded when the store is next opened; no new pager is taken")) << err.toStdString();
  QFile saved(Path("batch.DAT"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const std::optional<PagerData> file = DecodeDatFile(saved.readAll());
  ASSERT_TRUE(file);
  EXPECT_EQ(int(ReadCapcode(file->image, 0)), 1001);  // stepped before the record
  locker.rollback();
  locker.close();
  // The server answers again: the next opening records the pager from the journal, once.
  for (int opening = 0; opening < 2; ++opening) {
    HistoryStore store(ParseHistoryLocation(connection));
    const Result<std::vector<HistoryRecord>> listed = store.List({});
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 1u);
    EXPECT_EQ(listed->front().outcome, kOutcomeOk);
    EXPECT_EQ(listed->front().capcodes[0], std::optional<int>(1000));
  }
}

}  // namespace

namespace {

// A history server that takes the connection and never says a word: Ctrl+C or a hang-up ends the
// wait for it at once (its limit is 5 s), with the record given up and the operation's own
// outcome standing. A listening socket that nobody reads is such a server.
TEST_F(FleetCommands, ASignalEndsTheWaitForAHistoryServerThatNeverAnswers) {
  const SilentServer server;
  ASSERT_TRUE(server.Listening());
  environment.insert(QStringLiteral("M84DPT_HISTORY"), server.Connection());
  ASSERT_TRUE(WriteFileAtomically(Path("w.DAT"), EncodeDatFile(PagerData(), 0)));
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(1)));

  struct Case {
    const char* what;
    QStringList arguments;  // the port is added
    const char* waitFor;    // on standard output or error, before the signal; nullptr: the program's
                            // connection reaching the server
    int signal;
    const char* err;     // what standard error must hold
    int exitCode;        // -1: not looked at
    bool writesNothing;  // no block goes to the pager
  };
  const Case cases[] = {
      {"Ctrl+C while a write is recorded",
       {"write", "w.DAT", "--keep-serial"},
       "DPT Verify ok !",
       SIGINT,
       "history: this write was not recorded: PostgreSQL host=127.0.0.1",
       -1,
       false},
      {"a hang-up while a write is recorded",
       {"write", "w.DAT", "--keep-serial"},
       "DPT Verify ok !",
       SIGHUP,
       "history: this write was not recorded: PostgreSQL host=127.0.0.1",
       -1,
       false},
      // Before the workers start: the order's first look at the history, for the template it
      // kept (a run goes no further without the history).
      {"Ctrl+C while the order's template is looked up",
       {"fleet", "run", "order.csv", "--template", "template.yaml"},
       nullptr,
       SIGINT,
       "history: the order's template was not looked up: PostgreSQL host=127.0.0.1",
       kInterruptedExit,
       true},
  };
  std::vector<int> taken;  // the connections of the cases before, out of the listener's way
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int fd; (fd = ::accept(server.Descriptor(), nullptr, nullptr)) >= 0;) taken.push_back(fd);
    const auto connected = [&] { return server.Called(); };
    const auto adapter = StartSimulator("1100000000");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(M84DPT_PROGRAM), c.arguments + QStringList{"--port", adapter->DevicePath()});
    ASSERT_TRUE(process.waitForStarted());
    QString seen;
    QString err;
    const auto waited = [&] { return c.waitFor ? seen.contains(QLatin1String(c.waitFor)) : connected(); };
    QDeadlineTimer ready(20000);
    while (!waited() && !ready.hasExpired()) {
      process.waitForReadyRead(c.waitFor ? 100 : 10);
      const QString more = QString::fromUtf8(process.readAllStandardError());
      err += more;
      seen += QString::fromUtf8(process.readAllStandardOutput()) + more;
    }
    ASSERT_TRUE(waited()) << seen.toStdString();
    QThread::msleep(c.waitFor ? 700 : 200);  // into the wait for the server
    ASSERT_EQ(process.state(), QProcess::Running);
    QElapsedTimer heard;
    heard.start();
    ::kill(pid_t(process.processId()), c.signal);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_LT(heard.elapsed(), 2500);
    err += QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(err.contains(QLatin1String(c.err))) << err.toStdString();
    EXPECT_TRUE(err.contains("connect: interrupted while waiting for the server")) << err.toStdString();
    if (c.exitCode >= 0) EXPECT_EQ(process.exitCode(), c.exitCode) << err.toStdString();
    if (c.writesNothing) {
      EXPECT_TRUE(err.endsWith("m84dpt: interrupted; nothing written\n")) << err.toStdString();
      EXPECT_EQ(adapter->Counted().blockWrites, 0);
    }
  }
  for (int fd : taken) ::close(fd);
}

}  // namespace

namespace {

// The guide's first order as a new user types it: the default settings saved as a template, a
// table of labels and one capcode column, then check, run, status and export, the template
// named once. The capcodes every pager gets from the template are group calls, not faults.
TEST_P(FleetBenches, TheGuidesFirstOrderRunsAndRemembersItsTemplate) {
  ASSERT_EQ(Program({"new", "ward.DAT"}).exitCode, 0);
  ASSERT_TRUE(WriteFileAtomically(Path("ward.csv"),
                                  "label,general.capcodes[1].capcode\nAmes,1200100\nBeck,1200108\n"
                                  "Cole,1200116\n"));
  orderName = GetParam() == HistoryLocation::Backend::SQLite ? QStringLiteral("ward") : orderName;
  const QStringList named = {"--order", orderName};
  const Outcome check = Program(QStringList{"fleet", "check", "ward.csv", "--template", "ward.DAT"} + named);
  EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
  EXPECT_EQ(check.out,
            "ward.csv: 3 row(s) ready\ngroup calls: 1234568 (3 pagers), 1234569 (3 pagers), 1234570 (3 pagers), "
            "1234571 (3 pagers), 1234572 (3 pagers), 1234573 (3 pagers), 1234574 (3 pagers)\n");

  const auto adapter = StartSimulator("7000000000");
  const Outcome run =
      Program(QStringList{"fleet", "run", "ward.csv", "--port", adapter->DevicePath()} + named, QByteArray(4, '\n'));
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(
      run.out.endsWith(QStringLiteral("%1: 3 written, 0 failed in this run; 3 of 3 row(s) done\n").arg(orderName)))
      << run.out.toStdString();

  const Outcome status = Program(QStringList{"fleet", "status", "ward.csv"} + named);
  EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
  EXPECT_TRUE(status.out.endsWith(QStringLiteral("%1: 3 done, 0 failed, 0 to do\n").arg(orderName)))
      << status.out.toStdString();

  ASSERT_EQ(Program(QStringList{"fleet", "export", "ward.csv", "delivery.csv"} + named).exitCode, 0);
  QFile delivery(Path("delivery.csv"));
  ASSERT_TRUE(delivery.open(QIODevice::ReadOnly));
  const CsvTable list = ParseCsv(delivery.readAll());
  ASSERT_EQ(list.records.size(), 4u);
  for (size_t i = 1; i < list.records.size(); ++i) EXPECT_EQ(list.records[i].fields.value(2), "done");

  // Each pager got its own capcode and the template's seven; a bench with another template is
  // refused, saying what differs.
  HistoryStore store(History());
  for (const RowRecord& row : Rows()) {
    const Result<std::optional<HistoryRecord>> record = store.Find(*row.historyId);
    ASSERT_TRUE(record && *record);
    EXPECT_EQ(CapcodeList(**record), QStringLiteral("%1, 1234568, 1234569, 1234570, 1234571, 1234572, 1234573, 1234574")
                                         .arg(1200100 + 8 * (row.row - 2)));
  }
  ASSERT_TRUE(
      WriteFileAtomically(Path("other.yaml"), "format: m84-settings/1\ndisplay:\n  startup_text: \"ST. JUDE\"\n"));
  const Outcome other = Program(
      QStringList{"fleet", "run", "ward.csv", "--template", "other.yaml", "--port", adapter->DevicePath()} + named,
      "\n");
  EXPECT_EQ(other.exitCode, 1);
  EXPECT_TRUE(other.err.contains(QStringLiteral(
      "template other.yaml differs:\n  Display / Startup Text: \"Welcome to M84\" \u2192 \"ST. JUDE\"\n")))
      << other.err.toStdString();
  EXPECT_EQ(adapter->Counted().ends, 3);
}

// A template replaced after rows were done makes them work again, said and listed, but written
// only when asked.
TEST_F(FleetCommands, ANewTemplateMakesDoneRowsChangedAndOnlyRedoChangedWritesThem) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(2)));
  const auto adapter = StartSimulator("5000000000");
  ASSERT_EQ(Run({adapter.get()}, QByteArray(3, '\n')).exitCode, 0);
  QByteArray jude = kTemplate;
  jude.replace("ST. MARY", "ST. JUDE");
  ASSERT_TRUE(WriteFileAtomically(Path("jude.yaml"), jude));

  const Outcome refused = Program({"fleet", "check", "order.csv", "--template", "jude.yaml"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(refused.err.contains("  Display / Startup Text: \"ST. MARY\" \u2192 \"ST. JUDE\"\n"))
      << refused.err.toStdString();
  EXPECT_EQ(Program({"fleet", "status", "order.csv"}).exitCode, 0);
  EXPECT_EQ(Program({"fleet", "check", "order.csv", "--template", "jude.yaml", "--new-template"}).exitCode, 0);

  const Outcome status = Program({"fleet", "status", "order.csv", "--changes"});
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_TRUE(status.out.contains("row 2: changed since it was done, serial number 5000000000, "))
      << status.out.toStdString();
  EXPECT_TRUE(
      status.out.contains("(Ward 1, bed 1)\n  Display / Startup Text: \"ST. MARY\" \u2192 \"ST. JUDE\"\nrow 3:"))
      << status.out.toStdString();
  EXPECT_TRUE(
      status.out.endsWith("order: 0 done, 0 failed, 0 to do, 2 changed since done (fleet run --redo-changed)\n"))
      << status.out.toStdString();

  // A run says what changed and writes nothing without being asked.
  const Outcome told = Program({"fleet", "run", "order.csv", "--port", adapter->DevicePath()}, QByteArray(2, '\n'));
  EXPECT_EQ(told.exitCode, 1);
  EXPECT_TRUE(
      told.err.contains("row 3 (Ward 1, bed 2) changed since it was done (serial number 5000000001):\n"
                        "  Display / Startup Text: \"ST. MARY\" \u2192 \"ST. JUDE\"\n"))
      << told.err.toStdString();
  EXPECT_TRUE(told.err.contains("2 row(s) changed since done are not written again: 2, 3 (fleet run --redo-changed)"))
      << told.err.toStdString();
  EXPECT_EQ(adapter->Counted().ends, 2);

  // Each changed row on its own pager.
  const auto first = StartSimulator("5000000000", false);
  const auto second = StartSimulator("5000000001", false);
  const Outcome redone = Program(
      {"fleet", "run", "order.csv", "--redo-changed", "--port", first->DevicePath(), "--port", second->DevicePath()},
      QByteArray(2, '\n'));
  EXPECT_EQ(redone.exitCode, 0) << redone.err.toStdString();
  EXPECT_TRUE(redone.out.contains("2 written")) << redone.out.toStdString();
  EXPECT_EQ(first->Counted().ends + second->Counted().ends, 2);
  EXPECT_EQ(Program({"fleet", "status", "order.csv"}).exitCode, 0);
}

// Labels, cells and file names that hold terminal controls and spreadsheet formulas: every line
// the fleet prints shows the controls as "\x1B", and the delivery list makes no formula.
TEST_F(FleetCommands, HostileTextsAreShownEscapedAndExportedInert) {
  struct Case {
    QString label;
    QString shown;     // on a terminal
    QString exported;  // the delivery list's field
  };
  const Case cases[] = {
      {"\x1B]0;PWNED\x07", "\\x1B]0;PWNED\\x07", "\x1B]0;PWNED\x07"},
      {"\x1B[2J", "\\x1B[2J", "\x1B[2J"},
      {QStringLiteral("a\u009Bb"), "a\\x9Bb", QStringLiteral("a\u009Bb")},
      {"=HYPERLINK(\"http://x\",\"y\")", "=HYPERLINK(\"http://x\",\"y\")", "'=HYPERLINK(\"http://x\",\"y\")"},
      {"+1+1", "+1+1", "'+1+1"},
      {"-1+1", "-1+1", "'-1+1"},
      {"@SUM(1)", "@SUM(1)", "'@SUM(1)"},
      {"\t=1", "\\x09=1", "'\t=1"},
  };
  const QString file = QStringLiteral("o\x1B]0;FN\x07.csv");
  QStringList lines = {"label,general.capcodes[1].capcode"};
  for (size_t i = 0; i < std::size(cases); ++i)
    lines << QString::fromUtf8(CsvLine({cases[i].label, QString::number(1200100 + 8 * int(i))})).chopped(2);
  ASSERT_TRUE(WriteFileAtomically(dir.filePath(file), (lines.join("\r\n") + "\r\n").toUtf8()));
  const auto noControls = [](const QString& text) {
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c != '\n' && IsControlCharacter(c); });
  };
  const QStringList order = {"--order", "hostile", "--template", "template.yaml"};

  const Outcome check = Program(QStringList{"fleet", "check", file} + order);
  EXPECT_EQ(check.out, "o\\x1B]0;FN\\x07.csv: 8 row(s) ready\n") << check.err.toStdString();
  const auto adapter = StartSimulator("6000000000");
  const Outcome run =
      Program(QStringList{"fleet", "run", file, "--port", adapter->DevicePath()} + order, QByteArray(9, '\n'));
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  const Outcome status = Program(QStringList{"fleet", "status", file} + order);
  EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
  for (const Outcome& outcome : {check, run, status}) {
    EXPECT_TRUE(noControls(outcome.out)) << outcome.out.toStdString();
    EXPECT_TRUE(noControls(outcome.err)) << outcome.err.toStdString();
  }
  const Outcome exported = Program(QStringList{"fleet", "export", file, "-"} + order);
  const CsvTable list = ParseCsv(exported.out.toUtf8());
  ASSERT_EQ(list.records.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(status.out.contains(QStringLiteral(" (%1)\n").arg(cases[i].shown))) << status.out.toStdString();
    EXPECT_EQ(list.records[i + 1].fields.value(0), cases[i].exported);
  }

  // A cell the check refuses is quoted escaped too.
  ASSERT_TRUE(WriteFileAtomically(Path("bad.csv"), "label,general.capcodes[1].capcode\r\nA,12\x1B[2J\r\n"));
  const Outcome bad = Program({"fleet", "check", "bad.csv", "--template", "template.yaml"});
  EXPECT_EQ(bad.err, "bad.csv:2:general.capcodes[1].capcode: '12\\x1B[2J': Capcode is a whole number\n");
}

// The delivery list never replaces the order, whatever name leads to it, and is never written
// through a link.
TEST_F(FleetCommands, ExportRefusesTheOrderItselfAndLinks) {
  const QByteArray csv = OrderOf(2);
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), csv));
  ASSERT_EQ(::link(QFile::encodeName(Path("order.csv")).constData(), QFile::encodeName(Path("hard.csv")).constData()),
            0);
  ASSERT_TRUE(QFile::link(Path("order.csv"), Path("soft.csv")));
  ASSERT_TRUE(QFile::link(Path("elsewhere.csv"), Path("dangling.csv")));
  struct Case {
    const char* out;
    const char* says;
  };
  const Case cases[] = {
      {"order.csv", "is the order order.csv itself"}, {"./order.csv", "is the order order.csv itself"},
      {"hard.csv", "is the order order.csv itself"},  {"soft.csv", "is a symbolic link"},
      {"dangling.csv", "is a symbolic link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const Outcome refused = Program({"fleet", "export", "order.csv", c.out, "--template", "template.yaml"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(c.says)) << refused.err.toStdString();
  }
  QFile order(Path("order.csv"));
  ASSERT_TRUE(order.open(QIODevice::ReadOnly));
  EXPECT_EQ(order.readAll(), csv);
  EXPECT_FALSE(QFile::exists(Path("elsewhere.csv")));
}

// --redo writes a row again on its own pager only; --replace puts it on a fresh one and refuses
// the old pager for the order since.
TEST_F(FleetCommands, RedoTakesTheRowsOwnPagerAndReplaceAFreshOne) {
  ASSERT_TRUE(WriteFileAtomically(Path("order.csv"), OrderOf(3)));
  const auto fresh = StartSimulator("8500000002");
  ASSERT_EQ(Run({fresh.get()}, QByteArray(4, '\n')).exitCode, 0);  // rows 2 to 4: 8500000002 to 8500000004
  const auto rowFourPager = StartSimulator("8500000004", false);
  const auto rowTwoPager = StartSimulator("8500000002", false);
  const auto redo = [&](const SimulatorHost& adapter) {
    return Program({"fleet", "run", "order.csv", "--redo", "4", "--port", adapter.DevicePath()}, "\n\n");
  };
  struct Case {
    const char* what;
    const SimulatorHost* adapter;
    const char* says;
    int writes;
  };
  const Case cases[] = {
      {"another row's pager", rowTwoPager.get(), "which row 2 of this order already got", 0},
      {"a fresh pager", fresh.get(), "0 written", 0},
      {"the row's own pager", rowFourPager.get(), "1 written", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = c.adapter->Counted().ends;
    const Outcome outcome = redo(*c.adapter);
    EXPECT_TRUE((outcome.out + outcome.err).contains(c.says)) << outcome.out.toStdString() << outcome.err.toStdString();
    EXPECT_EQ(c.adapter->Counted().ends - before, c.writes);
  }

  // Row 3's pager is lost: a fresh one takes its place, and the old one is refused since.
  const Outcome replaced =
      Program({"fleet", "run", "order.csv", "--replace", "3", "--port", fresh->DevicePath()}, "\n\n");
  EXPECT_EQ(replaced.exitCode, 0) << replaced.err.toStdString();
  const Outcome status = Program({"fleet", "status", "order.csv"});
  EXPECT_TRUE(QRegularExpression(QStringLiteral("row 3: done, serial number (\\d+), .*, replacing serial number "
                                                "8500000003 \\(Ward 1, bed 2\\)\n"))
                  .match(status.out)
                  .hasMatch())
      << status.out.toStdString();
  for (const RowRecord& row : Rows())
    if (row.row == 3) EXPECT_NE(row.serial, "8500000003");
  const auto oldPager = StartSimulator("8500000003", false);
  const Outcome refused = Program({"fleet", "run", "order.csv", "--redo", "3", "--port", oldPager->DevicePath()}, "\n");
  EXPECT_TRUE(refused.err.contains("serial number 8500000003, which row 3 of this order replaced"))
      << refused.err.toStdString();
  EXPECT_EQ(oldPager->Counted().ends, 0);
  // The history finds the row by either pager.
  for (const char* serial : {"8500000003"}) {
    const Outcome history = Program({"history", "--serial", serial});
    EXPECT_TRUE(history.out.contains("order.csv:3")) << history.out.toStdString();
  }
}

}  // namespace
