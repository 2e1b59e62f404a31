// The whole settings window with its real pages: one control changed on every tab page, then
// seen again after a save and load, after a write to the simulated pager and a read back, in
// both printed pages of the report, and in the image that `m84dpt convert` makes of the file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/image/dat_file.h"
#include "core/link/simulator_host.h"
#include "core/pages/page_catalog.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"
#include "report_text_helpers.h"

using namespace m84;

namespace {

// One control of a page, found by its name: the value it is given (a check state, a list entry
// or a text), the page's report section and the line of it that shows the change.
struct PageChange {
  PageId page;
  const char* control;
  QVariant value;
  const char* heading;
  const char* printed;
};

// Capcode 5 made public on the General page opens folders 5 to 8 on the Folders page, so the
// change there shows that a page follows what another stored on the change of tab.
const PageChange kChanges[] = {
    {PageId::General, "private4", false, "[General]", "5 N On 1234571 3"},
    {PageId::Display, "previewMode", true, "[Disply]", "Enable message preview mode: Yes"},
    {PageId::Alerting, "alertVolume", 0, "[Alerting]", "Alert volume: Low alert"},
    {PageId::NameMisc, "confirmBeep", false, "[Name & Misc]", "Confirm short beep: No"},
    {PageId::Reminders, "unreadIndication", false, "[Reminders]", "Unread message indication: No"},
    {PageId::Duplicate, "duplicateRejection", true, "[Duplicate Message]", "Duplicate message rejection: Enable"},
    {PageId::Folders, "folderName5", QStringLiteral("Sales"), "[Folder]", "5 Enable [Sales ] No Beep"},
    {PageId::OutOfRange, "outOfRangeEnable", true, "[Out of Range & Display Cap]", "In/Out of Range check: Enable"},
    {PageId::Ota, "otaSetTime", true, "[Over The Air]", "Allow OTA command to set the time: Yes"},
    {PageId::Canned, "canned12", QStringLiteral("Hello"), "[Hand Program & Canned MSG]", "Canned-12: [Hello ]"},
    {PageId::Tones, "priority3B", 2, "[Tones]", "Cap-3 Normal Priority Normal Normal"},
    {PageId::Cadence, "cadenceSlot0_8", true, "[Cadence]", "Cadence [A]: Y Y Y Y Y Y Y Y 1 0 8"},
};

const QString kAdvancePassword = QStringLiteral("M84Service");

struct AnsweringDialogs : FileDialogs {
  QString answer;
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return answer; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return answer; }
};

struct SilentTones : TonePlayer {
  void Play(const std::vector<ToneStep>&) override {}
};

// The user's ways of changing a control: the space bar on a check box, the arrow keys on a list
// (each step is a choice the page hears), typing over an edit's text.
void ChangeControl(QWidget* control, const QVariant& value) {
  control->setFocus();
  if (auto* box = qobject_cast<QCheckBox*>(control)) {
    if (box->isChecked() != value.toBool()) QTest::keyClick(box, Qt::Key_Space);
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < value.toInt(); ++i) QTest::keyClick(list, Qt::Key_Down);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->selectAll();
    QTest::keyClicks(edit, value.toString());
  }
}

QVariant ValueOf(QWidget* control) {
  if (auto* box = qobject_cast<QCheckBox*>(control)) return box->isChecked();
  if (auto* list = qobject_cast<QComboBox*>(control)) return list->currentIndex();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->text();
  return {};
}

QString Collapsed(QString text) {
  return text.replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" ")).trimmed();
}

std::optional<PagerData> ReadDataFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return DecodeDatFile(file.readAll());
}

class AllPagesWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const Outcome started = simulator_.Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
  }

  std::unique_ptr<MainWindow> OpenWindow(PagerData& data, const QString& port) {
    auto window = std::make_unique<MainWindow>(data, WindowOptions{dialogs_, std::make_shared<SilentTones>(), port});
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    return window;
  }

  // The Basic page's advance-setting password, as a dealer types it.
  static void EnterAdvancedMode(MainWindow& window) {
    SettingsPage* basic = window.Page(PageId::Basic);
    auto* password = basic->findChild<QLineEdit*>(QStringLiteral("password"));
    ASSERT_NE(password, nullptr);
    password->setFocus();
    QTest::keyClicks(password, kAdvancePassword);
    QTest::mouseClick(basic->findChild<QPushButton*>(QStringLiteral("passwordOk")), Qt::LeftButton);
    ASSERT_EQ(window.Mode(), DisplayMode::Advanced);
  }

  // A click on the tab, wherever its row stands now.
  static void ShowTab(MainWindow& window, int index) {
    auto* strip = window.findChild<TabStrip*>();
    ASSERT_NE(strip, nullptr);
    if (strip->CurrentIndex() != index) QTest::mouseClick(strip, Qt::LeftButton, {}, strip->TabRect(index).center());
    ASSERT_EQ(strip->CurrentIndex(), index);
    ASSERT_TRUE(window.Page(kTabPages[size_t(index)].id)->isVisible());
  }

  static QWidget* Control(MainWindow& window, const PageChange& change) {
    return window.Page(change.page)->findChild<QWidget*>(QString::fromLatin1(change.control));
  }

  // Every tab in turn (the table is in tab order), each change made while its page is shown and
  // stored by the next change of tab.
  static void ChangeEveryPage(MainWindow& window) {
    for (int index = 0; index < kTabPageCount; ++index) {
      const PageChange& change = kChanges[index];
      SCOPED_TRACE(change.control);
      ShowTab(window, index);
      QWidget* control = Control(window, change);
      ASSERT_NE(control, nullptr);
      EXPECT_TRUE(control->isEnabled());
      EXPECT_NE(ValueOf(control), change.value);
      ChangeControl(control, change.value);
      EXPECT_EQ(ValueOf(control), change.value);
    }
    ShowTab(window, 0);
  }

  // Every tab in turn, and the change shown on its page.
  static void ExpectEveryChange(MainWindow& window) {
    for (int index = 0; index < kTabPageCount; ++index) {
      const PageChange& change = kChanges[index];
      SCOPED_TRACE(change.control);
      ShowTab(window, index);
      QWidget* control = Control(window, change);
      ASSERT_NE(control, nullptr);
      EXPECT_EQ(ValueOf(control), change.value);
    }
  }

  static void WaitForAdapter(MainWindow& window) {
    for (int i = 0; i < 30 && window.StatusText(MainWindow::kAdapterPane) != QStringLiteral(" OK"); ++i)
      QTest::qWait(100);
    ASSERT_EQ(window.StatusText(MainWindow::kAdapterPane), QStringLiteral(" OK"));
  }

  // "&Print" with "Print to File (PDF)" chosen in the print dialog.
  void PrintToPdf(MainWindow& window, const QString& path) {
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      sawDialog = true;
      dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
      if (auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers")))
        printers->setCurrentIndex(printers->count() - 1);  // "Print to File (PDF)" comes last
      if (auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("filename"))) fileName->setText(path);
      dialog->accept();
    });
    QTest::mouseClick(window.Button(MainWindow::kPrintButton), Qt::LeftButton);
    EXPECT_TRUE(sawDialog);
  }

  QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  SimulatorHost simulator_;
  std::shared_ptr<AnsweringDialogs> dialogs_ = std::make_shared<AnsweringDialogs>();
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(AllPagesWindow, EveryChangeSurvivesEveryRoadOutAndBack) {
  // One change on every tab page, in tab order.
  static_assert(std::size(kChanges) == kTabPageCount);
  for (int index = 0; index < kTabPageCount; ++index) EXPECT_EQ(kChanges[index].page, kTabPages[size_t(index)].id);

  PagerData edited;
  auto window = OpenWindow(edited, simulator_.DevicePath());
  EnterAdvancedMode(*window);
  ChangeEveryPage(*window);

  dialogs_->answer = Path("edited.DAT");
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  ASSERT_EQ(window->StatusText(MainWindow::kMessagePane), QStringLiteral("File Saved ok"));
  const std::optional<PagerData> saved = ReadDataFile(Path("edited.DAT"));
  ASSERT_TRUE(saved.has_value());

  // Both printed pages, every section on its page with the change it carries.
  PrintToPdf(*window, Path("report.pdf"));
  const QStringList printed = PdfPages(Path("report.pdf"));
  ASSERT_EQ(printed.size(), 2);
  // A footer never stands on a line that a section prints: page 1's below its sections, page 2's
  // below the last line, where the printable area of an A4 sheet with the printer's margins has
  // already ended (there is no page break, so the last lines of the page are lost).
  static const QRegularExpression kFooterWord(QStringLiteral("Page ?\\d"));
  static const QRegularExpression kFooterLine(QStringLiteral("^ ?Page \\d ?$"));
  for (const QString& page : printed)
    for (const QString& line : page.split(QLatin1Char('\n')))
      if (line.contains(kFooterWord)) EXPECT_TRUE(kFooterLine.match(line).hasMatch()) << line.toStdString();
  const int footer = int(printed[0].indexOf(QStringLiteral("Page 1")));
  EXPECT_GE(footer, 0);
  for (const PageChange& change : kChanges) {
    const int reportPage = kTabPages[size_t(TabIndexOf(change.page))].reportPage - 1;
    const QString& page = printed[reportPage];
    const QString heading = QString::fromLatin1(change.heading);
    ASSERT_TRUE(page.contains(heading)) << change.heading;
    // The changed line lies in its own section, below the heading.
    const int line = int(page.indexOf(Collapsed(QString::fromLatin1(change.printed))));
    EXPECT_GT(line, page.indexOf(heading)) << change.printed;
    if (reportPage == 0) EXPECT_LT(line, footer) << change.printed;
  }

  WaitForAdapter(*window);
  QTest::mouseClick(window->Button(MainWindow::kWriteButton), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Busy(); }, 15000));  // the write runs on its own thread
  ASSERT_EQ(window->StatusText(MainWindow::kMessagePane), QStringLiteral("DPT Verify ok !"));
  window.reset();  // one window at a time on the adapter's port

  // A store of a stored image changes nothing: the converted image is the saved one.
  QProcess convert;
  convert.start(QStringLiteral(M84DPT_PROGRAM), {QStringLiteral("convert"), Path("edited.DAT"), Path("edited.BIN")});
  ASSERT_TRUE(convert.waitForFinished(30000));
  EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
  QFile converted(Path("edited.BIN"));
  ASSERT_TRUE(converted.open(QIODevice::ReadOnly));
  EXPECT_EQ(converted.readAll(), QByteArray(reinterpret_cast<const char*>(saved->image.data()), kImageSize));

  PagerData loaded;
  auto second = OpenWindow(loaded, Path("no-such-port"));
  EnterAdvancedMode(*second);
  dialogs_->answer = Path("edited.DAT");
  QTest::mouseClick(second->Button(MainWindow::kLoadButton), Qt::LeftButton);
  ASSERT_EQ(second->StatusText(MainWindow::kMessagePane), QStringLiteral("File Loaded ok"));
  ExpectEveryChange(*second);
  second.reset();

  PagerData readBack;
  auto third = OpenWindow(readBack, simulator_.DevicePath());
  EnterAdvancedMode(*third);
  WaitForAdapter(*third);
  QTest::mouseClick(third->Button(MainWindow::kReadButton), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !third->Busy(); }, 15000));
  ASSERT_EQ(third->StatusText(MainWindow::kMessagePane), QStringLiteral("Read Pager ok !"));
  ExpectEveryChange(*third);
  // The write kept the pager's serial number and took it into the first window's image.
  EXPECT_TRUE(std::equal(edited.image.data(), edited.image.data() + kExchangedSize, readBack.image.data()));
}
