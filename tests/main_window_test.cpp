#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <iostream>

#include "core/history/pager_history.h"
#include "core/image/dat_file.h"
#include "core/link/adapter_frame.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"
#include "core/link/simulator_host.h"
#include "core/pages/model_page_set.h"
#include "core/report/report_layout.h"
#include "core/settings/settings_document.h"
#include "gui/history_dialog.h"
#include "gui/main_window.h"
#include "gui/pages/general_page_widget.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

struct AnsweringDialogs : FileDialogs {
  QString answer;
  // The save dialog's answer where it differs from the open dialog's.
  std::optional<QString> saveAnswer;
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
    return saveAnswer.value_or(answer);
  }
};

struct AnsweringQuestions : Questions {
  bool answer = true;
  UnsavedChoice unsavedAnswer = UnsavedChoice::Cancel;
  QStringList asked;
  QStringList unsavedAsked;
  QStringList failures;
  int withdrawn = 0;
  bool Confirm(QWidget*, const QString& text) override {
    asked << text;
    return answer;
  }
  UnsavedChoice AskUnsaved(QWidget*, const QString& text) override {
    unsavedAsked << text;
    return unsavedAnswer;
  }
  void ShowFailure(QWidget*, const QString& text, const QString& details) override {
    failures << text + " | " + details;
  }
  bool writeAnswer = false;
  QStringList reviewed;
  bool ConfirmWrite(QWidget*, const QString& changes) override {
    reviewed << changes;
    return writeAnswer;
  }
  void Withdraw() override { ++withdrawn; }
};

struct WindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<AnsweringDialogs> dialogs = std::make_shared<AnsweringDialogs>();
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::shared_ptr<AnsweringQuestions> questions = std::make_shared<AnsweringQuestions>();
  std::unique_ptr<MainWindow> window;
  QTemporaryDir dir;

  void SetUp() override {
    WindowOptions options{dialogs, tones, PortName()};
    options.questions = questions;
    window = std::make_unique<MainWindow>(data, options);
  }
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
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane),
            "File Loaded error \u2014 bad.DAT: not a data file of this program, or damaged");
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
  // The text holds the settings as the window's pages stored them for the save, byte for byte,
  // as a data file would: in basic mode too, where only the Basic page stores.
  EXPECT_EQ(window->Mode(), DisplayMode::Basic);
  EXPECT_TRUE(saved.data->image == data.image && saved.data->selection == data.selection);

  text.replace("startup_text: \"Welcome to M84\"", "startup_text: \"Hello there\"");
  ASSERT_TRUE(WriteFileAtomically(path, text));
  data.image[0x600] = 0x42;
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  EXPECT_TRUE(dialogs->filters.last().contains("(*.yaml *.yml)")) << dialogs->filters.last().toStdString();
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x600], 0xFF);
  EXPECT_EQ(window->Page(PageId::Basic)->findChild<QLineEdit*>("startupText")->text(), "Hello there");

  const PagerData before = data;
  const QByteArray refused = "format: m84-settings/1\ndisplay:\n  contrast: Level 99\n";
  ASSERT_TRUE(WriteFileAtomically(path, refused));
  QTest::mouseClick(window->Button(MainWindow::kLoadButton), Qt::LeftButton);
  // The status text as it stands, then where and why, as the command line names them.
  const SettingsReadResult why = ReadSettingsDocument(refused, PagerData(), path);
  ASSERT_FALSE(why);
  ASSERT_EQ(why.error.line, 3);
  const QString at = QStringLiteral(":%1:%2: ").arg(why.error.line).arg(why.error.column) + why.error.message;
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded error \u2014 pager.yaml" + at);
  EXPECT_TRUE(why.error.message.contains("Level 99")) << why.error.message.toStdString();
  EXPECT_EQ(questions->failures, QStringList{"File Loaded error | " + path + at});
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

// What the pager holds before a write: a digit, so that its serial number reads as one and the
// read is no blank pager.
constexpr uint8_t kOldByte = '5';
constexpr int kTransferLimitMs = 15000;
constexpr int kPresenceLimitMs = 5000;

// The window attached to the simulated adapter and pager over a pseudo-terminal.
struct WindowWithAdapter : WindowFixture {
  std::unique_ptr<SimulatorHost> simulator;

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
  EXPECT_TRUE(said.contains(QStringLiteral("in use by %1 (pid %2)").arg(ProcessName(::getpid())).arg(::getpid())))
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
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok ! \u2014 the pager's memory looks blank");
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

namespace {

// A window with a data file of its own beside it, and a way to edit the Basic page as a user does.
struct WindowWithFiles : WindowFixture {
  QString saved;  // holds 0x42 at 0x010
  void SetUp() override {
    WindowFixture::SetUp();
    PagerData file;
    file.image[0x010] = 0x42;
    saved = dir.filePath("saved.DAT");
    ASSERT_TRUE(WriteFileAtomically(saved, EncodeDatFile(file, 9)));
  }
  QLineEdit* StartupText() const { return window->Page(PageId::Basic)->findChild<QLineEdit*>("startupText"); }
  void Edit(const QString& text) {
    StartupText()->selectAll();
    QTest::keyClicks(StartupText(), text);
    QCoreApplication::processEvents();
  }
};

const QString kTitle = QStringLiteral("Tarnwell M84 Pager Programming");
const QString kUnsaved = QStringLiteral("The pages hold changes that are not saved. Save them to a file first?");

}  // namespace

// The title names the file loaded or saved last, and marks edits made since a load, a save, a
// read or a write; undoing an edit by hand takes the mark away again.
TEST_F(WindowWithFiles, TheTitleNamesTheFileAndMarksEdits) {
  EXPECT_FALSE(window->HasUnsavedEdits());
  window->OpenFile(saved);
  EXPECT_EQ(window->windowTitle(), "saved.DAT \u2014 " + kTitle);
  const QString before = StartupText()->text();
  Edit("Good night");
  EXPECT_TRUE(window->HasUnsavedEdits());
  EXPECT_EQ(window->windowTitle(), "*saved.DAT \u2014 " + kTitle);
  Edit(before);
  EXPECT_EQ(window->windowTitle(), "saved.DAT \u2014 " + kTitle);

  Edit("Good night");
  dialogs->answer = dir.filePath("night.yaml");
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_EQ(window->windowTitle(), "night.yaml \u2014 " + kTitle);
  EXPECT_EQ(window->DataFile(), dir.filePath("night.yaml"));

  // Edits carried into advanced mode stay marked there, and back.
  Edit("Good morning");
  window->SwitchToAdvancedMode();
  EXPECT_EQ(window->windowTitle(), "*night.yaml \u2014 " + kTitle);
  window->SwitchToBasicMode();
  EXPECT_TRUE(window->HasUnsavedEdits());
  // A mode switch alone is no edit.
  window->OpenFile(saved);
  window->SwitchToAdvancedMode();
  EXPECT_FALSE(window->HasUnsavedEdits());
  window->SwitchToBasicMode();
  EXPECT_FALSE(window->HasUnsavedEdits());
  EXPECT_TRUE(questions->unsavedAsked.isEmpty());
}

// Every route that replaces the pages or ends the window asks first: Cancel leaves everything as
// it is, Discard goes on, and Save goes on only once the pages are in a file.
TEST_F(WindowWithFiles, EachRouteThatLosesEditsAsksFirst) {
  struct Route {
    const char* name;
    std::function<void(MainWindow&)> run;
    std::function<bool(MainWindow&)> wentOn;
  };
  PagerData other;
  other.image[0x010] = 0x43;
  const QString otherFile = dir.filePath("other.DAT");
  ASSERT_TRUE(WriteFileAtomically(otherFile, EncodeDatFile(other, 9)));
  const auto loadedOther = [this](MainWindow&) { return data.image[0x010] == 0x43; };
  const std::vector<Route> routes = {
      {"Load",
       [&](MainWindow& w) {
         dialogs->answer = otherFile;
         QTest::mouseClick(w.Button(MainWindow::kLoadButton), Qt::LeftButton);
       },
       loadedOther},
      {"a file handed over or dropped", [&](MainWindow& w) { w.OpenFileAskingFirst(otherFile); }, loadedOther},
      // Without an adapter a read starts and fails at once.
      {"Read", [](MainWindow& w) { w.ReadCommand(); },
       [](MainWindow& w) {
         return QTest::qWaitFor([&] { return !w.Busy(); }, kTransferLimitMs) &&
                w.StatusText(MainWindow::kMessagePane).startsWith("No DPT Adapter connect");
       }},
      {"Close", [](MainWindow& w) { w.close(); }, [](MainWindow& w) { return !w.isVisible(); }},
  };
  for (const Route& route : routes) {
    SCOPED_TRACE(route.name);
    for (const UnsavedChoice choice : {UnsavedChoice::Cancel, UnsavedChoice::Discard, UnsavedChoice::Save}) {
      SCOPED_TRACE(int(choice));
      window->show();
      window->OpenFile(saved);
      Edit("Edited");
      questions->unsavedAsked.clear();
      questions->unsavedAnswer = choice;
      const QString keptIn = dir.filePath("kept.DAT");
      QFile::remove(keptIn);
      dialogs->saveAnswer = keptIn;
      dialogs->titles.clear();
      route.run(*window);
      EXPECT_EQ(questions->unsavedAsked, QStringList{kUnsaved});
      if (choice == UnsavedChoice::Cancel) {
        EXPECT_FALSE(route.wentOn(*window));
        EXPECT_EQ(StartupText()->text(), "Edited");
        EXPECT_TRUE(window->HasUnsavedEdits());
        EXPECT_TRUE(window->isVisible());
      } else {
        EXPECT_TRUE(route.wentOn(*window));
      }
      EXPECT_EQ(dialogs->titles.contains("Save Data File"), choice == UnsavedChoice::Save);
      EXPECT_EQ(QFile::exists(keptIn), choice == UnsavedChoice::Save);
    }
  }
}

// Save in the question saves the edits where the user says, then goes on; a save dialog
// cancelled there cancels the command too.
TEST_F(WindowWithFiles, SaveInTheQuestionKeepsTheEditsInAFile) {
  window->OpenFile(saved);
  Edit("Kept text");
  questions->unsavedAnswer = UnsavedChoice::Save;
  dialogs->answer.clear();
  window->OpenFileAskingFirst(saved);
  EXPECT_EQ(StartupText()->text(), "Kept text");
  EXPECT_TRUE(window->HasUnsavedEdits());

  dialogs->answer = dir.filePath("kept.yaml");
  window->OpenFileAskingFirst(saved);
  EXPECT_FALSE(window->HasUnsavedEdits());
  EXPECT_NE(StartupText()->text(), "Kept text");
  QFile kept(dir.filePath("kept.yaml"));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_TRUE(kept.readAll().contains("Kept text"));
}

// Discard loses the edits only when what it was asked for happens: a load that is refused leaves
// them in the pages, still marked.
TEST_F(WindowWithFiles, DiscardBeforeARefusedLoadKeepsTheEdits) {
  window->OpenFile(saved);
  Edit("Still here");
  questions->unsavedAnswer = UnsavedChoice::Discard;
  const QString bad = dir.filePath("bad.yaml");
  ASSERT_TRUE(WriteFileAtomically(bad, "format: m84-settings/1\ndisplay:\n  contrast: Level 99\n"));
  window->OpenFileAskingFirst(bad);
  EXPECT_TRUE(window->StatusText(MainWindow::kMessagePane).startsWith("File Loaded error \u2014 bad.yaml:3:"));
  EXPECT_EQ(StartupText()->text(), "Still here");
  EXPECT_TRUE(window->HasUnsavedEdits());
  EXPECT_EQ(window->windowTitle(), "*saved.DAT \u2014 " + kTitle);
  EXPECT_EQ(window->DataFile(), saved);
}

// The history's records name the file the window loaded by its absolute path, however it was
// given (a relative name at start, from the folder the program was started in).
TEST_F(WindowWithFiles, TheFileLoadedIsKeptByItsAbsolutePath) {
  const QString current = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  window->OpenFile("saved.DAT");
  QDir::setCurrent(current);
  EXPECT_EQ(window->DataFile(), QFileInfo(saved).absoluteFilePath());
  EXPECT_EQ(data.image[0x010], 0x42);
}

// A settings file dropped anywhere on the window loads, an edit under it included, which would
// otherwise take the file's name as text; other files are left to the control.
TEST_F(WindowWithFiles, ADroppedSettingsFileLoads) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  const QString text = StartupText()->text();
  const auto drop = [&](const QString& file) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file)});
    mime.setText(file);
    const QPoint at = StartupText()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(StartupText(), &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(StartupText(), &dropped);
    QCoreApplication::processEvents();
    return accepted;
  };
  ASSERT_TRUE(drop(saved));
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "File Loaded ok");
  EXPECT_EQ(data.image[0x010], 0x42);
  EXPECT_EQ(window->windowTitle(), "saved.DAT \u2014 " + kTitle);
  EXPECT_FALSE(StartupText()->text().contains("saved.DAT"));
  data.image[0x010] = 0;
  const QString notes = dir.filePath("notes.txt");
  ASSERT_TRUE(WriteFileAtomically(notes, "x"));
  drop(notes);
  EXPECT_EQ(data.image[0x010], 0);
  EXPECT_EQ(window->DataFile(), saved);
}

namespace {

// A user who does not answer the stop question: it stays open until the window withdraws it.
struct UnansweredQuestions : AnsweringQuestions {
  QEventLoop* open = nullptr;
  bool Confirm(QWidget* parent, const QString& text) override {
    AnsweringQuestions::Confirm(parent, text);
    QEventLoop loop;
    open = &loop;
    QTimer::singleShot(kTransferLimitMs, &loop, &QEventLoop::quit);
    loop.exec();
    open = nullptr;
    return false;
  }
  void Withdraw() override {
    AnsweringQuestions::Withdraw();
    if (open) open->quit();
  }
};

}  // namespace

// The stop question of a write goes away when the write ends, and the status line says how it
// ended; once every block is written, Cancel stops the verify without warning of a half-written
// pager.
TEST_F(WindowWithPacedAdapter, TheStopQuestionEndsWithTheWrite) {
  auto unanswered = std::make_shared<UnansweredQuestions>();
  WindowOptions options{dialogs, tones, simulator->DevicePath()};
  options.questions = unanswered;
  window = std::make_unique<MainWindow>(data, options);
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForProgress(3));
  QElapsedTimer asked;
  asked.start();
  window->CancelTransfer();  // returns once the question has gone
  EXPECT_LT(asked.elapsed(), kTransferLimitMs - 1000);
  EXPECT_EQ(unanswered->asked.size(), 1);
  EXPECT_GE(unanswered->withdrawn, 1);
  EXPECT_FALSE(window->Busy());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");

  unanswered->asked.clear();
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->StatusText(MainWindow::kMessagePane) == "Verifying ... "; },
                              kTransferLimitMs));
  QTest::mouseClick(window->CancelButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_TRUE(unanswered->asked.isEmpty());
  const QString status = window->StatusText(MainWindow::kMessagePane);
  EXPECT_TRUE(status.startsWith("DPT Verify error !")) << status.toStdString();
  EXPECT_FALSE(status.contains("half-written")) << status.toStdString();
}

namespace {

// The menu's top entries and their mnemonics.
QStringList MenuTitles(QMenuBar* bar) {
  QStringList titles;
  for (QAction* action : bar->actions()) titles << action->text();
  return titles;
}

QChar Mnemonic(const QString& text) {
  const qsizetype at = text.indexOf('&');
  return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
}

// Every entry of a menu and its submenus.
QList<QAction*> Entries(QMenu* menu) {
  QList<QAction*> entries;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    entries << action;
    if (action->menu()) entries << Entries(action->menu());
  }
  return entries;
}

// The text of the box the next command opens, which is then closed.
QString TextOfNextBox(const std::function<void()>& command) {
  QString text;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    if (auto* view = box->findChild<QPlainTextEdit*>()) text = view->toPlainText();
    box->close();
  });
  command();
  return text;
}

}  // namespace

// The menu bar's mnemonics stay clear of the buttons'; each command is one action, shared by a
// button that does the same; basic mode shows no service command.
TEST_F(WindowFixture, TheMenuBarSharesTheButtonsActions) {
  ASSERT_NE(window->MenuBar(), nullptr);
  const QStringList titles = MenuTitles(window->MenuBar());
  EXPECT_EQ(titles, QStringList({"&File", "Pa&ger", "&Tools", "&Help"}));
  QSet<QChar> taken;
  for (int i = 0; i < MainWindow::kButtonCount; ++i)
    taken << Mnemonic(window->Button(MainWindow::CommandButton(i))->text());
  EXPECT_EQ(taken, QSet<QChar>({'P', 'S', 'L', 'W', 'R'}));
  for (const QString& title : titles) {
    EXPECT_FALSE(taken.contains(Mnemonic(title))) << title.toStdString();
    taken << Mnemonic(title);
  }

  // Every command is in the menus once, and the menus hold nothing else (the recent files are
  // none yet).
  QList<QAction*> inMenus;
  for (QAction* top : window->MenuBar()->actions()) inMenus << Entries(top->menu());
  QList<QAction*> commands;
  for (int i = 0; i < MainWindow::kMenuCommandCount; ++i) commands << window->Action(MainWindow::MenuCommand(i));
  // Without a history there is no History menu.
  EXPECT_FALSE(inMenus.contains(window->Action(MainWindow::kHistoryCommand)));
  commands.removeAll(window->Action(MainWindow::kHistoryCommand));
  // Nor a Fleet menu: an order's progress is kept in the history.
  EXPECT_FALSE(inMenus.contains(window->Action(MainWindow::kOpenOrderCommand)));
  commands.removeAll(window->Action(MainWindow::kOpenOrderCommand));
  for (QAction* command : commands) EXPECT_EQ(inMenus.count(command), 1) << command->text().toStdString();
  for (QAction* entry : inMenus)
    EXPECT_TRUE(entry->menu() == window->RecentMenu() || commands.contains(entry)) << entry->text().toStdString();

  // A click on "&Save" is the menu's Save: one action, one dialog.
  QSignalSpy saved(window->Action(MainWindow::kSaveCommand), &QAction::triggered);
  dialogs->answer.clear();
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_EQ(saved.size(), 1);
  EXPECT_EQ(dialogs->titles, QStringList{"Save Data File"});
  window->Action(MainWindow::kOpenCommand)->trigger();
  EXPECT_EQ(dialogs->titles.last(), "Select Data File");

  // Without an adapter the pager's Read and Write are off in the menu as on the buttons.
  EXPECT_FALSE(window->Action(MainWindow::kReadCommand)->isEnabled());
  EXPECT_FALSE(window->Action(MainWindow::kWriteCommand)->isEnabled());
  EXPECT_FALSE(window->Action(MainWindow::kCancelCommand)->isEnabled());

  for (const DisplayMode mode : {DisplayMode::Basic, DisplayMode::Advanced, DisplayMode::Basic}) {
    if (mode == DisplayMode::Advanced)
      window->SwitchToAdvancedMode();
    else
      window->SwitchToBasicMode();
    const bool advanced = mode == DisplayMode::Advanced;
    EXPECT_EQ(window->Action(MainWindow::kDumpCommand)->isVisible(), advanced);
    EXPECT_EQ(window->Action(MainWindow::kCompareMemoryCommand)->isVisible(), advanced);
    EXPECT_TRUE(window->Action(MainWindow::kCompareSettingsCommand)->isVisible());
  }
}

TEST_F(WindowFixture, TheMenusKeysReachTheirCommands) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  dialogs->answer = dir.filePath("keyed");
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(dialogs->titles, QStringList{"Save Data File"});
  EXPECT_TRUE(QFile::exists(dir.filePath("keyed.DAT")));
  QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(dialogs->titles.last(), "Select Data File");
  QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(window->isVisible());
}

// Open Recent holds the last ten files loaded or saved, the latest first, kept from one window to
// the next; an entry loads as Open does, asking about unsaved edits first.
TEST_F(WindowWithFiles, OpenRecentHoldsTheLastTenFiles) {
  auto store = std::make_shared<PreferenceStore>(PreferenceStore::FileStore(dir.filePath("preferences.ini")));
  WindowOptions options{dialogs, tones, PortName()};
  options.questions = questions;
  options.preferences = store;
  window = std::make_unique<MainWindow>(data, options);
  EXPECT_FALSE(window->RecentMenu()->isEnabled());
  QStringList files;
  for (int i = 0; i < 12; ++i) {
    files.prepend(dir.filePath(QStringLiteral("file%1.DAT").arg(i)));
    ASSERT_TRUE(QFile::copy(saved, files.first()));
    window->OpenFile(files.first());
  }
  window->OpenFile(files[3]);  // again: to the top, not twice
  files.move(3, 0);
  files = files.mid(0, 10);
  EXPECT_EQ(window->RecentFiles(), files);
  ASSERT_EQ(window->RecentMenu()->actions().size(), 10);
  EXPECT_EQ(window->RecentMenu()->actions().first()->text(), "&1 file8.DAT");
  EXPECT_EQ(window->RecentMenu()->actions().last()->text(), "&0 file2.DAT");

  window = std::make_unique<MainWindow>(data, options);
  EXPECT_EQ(window->RecentFiles(), files);
  Edit("Unsaved");
  questions->unsavedAnswer = UnsavedChoice::Cancel;
  window->RecentMenu()->actions()[4]->trigger();
  EXPECT_EQ(questions->unsavedAsked, QStringList{kUnsaved});
  EXPECT_EQ(StartupText()->text(), "Unsaved");
  questions->unsavedAnswer = UnsavedChoice::Discard;
  window->RecentMenu()->actions()[4]->trigger();
  EXPECT_EQ(window->DataFile(), files[4]);
  EXPECT_EQ(window->RecentFiles().first(), files[4]);
}

// Save as Text saves the settings text whatever name is typed; Compare Settings Files shows the
// settings that differ, in words, as `m84dpt diff` does.
TEST_F(WindowWithFiles, SaveAsTextAndCompareSettingsFiles) {
  dialogs->answer = dir.filePath("night");
  window->SaveTextCommand();
  EXPECT_EQ(dialogs->titles.last(), "Save Settings Text");
  EXPECT_EQ(window->DataFile(), dir.filePath("night.yaml"));
  dialogs->answer = dir.filePath("night.DAT");
  window->SaveDataFileCommand();
  QFile text(dir.filePath("night.yaml"));
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  QByteArray yaml = text.readAll();
  text.close();
  ASSERT_TRUE(yaml.contains("startup_text: \"Welcome to M84\""));
  yaml.replace("startup_text: \"Welcome to M84\"", "startup_text: \"Good night\"");
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("changed.yaml"), yaml));

  struct TwoFiles : AnsweringDialogs {
    QStringList answers;
    QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) override {
      AnsweringDialogs::OpenFileName(parent, title, filter);
      return answers.isEmpty() ? QString() : answers.takeFirst();
    }
  };
  auto two = std::make_shared<TwoFiles>();
  WindowOptions options{two, tones, PortName()};
  options.questions = questions;
  window = std::make_unique<MainWindow>(data, options);
  two->answers = {dir.filePath("night.yaml"), dir.filePath("changed.yaml")};
  const QString differences = TextOfNextBox([&] { window->CompareSettingsCommand(); });
  EXPECT_EQ(differences.count(QLatin1Char(10)), 0) << qPrintable(differences);
  EXPECT_TRUE(differences.contains("Welcome to M84") && differences.contains("Good night"))
      << differences.toStdString();
  two->answers = {dir.filePath("night.yaml"), dir.filePath("night.DAT")};
  EXPECT_EQ(TextOfNextBox([&] { window->CompareSettingsCommand(); }), "No setting differs.");
}

// A status text longer than its pane keeps its beginning and its end in sight, and its tip shows
// the whole text without leaving the screen.
TEST_F(WindowFixture, ALongStatusIsElidedInTheMiddleAndItsTipStaysOnTheScreen) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  window->ShowStatus("Read Pager ok !");
  EXPECT_EQ(window->ShownStatusText(), "Read Pager ok !");
  EXPECT_EQ(window->StatusTip(MainWindow::kMessagePane), "");

  // Wider than the screen as one line.
  const QString cause = "the pager is half-written: " + QString("block 0x100 holds the new contents, ").repeated(6) +
                        "writing again repairs it";
  const QString status = "Write Pager error ! \u2014 interrupted before block 0x200; " + cause;
  window->ShowStatus(status);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), status);
  const QString shown = window->ShownStatusText();
  EXPECT_TRUE(shown.startsWith("Write Pager error !")) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith("repairs it")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();

  QLabel* pane = nullptr;
  for (QLabel* label : window->findChildren<QLabel*>())
    if (label->text() == status) pane = label;
  ASSERT_NE(pane, nullptr);
  const QPoint at(pane->width() - 4, pane->height() / 2);
  QHelpEvent help(QEvent::ToolTip, at, pane->mapToGlobal(at));
  QApplication::sendEvent(pane, &help);
  QWidget* tip = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->inherits("QTipLabel") && top->isVisible()) tip = top;
    return tip != nullptr;
  }));
  // Within the screen's work area: not under a panel either.
  const QRect screen = pane->screen()->availableGeometry();
  ASSERT_GT(tip->fontMetrics().horizontalAdvance(status), screen.width()) << "the status fits the screen as one line";
  std::cout << "tip " << tip->frameGeometry().x() << "," << tip->frameGeometry().y() << " "
            << tip->frameGeometry().width() << "x" << tip->frameGeometry().height() << " in the work area "
            << screen.width() << "x" << screen.height() << " of " << pane->screen()->geometry().height()
            << "; the pane's foot at " << pane->mapToGlobal(QPoint(0, pane->height())).y() << "\n";
  EXPECT_TRUE(screen.contains(tip->frameGeometry()))
      << tip->frameGeometry().x() << "," << tip->frameGeometry().y() << " " << tip->frameGeometry().width() << "x"
      << tip->frameGeometry().height() << " on " << screen.width() << "x" << screen.height();
  QLabel* tipLabel = qobject_cast<QLabel*>(tip);
  ASSERT_NE(tipLabel, nullptr);
  EXPECT_TRUE(QTextDocumentFragment::fromHtml(tipLabel->text()).toPlainText() == status);
  // All of it, in lines that fit: nothing cut at the screen's edge.
  EXPECT_GE(tip->height(), tipLabel->heightForWidth(tip->width())) << tip->width() << " wide";
  EXPECT_GE(tip->width(), tipLabel->minimumSizeHint().width()) << tip->width() << " wide";
}

// Write with Review reads the pager first and names exactly the settings the write changes; Cancel
// writes nothing, Write writes as Write does.
TEST_F(WindowWithAdapter, WriteWithReviewShowsTheChangesFirst) {
  ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
  WaitForPresenceCheck();
  QTest::mouseClick(window->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  ASSERT_EQ(window->StatusText(MainWindow::kMessagePane), "Read Pager ok !");

  // Nothing edited: nothing will change.
  window->Action(MainWindow::kReviewWriteCommand)->trigger();
  ASSERT_TRUE(WaitForTransferEnd());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !questions->reviewed.isEmpty(); }));
  EXPECT_EQ(questions->reviewed, QStringList{"No setting will change"});
  EXPECT_EQ(simulator->Counted().blockWrites, 0);

  // Two settings edited: two lines, and the pager untouched until Write.
  auto* startup = window->Page(PageId::Basic)->findChild<QLineEdit*>("startupText");
  startup->selectAll();
  QTest::keyClicks(startup, "Reviewed");
  ClickBox(window->Page(PageId::Basic)->findChild<QCheckBox*>("showDate"));
  questions->reviewed.clear();
  window->Action(MainWindow::kReviewWriteCommand)->trigger();
  ASSERT_TRUE(WaitForTransferEnd());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !questions->reviewed.isEmpty(); }));
  ASSERT_EQ(questions->reviewed.size(), 1);
  QStringList lines = questions->reviewed.first().split('\n');
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines.takeFirst(), "The write will change these settings of the pager:");
  lines.removeAll(QString());
  EXPECT_EQ(lines.size(), 2) << questions->reviewed.first().toStdString();
  EXPECT_EQ(lines.filter("Reviewed").size(), 1) << questions->reviewed.first().toStdString();
  EXPECT_EQ(simulator->Counted().blockWrites, 0);
  EXPECT_EQ(startup->text(), "Reviewed");  // the review's read leaves the pages alone

  questions->writeAnswer = true;
  window->Action(MainWindow::kReviewWriteCommand)->trigger();
  ASSERT_TRUE(WaitForTransferEnd());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Busy(); }, kTransferLimitMs));
  ASSERT_TRUE(WaitForTransferEnd());
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), "DPT Verify ok !");
  EXPECT_GT(simulator->Counted().blockWrites, 0);
  EXPECT_FALSE(window->HasUnsavedEdits());

  // "Review Every Write": the Write button reviews first too.
  questions->writeAnswer = false;
  questions->reviewed.clear();
  const int writtenBefore = simulator->Counted().blockWrites;
  window->Action(MainWindow::kReviewEveryWriteCommand)->setChecked(true);
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(WaitForTransferEnd());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !questions->reviewed.isEmpty(); }));
  EXPECT_EQ(questions->reviewed, QStringList{"No setting will change"});
  EXPECT_EQ(simulator->Counted().blockWrites, writtenBefore);
}

namespace {

// A history of three records: two of one pager, the newer with another contrast, and one of
// another pager.
// On SQLite, and on PostgreSQL when M84DPT_TEST_POSTGRES names a scratch server
// (scripts/with_postgres.sh starts one).
struct HistoryFixture : WindowFixture, ::testing::WithParamInterface<HistoryLocation::Backend> {
  HistoryLocation location;
  PagerData first, second, other;
  void SetUp() override {
    location = ParseHistoryLocation(dir.filePath("history.sqlite"));
    if (GetParam() == HistoryLocation::Backend::PostgreSql) {
      const QString connection = qEnvironmentVariable("M84DPT_TEST_POSTGRES");
      if (connection.isEmpty()) GTEST_SKIP() << "M84DPT_TEST_POSTGRES is not set: no scratch PostgreSQL server";
      location = ParseHistoryLocation(connection);
      ASSERT_EQ(location.backend, HistoryLocation::Backend::PostgreSql);
      {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("scratch"));
        db.setConnectOptions(connection);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery query(db);
        ASSERT_TRUE(
            query.exec(QStringLiteral("DROP TABLE IF EXISTS pager_history, history_schema, order_rows, fleet_orders, "
                                      "order_replaced, order_terms")));
      }
      QSqlDatabase::removeDatabase(QStringLiteral("scratch"));
    }
    first = Serialled("1111111111");
    const SettingsReadResult changed =
        ReadSettingsDocument("format: m84-settings/1\ndisplay:\n  contrast: \"Level 3\"\n", first);
    ASSERT_TRUE(changed) << changed.error.Text().toStdString();
    second = *changed.data;
    other = Serialled("2222222222");
    PagerHistory history(location, kSourceWindow);
    for (const PagerData* data : {&first, &other, &second}) {
      HistoryRecord record;
      record.operation = OperationName(HistoryOperation::Read);
      record.outcome = kOutcomeOk;
      record.data = *data;
      FillSearchColumns(record);
      ASSERT_TRUE(history.Record(record).kept);
    }
    WindowOptions options{dialogs, tones, PortName()};
    options.questions = questions;
    options.historyLocation = location;
    window = std::make_unique<MainWindow>(data, options);
  }
  static PagerData Serialled(const char* serial) {
    PagerData data;
    std::copy(serial, serial + 10, data.image.data() + kSerialFirst);
    return data;
  }
};

}  // namespace

// The records newest first, filtered as the user types; for the one chosen, how it differs from
// the pages, loading it and saving it as a file.
INSTANTIATE_TEST_SUITE_P(Stores, HistoryFixture,
                         ::testing::Values(HistoryLocation::Backend::SQLite, HistoryLocation::Backend::PostgreSql));

TEST_P(HistoryFixture, TheHistoryDialogFiltersComparesLoadsAndSaves) {
  EXPECT_TRUE(MenuTitles(window->MenuBar()).contains("Hist&ory"));
  std::optional<PagerData> loaded;
  PagerData pages;  // the defaults
  HistoryDialog::Pages hooks{[&] { return pages; },
                             [&](const PagerData& d) {
                               loaded = d;
                               return true;
                             }};
  dialogs->answer = dir.filePath("record.yaml");
  HistoryDialog dialog(location, hooks, dialogs);
  EXPECT_EQ(dialog.StatusText(), "");
  ASSERT_EQ(dialog.RowCount(), 3);
  EXPECT_GT(dialog.RecordId(0), dialog.RecordId(1));
  EXPECT_GT(dialog.RecordId(1), dialog.RecordId(2));

  QTest::keyClicks(dialog.SerialFilter(), "1111111111");
  ASSERT_EQ(dialog.RowCount(), 2);
  dialog.SerialFilter()->clear();
  QTest::keyClicks(dialog.CapcodeFilter(), "7654321");
  EXPECT_EQ(dialog.RowCount(), 0);
  dialog.CapcodeFilter()->clear();
  QTest::keyClicks(dialog.CapcodeFilter(), "1234567");
  EXPECT_EQ(dialog.RowCount(), 3);
  dialog.CapcodeFilter()->clear();

  dialog.SelectRow(0);  // the newest: the second record of the first pager
  pages = first;
  EXPECT_EQ(dialog.DetailText(), "");
  dialog.CompareWithPages();
  const QString shown = dialog.DetailText();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.count('\n'), 0) << shown.toStdString();
  EXPECT_TRUE(shown.contains("Level 3")) << shown.toStdString();
  pages = second;
  dialog.CompareWithPages();
  EXPECT_EQ(dialog.DetailText(), "No setting differs.");

  dialog.LoadIntoPages();
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(loaded->image == second.image);
  dialog.SaveAs();
  QFile saved(dir.filePath("record.yaml"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const SettingsReadResult back = ReadSettingsDocument(saved.readAll(), PagerData());
  ASSERT_TRUE(back);
  EXPECT_TRUE(back.data->image == second.image);
}

// A store that cannot be reached says why in the dialog, and lists nothing.
TEST_F(WindowFixture, AHistoryThatCannotBeReachedSaysWhy) {
  const QString blocked = dir.filePath("not-a-folder");
  ASSERT_TRUE(WriteFileAtomically(blocked, "x"));
  HistoryDialog dialog(ParseHistoryLocation(blocked + "/history.sqlite"), {}, dialogs);
  EXPECT_EQ(dialog.RowCount(), 0);
  EXPECT_TRUE(dialog.StatusText().startsWith("The history cannot be read: ")) << dialog.StatusText().toStdString();
}
