#include <gtest/gtest.h>

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "image/dat_file.h"
#include "pages/model_page_set.h"
#include "pages/settings_document.h"
#include "link/serial_trace.h"
#include "link/simulator_host.h"
#include "ui/pages/general_page_widget.h"
#include "ui/main_window.h"
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
  EXPECT_EQ(window->StatusText(1), " Welcome to use M84 DPT ");
  EXPECT_EQ(window->StatusText(3), "   ");
  EXPECT_EQ(window->StatusText(4), "V1.18");
  EXPECT_EQ(window->StatusText(5), "    ");  // the clock starts with the first tick
  EXPECT_TRUE(window->Button("&Save")->isEnabled());
  EXPECT_FALSE(window->Button("&Write")->isEnabled());
  EXPECT_FALSE(window->Button("&Read")->isEnabled());
  EXPECT_EQ(window->Button("&Save")->toolTip(), "Save data to a file");
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
  QTest::mouseClick(window->Button("&Save"), Qt::LeftButton);
  EXPECT_EQ(dialogs->titles.last(), "Save Data File");
  EXPECT_EQ(window->StatusText(1), "File Saved ok");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  ASSERT_TRUE(QFile::exists(dir.filePath("pager.DAT")));

  data.image[0x600] = 0x42;
  dialogs->answer = dir.filePath("pager.DAT");
  QTest::mouseClick(window->Button("&Load"), Qt::LeftButton);
  EXPECT_EQ(dialogs->titles.last(), "Select Data File");
  EXPECT_EQ(window->StatusText(1), "File Loaded ok");
  EXPECT_EQ(data.image[0x600], 0xFF);

  QFile bad(dir.filePath("bad.DAT"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray(kDatFileSize, '\0'));
  bad.close();
  dialogs->answer = bad.fileName();
  QTest::mouseClick(window->Button("&Load"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(1), "File Loaded error");
  EXPECT_TRUE(Beeped(Beep::Error));
}

// The settings text is the second file type of both dialogs. What the window saves as text reads
// back as its settings; an edited text loads into the pages; a refused one changes nothing.
TEST_F(WindowFixture, SaveAndLoadASettingsText) {
  const QString path = dir.filePath("pager.yaml");
  dialogs->answer = path;
  QTest::mouseClick(window->Button("&Save"), Qt::LeftButton);
  EXPECT_TRUE(dialogs->filters.last().contains("(*.yaml *.yml)")) << dialogs->filters.last().toStdString();
  EXPECT_EQ(window->StatusText(1), "File Saved ok");
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
  QTest::mouseClick(window->Button("&Load"), Qt::LeftButton);
  EXPECT_TRUE(dialogs->filters.last().contains("(*.yaml *.yml)")) << dialogs->filters.last().toStdString();
  EXPECT_EQ(window->StatusText(1), "File Loaded ok");
  EXPECT_EQ(data.image[0x600], 0xFF);
  EXPECT_EQ(window->Page(PageId::Basic)->findChild<QLineEdit*>("startupText")->text(), "Hello there");

  const PagerData before = data;
  ASSERT_TRUE(WriteFileAtomically(path, "format: m84-settings/1\ndisplay:\n  contrast: Level 99\n"));
  QTest::mouseClick(window->Button("&Load"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(1), "File Loaded error");
  EXPECT_TRUE(Beeped(Beep::Error));
  EXPECT_TRUE(data.image == before.image);
}

TEST_F(WindowFixture, CancelledDialogsChangeNothing) {
  window->ShowStatus("before");
  dialogs->answer.clear();
  QTest::mouseClick(window->Button("&Load"), Qt::LeftButton);
  QTest::mouseClick(window->Button("&Save"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(1), "before");
  EXPECT_TRUE(tones->played.empty());
}

TEST_F(WindowFixture, EnterOnAButtonDoesNothingEscapeCloses) {
  window->show();
  window->Button("&Save")->setFocus();
  QTest::keyClick(window->Button("&Save"), Qt::Key_Return);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(dialogs->titles.isEmpty());
  QTest::keyClick(window->Button("&Save"), Qt::Key_Escape);
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

// The window attached to the simulated adapter and pager over a pseudo-terminal.
struct WindowWithAdapter : WindowFixture {
  SimulatorHost simulator;
  QString PortName() override {
    QString error;
    EXPECT_TRUE(simulator.Start(&error)) << error.toStdString();
    return simulator.DevicePath();
  }
  void WaitForPresenceCheck() {
    QTest::qWait(1100);
    ASSERT_EQ(window->StatusText(3), " OK");
  }
};

}  // namespace

namespace {

// The window started with --trace FILE.
struct WindowWithTrace : WindowWithAdapter {
  std::shared_ptr<SerialTrace> trace = std::make_shared<SerialTrace>();
  void SetUp() override {
    ASSERT_TRUE(trace->Open(dir.filePath("trace.txt"), "m84dpt window", nullptr));
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
  EXPECT_TRUE(text.contains(" open " + simulator.DevicePath() + "\n"));
  EXPECT_TRUE(text.contains(" -> 0D 06 00 FA 00 00 40 00 B1  probe\n"));
  EXPECT_TRUE(text.contains(" <- 28\n")) << text.toStdString();
}

TEST_F(WindowFixture, PresenceCheckWithoutAdapterKeepsTransfersDisabled) {
  QTest::qWait(1100);
  EXPECT_EQ(window->StatusText(3), "");
  EXPECT_EQ(window->StatusText(5).size(), 8);  // HH:MM:SS
  EXPECT_FALSE(window->Button("&Read")->isEnabled());
}

TEST_F(WindowWithAdapter, ReadAndWriteThroughTheButtons) {
  WaitForPresenceCheck();
  ASSERT_TRUE(window->Button("&Read")->isEnabled());
  ASSERT_TRUE(window->Button("&Write")->isEnabled());

  // The simulated pager carries its own serial number; a read brings it into the image.
  QTest::mouseClick(window->Button("&Read"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(1), "Read Pager ok !");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.image.data()) + 0x548, 10),
            QByteArray(reinterpret_cast<const char*>(simulator.Memory().data()) + 0x548, 10));

  // A write from basic mode keeps the pager's serial number (the General page's box starts checked).
  data.image[0x548] = '9';
  window->Page(PageId::Basic)->ExchangeImage(Direction::Load);
  QTest::mouseClick(window->Button("&Write"), Qt::LeftButton);
  EXPECT_EQ(window->StatusText(1), "DPT Verify ok !");
  EXPECT_TRUE(Beeped(Beep::Confirm));
  EXPECT_NE(data.image[0x548], '9');
  EXPECT_EQ(simulator.Memory()[0x548], data.image[0x548]);
  EXPECT_FALSE(window->Busy());
}
