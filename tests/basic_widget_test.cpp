// The Basic page's controls under real key and focus events, the advance-setting password, and
// the two display modes of the main window with their mouse guard and service command.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEnterEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/pages/capcode.h"
#include "gui/main_window.h"
#include "gui/mouse_guard.h"
#include "gui/pages/basic_page_widget.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::basic_key;
using namespace m84::widget_test;

namespace {

const QString kRightPassword = QStringLiteral("M84Service");

struct BasicPageFixture : PageWidgetFixture<BasicPageModel, BasicPageWidget, 520, 440> {
  QLineEdit* Capcode(int row) { return Control(capcode_key::Capcode(row)); }
  QLineEdit* Frame(int row) { return Control(capcode_key::Frame(row)); }
};

}  // namespace

TEST_F(BasicPageFixture, DefaultImageShowsAsListed) {
  const char* frames[kCapcodeRowCount] = {"7", "0", "1", "2", "3", "4", "5", "6"};
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Capcode(row)->text(), QString::number(1234567 + row));
    EXPECT_TRUE(Capcode(row)->isEnabled());
    EXPECT_EQ(Frame(row)->text(), frames[row]);
    EXPECT_TRUE(Control<QCheckBox>(capcode_key::Enable(row))->isChecked());
    EXPECT_EQ(Control<QComboBox>(capcode_key::Step(row))->currentText(), " 0");
    EXPECT_EQ(page->findChild<QCheckBox*>(capcode_key::Private(row)), nullptr);
    EXPECT_EQ(Capcode(row)->toolTip(), row < 6 ? CapcodeTip(row) : QString());
  }
  EXPECT_EQ(Control(kStartupText)->text(), "Welcome to M84");
  EXPECT_EQ(Control(kStandbyText1)->text(), "DR. Nora Clifts");
  EXPECT_EQ(Control(kStandbyText2)->text(), "Welcome to M84");
  EXPECT_FALSE(Control<QCheckBox>(kShowDate)->isChecked());
  EXPECT_TRUE(Control<QCheckBox>(kShowTime)->isChecked());
  EXPECT_FALSE(Control<QCheckBox>(kAlternativeScreen)->isChecked());
  EXPECT_TRUE(Control(kStandbyText1)->isEnabled());
  EXPECT_FALSE(Control(kStandbyText2)->isEnabled());
  for (const QString& text : {kStartupText, kStandbyText1, kStandbyText2}) EXPECT_EQ(Control(text)->maxLength(), 15);
  EXPECT_EQ(Control(kPassword)->maxLength(), 10);
  EXPECT_EQ(Control(kPassword)->echoMode(), QLineEdit::Password);

  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image, PagerImage::Defaults());
  EXPECT_EQ(data.selection, SelectionState());
}

TEST_F(BasicPageFixture, DisplayOptionsEnableTheStandbyTexts) {
  QTest::mouseClick(Control<QCheckBox>(kShowDate), Qt::LeftButton);
  EXPECT_FALSE(Control(kStandbyText1)->isEnabled());
  EXPECT_FALSE(Control(kStandbyText2)->isEnabled());
  QTest::mouseClick(Control<QCheckBox>(kAlternativeScreen), Qt::LeftButton);
  EXPECT_TRUE(Control(kStandbyText1)->isEnabled());
  EXPECT_TRUE(Control(kStandbyText2)->isEnabled());

  QTest::mouseClick(Control<QCheckBox>(capcode_key::Enable(2)), Qt::LeftButton);
  EXPECT_FALSE(Capcode(2)->isEnabled());
  page->ExchangeImage(Direction::Store);
  EXPECT_TRUE(data.image[kDisplayOptionsOffset] & kShowDateBit);
  EXPECT_TRUE(data.image[kAlternativeScreenOffset] & kAlternativeScreenBit);
  EXPECT_TRUE(data.image[CapcodeFieldOffset(2)] & kCapcodeEnableBit);
}

// The page keeps the last capcode that passed the live check; leaving the edit with a failing
// text brings that one back.
TEST_F(BasicPageFixture, CapcodeLeftWithAFailingTextShowsTheLastValidOne) {
  QLineEdit* capcode = Capcode(0);
  capcode->setFocus(Qt::TabFocusReason);
  capcode->selectAll();
  QTest::keyClicks(capcode, "7");
  Leave(capcode);
  EXPECT_TRUE(RejectedWith(capcode, kCapcodeRangeMessage));
  EXPECT_EQ(capcode->text(), "1234567");
  EXPECT_EQ(Frame(0)->text(), "7");

  host.beeps.clear();
  capcode->setCursorPosition(capcode->text().size());
  for (int i = 0; i < 6; ++i) QTest::keyClick(capcode, Qt::Key_Backspace);
  EXPECT_EQ(capcode->text(), "1");
  Leave(capcode);
  EXPECT_TRUE(RejectedWith(capcode, kCapcodeRangeMessage));
  EXPECT_EQ(capcode->text(), "12");
  EXPECT_EQ(Frame(0)->text(), "4");

  host.beeps.clear();
  host.statuses.clear();
  capcode->selectAll();
  QTest::keyClicks(capcode, "1234575");
  EXPECT_EQ(Frame(0)->text(), "7");  // as soon as the last digit is typed
  Leave(capcode);
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_NE(QApplication::focusWidget(), capcode);
  EXPECT_EQ(model.Values().Number(capcode_key::Capcode(0)), 1234575);
}

TEST_F(BasicPageFixture, EnterStoresMovesOnAndLoads) {
  QLineEdit* text = Control(kStartupText);
  text->setFocus(Qt::TabFocusReason);
  text->selectAll();
  QTest::keyClicks(text, "Hi there  ");
  QTest::keyClick(text, Qt::Key_Return);
  EXPECT_NE(QApplication::focusWidget(), text);
  EXPECT_EQ(text->text(), "Hi there");  // loaded back without its trailing blanks
  EXPECT_EQ(data.image[kStartupTextOffset + 9], ' ');
  EXPECT_EQ(data.image[kStartupTextOffset + 10], 0);

  // Enter in a capcode edit holding a failing text is answered as leaving it would be.
  QLineEdit* capcode = Capcode(3);
  capcode->setFocus(Qt::TabFocusReason);
  capcode->selectAll();
  QTest::keyClicks(capcode, "7");
  QTest::keyClick(capcode, Qt::Key_Return);
  EXPECT_TRUE(RejectedWith(capcode, kCapcodeRangeMessage));
  EXPECT_EQ(capcode->text(), "1234570");
}

// The controls stay newer than the variables: blanks typed at the end of a text are stored
// with it each time, and the edit keeps them, until a load.
TEST_F(BasicPageFixture, TrailingBlanksStayInTheEditAndTheImageOverStores) {
  QLineEdit* text = Control(kStandbyText1);
  text->setFocus(Qt::TabFocusReason);
  text->selectAll();
  QTest::keyClicks(text, "abc  ");
  for (int store = 1; store <= 3; ++store) {
    SCOPED_TRACE(store);
    page->ExchangeImage(Direction::Store);
    EXPECT_EQ(text->text(), "abc  ");
    EXPECT_EQ(data.image[kStandbyText1Offset + 3], ' ');
    EXPECT_EQ(data.image[kStandbyText1Offset + 4], ' ');
    EXPECT_EQ(data.image[kStandbyText1Offset + 5], 0);
  }
  page->ExchangeImage(Direction::Load);
  EXPECT_EQ(text->text(), "abc");
}

TEST_F(BasicPageFixture, PasswordCheckedByOkAndByEnter) {
  QLineEdit* password = Control(kPassword);
  auto* ok = Control<QPushButton>(QStringLiteral("passwordOk"));
  struct Case {
    QString typed;
    bool accepted;
    bool byEnter;
  };
  // Eleven characters cannot be typed here: the edit takes ten.
  const Case cases[] = {
      {kRightPassword.left(9), false, true},
      {kRightPassword.toLower(), false, false},
      {kRightPassword, true, true},
      {kRightPassword, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    host.statuses.clear();
    host.beeps.clear();
    host.advancedRequests = 0;
    password->setFocus(Qt::TabFocusReason);
    password->clear();
    QTest::keyClicks(password, c.typed);
    if (c.byEnter)
      QTest::keyClick(password, Qt::Key_Return);
    else
      QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(password->text(), c.typed);  // kept either way
    EXPECT_EQ(host.advancedRequests, c.accepted ? 1 : 0);
    if (c.accepted) {
      EXPECT_TRUE(host.beeps.empty());
      EXPECT_EQ(host.statuses.back(), QString());
    } else {
      EXPECT_EQ(host.statuses.back(), kPasswordErrorMessage);
      EXPECT_EQ(host.beeps, std::vector<Beep>{Beep::Error});
    }
  }
}

TEST_F(BasicPageFixture, HintsOverTheControls) {
  const std::pair<QString, QString> hints[] = {{kStartupText, kBasicTextHint},
                                               {kStandbyText2, kBasicTextHint},
                                               {capcode_key::Capcode(7), kCapcodeHint},
                                               {kPassword, QString()},
                                               {capcode_key::Frame(0), QString()}};
  for (const auto& [name, hint] : hints) {
    SCOPED_TRACE(name.toStdString());
    host.statuses << QStringLiteral("before");
    Hover(Control<QWidget>(name));
    EXPECT_EQ(host.statuses.back(), hint);
  }
}

namespace {

struct BasicWindowFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    window = std::make_unique<MainWindow>(data, WindowOptions{nullptr, tones});
    Activate(window.get());
  }
  SettingsPage* Basic() { return window->Page(PageId::Basic); }
  void EnterPassword(const QString& text) {
    QLineEdit* password = Control(Basic(), kPassword);
    password->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(password, text);
    QTest::keyClick(password, Qt::Key_Return);
  }
  void ServiceKeys(const QKeySequence& keys) {
    QTest::keySequence(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), keys);
  }
};

}  // namespace

TEST_F(BasicWindowFixture, PasswordSwitchesToAdvancedModeWithTheBasicPageEdits) {
  QLineEdit* capcode = Control(Basic(), capcode_key::Capcode(1));
  capcode->setFocus(Qt::TabFocusReason);
  capcode->selectAll();
  QTest::keyClicks(capcode, "1048575");
  QTest::mouseClick(Control<QCheckBox>(Basic(), capcode_key::Enable(4)), Qt::LeftButton);

  EnterPassword(QStringLiteral("m84service"));
  EXPECT_EQ(window->Mode(), DisplayMode::Basic);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), kPasswordErrorMessage);
  EXPECT_EQ(tones->played.size(), 1u);

  Control(Basic(), kPassword)->clear();
  EnterPassword(kRightPassword);
  EXPECT_EQ(window->Mode(), DisplayMode::Advanced);
  EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), QString());
  EXPECT_EQ(tones->played.size(), 1u);  // no beep on a match
  EXPECT_TRUE(Basic()->isHidden());
  SettingsPage* general = window->Page(PageId::General);
  EXPECT_FALSE(general->isHidden());
  EXPECT_EQ(window->ShownTabPage(), general);
  EXPECT_EQ(Control(general, capcode_key::Capcode(1))->text(), "1048575");
  EXPECT_FALSE(Control<QCheckBox>(general, capcode_key::Enable(4))->isChecked());
  EXPECT_FALSE(Control(general, capcode_key::Capcode(4))->isEnabled());
}

TEST_F(BasicWindowFixture, ServiceCommandTReturnsToBasicModeOnlyFromAdvancedMode) {
  const QKeySequence t(QStringLiteral("Ctrl+Shift+T"));
  ServiceKeys(t);
  EXPECT_EQ(window->Mode(), DisplayMode::Basic);

  EnterPassword(kRightPassword);
  ASSERT_EQ(window->Mode(), DisplayMode::Advanced);
  QLineEdit* generalCapcode = Control(window->Page(PageId::General), capcode_key::Capcode(7));
  generalCapcode->setText(QStringLiteral("20000"));
  ServiceKeys(t);
  EXPECT_EQ(window->Mode(), DisplayMode::Basic);
  EXPECT_FALSE(Basic()->isHidden());
  EXPECT_EQ(window->ShownTabPage(), nullptr);
  // The tab pages stored themselves before the Basic page loaded.
  EXPECT_EQ(Control(Basic(), capcode_key::Capcode(7))->text(), "20000");
}

// Nothing refuses clicks yet in advanced mode: the controls work as before.
TEST_F(BasicWindowFixture, ClicksPassInAdvancedMode) {
  EnterPassword(kRightPassword);
  ASSERT_EQ(window->Mode(), DisplayMode::Advanced);
  auto* enable = Control<QCheckBox>(window->Page(PageId::General), capcode_key::Enable(0));
  ClickBox(enable);
  EXPECT_FALSE(enable->isChecked());
  EXPECT_TRUE(tones->played.empty());
}

TEST(MouseGuard, RefusedLeftPressesAreDiscardedWithTheRefusal) {
  QWidget window;
  auto* button = new QPushButton(QStringLiteral("Go"), &window);
  window.resize(100, 50);
  Activate(&window);
  int clicks = 0, refusals = 0;
  QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
  bool accepts = false;
  MouseGuard guard([&accepts] { return accepts; }, [&refusals] { ++refusals; });

  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);  // not installed yet

  guard.Install();
  QTest::mouseClick(button, Qt::LeftButton);
  QTest::mouseDClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(refusals, 2);

  QTest::mouseClick(button, Qt::RightButton);  // other buttons pass unasked
  EXPECT_EQ(refusals, 2);

  accepts = true;
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);

  accepts = false;
  guard.Remove();
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(refusals, 2);
}
