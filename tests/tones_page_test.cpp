// The Tones page model: priority and decoding bits of the 32 tone bytes, the bits of nobody
// kept, and the transposed "[Tones]" report section.
#include <gtest/gtest.h>

#include "core/pages/tones_page.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::page_test;

namespace {

using LoadedPage = LoadedModel<TonesPageModel>;

}  // namespace

TEST(TonesPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
    for (int tone = 0; tone < kGridToneCount; ++tone) {
      SCOPED_TRACE(testing::Message() << "capcode " << capcode + 1 << " tone " << tone);
      EXPECT_EQ(GridCellText(p.values(), kPriorityGrid, capcode, tone), "Normal");
      EXPECT_EQ(GridCellText(p.values(), kDecodingGrid, capcode, tone), "Alpha");
      EXPECT_EQ(p.data.image[GridCellOffset(kPriorityGrid, capcode, tone)], 0x01);
    }
  }
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

TEST(TonesPage, ByteCases) {
  struct Case {
    uint8_t byte;
    const char* priority;
    const char* decoding;
    uint8_t storedBack;
  };
  const Case cases[] = {
      {0xE5, "Normal", "Alpha", 0xE1},  // 0x04 is no priority
      {0x14, "Normal", "No display", 0x00},
      {0x1E, "Manual+Urgent", "Numeric", 0x1E},
      {0x10, "Manual Alert set", "No display", 0x10},
      {0x0B, "Priority", "Tone only", 0x0B},
      {0xFB, "Manual+Priority", "Tone only", 0xFB},
      {0x2D, "Urgent", "Alpha", 0x2D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.byte));
    PagerData data;
    const int at = GridCellOffset(kPriorityGrid, 7, 3);
    data.image[at] = c.byte;
    TonesPageModel page;
    page.Load(data);
    EXPECT_EQ(GridCellText(page.Values(), kPriorityGrid, 7, 3), c.priority);
    EXPECT_EQ(GridCellText(page.Values(), kDecodingGrid, 7, 3), c.decoding);
    page.Store(data);
    EXPECT_EQ(data.image[at], c.storedBack);
  }
}

// Every entry of either list changes only its own bits of its own byte (capcode 3, tone C is
// byte 0x2C), and bits 0xE0 stay.
TEST(TonesPage, EachListChangesOnlyItsOwnBits) {
  for (const ListGrid* grid : {&kPriorityGrid, &kDecodingGrid}) {
    for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
      for (int tone = 0; tone < kGridToneCount; ++tone) {
        for (int entry = 0; entry < grid->entries.size(); ++entry) {
          SCOPED_TRACE(testing::Message()
                       << grid->keyName << " capcode " << capcode + 1 << " tone " << tone << " entry " << entry);
          LoadedPage p;
          const int at = GridCellOffset(*grid, capcode, tone);
          p.data.image[at] = 0xE1;
          p.page.Load(p.data);
          p.values().Set(GridCellKey(*grid, capcode, tone), entry);
          p.page.Store(p.data);
          PagerImage expected = PagerImage::Defaults();
          expected[at] = static_cast<uint8_t>((0xE1 & ~grid->mask) | grid->entryBits[size_t(entry)]);
          EXPECT_EQ(p.data.image, expected);
        }
      }
    }
  }
  EXPECT_EQ(GridCellOffset(kPriorityGrid, 2, 2), 0x2C);
}

TEST(TonesPage, ReportIsTransposedOneLinePerCapcode) {
  LoadedPage p;
  p.values().Set(GridCellKey(kPriorityGrid, 0, 1), 3);  // capcode 1, tone B: "Manual+Priority"
  p.values().Set(GridCellKey(kPriorityGrid, 7, 3), 1);  // capcode 8, tone D: "Manual Alert set"
  p.values().Set(GridCellKey(kPriorityGrid, 2, 0), 5);  // capcode 3, tone A: "Manual+Urgent"
  p.values().Set(GridCellKey(kDecodingGrid, 1, 2), 1);  // capcode 2, tone C: "Tone only"
  p.values().Set(GridCellKey(kDecodingGrid, 3, 0), 0);  // capcode 4, tone A: "No display"
  p.page.Store(p.data);
  const QStringList expected = {
      "[Tones]",
      " Priority  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]",
      "  Cap-1    Normal            Manual+Priority   Normal            Normal",
      "  Cap-2    Normal            Normal            Normal            Normal",
      "  Cap-3    Manual+Urgent     Normal            Normal            Normal",
      "  Cap-4    Normal            Normal            Normal            Normal",
      "  Cap-5    Normal            Normal            Normal            Normal",
      "  Cap-6    Normal            Normal            Normal            Normal",
      "  Cap-7    Normal            Normal            Normal            Normal",
      "  Cap-8    Normal            Normal            Normal            Manual Alert set",
      " Decoding  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]",
      "  Cap-1    Alpha             Alpha             Alpha             Alpha  ",
      "  Cap-2    Alpha             Alpha             Tone only         Alpha  ",
      "  Cap-3    Alpha             Alpha             Alpha             Alpha  ",
      "  Cap-4    No display        Alpha             Alpha             Alpha  ",
      "  Cap-5    Alpha             Alpha             Alpha             Alpha  ",
      "  Cap-6    Alpha             Alpha             Alpha             Alpha  ",
      "  Cap-7    Alpha             Alpha             Alpha             Alpha  ",
      "  Cap-8    Alpha             Alpha             Alpha             Alpha  ",
  };
  EXPECT_EQ(ReportLines(p.page), expected.join(QLatin1Char('\n')).toStdString());
}
