// An order in the window: Fleet, Open Order... lists the order's rows with their state from the
// history's store, checks the order as `fleet check` does, and Write programs the next row on
// the window's adapter (a simulated one that hands over a fresh pager after every write); another
// bench's work on the same order shows without reopening it. On SQLite, and on PostgreSQL when
// scripts/with_postgres.sh gives a scratch server.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QDateTime>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QSysInfo>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"
#include "core/history/pager_history.h"
#include "core/image/dat_file.h"
#include "core/link/simulator_host.h"
#include "gui/main_window.h"
#include "gui/order_view.h"
#include "order_template.h"
#include "qstring_printer.h"
#include "silent_server.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::fleet;
using namespace m84::widget_test;

namespace {

constexpr int kTransferLimitMs = 15000;
constexpr int kPresenceLimitMs = 5000;
// The view reads the store about once a second; a loaded machine may take longer.
constexpr int kPollLimitMs = 5000;

const QByteArray kTemplate = kOneCapcodeTemplate;

const QByteArray kOrder =
    "label,general.capcodes[1].capcode,display.standby_text_1\r\n"
    "\"Ward 1, bed 1\",1200100,OWNER 1\r\n"
    "\"Ward 1, bed 2\",1200108,OWNER 2\r\n"
    "\"Ward 1, bed 3\",1200116,OWNER 3\r\n";

// The open dialogs answer in turn: the order, then the template.
struct TurnDialogs : FileDialogs {
  QStringList answers;
  QStringList titles;
  QString OpenFileName(QWidget*, const QString& title, const QString&) override {
    titles << title;
    return answers.isEmpty() ? QString() : answers.takeFirst();
  }
  QString SaveFileName(QWidget*, const QString& title, const QString&) override {
    titles << title;
    return {};
  }
};

struct NoQuestions : Questions {
  QStringList unsavedAsked;
  bool Confirm(QWidget*, const QString&) override { return true; }
  UnsavedChoice AskUnsaved(QWidget*, const QString& text) override {
    unsavedAsked << text;
    return UnsavedChoice::Discard;
  }
  void ShowFailure(QWidget*, const QString&, const QString&) override {}
  bool ConfirmWrite(QWidget*, const QString&) override { return true; }
  void Withdraw() override {}
};

QStringList MenuTitles(QMenuBar* bar) {
  QStringList titles;
  for (QAction* action : bar->actions())
    if (action->isVisible()) titles << action->text();
  return titles;
}

class OrderWindow : public ::testing::TestWithParam<HistoryLocation::Backend> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    location = ParseHistoryLocation(dir.filePath("history.sqlite"));
    if (GetParam() == HistoryLocation::Backend::PostgreSql) {
      const QString connection = qEnvironmentVariable("M84DPT_TEST_POSTGRES");
      if (connection.isEmpty()) GTEST_SKIP() << "M84DPT_TEST_POSTGRES is not set: no scratch PostgreSQL server";
      location = ParseHistoryLocation(connection);
      // The server outlives the test: an order of its own each time, and serial numbers that
      // no earlier run of this test wrote.
      orderFile = QStringLiteral("window-%1.csv").arg(QDateTime::currentMSecsSinceEpoch());
      firstSerial = QByteArray::number(1000000000LL + QDateTime::currentMSecsSinceEpoch() % 8000000000LL);
    }
    orderName = OrderNameOf(orderFile);
    ASSERT_TRUE(WriteFileAtomically(dir.filePath("template.yaml"), kTemplate));
    ASSERT_TRUE(WriteFileAtomically(dir.filePath(orderFile), kOrder));
  }

  void StartWindow(bool swap = true, bool history = true) {
    SimulatorOptions options;
    options.swap = swap;
    options.faults = *ParseFaultPlan(faults);
    options.pace = pace;
    simulator = std::make_unique<SimulatorHost>(options);
    PagerImage memory = SimulatedPagerMemory();
    const QByteArray serial = FirstSerial();
    std::memcpy(memory.data() + kSerialFirst, serial.constData(), size_t(serial.size()) + 1);
    simulator->SetMemory(memory);
    const m84::Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    WindowOptions windowOptions{dialogs, tones, simulator->DevicePath()};
    windowOptions.questions = questions;
    if (history) windowOptions.historyLocation = location;
    window = std::make_unique<MainWindow>(data, windowOptions);
    window->show();
    window->SwitchToAdvancedMode();
  }

  // The first pager's serial number.
  QByteArray FirstSerial() const { return firstSerial; }

  OrderView* OpenOrder(bool withTemplate = true) {
    dialogs->answers = {dir.filePath(orderFile), withTemplate ? dir.filePath("template.yaml") : QString()};
    window->Action(MainWindow::kOpenOrderCommand)->trigger();
    return window->OpenOrder();
  }

  void WaitForAdapter() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Action(MainWindow::kWriteCommand)->isEnabled(); },
                                kPresenceLimitMs + 1000));
  }
  bool WriteAndWait() {
    QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
    return QTest::qWaitFor([&] { return !window->Busy(); }, kTransferLimitMs);
  }

  std::vector<RowRecord> StoredRows() {
    HistoryStore store(location);
    const Result<std::vector<RowRecord>> rows = OrderState(store, orderName).Rows();
    EXPECT_TRUE(rows) << rows.failure().Text().toStdString();
    return rows ? *rows : std::vector<RowRecord>{};
  }

  // The order as `fleet check` reads it, over the same template.
  fleet::Order ReadBack() const {
    const Result<PagerData> templateData = LoadOrderTemplate(dir.filePath("template.yaml"));
    EXPECT_TRUE(templateData);
    const Result<fleet::Order> order = LoadOrder(dir.filePath(orderFile), *templateData);
    EXPECT_TRUE(order);
    return *order;
  }

  // Every row's cell in one column of the view.
  static QStringList Column(const OrderView* view, OrderView::Column column) {
    QStringList cells;
    for (int row = 0; row < view->RowCount(); ++row) cells << view->Cell(row, column);
    return cells;
  }

  QTemporaryDir dir;
  HistoryLocation location;
  QString orderFile = QStringLiteral("order.csv");
  QString orderName;
  QByteArray firstSerial = "1000000000";
  QString faults;     // the simulated adapter's, from the start
  bool pace = false;  // every byte held for its time on the line
  PagerData data;
  std::shared_ptr<TurnDialogs> dialogs = std::make_shared<TurnDialogs>();
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::shared_ptr<NoQuestions> questions = std::make_shared<NoQuestions>();
  std::unique_ptr<SimulatorHost> simulator;
  std::unique_ptr<MainWindow> window;
};

INSTANTIATE_TEST_SUITE_P(Stores, OrderWindow,
                         ::testing::Values(HistoryLocation::Backend::SQLite, HistoryLocation::Backend::PostgreSql));

}  // namespace

// The Fleet menu is there with a history and in advanced mode only; the order's rows show with
// their labels, capcodes and states, and the screen reader has names for the table and buttons.
TEST_P(OrderWindow, OpensAnOrderAndShowsItsRows) {
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  const QStringList titles = MenuTitles(window->MenuBar());
  EXPECT_TRUE(titles.contains("Fle&et"));
  // Its mnemonic is clear of the other menus' and the buttons' P, S, L, W and R.
  QSet<QChar> taken{'P', 'S', 'L', 'W', 'R'};
  for (const QString& title : titles) {
    const QChar mnemonic = title[title.indexOf('&') + 1].toUpper();
    EXPECT_FALSE(taken.contains(mnemonic)) << title.toStdString();
    taken << mnemonic;
  }
  window->SwitchToBasicMode();
  EXPECT_FALSE(MenuTitles(window->MenuBar()).contains("Fle&et"));
  EXPECT_FALSE(window->Action(MainWindow::kOpenOrderCommand)->isEnabled());
  window->SwitchToAdvancedMode();

  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(dialogs->titles, QStringList({"Open Order", "Order Template (Cancel: the default settings)"}));
  EXPECT_TRUE(view->isVisible());
  EXPECT_FALSE(view->isModal());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), orderFile + ": 3 row(s) ready");
  EXPECT_TRUE(view->FaultTexts().isEmpty()) << view->FaultTexts().join('\n').toStdString();
  EXPECT_FALSE(view->Refused());
  EXPECT_EQ(Column(view, OrderView::kRowColumn), QStringList({"2", "3", "4"}));
  EXPECT_EQ(Column(view, OrderView::kLabelColumn), QStringList({"Ward 1, bed 1", "Ward 1, bed 2", "Ward 1, bed 3"}));
  EXPECT_EQ(Column(view, OrderView::kCapcodesColumn), QStringList({"1200100", "1200108", "1200116"}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn) == "to do"; }, kPollLimitMs));
  EXPECT_EQ(view->Summary(), orderName + ": 0 done, 0 failed, 3 to do");

  auto* table = view->findChild<QTableView*>();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->accessibleName(), "Order rows");
  for (QPushButton* button : view->findChildren<QPushButton*>())
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name).isEmpty())
        << button->text().toStdString();

  // Basic mode shows too few settings to write an order's row: the view goes with it.
  window->SwitchToBasicMode();
  EXPECT_FALSE(view->isVisible());
}

TEST_P(OrderWindow, WithoutAHistoryThereIsNoFleetMenu) {
  ASSERT_NO_FATAL_FAILURE(StartWindow(true, false));
  EXPECT_FALSE(MenuTitles(window->MenuBar()).contains("Fle&et"));
  window->Action(MainWindow::kOpenOrderCommand)->trigger();
  EXPECT_EQ(window->OpenOrder(), nullptr);
}

// The order keeps the template it was first read over: opened again without one (Cancel), its
// rows are read over the kept one, not the default settings; another template is refused, saying
// what differs.
TEST_P(OrderWindow, TheOrderKeepsItsTemplate) {
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ASSERT_NE(OpenOrder(), nullptr);
  OrderView* again = OpenOrder(false);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(again->Refused()) << again->FaultTexts().join('\n').toStdString();
  EXPECT_EQ(Column(again, OrderView::kCapcodesColumn), QStringList({"1200100", "1200108", "1200116"}));
  QByteArray jude = kTemplate;
  jude.replace("ST. MARY", "ST. JUDE");
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("template.yaml"), jude));
  OrderView* other = OpenOrder();
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(other->Refused());
  EXPECT_TRUE(other->FaultTexts().value(0).contains("  Display / Startup Text: \"ST. MARY\" \u2192 \"ST. JUDE\"\n"))
      << other->FaultTexts().join('\n').toStdString();
}

// The faults `fleet check` reports, in its words; the order writes nothing, and Write says why.
TEST_P(OrderWindow, ACheckFaultIsListedAndRefusesProgramming) {
  ASSERT_TRUE(WriteFileAtomically(dir.filePath(orderFile),
                                  "label,general.capcodes[1].capcode,display.lcd_contrast\r\n"
                                  "A,1200100,Level 1\r\nB,7,Level 2\r\nC,1200100,Level 3\r\n"));
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ASSERT_NO_FATAL_FAILURE(WaitForAdapter());
  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->Refused());
  EXPECT_EQ(view->FaultTexts(),
            QStringList({orderFile + ":1:display.lcd_contrast: unknown column 'display.lcd_contrast'; did you mean "
                                     "display.contrast?",
                         orderFile + ":3:general.capcodes[1].capcode: '7': Capcode must be in range 8 to 2097151",
                         orderFile + ":4:general.capcodes[1].capcode: capcode 1200100 is also row 2's: two pagers "
                                     "would answer it (a call the pagers share: --shared "
                                     "general.capcodes[1].capcode)"}));
  auto* faults = view->findChild<QListWidget*>();
  ASSERT_NE(faults, nullptr);
  EXPECT_EQ(faults->count(), 3);
  EXPECT_EQ(faults->accessibleName(), "Order faults");
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), orderFile + " has faults; nothing written");

  window->ShowStatus(QString());
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  EXPECT_FALSE(window->Busy());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), orderFile + " has faults; nothing written");
  EXPECT_TRUE(tones->LastPlayed(Beep::Error));
  QTest::qWait(300);
  EXPECT_EQ(simulator->Counted().ends, 0);
  EXPECT_TRUE(StoredRows().empty());
  auto* writeButton = view->findChild<QPushButton*>();
  ASSERT_NE(writeButton, nullptr);
  EXPECT_EQ(writeButton->text(), "&Write Next Row");
  EXPECT_FALSE(writeButton->isEnabled());

  // A template that cannot be read is the order's fault too.
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("template.yaml"), "format: m84-settings/1\ngeneral: [\n"));
  ASSERT_TRUE(WriteFileAtomically(dir.filePath(orderFile), kOrder));
  view = OpenOrder();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->Refused());
  ASSERT_EQ(view->FaultTexts().size(), 1);
  EXPECT_TRUE(view->FaultTexts().first().startsWith("template ")) << view->FaultTexts().first().toStdString();
}

// Write takes the rows in turn, each through the fresh pager the simulator hands over: the row
// goes into the pages, the pager and the history, and the view shows it done. The swap guard,
// the same as `fleet run`'s, refuses the pager just written; closing the view gives Write back.
TEST_P(OrderWindow, WriteProgramsTheNextRowEachTime) {
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ASSERT_NO_FATAL_FAILURE(WaitForAdapter());
  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);
  const fleet::Order order = ReadBack();

  ASSERT_TRUE(WriteAndWait());
  EXPECT_EQ(
      window->StatusText(MainWindow::kMessagePane),
      "DPT Verify ok ! \u2014 row 2 (Ward 1, bed 1) written, serial number " + QString::fromLatin1(FirstSerial()));
  // The pages hold the row written, with the pager's own serial number.
  PagerImage expected = order.Row(2)->data.image;
  const QByteArray firstSerial = FirstSerial();
  std::copy(firstSerial.begin(), firstSerial.end(), expected.data() + kSerialFirst);
  EXPECT_TRUE(std::equal(expected.data(), expected.data() + kTransferLast + 1, data.image.data()));
  EXPECT_FALSE(window->HasUnsavedEdits());
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn) == "done"; }, kPollLimitMs));
  EXPECT_EQ(view->Cell(0, OrderView::kSerialColumn), QString::fromLatin1(FirstSerial()));
  EXPECT_EQ(view->Cell(0, OrderView::kAdapterColumn), simulator->DevicePath());
  EXPECT_EQ(view->Cell(0, OrderView::kHostColumn), QSysInfo::machineHostName());
  EXPECT_EQ(view->Cell(0, OrderView::kUserColumn), CurrentUserName());

  // The button in the view is the window's Write.
  auto* writeButton = view->findChild<QPushButton*>();
  ASSERT_NE(writeButton, nullptr);
  ASSERT_TRUE(writeButton->isEnabled());
  QTest::mouseClick(writeButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Busy(); }, kTransferLimitMs));
  EXPECT_TRUE(window->StatusText(MainWindow::kMessagePane).startsWith("DPT Verify ok ! \u2014 row 3 (Ward 1, bed 2) "))
      << window->StatusText(MainWindow::kMessagePane).toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(1, OrderView::kStateColumn) == "done"; }, kPollLimitMs));
  EXPECT_EQ(view->Summary(), orderName + ": 2 done, 0 failed, 1 to do");
  EXPECT_EQ(simulator->Counted().ends, 2);

  // Each done row's record holds the row's image, filed under the order and row.
  HistoryStore store(location);
  std::vector<QString> serials;
  const std::vector<RowRecord> rows = StoredRows();
  ASSERT_EQ(rows.size(), 2u);
  for (const RowRecord& row : rows) {
    SCOPED_TRACE(row.row);
    EXPECT_EQ(row.state, kRowDone);
    ASSERT_TRUE(row.historyId);
    const Result<std::optional<HistoryRecord>> found = store.Find(*row.historyId);
    ASSERT_TRUE(found && *found && (*found)->data);
    const HistoryRecord& record = **found;
    EXPECT_EQ(record.outcome, kOutcomeOk);
    EXPECT_EQ(record.source, kSourceFleet);
    EXPECT_TRUE(record.file.endsWith(QStringLiteral("%1:%2").arg(orderFile).arg(row.row))) << record.file.toStdString();
    PagerImage image = order.Row(row.row)->data.image;
    std::copy(record.data->image.data() + kSerialFirst, record.data->image.data() + kSerialLast,
              image.data() + kSerialFirst);
    EXPECT_TRUE(std::equal(image.data(), image.data() + kTransferLast + 1, record.data->image.data()));
    serials.push_back(row.serial);
  }
  EXPECT_NE(serials[0], serials[1]);

  // Put the first pager back: the swap guard refuses it, nothing is written or claimed.
  PagerImage first = simulator->Memory();
  std::memcpy(first.data() + kSerialFirst, firstSerial.constData(), size_t(firstSerial.size()));
  simulator->SetMemory(first);
  ASSERT_TRUE(WriteAndWait());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane),
            "the pager in the adapter has serial number " + QString::fromLatin1(firstSerial) +
                ", which row 2 of this order already got; insert the next pager");
  EXPECT_TRUE(tones->LastPlayed(Beep::Error));
  EXPECT_EQ(simulator->Counted().ends, 2);
  EXPECT_EQ(StoredRows().size(), 2u);

  // Closed, the view gives Write back to the pages: the pager gets what they hold, and the order
  // is not touched.
  view->close();
  ASSERT_TRUE(WriteAndWait());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");
  EXPECT_EQ(simulator->Counted().ends, 3);
  EXPECT_EQ(StoredRows().size(), 2u);
}

// Another bench on the same order, here another connection to the store: its claim and then its
// done row show in the open view, without reopening it, and Write goes on with the next row.
TEST_P(OrderWindow, AnotherBenchsRowsShowAsTheyHappen) {
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn) == "to do"; }, kPollLimitMs));
  const fleet::Order order = ReadBack();

  HistoryStore store(location);
  OrderState other(store, orderName);
  ClaimRules rules;
  rules.runId = QStringLiteral("bench-2:77:20261211T080000.000");
  rules.port = QStringLiteral("/dev/ttyUSB7");
  const Result<std::optional<int>> claimed = other.Claim(order, rules);
  ASSERT_TRUE(claimed && *claimed) << (claimed ? "" : claimed.failure().Text().toStdString());
  EXPECT_EQ(**claimed, 2);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view->Cell(0, OrderView::kStateColumn) == "claimed by " + QSysInfo::machineHostName(); },
      kPollLimitMs))
      << view->Cell(0, OrderView::kStateColumn).toStdString();
  EXPECT_EQ(view->Cell(0, OrderView::kAdapterColumn), "/dev/ttyUSB7");

  HistoryRecord record;
  record.source = kSourceFleet;
  record.operation = OperationName(HistoryOperation::Write);
  record.outcome = kOutcomeOk;
  record.port = rules.port;
  record.file = orderFile + ":2";
  record.data = order.Row(2)->data;
  FillSearchColumns(record);
  record.serial = QStringLiteral("8400012001");
  ASSERT_TRUE(other.Finish(2, record, true, order.Row(2)->label));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn) == "done"; }, kPollLimitMs))
      << view->Cell(0, OrderView::kStateColumn).toStdString();
  EXPECT_EQ(view->Cell(0, OrderView::kSerialColumn), "8400012001");
  EXPECT_EQ(view->Summary(), orderName + ": 1 done, 0 failed, 2 to do");

  // This window's Write takes the row the other bench left.
  ASSERT_NO_FATAL_FAILURE(WaitForAdapter());
  ASSERT_TRUE(WriteAndWait());
  EXPECT_TRUE(window->StatusText(MainWindow::kMessagePane).startsWith("DPT Verify ok ! \u2014 row 3 (Ward 1, bed 2) "))
      << window->StatusText(MainWindow::kMessagePane).toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(1, OrderView::kStateColumn) == "done"; }, kPollLimitMs));
}

// A write that fails marks its row failed, with the reason, and the next Write tries that row
// again rather than the next one.
TEST_P(OrderWindow, AFailedRowIsTriedAgainByTheNextWrite) {
  faults = QStringLiteral("write-nak:3");  // block 3 of every write refused, until mended below
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ASSERT_NO_FATAL_FAILURE(WaitForAdapter());
  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);

  ASSERT_TRUE(WriteAndWait());
  const QString failed = window->StatusText(MainWindow::kMessagePane);
  EXPECT_TRUE(failed.startsWith("Write Pager error ! \u2014 ")) << failed.toStdString();
  EXPECT_TRUE(failed.endsWith(" \u2014 row 2 (Ward 1, bed 1) failed")) << failed.toStdString();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view->Cell(0, OrderView::kStateColumn).startsWith("failed: block 0x0C0 write: "); }, kPollLimitMs))
      << view->Cell(0, OrderView::kStateColumn).toStdString();
  EXPECT_EQ(view->Summary(), orderName + ": 0 done, 1 failed, 2 to do");

  simulator->SetFaults({});
  ASSERT_TRUE(WriteAndWait());
  EXPECT_EQ(
      window->StatusText(MainWindow::kMessagePane),
      "DPT Verify ok ! \u2014 row 2 (Ward 1, bed 1) written, serial number " + QString::fromLatin1(FirstSerial()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn) == "done"; }, kPollLimitMs));
  EXPECT_EQ(view->Summary(), orderName + ": 1 done, 0 failed, 2 to do");
}

// Cancel during the row's write stops it between blocks: the row is marked failed, its record
// says the write was interrupted, and the row is there for the next pager, here or at another
// bench.
TEST_P(OrderWindow, ACancelledWriteGivesItsRowBack) {
  pace = true;
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ASSERT_NO_FATAL_FAILURE(WaitForAdapter());
  OrderView* view = OpenOrder();
  ASSERT_NE(view, nullptr);

  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  auto* progress = window->findChild<QProgressBar*>();
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() >= 2; }, kTransferLimitMs));
  // The pages show the row being written.
  EXPECT_TRUE(data.image == ReadBack().Row(2)->data.image);
  window->CancelTransfer();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Busy(); }, kTransferLimitMs));
  const QString status = window->StatusText(MainWindow::kMessagePane);
  EXPECT_TRUE(status.endsWith(" \u2014 row 2 (Ward 1, bed 1) failed")) << status.toStdString();

  const std::vector<RowRecord> rows = StoredRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].state, kRowFailed);
  HistoryStore store(location);
  const Result<std::optional<HistoryRecord>> record = store.Find(*rows[0].historyId);
  ASSERT_TRUE(record && *record);
  EXPECT_EQ((*record)->outcome, kOutcomeInterrupted);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return view->Cell(0, OrderView::kStateColumn).startsWith("failed: "); }, kPollLimitMs));

  ClaimRules other;
  other.runId = QStringLiteral("bench-2:78:20261211T080000.000");
  const Result<std::optional<int>> claimed = OrderState(store, orderName).Claim(ReadBack(), other);
  ASSERT_TRUE(claimed && *claimed);
  EXPECT_EQ(**claimed, 2);
}

namespace {

// A history server that takes the connection and never says a word: the view's read waits on it
// for the whole of its limit (here 2 s). The view closes at once all the same, and that read's
// answer, when it comes, reaches nothing.
TEST(OrderViewStore, ClosesAtOnceWhileItsReadWaitsForTheServer) {
  const SilentServer server;
  ASSERT_TRUE(server.Listening());
  QTemporaryDir dir;
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("template.yaml"), kTemplate));
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("order.csv"), kOrder));
  const HistoryLocation silent = ParseHistoryLocation(server.Connection(QStringLiteral("connect_timeout=2")));

  auto* view = new OrderView(dir.filePath("order.csv"), dir.filePath("template.yaml"), silent, nullptr);
  view->show();
  ASSERT_FALSE(view->Refused()) << view->FaultTexts().join('\n').toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.Called(); }, 5000));
  QElapsedTimer closing;
  closing.start();
  delete view;
  EXPECT_LT(closing.elapsed(), 1000);
  // Past the server's limit, with the window's events running: what that read found is dropped.
  QTest::qWait(3000);
}

}  // namespace
