// The General page model: capcode codec, frequency rules, synthesizer words, store and load.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/frequency_mask.h"
#include "core/pages/general_page.h"
#include "core/pages/model_page_set.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::general_key;
using namespace m84::page_test;

namespace {

using LoadedPage = LoadedModel<GeneralPageModel>;

}  // namespace

TEST(GeneralPage, DefaultImageLoadsAsListed) {
  LoadedPage p;
  const PageValues& v = p.values();
  const int frames[kCapcodeRowCount] = {7, 0, 1, 2, 3, 4, 5, 6};
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(v.Number(capcode_key::Capcode(row)), 1234567 + row);
    EXPECT_EQ(v.Number(capcode_key::Frame(row)), frames[row]);
    EXPECT_TRUE(v.Flag(capcode_key::Enable(row)));
    EXPECT_TRUE(v.Flag(capcode_key::Private(row)));
    EXPECT_EQ(v.Number(capcode_key::Step(row)), 2);
  }
  EXPECT_EQ(v.Text(kFrequency), "457.5750");
  EXPECT_EQ(v.Text(kBand), "454-462");
  EXPECT_EQ(kBaudRateEntries[v.Number(kBaudRate)], "  512bps");
  EXPECT_EQ(kPolarityEntries[v.Number(kPolarity)], "Standard");
  EXPECT_EQ(EntriesOf(p.page, kPllDevice)[v.Number(kPllDevice)], "5170");
  EXPECT_EQ(v.Text(kSerial), "1234567890");
  EXPECT_EQ(v.Number(kBumpTime), 15);
  EXPECT_EQ(v.Number(kBsTime), 13);
  EXPECT_TRUE(v.Flag(kKeepSerial));
}

TEST(GeneralPage, DefaultImageStoresBackUnchanged) {
  LoadedPage p;
  // Scribble over the frequency and synthesizer block: the store must compute them again.
  for (int i = 0; i < kFrequencySize; ++i) p.data.image[kFrequencyOffset + i] = 0xEE;
  for (int i = 0; i < kSynthesizerSize; ++i) p.data.image[kSynthesizerOffset + i] = 0xEE;
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
  EXPECT_EQ(p.data.selection, SelectionState());
  EXPECT_EQ(Bytes(p.data.image, kSynthesizerOffset, kSynthesizerSize),
            (std::vector<uint8_t>{0x40, 0x27, 0x44, 0x11, 0x00, 0x02, 0x18}));
}

TEST(GeneralPage, StoreBeforeAnyLoadLeavesTheImageAlone) {
  PagerData data;
  GeneralPageModel page;
  EXPECT_TRUE(page.KeepSerialNumber());
  page.Store(data);
  EXPECT_EQ(data.image, PagerImage::Defaults());
}

TEST(Capcode, FieldCases) {
  PagerImage image;
  const int at = CapcodeFieldOffset(2);
  const uint8_t largest[] = {0x02, 0x09, 0x71, 0x51};
  std::copy(std::begin(largest), std::end(largest), image.data() + at);
  EXPECT_EQ(ReadCapcode(image, 2), 2097151u);
  EXPECT_EQ(CapcodeForDisplay(ReadCapcode(image, 2)), 2097151);
  image[at + 3] = 0x52;
  EXPECT_EQ(CapcodeForDisplay(ReadCapcode(image, 2)), 8);
  image[at + 1] = 0xFA;  // not BCD: counts with its value and lands outside the range
  EXPECT_EQ(CapcodeForDisplay(ReadCapcode(image, 2)), 8);

  // The flags and the two foreign bits of byte 0 survive; the millions digit is replaced.
  image[at] = 0xF9;
  WriteCapcode(image, 2, 1234567);
  EXPECT_EQ(Bytes(image, at, 4), (std::vector<uint8_t>{0xF1, 0x23, 0x45, 0x67}));
  EXPECT_EQ(ReadCapcode(image, 2), 1234567u);
}

TEST(Capcode, FlagsAndValueThroughThePage) {
  LoadedPage p;
  p.data.image[CapcodeFieldOffset(0)] |= 0x30;  // bits of another owner
  p.values().Set(capcode_key::Enable(0), false);
  p.values().Set(capcode_key::Private(3), false);
  p.values().Set(capcode_key::Capcode(0), 2097151);
  p.page.Store(p.data);
  EXPECT_EQ(Bytes(p.data.image, CapcodeFieldOffset(0), 4), (std::vector<uint8_t>{0xB2, 0x09, 0x71, 0x51}));
  EXPECT_EQ(p.data.image[CapcodeFieldOffset(3)], 0x41);
  p.page.Load(p.data);
  EXPECT_FALSE(p.values().Flag(capcode_key::Enable(0)));
  EXPECT_TRUE(p.values().Flag(capcode_key::Private(0)));
  EXPECT_FALSE(p.values().Flag(capcode_key::Private(3)));
  EXPECT_EQ(p.values().Number(capcode_key::Frame(0)), 2097151 % 8);
}

TEST(Capcode, EditCheck) {
  EXPECT_TRUE(CheckCapcodeText("1048575"));
  EXPECT_TRUE(CheckCapcodeText("8"));
  EXPECT_TRUE(CheckCapcodeText("2097151"));
  for (const char* rejected : {"7", "2097152", "12a", "", "99999999999999999999"})
    EXPECT_FALSE(CheckCapcodeText(rejected)) << rejected;
}

TEST(Capcode, ManuallyIncrementAndStore) {
  LoadedPage p;
  PageValues& v = p.values();
  v.Set(capcode_key::Step(0), 4);  // "+8"
  ManuallyIncrement(v);
  EXPECT_EQ(v.Number(capcode_key::Capcode(0)), 1234575);
  EXPECT_EQ(v.Number(capcode_key::Frame(0)), 7);
  for (int row = 1; row < kCapcodeRowCount; ++row) EXPECT_EQ(v.Number(capcode_key::Capcode(row)), 1234567 + row);

  // No range check on the increment; the store writes the nearest valid capcode.
  v.Set(capcode_key::Step(0), 2);
  v.Set(capcode_key::Capcode(1), 8);
  v.Set(capcode_key::Step(1), 0);  // "-8"
  v.Set(capcode_key::Capcode(2), 0);
  v.Set(capcode_key::Step(2), 1);  // "-1"
  v.Set(capcode_key::Capcode(3), 2097150);
  v.Set(capcode_key::Step(3), 4);
  ManuallyIncrement(v);
  EXPECT_EQ(v.Number(capcode_key::Capcode(1)), 0);
  EXPECT_EQ(v.Number(capcode_key::Frame(1)), 0);
  EXPECT_EQ(v.Number(capcode_key::Capcode(2)), -1);
  EXPECT_EQ(v.Number(capcode_key::Frame(2)), 7);
  EXPECT_EQ(v.Number(capcode_key::Capcode(3)), 2097158);

  p.page.Store(p.data);
  EXPECT_EQ(Bytes(p.data.image, CapcodeFieldOffset(1), 4), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x08}));
  EXPECT_EQ(Bytes(p.data.image, CapcodeFieldOffset(2), 4), (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x08}));
  EXPECT_EQ(Bytes(p.data.image, CapcodeFieldOffset(3), 4), (std::vector<uint8_t>{0x02, 0x09, 0x71, 0x51}));
  // The page shows what the image now holds.
  EXPECT_EQ(v.Number(capcode_key::Capcode(2)), 8);
  EXPECT_EQ(v.Number(capcode_key::Frame(2)), 0);
  EXPECT_EQ(v.Number(capcode_key::Capcode(3)), 2097151);
}

TEST(Capcode, SelectionBytesOutsideTheListStepByZero) {
  PagerData data;
  data.selection[0] = 4;
  data.selection[1] = 5;
  data.selection[2] = 0xFF;
  GeneralPageModel page;
  page.Load(data);
  EXPECT_EQ(page.Values().Number(capcode_key::Step(0)), 4);
  EXPECT_EQ(page.Values().Number(capcode_key::Step(1)), 2);
  EXPECT_EQ(page.Values().Number(capcode_key::Step(2)), 2);
  ManuallyIncrement(page.Values());
  EXPECT_EQ(page.Values().Number(capcode_key::Capcode(1)), 1234568);
  page.Store(data);
  EXPECT_EQ(data.selection[0], 4);
  EXPECT_EQ(data.selection[1], 2);
  EXPECT_EQ(data.selection[2], 2);
  EXPECT_EQ(AutoIncrementStep(-1), 0);
}

// One row per text: the band shown while typing, the check on leaving the edit, and the
// frequency a store then leaves at 0x42 (the default 457.5750 MHz when the text is refused).
TEST(Frequency, Cases) {
  struct Case {
    const char* text;
    const char* liveBand;
    bool accepted;
    uint32_t stored;
  };
  const Case cases[] = {
      {"143.0000", "135-143", true, 1430000},
      {"175.0000", "167-175", true, 1750000},
      {"175.0001", "Invalid Value", false, 4575750},
      {"150.0010", "Invalid Value", false, 4575750},
      {"150.0020", "143-151", true, 1500020},
      {"150.0125", "143-151", true, 1500125},
      {"150.003125", "Invalid Value", false, 4575750},
      {"150.125", "Invalid Value", false, 1501250},  // the store pads it to 150.1250
      {"150 1250", "143-151", true, 1501250},
      {"15 .1250", "Invalid Value", true, 1501250},
      {"929.0125", "929-932", true, 9290125},
      {"285.0000", "Invalid Value", false, 4575750},
      {"  0.0000", "Invalid Value", false, 4575750},
      {"1x0.0000", "Invalid Value", false, 4575750},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LoadedPage p;
    p.values().Set(kFrequency, QString::fromLatin1(c.text));
    p.page.UpdateLiveBand();
    EXPECT_EQ(p.values().Text(kBand), c.liveBand);
    EXPECT_EQ(p.page.CheckFrequency(), c.accepted);
    p.page.Store(p.data);
    EXPECT_EQ(ReadBcd(p.data.image, kFrequencyOffset, kFrequencySize), c.stored);
    if (c.stored == 4575750) {
      EXPECT_EQ(Bytes(p.data.image, kSynthesizerOffset, kSynthesizerSize),
                Bytes(PagerImage::Defaults(), kSynthesizerOffset, kSynthesizerSize));
    }
  }
}

TEST(Frequency, CheckOnLeavingShowsTheBandOfAnOffRasterFrequency) {
  LoadedPage p;
  p.values().Set(kFrequency, QStringLiteral("150.0010"));
  EXPECT_FALSE(p.page.CheckFrequency());
  EXPECT_EQ(p.values().Text(kBand), "143-151");
}

TEST(Frequency, TextAndLoad) {
  EXPECT_EQ(FrequencyText(4575750), "457.5750");
  EXPECT_EQ(FrequencyText(1500020), "150.0020");
  EXPECT_EQ(FrequencyText(5), "  0.0005");
  // A frequency in no band loads with the band text as it was.
  LoadedPage p;
  WriteBcd(5, p.data.image, kFrequencyOffset, kFrequencySize);
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Text(kFrequency), "  0.0005");
  EXPECT_EQ(p.values().Text(kBand), "454-462");
}

TEST(Synthesizer, WorkedExamplesAndBothDevices) {
  struct Case {
    const char* frequency;
    int pllDevice;
    std::vector<uint8_t> block;
  };
  const Case cases[] = {
      {"457.5750", 0, {0x40, 0x27, 0x44, 0x11, 0x00, 0x02, 0x18}},
      {"929.0125", 0, {0xC0, 0xD0, 0x8D, 0x11, 0x00, 0x05, 0x18}},
      // 8108: N x 16 = 558304 and (REF / 8) / 6250 x 16 + 1 = 4097, format 19.
      {"457.5750", 1, {0xE0, 0x84, 0x08, 0x01, 0x10, 0x00, 0x13}},
      // N = 72609: x 16 = 1161744; R' = 640: x 16 + 1 = 10241.
      {"929.0125", 1, {0x10, 0xBA, 0x11, 0x01, 0x28, 0x00, 0x13}},
      // 150.0020 MHz: v = 128602000, a multiple of 2000 only; N = 64301, R = 1600.
      {"150.0020", 0, {0xC0, 0x96, 0x7D, 0x11, 0x40, 0x06, 0x18}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.frequency) + (c.pllDevice ? " 8108" : " 5170"));
    LoadedPage p;
    p.values().Set(kFrequency, QString::fromLatin1(c.frequency));
    p.values().Set(kPllDevice, c.pllDevice);
    p.page.Store(p.data);
    EXPECT_EQ(Bytes(p.data.image, kSynthesizerOffset, kSynthesizerSize), c.block);
    EXPECT_EQ(GetFlagBit(p.data.image[kReceiverOptionsOffset], kPllDeviceBit), c.pllDevice == 1);
    // Nothing past the block: the intermediate and reference frequencies stay.
    EXPECT_EQ(Bytes(p.data.image, kIntermediateOffset, 8), Bytes(PagerImage::Defaults(), kIntermediateOffset, 8));
  }
}

TEST(GeneralPage, ReceiverOptionsAndSerialNumber) {
  LoadedPage p;
  p.data.image[kReceiverOptionsOffset] = 0x3F;  // baud bits 11: shows entry 0; bits 0x3C are foreign
  p.page.Load(p.data);
  EXPECT_EQ(p.values().Number(kBaudRate), 0);
  p.values().Set(kBaudRate, 2);
  p.values().Set(kPolarity, 1);
  p.values().Set(kPllDevice, 1);
  p.values().Set(kSerial, QStringLiteral("1234567"));
  p.page.PadSerialNumber();
  EXPECT_EQ(p.values().Text(kSerial), "1234567000");
  p.values().Set(kSerial, QStringLiteral("98765"));
  p.values().Set(kBumpTime, 63);
  p.values().Set(kBsTime, 1);
  p.values().Set(kKeepSerial, false);
  p.data.image[kSerialOffset + kSerialSize] = 0xAB;  // beyond the field
  p.page.Store(p.data);
  EXPECT_EQ(p.data.image[kReceiverOptionsOffset], 0x3E | 0x80 | 0x40);
  EXPECT_EQ(Bytes(p.data.image, kSerialOffset, 11),
            (std::vector<uint8_t>{'9', '8', '7', '6', '5', 0, 0, 0, 0, 0, 0xAB}));
  EXPECT_EQ(p.data.image[kBumpTimeOffset], 63);
  EXPECT_EQ(p.data.image[kBsTimeOffset], 1);
  EXPECT_EQ(p.data.selection[SelectionState::kKeepSerialByte], 0);
  EXPECT_FALSE(p.page.KeepSerialNumber());
}

TEST(GeneralPage, ReportLinesOfTheDefaultImage) {
  LoadedPage p;
  p.page.Store(p.data);
  TextReportCursor report;
  report.BeginPage();
  p.page.PrintSection(report);
  report.EndPage();
  const QStringList expected = {
      "[General]",
      "Number  Private  Enable  Capcode  Frame",
      "   1       Y      On     1234567    7",
      "   2       Y      On     1234568    0",
      "   3       Y      On     1234569    1",
      "   4       Y      On     1234570    2",
      "   5       Y      On     1234571    3",
      "   6       Y      On     1234572    4",
      "   7       Y      On     1234573    5",
      "   8       Y      On     1234574    6",
      "Serial Number: [1234567890]",
      "Frequency: 457.5750MHz, Band: 454-462 MHz",
      "Baud Rate:   512bps",
      "POCSAG Polarity: Standard",
  };
  EXPECT_EQ(report.Lines(), expected);
}

// Whatever keys arrive, the mask keeps the form: the point stays, the length stays, and a key of
// the mask itself never leaves the caret on the point.
TEST(FrequencyMask, RandomKeysKeepTheForm) {
  QRandomGenerator random(84);
  const MaskKey keys[] = {MaskKey::Digit, MaskKey::Backspace, MaskKey::Delete, MaskKey::Left,
                          MaskKey::Right, MaskKey::Character, MaskKey::Other};
  for (int run = 0; run < 2000; ++run) {
    MaskState state{QStringLiteral("457.5750"), 0, 0};
    for (int step = 0; step < 30; ++step) {
      const int a = random.bounded(9), b = random.bounded(9);
      state.selectionStart = std::min(a, b);
      state.selectionEnd = random.bounded(2) ? std::max(a, b) : state.selectionStart;
      MaskInput input{keys[random.bounded(int(std::size(keys)))], QChar('0' + random.bounded(10))};
      const MaskOutcome outcome = ApplyMaskKey(state, input);
      ASSERT_EQ(outcome.state.text.size(), 8);
      ASSERT_EQ(outcome.state.text[3], QLatin1Char('.'));
      if (input.key == MaskKey::Digit || input.key == MaskKey::Backspace) ASSERT_NE(outcome.state.selectionStart, 3);
      if (input.key == MaskKey::Digit && input.digit == QLatin1Char('0') && state.selectionStart == 0)
        ASSERT_EQ(outcome.state.text, state.text);  // no leading zero
      state = outcome.state;
    }
  }
}

// The one decision the window, the write command and the batch take before a write: a choice made
// for the write wins; else the General page's box once the page has been loaded; basic mode never
// loads it, and keeps the pager's number.
TEST(KeepPagerSerialNumber, FollowsTheChoiceElseTheLoadedBox) {
  struct Case {
    DisplayMode mode;
    bool box;
    std::optional<bool> chosen;
    bool keeps;
  };
  const Case cases[] = {
      {DisplayMode::Advanced, false, std::nullopt, false}, {DisplayMode::Advanced, true, std::nullopt, true},
      {DisplayMode::Basic, false, std::nullopt, true},     {DisplayMode::Basic, true, std::nullopt, true},
      {DisplayMode::Advanced, true, false, false},         {DisplayMode::Basic, false, false, false},
      {DisplayMode::Advanced, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "basic " << (c.mode == DisplayMode::Basic) << ", box " << c.box << ", chosen "
                                    << (c.chosen ? (*c.chosen ? "keep" : "overwrite") : "none"));
    PagerData data;
    data.selection.SetKeepSerial(c.box);
    ModelPageSet pages(data, c.mode);
    pages.ExchangeAllPages(Direction::Load);
    EXPECT_EQ(KeepPagerSerialNumber(pages, c.chosen), c.keeps);
  }
}
