// The Name / Misc, Hand Program / Canned MSG and Over The Air pages' controls: the enabling
// rules under clicks, the Danish refusal, the enable-password command check on leaving, and
// the guard that keeps the user on the Over The Air page while a command text is unusable.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "gui/main_window.h"
#include "gui/pages/canned_page_widget.h"
#include "gui/pages/name_misc_page_widget.h"
#include "gui/pages/ota_page_widget.h"
#include "gui/tab_strip.h"
#include "widget_fixtures.h"

using namespace m84;
using namespace m84::widget_test;

namespace {

template <typename Model, typename Widget>
using PageFixture = PageWidgetFixture<Model, Widget, 520, 360>;

using NameMiscFixture = PageFixture<NameMiscPageModel, NameMiscPageWidget>;
using CannedFixture = PageFixture<CannedPageModel, CannedPageWidget>;
using OtaFixture = PageFixture<OtaPageModel, OtaPageWidget>;

}  // namespace

TEST_F(NameMiscFixture, DanishIsRefusedBackToTheImagesLanguage) {
  data.image[kLanguageOffset] = 0x02;
  page->ExchangeImage(Direction::Load);
  auto* language = Control<QComboBox>(name_misc_key::kLanguage);
  ASSERT_EQ(language->currentText(), "German");
  const PagerImage before = data.image;

  language->setFocus();
  QTest::keyClick(language, Qt::Key_Down);  // "French" is taken
  EXPECT_EQ(language->currentText(), "French");
  EXPECT_TRUE(host.beeps.empty());
  QTest::keyClick(language, Qt::Key_End);  // "Danish"
  EXPECT_EQ(language->currentText(), "German");
  EXPECT_EQ(host.statuses.back(), kDanishRefusedMessage);
  ASSERT_EQ(host.beeps.size(), 1u);
  EXPECT_EQ(host.beeps.back(), Beep::Error);
  EXPECT_EQ(data.image, before);

  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image[kLanguageOffset], 0x02);
}

TEST_F(NameMiscFixture, NoLanguageInTheImageLeavesTheListWithoutSelection) {
  data.image[kLanguageOffset] = 0x0B;
  page->ExchangeImage(Direction::Load);
  EXPECT_EQ(Control<QComboBox>(name_misc_key::kLanguage)->currentIndex(), -1);
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image[kLanguageOffset], 0x0B);
}

TEST_F(NameMiscFixture, SwitchesEnableTheirEdits) {
  QLineEdit* password = Edit(name_misc_key::kReadingPassword);
  EXPECT_TRUE(password->isHidden());
  EXPECT_FALSE(password->isEnabled());
  EXPECT_EQ(password->text(), "7391");
  ClickBox(Box(name_misc_key::kReadingPasswordEnabled));
  EXPECT_TRUE(password->isEnabled());

  ClickBox(Box(name_misc_key::kReplaceToneOnly));
  for (int i = 0; i < kToneTextCount; ++i) EXPECT_FALSE(Edit(name_misc_key::ToneText(i))->isEnabled()) << i;
  page->ExchangeImage(Direction::Store);
  EXPECT_EQ(data.image[kMessageOptionsOffset] & kReplaceToneOnlyBit, 0);
  EXPECT_EQ(data.image[kInterfaceOptionsOffset] & kReadingPasswordBit, kReadingPasswordBit);
  EXPECT_EQ(data.image[kReadingPasswordOffset], '7');  // the hidden password carried through
}

TEST_F(CannedFixture, HandProgrammingSwitchesGovernThePassword) {
  QCheckBox* enable = Box(canned_key::kHandProgramming);
  QCheckBox* require = Box(canned_key::kRequirePassword);
  QLineEdit* password = Edit(canned_key::kPassword);
  EXPECT_TRUE(password->isEnabled());
  EXPECT_EQ(password->text(), "9462");
  ClickBox(enable);
  EXPECT_FALSE(require->isEnabled());
  EXPECT_TRUE(require->isChecked());
  EXPECT_FALSE(password->isEnabled());
  ClickBox(enable);
  EXPECT_TRUE(password->isEnabled());

  ClickBox(Box(canned_key::kCannedEnable));
  for (int n = 1; n <= kCannedCount; ++n) EXPECT_FALSE(Edit(canned_key::Canned(n))->isEnabled()) << n;
}

TEST_F(OtaFixture, CadenceBoxEnablesItsFourTexts) {
  for (const OtaCommand& command : kOtaCommands) EXPECT_FALSE(Edit(QString::fromLatin1(command.key))->isEnabled());
  ClickBox(Box(ota_key::kCadence));
  for (int i = 0; i < kOtaCommandCount; ++i) {
    const OtaCommand& command = kOtaCommands[size_t(i)];
    EXPECT_EQ(Edit(QString::fromLatin1(command.key))->isEnabled(), i >= kFirstCadenceCommand) << command.key;
  }
}

TEST_F(OtaFixture, EnablePasswordCommandIsCheckedOnLeaving) {
  ClickBox(Box(ota_key::kEnablePassword));
  QLineEdit* command = Edit(ota_key::kEnablePasswordCommand);
  QCheckBox* other = Box(ota_key::kCadence);
  ASSERT_TRUE(command->isEnabled());

  command->setFocus();
  command->selectAll();
  QTest::keyClicks(command, "AB");
  other->setFocus();
  EXPECT_EQ(command->text().trimmed(), "147286");
  EXPECT_EQ(QApplication::focusWidget(), command);
  ASSERT_EQ(host.beeps.size(), 1u);
  EXPECT_EQ(host.beeps.back(), Beep::Error);

  command->selectAll();
  QTest::keyClicks(command, "12");
  other->setFocus();
  EXPECT_EQ(command->text().trimmed(), "12");
  EXPECT_EQ(QApplication::focusWidget(), other);
  EXPECT_EQ(host.beeps.size(), 1u);
  // The page stored itself on leaving.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.image.data() + 0xE2), 9), "12       ");
}

namespace {

struct NoDialogs : FileDialogs {
  int asked = 0;
  QString OpenFileName(QWidget*, const QString&, const QString&) override { return ++asked, QString(); }
  QString SaveFileName(QWidget*, const QString&, const QString&) override { return ++asked, QString(); }
};

// The window in advanced mode with the Over The Air page shown, its cadence J text three
// characters long.
struct GuardFixture : ::testing::Test {
  PagerData data;
  std::shared_ptr<NoDialogs> dialogs = std::make_shared<NoDialogs>();
  std::shared_ptr<RecordingTones> tones = std::make_shared<RecordingTones>();
  QTemporaryDir dir;
  std::unique_ptr<MainWindow> window;
  TabStrip* strip = nullptr;
  SettingsPage* ota = nullptr;

  void SetUp() override {
    const char cadence[] = "RTV";
    std::fill_n(data.image.data() + 0xB0, 9, 0);
    std::copy_n(cadence, 3, data.image.data() + 0xB0);
    window = std::make_unique<MainWindow>(data, WindowOptions{dialogs, tones, dir.filePath("no-such-port")});
    ASSERT_NO_FATAL_FAILURE(Activate(window.get()));
    window->SwitchToAdvancedMode();
    strip = window->findChild<TabStrip*>();
    ASSERT_NE(strip, nullptr);
    ClickTab(PageId::Ota);
    ota = window->Page(PageId::Ota);
    ASSERT_EQ(window->ShownTabPage(), ota);
  }
  void ClickTab(PageId id) { widget_test::ClickTab(strip, id); }
  // Each refusal shows the message and sounds the error beep once; nothing else happens.
  void ExpectRefused(size_t refusals) {
    EXPECT_EQ(window->ShownTabPage(), ota);
    EXPECT_EQ(strip->CurrentIndex(), TabIndexOf(PageId::Ota));
    EXPECT_EQ(window->StatusText(MainWindow::kMessagePane), kOtaCommandMessage);
    EXPECT_EQ(tones->played.size(), refusals);
    if (!tones->played.empty()) EXPECT_EQ(tones->played.back(), TonesOf(Beep::Error));
    EXPECT_EQ(dialogs->asked, 0);
  }
};

}  // namespace

TEST_F(GuardFixture, UnusableCommandHoldsClicksAndKeysUntilMendedByKeyboard) {
  ClickTab(PageId::Canned);
  ExpectRefused(1);
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  ExpectRefused(2);

  auto* cadenceBox = Control<QCheckBox>(ota, ota_key::kCadence);
  ClickBox(cadenceBox);  // the page's own controls too
  ExpectRefused(3);
  EXPECT_FALSE(cadenceBox->isChecked());

  // The keyboard routes out of the page: Ctrl+Tab, the arrows on the strip, a button's
  // mnemonic, Space and Enter on a focused button.
  cadenceBox->setFocus(Qt::TabFocusReason);
  QTest::keyClick(cadenceBox, Qt::Key_Tab, Qt::ControlModifier);
  ExpectRefused(4);
  strip->setFocus(Qt::TabFocusReason);
  QTest::keyClick(strip, Qt::Key_Right);
  ExpectRefused(5);
  cadenceBox->setFocus(Qt::TabFocusReason);
  QTest::keyClick(cadenceBox, Qt::Key_S, Qt::AltModifier);
  ExpectRefused(6);
  QPushButton* load = window->Button(MainWindow::kLoadButton);
  load->setFocus(Qt::TabFocusReason);
  QTest::keyClick(load, Qt::Key_Space);
  QTest::keyClick(load, Qt::Key_Return);
  ExpectRefused(8);

  // Mended with the keyboard alone: the box by Space, the text by typing.
  cadenceBox->setFocus(Qt::TabFocusReason);
  QTest::keyClick(cadenceBox, Qt::Key_Space);
  ASSERT_TRUE(cadenceBox->isChecked());
  QLineEdit* cadenceJ = Control<QLineEdit>(ota, QStringLiteral("cadenceJCommand"));
  ASSERT_TRUE(cadenceJ->isEnabled());
  cadenceJ->setFocus(Qt::TabFocusReason);
  QTest::keyClick(cadenceJ, Qt::Key_End);
  QTest::keyClicks(cadenceJ, "R");
  EXPECT_EQ(tones->played.size(), 8u);

  QTest::keyClick(cadenceJ, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(strip->CurrentIndex(), TabIndexOf(PageId::Canned));
  EXPECT_EQ(window->ShownTabPage(), window->Page(PageId::Canned));
  EXPECT_EQ(tones->played.size(), 8u);
  // The mended text reached the image on the tab change.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.image.data() + 0xB0), 9), "RTVR     ");
  ClickTab(PageId::Ota);
  QTest::mouseClick(window->Button(MainWindow::kSaveButton), Qt::LeftButton);
  EXPECT_EQ(dialogs->asked, 1);
  EXPECT_EQ(tones->played.size(), 8u);
}
