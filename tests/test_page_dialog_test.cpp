// Tools, Test Page...: made the first time it is asked for, and checking a page against the
// settings on screen, edits not yet saved included.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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

}  // namespace
