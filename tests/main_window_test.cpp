#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/image/dat_file.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"
#include "core/link/simulator_host.h"
#include "core/pages/model_page_set.h"
#include "core/report/report_layout.h"
#include "core/settings/settings_document.h"
#include "gui/main_window.h"
#include "gui/pages/general_page_widget.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

struct AnsweringDialogs : FileDialogs {
  QString answer;
  QStringList titles;
  QStringList filters;
  QString OpenFileName(QWidget*, const QString& title, const QString& filter) override {
    titles << title;
    filters << filter;
    return answer;
  }
  QString SaveFileName(QWidget*, const QString& title, const QString& filter) override {
    titles << title;
    filters << filter;
    return answer;
  }
};

struct WindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<AnsweringDialogs> dialogs = std::make_shared<AnsweringDialogs>();
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::unique_ptr<MainWindow> window;
  QTemporaryDir dir;

  void SetUp() override { window = std::make_unique<MainWindow>(data, WindowOptions{dialogs, tones, PortName()}); }
  virtual QString PortName() { return dir.filePath("no-such-port"); }
  bool Beeped(Beep beep) const { return tones->LastPlayed(beep); }
};

}  // namespace

TEST_F(WindowFixture, StartsInBasicModeWithTheInitialStatusLine) {
  EXPECT_EQ(window->windowTitle(), "Tarnwell M84 Pager Programming");
  EXPECT_EQ(window->Mode(), DisplayMode::Basic);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), " Welcome to use M84 DPT ");
  EXPECT_EQ(window->StatusText(MainWindow::kAdapterPane), "   ");
  EXPECT_EQ(window->StatusText(MainWindow::kClockPane), "    ");  // the clock starts with the first tick
  EXPECT_TRUE(window->Button(MainWindow::kSaveButton)->isEnabled());
  EXPECT_FALSE(window->Button(MainWindow::kWriteButton)->isEnabled());
  EXPECT_FALSE(window->Button(MainWindow::kReadButton)->isEnabled());
  EXPECT_EQ(window->Button(MainWindow::kSaveButton)->toolTip(), "Save data to a file");
}

// The status line, the About box and the report title each name the version project() gives.
TEST_F(WindowFixture, EveryVersionTextNamesTheProjectsVersion) {
  const QString version = QStringLiteral(M84_PROJECT_VERSION);
  EXPECT_EQ(window->StatusText(MainWindow::kVersionPane), "V" + version);
  EXPECT_EQ(kReportTitle, " M84 POCSAG Multi-Lingual Alphanumeric Pager DPT V" + version);
  Activate(window.get());
  QStringList aboutTexts;
  QString aboutTitle;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    aboutTitle = box->windowTitle();
    for (const QLabel* label : box->findChildren<QLabel*>())
      if (!label->text().isEmpty()) aboutTexts << label->text();
    box->close();
  });
  QTest::keyClick(window.get(), Qt::Key_F1);
  EXPECT_EQ(aboutTitle, "About M84DPT");
  EXPECT_EQ(aboutTexts, QStringList{"M84 POCSAG Multi-Lingual Alphanumeric Pager DPT V" + version});
}

// The window's icon is the file the desktop entry installs, drawn: the orange key below the display.
TEST_F(WindowFixture, TheWindowIconIsTheInstalledIconFile) {
  QFile installed(QStringLiteral(M84_SOURCE_DIR "/data/icons/org.m84dpt.Programmer.svg"));
  QFile compiledIn(QStringLiteral(":/icons/org.m84dpt.Programmer.svg"));
  ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
  ASSERT_TRUE(compiledIn.open(QIODevice::ReadOnly));
  EXPECT_EQ(compiledIn.readAll(), installed.readAll());
  const QImage icon = window->windowIcon().pixmap(128, 128).toImage();
  ASSERT_EQ(icon.width(), 128);
  EXPECT_EQ(icon.pixelColor(64, 92).name(), QStringLiteral("#d6782c"));
  EXPECT_EQ(icon.pixelColor(2, 2).alpha(), 0);
}

TEST_F(WindowFixture, SaveAndLoadThroughTheButtons) {
  dialogs->answer = dir.filePath("pager");
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_EQ(dialogs->titles.last(), "Save Data File");
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Saved ok");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  ASSERT_TRUE(QFile::exists(dir.filePath("pager.DAT")));

  data.image[0x600] = 0x42;
  dialogs->answer = dir.filePath("pager.DAT");
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  EXPECT_EQ(dialogs->titles.last(), "Select Data File");
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x600], 0xFF);

  QFile bad(dir.filePath("bad.DAT"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray(kDatFileSize, '\0'));
  bad.close();
  dialogs->answer = bad.fileName();
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded error");
  EXPECT_TRUE(Beeped(Beep::Error));
}

// The settings text is the second file type of both dialogs. What the window saves as text reads
// back as its settings; an edited text loads into the pages; a refused one changes nothing.
TEST_F(WindowFixture, SaveAndLoadASettingsText) {
  const QString path = dir.filePath("pager.yaml");
  dialogs->answer = path;
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_TRUE(dialogs->filters.last().contains("(*.yaml *.yml)")) << dialogs->filters.last().toStdString();
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Saved ok");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray text = file.readAll();
  file.close();
  const SettingsReadResult saved = ReadSettingsDocument(text, PagerData());
  ASSERT_TRUE(saved) << saved.error.Text().toStdString();
  // The text holds the settings as every page stores them, as `convert` saves them.
  PagerData converted = data;
  ModelPageSet pages(converted);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  EXPECT_TRUE(saved.data->image == converted.image && saved.data->selection == converted.selection);

  text.replace("startup_text: \"Welcome to M84\"", "startup_text: \"Hello there\"");
  ASSERT_TRUE(WriteFileAtomically(path, text));
  data.image[0x600] = 0x42;
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  EXPECT_TRUE(dialogs->filters.last().contains("(*.yaml *.yml)")) << dialogs->filters.last().toStdString();
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x600], 0xFF);
  EXPECT_EQ(window->Page(PageId::Basic)->findChild<QLineEdit*>("startupText")->text(), "Hello there");

  const PagerData before = data;
  ASSERT_TRUE(WriteFileAtomically(path, "format: m84-settings/1\ndisplay:\n  contrast: Level 99\n"));
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded error");
  EXPECT_TRUE(Beeped(Beep::Error));
  EXPECT_TRUE(data.image == before.image);
}

TEST_F(WindowFixture, CancelledDialogsChangeNothing) {
  window->ShowStatus("before");
  dialogs->answer.clear();
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "before");
  EXPECT_TRUE(tones->played.empty());
}

TEST_F(WindowFixture, EnterOnAButtonDoesNothingEscapeCloses) {
  window->show();
  window->Button(MainWindow::kSaveButton)->setFocus();
  QTest::keyClick(window->Button(MainWindow::kSaveButton), Qt::Key_Return);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs->titles.isEmpty());
  QTest::keyClick(window->Button(MainWindow::kSaveButton), Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowFixture, ModeSwitchShowsTheTabPages) {
  window->show();
  window->SwitchToAdvancedMode();
  EXPECT_EQ(window->Mode(), DisplayMode::Advanced);
  EXPECT_FALSE(window->Page(PageId::Basic)->isVisible());
  EXPECT_TRUE(window->Page(PageId::General)->isVisible());
  window->SwitchToBasicMode();
  EXPECT_TRUE(window->Page(PageId::Basic)->isVisible());
  EXPECT_FALSE(window->Page(PageId::General)->isVisible());
}

namespace {

struct AnsweringQuestions : Questions {
  bool answer = true;
  QStringList asked;
  bool Confirm(QWidget*, const QString& text) override {
    asked << text;
    return answer;
  }
};

// What the pager holds before a write: a digit, so that its serial number reads as one and the
// read is no blank pager.
constexpr uint8_t kOldByte = '5';
constexpr int kTransferLimitMs = 15000;
constexpr int kPresenceLimitMs = 5000;

// The window attached to the simulated adapter and pager over a pseudo-terminal.
struct WindowWithAdapter : WindowFixture {
  std::unique_ptr<SimulatorHost> simulator;
  std::shared_ptr<AnsweringQuestions> questions = std::make_shared<AnsweringQuestions>();

  void SetUp() override {
    WindowOptions options{dialogs, tones, PortName()};
    options.questions = questions;
    window = std::make_unique<MainWindow>(data, options);
  }
  virtual SimulatorOptions Options() { return {}; }
  QString PortName() override {
    simulator = std::make_unique<SimulatorHost>(Options());
    PagerImage old = SimulatedPagerMemory();
    std::fill(old.data(), old.data() + kExchangedSize, kOldByte);
    simulator->SetMemory(old);
    const Outcome started = simulator->Start();
    EXPECT_TRUE(started) << started.failure().reason.toStdString();
    return simulator->DevicePath();
  }
  // The first check is due after a second; on a loaded machine it may come later.
  void WaitForPresenceCheck() {
    QTest::qWait(1100);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->StatusText(MainWindow::kAdapterPane) == " OK"; }, kPresenceLimitMs))
        << window->StatusText(MainWindow::kAdapterPane).toStdString();
  }
  bool WaitForTransferEnd() {
    return QTest::qWaitFor([&] { return !window->Busy(); }, kTransferLimitMs);
  }
  int Progress() const { return window->findChild<QProgressBar*>()->value(); }
  // Waits until the transfer has moved about a third of its blocks.
  bool WaitForProgress(int position = 5) {
    return QTest::qWaitFor([&] { return Progress() >= position; }, kTransferLimitMs);
  }
};

// The simulator holds every byte for its time on a 9600-baud line: a read takes about 2 s.
struct WindowWithPacedAdapter : WindowWithAdapter {
  SimulatorOptions Options() override {
    SimulatorOptions options;
    options.pace = true;
    return options;
  }
};

// The end of the blocks a stopped write's summary calls new.
int WrittenEnd(const QString& status) {
  const QRegularExpressionMatch m =
      QRegularExpression(QStringLiteral("blocks? 0x000 (?:to 0x([0-9A-F]{3}) )?holds? the new contents")).match(status);
  if (!m.hasMatch()) return 0;
  return (m.captured(1).isEmpty() ? 0 : m.captured(1).toInt(nullptr, 16)) + kBlockSize;
}

}  // namespace

namespace {

// The window started with --trace FILE.
struct WindowWithTrace : WindowWithAdapter {
  std::shared_ptr<SerialTrace> trace = std::make_shared<SerialTrace>();
  void SetUp() override {
    ASSERT_TRUE(trace->Open(dir.filePath("trace.txt"), "m84dpt window"));
    WindowOptions options{dialogs, tones, PortName()};
    options.lineObserver = trace;
    window = std::make_unique<MainWindow>(data, options);
  }
};

}  // namespace

TEST_F(WindowWithTrace, TracesEveryByteOfThePresenceCheck) {
  WaitForPresenceCheck();
  QFile file(dir.filePath("trace.txt"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.startsWith("# m84dpt window, "));
  EXPECT_TRUE(text.contains(" open " + simulator->DevicePath() + "\n"));
  EXPECT_TRUE(text.contains(" -> 0D 06 00 FA 00 00 40 00 B1  probe\n"));
  EXPECT_TRUE(text.contains(" <- 28\n")) << text.toStdString();
}

TEST_F(WindowFixture, PresenceCheckWithoutAdapterKeepsTransfersDisabled) {
  QTest::qWait(1100);
  EXPECT_EQ(window->StatusText(MainWindow::kAdapterPane), "");
  EXPECT_EQ(window->StatusText(MainWindow::kClockPane).size(), 8);  // HH:MM:SS
  EXPECT_FALSE(window->Button(MainWindow::kReadButton)->isEnabled());
}

TEST_F(WindowWithAdapter, ReadAndWriteThroughTheButtons) {
  WaitForPresenceCheck();
  ASSERT_TRUE(window->Button(MainWindow::kReadButton)->isEnabled());
  ASSERT_TRUE(window->Button(MainWindow::kWriteButton)->isEnabled());

  // The simulated pager carries its own serial number; a read brings it into the image.
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok !");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.image.data()) + 0x548, 10),
            QByteArray(reinterpret_cast<const char*>(simulator->Memory().data()) + 0x548, 10));

  // A write from basic mode keeps the pager's serial number (the General page's box starts checked).
  data.image[0x548] = '9';
  window->Page(PageId::Basic)->ExchangeImage(Direction::Load);
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  EXPECT_NE(data.image[0x548], '9');
  EXPECT_EQ(simulator->Memory()[0x548], data.image[0x548]);
  EXPECT_EQ(simulator->Memory()[0x000], data.image[0x000]);
}

TEST_F(WindowWithPacedAdapter, DuringAReadTheWindowLivesButTakesNoCommandAndNoKey) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(window->Busy());
  const QString clockBefore = window->StatusText(MainWindow::kClockPane);
  ASSERT_TRUE(WaitForProgress(3));

  for (int i = 0; i < MainWindow::kButtonCount; ++i) {
    const QPushButton* button = window->Button(MainWindow::CommandButton(i));
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
  }
  EXPECT_FALSE(window->Page(PageId::Basic)->isEnabled());
  EXPECT_FALSE(window->Button(MainWindow::kReadButton)->isVisible());
  QPushButton* cancel = window->CancelButton();
  ASSERT_NE(cancel, nullptr);
  EXPECT_TRUE(cancel->isVisible());
  // Clicks on the button, its key, typing into the page, a second read asked for directly.
  for (int i = 0; i < 3; ++i) QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
  QTest::keyClicks(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), "1234567");
  window->ReadCommand();
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_NE(window->StatusText(MainWindow::kClockPane), clockBefore);  // the clock went on
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok !");
  QTest::qWait(300);
  EXPECT_EQ(simulator->Counted().blockReads, kExchangedSize / kBlockSize);
  EXPECT_TRUE(window->Button(MainWindow::kReadButton)->isVisible());
  EXPECT_TRUE(window->Button(MainWindow::kReadButton)->isEnabled());
  EXPECT_TRUE(window->Page(PageId::Basic)->isEnabled());
  EXPECT_FALSE(cancel->isVisible());
  EXPECT_EQ(data.image[0x000], kOldByte);
  for (QLineEdit* edit : window->Page(PageId::Basic)->findChildren<QLineEdit*>())
    EXPECT_FALSE(edit->text().contains("1234567")) << edit->objectName().toStdString();
}

TEST_F(WindowWithPacedAdapter, CancelStopsAReadAfterItsBlockAndAWriteOnlyWhenConfirmed) {
  WaitForPresenceCheck();
  const PagerImage before = data.image;
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress());
  QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_TRUE(questions->asked.isEmpty());  // a read is stopped without asking
  EXPECT_TRUE(
      window->StatusText(MainWindow::kMessagePane).startsWith("Read Pager error ! \u2014 interrupted before block 0x"))
      << window->StatusText(MainWindow::kMessagePane).toStdString();
  EXPECT_LT(simulator->Counted().blockReads, kExchangedSize / kBlockSize);
  EXPECT_EQ(data.image, before);

  // Escape, answered no: the write goes on to the end.
  questions->answer = false;
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress());
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_EQ(questions->asked, QStringList{"Stopping now leaves the pager half-written. Stop anyway?"});
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");

  // Confirmed: it stops after the block in progress, and says which blocks are new.
  std::fill(data.image.data(), data.image.data() + kExchangedSize, uint8_t{0x11});
  window->Page(PageId::Basic)->ExchangeImage(Direction::Load);
  const PagerImage pagerBefore = simulator->Memory();
  questions->answer = true;
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress());
  QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  const QString status = window->StatusText(MainWindow::kMessagePane);
  EXPECT_TRUE(status.startsWith("Write Pager error ! \u2014 interrupted before block 0x")) << status.toStdString();
  EXPECT_TRUE(status.contains("; the pager is half-written: ")) << status.toStdString();
  const int end = WrittenEnd(status);
  ASSERT_GT(end, 0) << status.toStdString();
  ASSERT_LT(end, kExchangedSize);
  const PagerImage memory = simulator->Memory();
  for (int at = 0; at < kExchangedSize; ++at)
    ASSERT_EQ(memory[at], at < end ? data.image[at] : pagerBefore[at]) << "at " << at << ", new up to " << end;
}

TEST_F(WindowWithPacedAdapter, ClosingDuringAWriteAsksAndClosesOnlyBetweenBlocks) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  WaitForPresenceCheck();
  std::fill(data.image.data(), data.image.data() + kExchangedSize, uint8_t{0x22});
  window->Page(PageId::Basic)->ExchangeImage(Direction::Load);
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress(3));

  questions->answer = false;
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->Busy());

  questions->answer = true;
  window->close();
  EXPECT_EQ(questions->asked.size(), 2);
  ASSERT_TRUE(WaitForTransferEnd());
  QTest::qWait(50);
  EXPECT_FALSE(window->isVisible());
  const int written = simulator->Counted().blockWrites;
  EXPECT_GT(written, 0);
  EXPECT_LT(written, kExchangedSize / kBlockSize);
  const PagerImage memory = simulator->Memory();
  for (int at = 0; at < kExchangedSize; ++at)
    ASSERT_EQ(memory[at], at < written * kBlockSize ? data.image[at] : kOldByte) << "at " << at;
}

TEST_F(WindowWithPacedAdapter, ClosingDuringAReadStopsItWithoutAsking) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress(3));
  window->close();
  EXPECT_TRUE(questions->asked.isEmpty());
  ASSERT_TRUE(WaitForTransferEnd());
  QTest::qWait(50);
  EXPECT_FALSE(window->isVisible());
  EXPECT_LT(simulator->Counted().blockReads, kExchangedSize / kBlockSize);
}

namespace {

// The cable is pulled when the read of block 4 (0x100) arrives.
struct WindowWithPulledCable : WindowWithAdapter {
  SimulatorOptions Options() override {
    SimulatorOptions options;
    options.faults = *ParseFaultPlan(QStringLiteral("unplug:4"));
    return options;
  }
};

}  // namespace

TEST_F(WindowWithPulledCable, TheStatusLineNamesTheBlock) {
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane),
            "Read Pager error ! \u2014 the adapter was disconnected at block 0x100");
  EXPECT_TRUE(Beeped(Beep::Error));
}

// The window holds the port and its lock only for each exchange: the command line works while the
// window idles, each side sees the other's hold, and a held port names its holder.
TEST_F(WindowWithPacedAdapter, AndTheCommandLineShareOnePort) {
  WaitForPresenceCheck();
  const QStringList port{QStringLiteral("--port"), simulator->DevicePath()};
  const auto runProgram = [](QProcess& program, const QStringList& arguments) {
    program.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    return program.waitForStarted();
  };

  // A read from the command line (about 2 s): the window's presence check meets its hold.
  QProcess read;
  ASSERT_TRUE(runProgram(read, QStringList{QStringLiteral("read"), dir.filePath(QStringLiteral("cli.DAT"))} + port));
  const qint64 readPid = read.processId();
  QString heldTip;
  bool readOfferedWhileHeld = false;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (window->StatusText(MainWindow::kAdapterPane) == "BUSY") {
          heldTip = window->StatusTip(MainWindow::kAdapterPane);
          readOfferedWhileHeld = readOfferedWhileHeld || window->Button(MainWindow::kReadButton)->isEnabled();
        }
        return read.state() == QProcess::NotRunning;
      },
      kTransferLimitMs));
  EXPECT_EQ(read.exitCode(), 0) << read.readAllStandardError().toStdString();
  EXPECT_EQ(heldTip, QStringLiteral("the port is in use by m84dpt (pid %1)").arg(readPid));
  EXPECT_FALSE(readOfferedWhileHeld);
  WaitForPresenceCheck();

  // Probes one after another, across the window's presence checks: none is turned away.
  for (int i = 0; i < 3; ++i) {
    QProcess probe;
    ASSERT_TRUE(runProgram(probe, QStringList{QStringLiteral("probe")} + port));
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.state() == QProcess::NotRunning; }, kTransferLimitMs));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    QTest::qWait(300);
  }

  // During the window's own read the command line is refused, naming the window's program.
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress(2));
  QProcess refused;
  ASSERT_TRUE(runProgram(refused, QStringList{QStringLiteral("probe")} + port));
  ASSERT_TRUE(QTest::qWaitFor([&] { return refused.state() == QProcess::NotRunning; }, kTransferLimitMs));
  EXPECT_EQ(refused.exitCode(), 1);
  EXPECT_TRUE(window->Busy());
  const QString said = QString::fromLocal8Bit(refused.readAllStandardError());
  EXPECT_TRUE(
      said.contains(QStringLiteral("in use by %1 (pid %2)").arg(QCoreApplication::applicationName()).arg(::getpid())))
      << said.toStdString();
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok !");
}

namespace {

// A save dialog that looks, while it is open, whether the port is free for another program.
struct PortCheckingDialogs : AnsweringDialogs {
  QString device;
  bool portFree = false;
  QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) override {
    SerialPort other(device);
    other.SetHeldPortRetry(0);
    portFree = other.OpenAdapterPort();
    return AnsweringDialogs::SaveFileName(parent, title, filter);
  }
};

}  // namespace

// The dump reads on the transfer's thread, and gives the port up before its save dialog.
TEST_F(WindowWithAdapter, TheDumpGivesThePortUpBeforeItsSaveDialog) {
  auto checking = std::make_shared<PortCheckingDialogs>();
  checking->device = simulator->DevicePath();
  checking->answer = dir.filePath("dump");
  WindowOptions options{checking, tones, simulator->DevicePath()};
  window = std::make_unique<MainWindow>(data, options);
  window->MemoryDumpCommand();
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(checking->titles, QStringList{"Save Data File"});
  EXPECT_TRUE(checking->portFree);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Saved ok");
  QFile dump(dir.filePath("dump.BIN"));
  ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
  EXPECT_EQ(dump.readAll(), QByteArray(reinterpret_cast<const char*>(simulator->Memory().data()), kImageSize));
}

// A read that brings back an erased pager says so after the fixed text.
TEST_F(WindowWithAdapter, ABlankPagerReadsWithAWarningInTheStatusLine) {
  PagerImage erased;
  std::fill(erased.data(), erased.data() + erased.size(), uint8_t(0xFF));
  simulator->SetMemory(erased);
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok ! - the pager's memory looks blank");
  EXPECT_EQ(data.image[0x000], 0xFF);  // read all the same
}

// "m84dpt FILE", as a file manager starts it: a data file, or a raw image by its extension.
TEST_F(WindowFixture, OpensAFileGivenAtStart) {
  PagerData file;
  file.image[0x010] = 0x42;
  const QString dat = dir.filePath("given.DAT");
  ASSERT_TRUE(WriteFileAtomically(dat, EncodeDatFile(file, 9)));
  window->OpenFile(dat);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x010], 0x42);

  file.image[0x010] = 0x43;
  const QString bin = dir.filePath("given.bin");
  ASSERT_TRUE(WriteFileAtomically(bin, QByteArray(reinterpret_cast<const char*>(file.image.data()), kImageSize)));
  window->OpenFile(bin);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x010], 0x43);
}
