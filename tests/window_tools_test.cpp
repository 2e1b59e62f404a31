// The window's Pager, Adapter Ports... and Check the Connection...: the command line's listing and
// table on the window's own port, run aside while the box says so; and the menus' mnemonics, one
// of a kind in every menu, in both modes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <future>

#include "core/history/history_store.h"
#include "core/link/simulated_adapter.h"
#include "core/link/simulator_host.h"
#include "gui/adapter_checks.h"
#include "gui/history_dialog.h"
#include "gui/main_window.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

constexpr int kCheckLimitMs = 20000;

struct NoDialogs : FileDialogs {
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

// What the command line prints for the arguments, on standard output.
QByteArray ProgramOutput(const QStringList& arguments) {
  QProcess program;
  program.start(QStringLiteral(M84DPT_PROGRAM), arguments);
  EXPECT_TRUE(program.waitForFinished(kCheckLimitMs));
  return program.readAllStandardOutput();
}

struct WindowTools : ::testing::Test {
  PagerData data;
  QTemporaryDir dir;
  std::unique_ptr<SimulatorHost> simulator;
  std::unique_ptr<MainWindow> window;
  QString port;

  // A window on the simulated adapter, or on the port named.
  void Open(const QString& faults = {}, const QString& named = {}) {
    if (named.isEmpty()) {
      SimulatorOptions options;
      const Result<FaultPlan> plan = ParseFaultPlan(faults);
      ASSERT_TRUE(plan) << plan.failure().reason.toStdString();
      options.faults = *plan;
      simulator = std::make_unique<SimulatorHost>(options);
      const Outcome started = simulator->Start();
      ASSERT_TRUE(started) << started.failure().reason.toStdString();
      port = simulator->DevicePath();
    } else {
      port = named;
    }
    WindowOptions options{std::make_shared<NoDialogs>(), std::make_shared<RecordingTones>(), port};
    window = std::make_unique<MainWindow>(data, options);
    window->show();
  }

  // The command's box, from its opening to the check's end; during runs while the box is open.
  struct Checked {
    bool opened = false;
    bool checkingShown = false;  // the box said so while its check ran
    bool ended = false;
    QString text;
  };
  Checked RunCheck(MainWindow::MenuCommand command, const std::function<void()>& during = {}) {
    Checked checked;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<AdapterCheckDialog*>(QApplication::activeModalWidget());
      if (!box) return;
      checked.opened = true;
      checked.checkingShown = box->Running() && box->Text() == "Checking...";
      checked.ended = QTest::qWaitFor([&] { return !box->Running(); }, kCheckLimitMs);
      checked.text = box->Text();
      if (during) during();
      box->close();
    });
    window->Action(command)->trigger();
    return checked;
  }
};

}  // namespace

// The listing is what `m84dpt ports --port PORT` prints, byte for byte; the port's line says the
// adapter answers there.
TEST_F(WindowTools, AdapterPortsListsWhatTheCommandLinePrints) {
  ASSERT_NO_FATAL_FAILURE(Open());
  QByteArray printed;
  // While the box is open the window leaves the port alone: the command line's probe meets no hold.
  const Checked checked = RunCheck(MainWindow::kAdapterPortsCommand, [&] {
    printed = ProgramOutput({QStringLiteral("ports"), "--port", port});
  });
  ASSERT_TRUE(checked.opened);
  ASSERT_TRUE(checked.ended);
  EXPECT_EQ(checked.text, QString::fromLocal8Bit(printed));
  const QRegularExpression line(QStringLiteral("^%1 +- +adapter answers$").arg(QRegularExpression::escape(port)),
                                QRegularExpression::MultilineOption);
  EXPECT_TRUE(line.match(checked.text).hasMatch()) << checked.text.toStdString();
}

// The doctor's checks ask the window's port, wherever it is; a failure carries its mend.
TEST_F(WindowTools, CheckTheConnectionAsksTheWindowsPort) {
  struct Case {
    const char* name;
    bool simulated;
    const char* expected;  // a line of the table, %1 the port
  };
  const Case cases[] = {
      {"the simulated adapter", true, "^\u2713 adapter answers +the adapter at %1 answered in \\d+ ms$"},
      {"a port that is not there", false, "^\u2717 .*%1.*$"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(Open({}, c.simulated ? QString() : dir.filePath("no-such-port")));
    const Checked checked = RunCheck(MainWindow::kCheckConnectionCommand);
    ASSERT_TRUE(checked.opened);
    ASSERT_TRUE(checked.ended);
    const QRegularExpression line(QString::fromUtf8(c.expected).arg(QRegularExpression::escape(port)),
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(checked.text).hasMatch()) << checked.text.toStdString();
    if (!c.simulated) {
      EXPECT_TRUE(checked.text.contains("mend: ")) << checked.text.toStdString();
      EXPECT_TRUE(checked.text.endsWith(" checks failed.\n")) << checked.text.toStdString();
    }
    window.reset();
    simulator.reset();
  }
}

// The box shows that its check runs while the window's event loop goes on; Close waits for the
// check's end instead of leaving it running; Check Again runs it anew.
TEST(AdapterCheckDialog, WaitsForItsCheckAside) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<int> runs{0};
  AdapterCheckDialog box(QStringLiteral("Adapter Ports"), [released, &runs] {
    released.wait();
    return QStringLiteral("run %1").arg(++runs);
  });
  box.show();
  EXPECT_TRUE(box.Running());
  EXPECT_EQ(box.Text(), "Checking...");
  bool fired = false;
  QTimer::singleShot(10, [&] { fired = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }));
  box.close();
  EXPECT_TRUE(box.isVisible());
  release.set_value();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !box.isVisible(); }, kCheckLimitMs));
  EXPECT_FALSE(box.Running());
  EXPECT_EQ(box.Text(), "run 1");

  box.show();
  box.Rerun();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !box.Running(); }, kCheckLimitMs));
  EXPECT_EQ(box.Text(), "run 2");
}

// Every menu's entries have mnemonics of their own, in both modes and with the History menu;
// basic mode shows the port checks (they change nothing) but no service command.
TEST_F(WindowTools, EveryMenusMnemonicsAreOneOfAKind) {
  WindowOptions options{std::make_shared<NoDialogs>(), std::make_shared<RecordingTones>(), dir.filePath("none")};
  options.historyLocation = HistoryLocation{HistoryLocation::Backend::SQLite, dir.filePath("history.sqlite")};
  window = std::make_unique<MainWindow>(data, options);
  for (const DisplayMode mode : {DisplayMode::Basic, DisplayMode::Advanced}) {
    if (mode == DisplayMode::Advanced) window->SwitchToAdvancedMode();
    for (QAction* top : window->MenuBar()->actions()) {
      QMap<QChar, QString> taken;
      for (QAction* entry : top->menu()->actions()) {
        if (entry->isSeparator() || !entry->isVisible()) continue;
        const qsizetype at = entry->text().indexOf('&');
        ASSERT_GE(at, 0) << entry->text().toStdString();
        const QChar key = entry->text()[at + 1].toUpper();
        EXPECT_FALSE(taken.contains(key)) << entry->text().toStdString() << " and " << taken[key].toStdString();
        taken[key] = entry->text();
      }
    }
    EXPECT_TRUE(window->Action(MainWindow::kAdapterPortsCommand)->isVisible());
    EXPECT_TRUE(window->Action(MainWindow::kCheckConnectionCommand)->isVisible());
    EXPECT_EQ(window->Action(MainWindow::kDumpCommand)->isVisible(), mode == DisplayMode::Advanced);
  }
  QStringList pager;
  for (QAction* entry : window->MenuBar()->actions()[1]->menu()->actions())
    if (!entry->isSeparator()) pager << entry->text();
  EXPECT_TRUE(pager.contains("&Adapter Ports...")) << pager.join(" | ").toStdString();
  EXPECT_TRUE(pager.contains("C&heck the Connection...")) << pager.join(" | ").toStdString();

  // The history dialog's labels, box and buttons, likewise.
  HistoryDialog history(*options.historyLocation, {}, std::make_shared<NoDialogs>());
  QMap<QChar, QString> taken;
  QStringList texts;
  for (const QLabel* label : history.findChildren<QLabel*>())
    if (label->buddy()) texts << label->text();
  for (const QAbstractButton* button : history.findChildren<QAbstractButton*>()) texts << button->text();
  for (const QString& text : texts) {
    const qsizetype at = text.indexOf('&');
    if (at < 0) continue;  // Close, the clear buttons
    const QChar key = text[at + 1].toUpper();
    EXPECT_FALSE(taken.contains(key)) << text.toStdString() << " and " << taken[key].toStdString();
    taken[key] = text;
  }
  EXPECT_GE(taken.size(), 8);
}
