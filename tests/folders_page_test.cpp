// The Folders page model: enable and alert bits beside the Tones page's bits, the names, the
// availability from the capcode flags, and the two-column report section.
#include <gtest/gtest.h>

#include <set>

#include "core/pages/capcode.h"
#include "core/pages/folders_page.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"

using namespace m84;
using namespace m84::folder_key;

namespace {

struct LoadedPage {
  PagerData data;
  FoldersPageModel page;
  LoadedPage() { page.Load(data); }
  PageValues& values() { return page.Values(); }
};

QString DefaultName(int folder) { return QStringLiteral("PubHolder %1").arg(folder, 2, 10, QLatin1Char('0')); }

QStringList ReportOf(FoldersPageModel& page, PagerData& data) {
  page.Store(data);
  TextReportCursor report;
  report.BeginPage();
  page.PrintSection(report);
  report.EndPage();
  return report.Lines();
}

constexpr uint8_t kPublicEnabled = 0x41;  // enable bit clear, public bit set
constexpr uint8_t kPublicDisabled = 0xC1;
constexpr uint8_t kPrivateEnabled = 0x01;

}  // namespace

TEST(FoldersPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  for (int folder = 1; folder <= kFolderCount; ++folder) {
    SCOPED_TRACE(folder);
    EXPECT_TRUE(p.values().Flag(Enable(folder)));
    EXPECT_EQ(p.values().Text(Name(folder)), DefaultName(folder));
    EXPECT_EQ(kFolderAlertEntries[p.values().Number(Alert(folder))], "No Beep");
    EXPECT_FALSE(FolderSwitchEnabled(p.values(), folder));  // capcodes 4 to 6 are private
    EXPECT_FALSE(FolderFieldsEnabled(p.values(), folder));
  }
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

// Flags of capcodes 4, 5 and 6 (bytes 0x0E, 0x12, 0x16) and the folders they make available.
TEST(FoldersPage, AvailabilityFollowsTheCapcodeFlagsInTheImage) {
  struct Case {
    uint8_t capcode4, capcode5, capcode6;
    std::set<int> available;
  };
  const Case cases[] = {
      {kPrivateEnabled, kPublicEnabled, kPrivateEnabled, {5, 6, 7, 8}},
      {kPublicEnabled, kPublicDisabled, kPublicEnabled, {1, 2, 3, 4, 9, 10, 11, 12}},
      {kPublicDisabled, kPrivateEnabled, 0x81, {}},
      {kPublicEnabled | 0x32, kPublicEnabled, kPublicEnabled, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << int(c.capcode4) << ' ' << int(c.capcode5) << ' '
                                      << int(c.capcode6));
    PagerData data;
    data.image[0x0E] = c.capcode4;
    data.image[0x12] = c.capcode5;
    data.image[0x16] = c.capcode6;
    FoldersPageModel page;
    page.Load(data);
    for (int folder = 1; folder <= kFolderCount; ++folder) {
      const bool available = c.available.count(folder) > 0;
      EXPECT_EQ(FolderSwitchEnabled(page.Values(), folder), available) << folder;
      EXPECT_EQ(FolderFieldsEnabled(page.Values(), folder), available) << folder;
    }
  }
}

// One folder byte as the image holds it: what the page shows, and what a store leaves.
TEST(FoldersPage, FolderByteLoadAndStoreCases) {
  struct Case {
    uint8_t byte;
    bool enabled;
    const char* alert;
    uint8_t stored;
  };
  const Case cases[] = {
      {0x01, true, "No Beep", 0x01},
      {0x21, true, "No Beep", 0x01},  // bits 01 are no entry: shown as "No Beep", stored as 00
      {0x41, true, "Normal", 0x41},
      {0x61, true, "Short Beep", 0x61},
      {0xBF, false, "No Beep", 0x9F},
      {0xFF, false, "Short Beep", 0xFF},
      {0xC0, false, "Normal", 0xC0},
      {0x1C, true, "No Beep", 0x1C},  // the Tones page's bits stay
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << int(c.byte));
    PagerData data;
    data.image[FolderFlagsOffset(9)] = c.byte;
    FoldersPageModel page;
    page.Load(data);
    EXPECT_EQ(page.Values().Flag(Enable(9)), c.enabled);
    EXPECT_EQ(kFolderAlertEntries[page.Values().Number(Alert(9))], c.alert);
    page.Store(data);
    EXPECT_EQ(data.image[FolderFlagsOffset(9)], c.stored);
  }
}

TEST(FoldersPage, StoreChangesOnlyTheEnableAndAlertBits) {
  for (const uint8_t low : {uint8_t(0x00), uint8_t(0x1F), uint8_t(0x15)}) {
    LoadedPage p;
    for (int folder = 1; folder <= kFolderCount; ++folder) p.data.image[FolderFlagsOffset(folder)] = low;
    for (int folder = 1; folder <= kFolderCount; ++folder) {
      p.values().Set(Enable(folder), folder % 2 == 0);
      p.values().Set(Alert(folder), folder % 3);
    }
    p.values().Set(Alert(12), -1);  // no selection stores as "Normal"
    p.page.Store(p.data);
    const uint8_t alertBits[] = {0x40, 0x60, 0x00};
    for (int folder = 1; folder <= kFolderCount; ++folder) {
      const uint8_t alert = folder == 12 ? 0x40 : alertBits[folder % 3];
      const uint8_t disabled = folder % 2 == 0 ? 0x00 : 0x80;
      EXPECT_EQ(p.data.image[FolderFlagsOffset(folder)], low | alert | disabled) << folder;
    }
  }
}

TEST(FoldersPage, NamesArePaddedTwelveBytesAndTheByteAfterStays) {
  LoadedPage p;
  p.data.image[FolderNameOffset(1) + kFolderNameLength] = 0xAB;
  p.values().Set(Name(1), QStringLiteral("Ab"));
  p.values().Set(Name(12), QStringLiteral("Thirteen char"));
  p.page.Store(p.data);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(p.data.image.data()) + FolderNameOffset(1), 13),
            QByteArray("Ab          \xAB"));
  EXPECT_EQ(p.values().Text(Name(1)), "Ab          ");  // the variable keeps its padding
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(p.data.image.data()) + FolderNameOffset(12), 13),
            QByteArray("Thirteen cha\0", 13));
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Text(Name(1)), "Ab");
  EXPECT_EQ(p.values().Text(Name(12)), "Thirteen cha");
  // The names of folders 2 to 11 are the defaults, 13 bytes apart.
  for (int folder = 2; folder < kFolderCount; ++folder) EXPECT_EQ(p.values().Text(Name(folder)), DefaultName(folder));
}

// Folder 7 shares the line of folder 1, at column 60, under its own header on the left header's line.
TEST(FoldersPage, ReportPrintsTwoColumns) {
  LoadedPage p;
  p.data.image[0x0E] = kPublicEnabled;
  p.page.Load(p.data);
  // A disabled folder's name and alert are still stored and printed.
  p.values().Set(Enable(3), false);
  p.values().Set(Name(3), QStringLiteral("Sales"));
  p.values().Set(Alert(3), int(kAlertShortBeep));
  p.values().Set(Alert(7), int(kAlertNormal));
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[FolderFlagsOffset(3)], 0xE1);
  p.page.Load(p.data);
  EXPECT_TRUE(FolderSwitchEnabled(p.values(), 3));
  EXPECT_FALSE(FolderFieldsEnabled(p.values(), 3));

  const auto row = [](const char* left, const char* right) {
    return QString::fromLatin1(left).leftJustified(60) + QString::fromLatin1(right);
  };
  const QStringList expected = {
      "[Folder]",
      row("Number Enable     Name              Alert", "Number Enable     Name              Alert"),
      row("  1    Enable    [PubHolder 01]    No Beep", "  7    Enable    [PubHolder 07]    Normal"),
      row("  2    Enable    [PubHolder 02]    No Beep", "  8    Enable    [PubHolder 08]    No Beep"),
      row("  3    Disable   [Sales       ]    Short Beep", "  9    Enable    [PubHolder 09]    No Beep"),
      row("  4    Enable    [PubHolder 04]    No Beep", " 10    Enable    [PubHolder 10]    No Beep"),
      row("  5    Enable    [PubHolder 05]    No Beep", " 11    Enable    [PubHolder 11]    No Beep"),
      row("  6    Enable    [PubHolder 06]    No Beep", " 12    Enable    [PubHolder 12]    No Beep"),
  };
  EXPECT_EQ(ReportOf(p.page, p.data), expected);
}

TEST(FoldersPage, SectionEndsOnTheLineOfFolderSix) {
  LoadedPage p;
  TextReportCursor report;
  const int top = report.y;
  p.page.PrintSection(report);
  EXPECT_EQ(report.y, top + 8 * report.lineHeight);  // heading, header, six folders
}

// The whole page set in advanced mode: the page takes its seventh place and a stored image is
// stored again unchanged.
TEST(FoldersPage, PageSetLoadsAndStoresTheFolders) {
  PagerData data;
  data.image[0x12] = kPublicEnabled;
  data.image[FolderFlagsOffset(6)] = 0x21;
  ModelPageSet pages(data);
  pages.ExchangeAllPages(Direction::Load);
  EXPECT_TRUE(FolderFieldsEnabled(pages.Page(PageId::Folders).Values(), 6));
  pages.ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image[FolderFlagsOffset(6)], 0x01);
  const PagerImage once = data.image;
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  EXPECT_EQ(data.image, once);
}
