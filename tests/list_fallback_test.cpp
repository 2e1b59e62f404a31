// What every drop-down list of every page shows for a byte that no entry stands for, and what a
// store writes back for it. A list a page adds is caught by the coverage check below until it
// has its row here or is named as one whose bits all have an entry.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QSet>
#include <memory>
#include <vector>

#include "core/pages/page_model.h"
#include "gui/pages/page_widgets.h"
#include "widget_fixtures.h"

using namespace m84;

namespace {

// Where a list keeps its selection.
enum class Block { Image, Selection };

struct ListByte {
  QString key;
  int offset;
};

struct Fallback {
  PageId page;
  std::vector<ListByte> lists;
  Block block;
  uint8_t mask;
  std::vector<uint8_t> bytes;  // no entry stands for any of them
  QString shows;
  int stores;  // the bits under mask a store writes back; -1: the byte is left as it was
};

std::vector<ListByte> Family(const char* name, int count, int firstOffset, int firstRow = 1) {
  std::vector<ListByte> lists;
  for (int i = 0; i < count; ++i) lists.push_back({Key(name, firstRow + i), firstOffset + i});
  return lists;
}

// The 32 lists of a capcode-by-tone grid: capcode 1 to 8 of four bytes each, tone A to D.
std::vector<ListByte> Grid(const char* name, int offset) {
  std::vector<ListByte> lists;
  for (int capcode = 0; capcode < 8; ++capcode)
    for (int tone = 0; tone < 4; ++tone)
      lists.push_back(
          {QString::fromLatin1(name) + QString::number(capcode + 1) + QChar('A' + tone), offset + 4 * capcode + tone});
  return lists;
}

const Fallback kFallbacks[] = {
    {PageId::General, {{"baudRate", 0x68}}, Block::Image, 0x03, {0x03}, "  512bps", 0x00},
    {PageId::General, Family("step", 8, 0, 0), Block::Selection, 0xFF, {5, 0xFF}, " 0", 2},
    {PageId::Basic, Family("step", 8, 0, 0), Block::Selection, 0xFF, {5, 0xFF}, " 0", 2},
    {PageId::Display, {{"storedMessages", 0x80}}, Block::Image, 0xFF, {0, 7, 0xFF}, "  60", 60},
    {PageId::Display, {{"displayTime", 0x86}}, Block::Image, 0xFF, {15, 0xFF}, "10 seconds", 10},
    {PageId::Display, {{"contrast", 0x6A}}, Block::Image, 0xFF, {0, 23, 44, 0xFF}, "  Level 11", 34},
    {PageId::Alerting,
     {{"alertModes", 0x7E}},
     Block::Image,
     0x7F,
     {0x00, 0x01, 0x86, 0x0A, 0x0E},
     "B / V / VB / M",
     0x2F},
    {PageId::Alerting, Grid("beep", 0xEC), Block::Image, 0xFF, {0, 17, 0xFF}, "  S1A", 1},
    {PageId::Alerting, Grid("vibrate", 0x10C), Block::Image, 0xFF, {0, 5, 11}, "   E ", 6},
    // No entry, and the byte kept: the pager's own language is not overwritten by a guess.
    {PageId::NameMisc, {{"language", 0x7B}}, Block::Image, 0xFF, {0x09, 0x0F, 0x1F}, "", -1},
    {PageId::Duplicate, {{"detectTime", 0x82}}, Block::Image, 0xFF, {0, 7, 0xFF}, "6 minutes", 6},
    {PageId::Folders, Family("folderAlert", 12, 0x2E), Block::Image, 0x60, {0x20}, "No Beep", 0x00},
    {PageId::OutOfRange, {{"detectTime", 0x70}}, Block::Image, 0xFF, {0, 6, 0xFF}, "30 minutes", 30},
    // Above 600 seconds: the high byte alone puts the interval there; 900 s stores 0x03 in it.
    {PageId::Reminders, {{"reminderInterval", 0x6D}}, Block::Image, 0xFF, {0x03, 0xFF}, " 15 minute", 0x03},
    {PageId::Tones, Grid("priority", 0x22), Block::Image, 0x1C, {0x04, 0x14}, "Normal", 0x00},
};

// Lists whose bits have an entry for every value they can hold.
const QSet<QString> kEveryValueHasAnEntry = {
    "polarity",    "pllDevice", "dateFormat",    "numberMode", "numberOrder",  "userSelectTone",
    "alertVolume", "holdTime",  "controlOption", "repeatTone", "showIconWhen", "reminderDuration",
};
bool IsDecodingCell(const QString& key) { return key.startsWith(QLatin1String("decoding")); }

struct LoadedPage {
  PagerData data;
  std::unique_ptr<PageModel> model;
  widget_test::RecordingPageHost host;
  std::unique_ptr<SettingsPage> widget;

  explicit LoadedPage(PageId id) : model(CreatePageModel(id)) {
    widget.reset(CreatePageWidget(*model, data, host, nullptr));
  }
  uint8_t& Byte(Block block, int offset) { return block == Block::Image ? data.image[offset] : data.selection[offset]; }
};

}  // namespace

TEST(ListFallback, AByteWithoutAnEntryLoadsAsThePagesFallbackAndStoresItsValue) {
  for (const Fallback& row : kFallbacks) {
    for (const uint8_t byte : row.bytes) {
      LoadedPage page(row.page);
      for (const ListByte& list : row.lists) page.Byte(row.block, list.offset) = byte;
      page.widget->ExchangeImage(Direction::Load);
      page.widget->ExchangeImage(Direction::Store);
      for (const ListByte& list : row.lists) {
        SCOPED_TRACE(testing::Message() << list.key.toStdString() << " byte 0x" << std::hex << int(byte));
        auto* shown = page.widget->findChild<QComboBox*>(list.key);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->currentText(), row.shows);
        const int expected = row.stores < 0 ? byte & row.mask : row.stores;
        EXPECT_EQ(page.Byte(row.block, list.offset) & row.mask, expected);
      }
    }
  }
}

TEST(ListFallback, EveryListOfEveryPageIsCovered) {
  QSet<QString> covered;
  for (const Fallback& row : kFallbacks)
    for (const ListByte& list : row.lists) covered << QString::number(int(row.page)) + list.key;
  int lists = 0;
  for (int id = 0; id <= kTabPageCount; ++id) {
    LoadedPage page{static_cast<PageId>(id)};
    for (const ControlRow& row : page.widget->Rows()) {
      if (!qobject_cast<QComboBox*>(row.Widget())) continue;
      ++lists;
      const bool known = covered.contains(QString::number(id) + row.Key()) ||
                         kEveryValueHasAnEntry.contains(row.Key()) || IsDecodingCell(row.Key());
      EXPECT_TRUE(known) << "page " << id << " list " << row.Key().toStdString();
    }
  }
  EXPECT_GT(lists, 100);  // the grids of the Alerting and Tones pages are in
}
