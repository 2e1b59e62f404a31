// The Folders and Out of Range / Display Cap pages in the window: rows that follow the General
// page's capcode flags after a change of tab, and the enabling rules driven by clicks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStyleOptionButton>
#include <QTest>

#include "core/pages/capcode.h"
#include "core/pages/folders_page.h"
#include "core/pages/out_of_range_page.h"
#include "gui/main_window.h"
#include "gui/tab_strip.h"

using namespace m84;

namespace {

struct SilentTones : TonePlayer {
  void Play(const std::vector<ToneStep>&) override {}
};

struct AdvancedWindow : ::testing::Test {
  PagerData data;
  std::unique_ptr<MainWindow> window;

  void SetUp() override {
    window = std::make_unique<MainWindow>(
        data, WindowOptions{nullptr, std::make_shared<SilentTones>(), QStringLiteral("/nonexistent/port")});
    window->show();
    window->SwitchToAdvancedMode();
  }

  // A click on the tab, as the user changes tabs.
  SettingsPage* ShowTab(PageId id) {
    auto* strip = window->findChild<TabStrip*>();
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->TabRect(TabIndexOf(id)).center());
    EXPECT_EQ(strip->CurrentIndex(), TabIndexOf(id));
    return window->Page(id);
  }

  template <typename T>
  T* Control(PageId id, const QString& key) {
    T* control = window->Page(id)->findChild<T*>(key);
    EXPECT_NE(control, nullptr) << key.toStdString();
    return control;
  }

  // The folders whose box, name and alert the user can reach.
  std::vector<int> EnabledFolders(bool fields) {
    std::vector<int> folders;
    for (int folder = 1; folder <= kFolderCount; ++folder) {
      const bool box = Control<QCheckBox>(PageId::Folders, folder_key::Enable(folder))->isEnabled();
      const bool name = Control<QLineEdit>(PageId::Folders, folder_key::Name(folder))->isEnabled();
      const bool alert = Control<QComboBox>(PageId::Folders, folder_key::Alert(folder))->isEnabled();
      EXPECT_EQ(name, alert) << folder;
      if (fields ? name : box) folders.push_back(folder);
    }
    return folders;
  }
};

// A click on the box itself, where a user clicks it.
void Click(QCheckBox* box) {
  QStyleOptionButton option;
  option.initFrom(box);
  QTest::mouseClick(box, Qt::LeftButton, {},
                    box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center());
}

}  // namespace

TEST_F(AdvancedWindow, FolderRowsFollowTheCapcodeFlagsAfterAChangeOfTab) {
  ShowTab(PageId::Folders);
  EXPECT_TRUE(EnabledFolders(false).empty());  // capcodes 4 to 6 are private

  ShowTab(PageId::General);
  Click(Control<QCheckBox>(PageId::General, capcode_key::Private(4)));  // capcode 5 made public
  ShowTab(PageId::Folders);
  EXPECT_EQ(EnabledFolders(false), (std::vector<int>{5, 6, 7, 8}));
  EXPECT_EQ(EnabledFolders(true), (std::vector<int>{5, 6, 7, 8}));

  // Disabling capcode 5 takes its folders away again, though it stays public.
  ShowTab(PageId::General);
  Click(Control<QCheckBox>(PageId::General, capcode_key::Enable(4)));
  ShowTab(PageId::Folders);
  EXPECT_TRUE(EnabledFolders(false).empty());
}

TEST_F(AdvancedWindow, FolderBoxClickTurnsItsNameAndAlertOffAndOn) {
  data.image[CapcodeFieldOffset(3)] = 0x41;  // capcode 4 enabled and public, as a loaded file has it
  window->ExchangeAllPages(Direction::Load);
  ShowTab(PageId::Folders);
  auto* box = Control<QCheckBox>(PageId::Folders, folder_key::Enable(3));
  Click(box);
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(EnabledFolders(false), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(EnabledFolders(true), (std::vector<int>{1, 2, 4}));
  // The unchecked folder's name still goes into the image and the report.
  Control<QLineEdit>(PageId::Folders, folder_key::Name(3))->setText(QStringLiteral("Kept"));
  window->ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image[FolderFlagsOffset(3)] & kFolderDisabledBit, kFolderDisabledBit);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.image.data()) + FolderNameOffset(3), 4), "Kept");
  Click(box);
  EXPECT_EQ(EnabledFolders(true), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(AdvancedWindow, OutOfRangeEnableBoxesGovernTheirControls) {
  using namespace out_of_range_key;
  ShowTab(PageId::OutOfRange);
  const QList<QWidget*> options = {
      Control<QCheckBox>(PageId::OutOfRange, kWarning), Control<QCheckBox>(PageId::OutOfRange, kVibrate),
      Control<QComboBox>(PageId::OutOfRange, kShowIcon), Control<QComboBox>(PageId::OutOfRange, kDetectTime)};
  QList<QWidget*> names;
  for (int capcode = 1; capcode <= kCapcodeNameCount; ++capcode)
    names << Control<QLineEdit>(PageId::OutOfRange, CapcodeName(capcode));
  for (int beep = 0; beep < kBeepCodeNameCount; ++beep)
    names << Control<QLineEdit>(PageId::OutOfRange, BeepCodeName(beep));
  const auto enabled = [](const QList<QWidget*>& controls) {
    int count = 0;
    for (QWidget* control : controls) count += control->isEnabled() ? 1 : 0;
    return count;
  };
  EXPECT_EQ(enabled(options), 0);  // out of range "Enable" is clear in the default image
  EXPECT_EQ(enabled(names), 12);

  Click(Control<QCheckBox>(PageId::OutOfRange, kEnable));
  EXPECT_EQ(enabled(options), 4);
  Click(Control<QCheckBox>(PageId::OutOfRange, kDisplayText));
  EXPECT_EQ(enabled(names), 0);
  EXPECT_EQ(enabled(options), 4);
  Click(Control<QCheckBox>(PageId::OutOfRange, kEnable));
  EXPECT_EQ(enabled(options), 0);
}
