// The Alerting page model: the options byte, the volume bits, the two code grids with their
// fallbacks, and the "[Alerting]" report section.
#include <gtest/gtest.h>

#include "core/pages/alerting_page.h"
#include "core/pages/list_fields.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::alerting_key;
using namespace m84::page_test;

namespace {

using LoadedPage = LoadedModel<AlertingPageModel>;

}  // namespace

TEST(AlertingPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  EXPECT_EQ(EntryText(kUserSelectEntries, p.values().Number(kUserSelect)), "System Select");
  EXPECT_EQ(EntryText(kAlertModeEntries, p.values().Number(kAlertModes)), "B / V / VB / M");
  EXPECT_EQ(EntryText(kAlertVolumeEntries, p.values().Number(kAlertVolume)), "High alert");
  const QStringList beepByTone = {"  S1A", "  S1B", "  S1C", "  S1D"};
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
    for (int tone = 0; tone < kGridToneCount; ++tone) {
      SCOPED_TRACE(testing::Message() << "capcode " << capcode + 1 << " tone " << tone);
      EXPECT_EQ(GridCellText(p.values(), kBeepCodeGrid, capcode, tone), beepByTone[tone]);
      EXPECT_EQ(GridCellText(p.values(), kVibrateCodeGrid, capcode, tone), "   F ");
    }
  }
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

// The modes are told apart by the low four bits; the whole byte is written back.
TEST(AlertingPage, OptionsByteCases) {
  struct Case {
    uint8_t byte;
    const char* userSelect;
    const char* mode;
    uint8_t storedBack;
  };
  const Case cases[] = {
      {0x86, "System Select", "B / V / VB / M", 0xAF},  // 6 is no mode
      {0x05, "User Select", "V / M", 0x45},
      {0x15, "User Select", "V / M", 0x45},  // bits 0x70 do not choose
      {0x00, "User Select", "B / V / VB / M", 0x2F},
      {0xFF, "System Select", "B / V / VB / M", 0xAF},
      {0xA7, "System Select", "B / V / M", 0xA7},
      {0x23, "User Select", "B / M", 0x23},
      {0xE9, "System Select", "VB / M", 0xE9},
      {0x22, "User Select", "B only", 0x22},
      {0xC4, "System Select", "V only", 0xC4},
      {0x68, "User Select", "VB only", 0x68},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.byte));
    PagerData data;
    data.image[kAlertOptionsOffset] = c.byte;
    AlertingPageModel page;
    page.Load(data);
    EXPECT_EQ(EntryText(kUserSelectEntries, page.Values().Number(kUserSelect)), c.userSelect);
    EXPECT_EQ(EntryText(kAlertModeEntries, page.Values().Number(kAlertModes)), c.mode);
    page.Store(data);
    EXPECT_EQ(data.image[kAlertOptionsOffset], c.storedBack);
  }
}

// A list that shows no entry: the bit is set, the mode is the first one, the volume is low.
TEST(AlertingPage, NoSelectionStoresTheFirstEntry) {
  LoadedPage p;
  for (const QString& key : {kUserSelect, kAlertModes, kAlertVolume}) p.values().Set(key, -1);
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kAlertOptionsOffset], 0xAF);
  EXPECT_EQ(p.data.image[kAlertVolumeOffset] & kAlertVolumeMask, 0);
}

TEST(AlertingPage, VolumeKeepsTheOtherBits) {
  LoadedPage p;
  p.data.image[kAlertVolumeOffset] = 0xFD;
  p.page.Load(p.data);
  EXPECT_EQ(EntryText(kAlertVolumeEntries, p.values().Number(kAlertVolume)), "Middle alert");
  for (int volume = 0; volume < kAlertVolumeEntries.size(); ++volume) {
    p.values().Set(kAlertVolume, volume);
    p.page.Store(p.data);
    EXPECT_EQ(p.data.image[kAlertVolumeOffset], 0xFC | volume);
  }
}

// Bytes that are no code load as the first entry and are stored back as its code.
TEST(AlertingPage, CodeBytesOutsideTheListsLoadAsTheFirstEntry) {
  struct Case {
    const ListGrid* grid;
    uint8_t byte;
    const char* entry;
    uint8_t storedBack;
  };
  const Case cases[] = {
      {&kBeepCodeGrid, 0, "  S1A", 1},     {&kBeepCodeGrid, 17, "  S1A", 1},   {&kBeepCodeGrid, 0xFF, "  S1A", 1},
      {&kBeepCodeGrid, 16, "   M ", 16},   {&kBeepCodeGrid, 9, "  MA ", 9},    {&kVibrateCodeGrid, 5, "   E ", 6},
      {&kVibrateCodeGrid, 11, "   E ", 6}, {&kVibrateCodeGrid, 0, "   E ", 6}, {&kVibrateCodeGrid, 10, "   I ", 10},
      {&kVibrateCodeGrid, 8, "   G ", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.grid->keyName << " " << int(c.byte));
    PagerData data;
    const int at = GridCellOffset(*c.grid, 5, 2);
    data.image[at] = c.byte;
    AlertingPageModel page;
    page.Load(data);
    EXPECT_EQ(GridCellText(page.Values(), *c.grid, 5, 2), c.entry);
    page.Store(data);
    EXPECT_EQ(data.image[at], c.storedBack);
  }
}

// Every list reaches its own byte alone: capcode 1 to 8, within each tone A to D.
TEST(AlertingPage, EachGridListChangesOnlyItsOwnByte) {
  for (const ListGrid* grid : {&kBeepCodeGrid, &kVibrateCodeGrid}) {
    for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
      for (int tone = 0; tone < kGridToneCount; ++tone) {
        SCOPED_TRACE(testing::Message() << grid->keyName << " capcode " << capcode + 1 << " tone " << tone);
        LoadedPage p;
        const int last = int(grid->entries.size()) - 1;
        p.values().Set(GridCellKey(*grid, capcode, tone), last);
        p.page.Store(p.data);
        PagerImage expected = PagerImage::Defaults();
        expected[grid->offset + 4 * capcode + tone] = grid->entryBits[size_t(last)];
        EXPECT_EQ(p.data.image, expected);
      }
    }
  }
  EXPECT_EQ(kBeepCodeGrid.entryBits.back(), 16);
  EXPECT_EQ(kVibrateCodeGrid.entryBits.back(), 10);
}

TEST(AlertingPage, ReportLines) {
  LoadedPage p;
  p.values().Set(kUserSelect, 1);
  p.values().Set(kAlertModes, 7);
  p.values().Set(kAlertVolume, 3);
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
    p.values().Set(GridCellKey(kBeepCodeGrid, capcode, 1), 8 + capcode);     // tone B: "  MA " to "   M "
    p.values().Set(GridCellKey(kVibrateCodeGrid, capcode, 3), capcode % 5);  // tone D: "   E " to "   I "
  }
  p.page.Store(p.data);
  const QStringList expected = {
      "[Alerting]",
      "Allow user to select tone: User Select",
      "Visible alert modes: VB only",
      "Alert volume: Escalate alert",
      "Beep code     1      2      3      4      5      6      7      8",
      "  Tone-A  :  S1A    S1A    S1A    S1A    S1A    S1A    S1A    S1A ",
      "  Tone-B  :  MA     MB     MC     MD      J      K      L      M  ",
      "  Tone-C  :  S1C    S1C    S1C    S1C    S1C    S1C    S1C    S1C ",
      "  Tone-D  :  S1D    S1D    S1D    S1D    S1D    S1D    S1D    S1D ",
      "Vibrate code  1      2      3      4      5      6      7      8",
      "  Tone-A  :   F      F      F      F      F      F      F      F  ",
      "  Tone-B  :   F      F      F      F      F      F      F      F  ",
      "  Tone-C  :   F      F      F      F      F      F      F      F  ",
      "  Tone-D  :   E      F      G      H      I      E      F      G  ",
  };
  EXPECT_EQ(ReportLines(p.page), expected.join(QLatin1Char('\n')).toStdString());
}
