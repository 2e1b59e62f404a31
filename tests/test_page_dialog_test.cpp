// Tools, Test Page...: made the first time it is asked for, and checking a page against the
// settings on screen, edits not yet saved included; the site profile chosen there, in the box's
// verdict and in Write with Review's question.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/image/dat_file.h"
#include "core/link/simulator_host.h"
#include "core/pages/capcode.h"
#include "gui/main_window.h"
#include "gui/test_page_dialog.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

struct NoDialogs : FileDialogs {
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
};

// Opens the file it is told to.
struct ChosenFile : NoDialogs {
  QString path;
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return path; }
};

struct ReviewQuestions : Questions {
  QStringList reviewed;
  bool Confirm(QWidget*, const QString&) override { return false; }
  UnsavedChoice AskUnsaved(QWidget*, const QString&) override { return UnsavedChoice::Cancel; }
  void ShowFailure(QWidget*, const QString&, const QString&) override {}
  bool ConfirmWrite(QWidget*, const QString& changes) override {
    reviewed << changes;
    return false;
  }
  void Withdraw() override {}
};

constexpr int kTransferLimitMs = 20000;

TEST(TestPageDialog, ChecksAPageAgainstTheSettingsOnScreen) {
  PagerData data;
  // No adapter: the box needs none.
  WindowOptions options{std::make_shared<NoDialogs>(), std::make_shared<RecordingTones>(),
                        QStringLiteral("/nonexistent/ttyUSB9")};
  MainWindow window(data, options);
  window.show();
  EXPECT_EQ(window.TestPageBox(), nullptr);
  EXPECT_EQ(window.findChild<TestPageDialog*>(), nullptr) << "made at start";

  // An edit on screen that no save or write holds yet.
  QLineEdit* capcode = Control(&window, capcode_key::Capcode(0));
  ASSERT_NE(capcode, nullptr);
  capcode->setFocus();
  capcode->selectAll();
  QTest::keyClicks(capcode, QStringLiteral("2000000"));

  window.Action(MainWindow::kTestPageCommand)->trigger();
  TestPageDialog* box = window.TestPageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  box->CapcodeEdit()->setText(QStringLiteral("2000000"));
  box->ContentList()->setCurrentText(QStringLiteral("Text"));
  EXPECT_EQ(box->FunctionList()->currentText(), QStringLiteral("D")) << "text pages go on function D";
  box->MessageEdit()->setText(QStringLiteral("HELLO"));
  QTest::mouseClick(box->CheckButton(), Qt::LeftButton);
  EXPECT_TRUE(box->Alerts()) << box->Verdict().toStdString();
  EXPECT_TRUE(box->Verdict().startsWith(QStringLiteral("alerts: capcode row 1 holds 2000000 (frame 0), text page")))
      << box->Verdict().toStdString();
  EXPECT_TRUE(box->Verdict().contains(QStringLiteral("\n      [HELLO]"))) << box->Verdict().toStdString();

  // The transmitter's speed, checked once it is chosen.
  box->BaudList()->setCurrentText(QStringLiteral("1200"));
  box->Check();
  EXPECT_FALSE(box->Alerts());
  EXPECT_EQ(box->Verdict(), QStringLiteral("silent: listens at 512 baud; the page is sent at 1200"));

  box->CapcodeEdit()->setText(QStringLiteral("7"));
  box->Check();
  EXPECT_EQ(box->Verdict(), kCapcodeRangeMessage);

  // Asked for again: the same box, in front.
  box->close();
  window.Action(MainWindow::kTestPageCommand)->trigger();
  EXPECT_EQ(window.TestPageBox(), box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(window.findChildren<TestPageDialog*>().size(), 1);
}

TEST(TestPageDialog, TheSiteChosenThereIsCheckedByTheBoxAndByWriteWithReview) {
  QTemporaryDir dir;
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("site.yaml"), "name: North\nbaud: 1200\n"));
  ASSERT_TRUE(WriteFileAtomically(dir.filePath("bad.yaml"), "name: North\nbaudrate: 1200\n"));
  SimulatorHost simulator{SimulatorOptions()};
  const m84::Outcome started = simulator.Start();
  ASSERT_TRUE(started) << started.failure().reason.toStdString();
  PagerData data;
  auto dialogs = std::make_shared<ChosenFile>();
  auto questions = std::make_shared<ReviewQuestions>();
  WindowOptions options{dialogs, std::make_shared<RecordingTones>(), simulator.DevicePath()};
  options.questions = questions;
  MainWindow window(data, options);
  ASSERT_NO_FATAL_FAILURE(Activate(&window));

  window.Action(MainWindow::kTestPageCommand)->trigger();
  TestPageDialog* box = window.TestPageBox();
  ASSERT_NE(box, nullptr);
  dialogs->path = dir.filePath("bad.yaml");
  box->ChooseSite();
  EXPECT_FALSE(box->Site());
  EXPECT_TRUE(
      box->Verdict().endsWith(":2:1: unknown key 'baudrate'; a site profile has name, frequency, baud, "
                              "polarity, capcodes"))
      << box->Verdict().toStdString();
  dialogs->path = dir.filePath("site.yaml");
  box->ChooseSite();
  ASSERT_TRUE(box->Site());
  EXPECT_EQ(box->SiteLabel()->text(), QStringLiteral("North (site.yaml)"));
  box->CapcodeEdit()->setText(QStringLiteral("1234567"));
  box->Check();
  EXPECT_FALSE(box->Alerts());
  const QStringList lines = box->Verdict().split('\n');
  EXPECT_EQ(lines.value(0), QStringLiteral("silent: listens at 512 baud; the page is sent at 1200"));
  EXPECT_TRUE(lines.contains(QStringLiteral("site: row 8: listens at 512 baud; the site sends at 1200")))
      << box->Verdict().toStdString();

  // The window's Write with Review names the rows the write would leave deaf to the site.
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return window.Action(MainWindow::kReviewWriteCommand)->isEnabled(); }, kTransferLimitMs));
  window.Action(MainWindow::kReviewWriteCommand)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !questions->reviewed.isEmpty(); }, kTransferLimitMs));
  EXPECT_TRUE(questions->reviewed.first().contains(
      QStringLiteral("\n\nRows that would not hear the site:\nrow 1: listens at 512 baud; the site sends at 1200\n")))
      << questions->reviewed.first().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Busy(); }, kTransferLimitMs));
}

}  // namespace
