// The Name / Misc page model: the language byte, byte 0x87, the texts, the foreign bits kept,
// and its report section.
#include <gtest/gtest.h>

#include "core/pages/field_codecs.h"
#include "core/pages/name_misc_page.h"
#include "core/report/text_report.h"
#include "page_model_helpers.h"

using namespace m84;
using namespace m84::name_misc_key;
using namespace m84::page_test;

namespace {

struct LoadedPage : LoadedModel<NameMiscPageModel> {
  void Reload() { page.Load(data); }
  void Store() { page.Store(data); }
};

}  // namespace

TEST(NameMiscPage, DefaultImageLoadsAsListedAndStoresBackUnchanged) {
  LoadedPage p;
  const PageValues& v = p.values();
  EXPECT_EQ(kLanguageEntries[v.Number(kLanguage)], "USA English");
  EXPECT_TRUE(v.Flag(kConfirmBeep));
  EXPECT_FALSE(v.Flag(kReadingPasswordEnabled));
  EXPECT_FALSE(ReadingPasswordEditEnabled(v));
  EXPECT_EQ(v.Text(kReadingPassword), "7391");
  EXPECT_FALSE(v.Flag(kErrorDeduction));
  EXPECT_TRUE(v.Flag(kErrorIcon));
  for (const UserMenuOption& option : kUserMenuOptions)
    EXPECT_TRUE(v.Flag(QString::fromLatin1(option.key))) << option.key;
  EXPECT_FALSE(v.Flag(kDeleteProtected));
  EXPECT_TRUE(v.Flag(kReplaceToneOnly));
  EXPECT_TRUE(ToneTextsEnabled(v));
  for (int i = 0; i < kToneTextCount; ++i)
    EXPECT_EQ(v.Text(ToneText(i)), QStringLiteral("Tone Only -") + QChar('A' + i));
  EXPECT_EQ(kHoldTimeEntries[v.Number(kHoldTime)], " 5 seconds");
  EXPECT_EQ(kControlOptionEntries[v.Number(kControlOption)], "Press ENT key for 1.5s");

  p.Store();
  EXPECT_EQ(p.data.image, PagerImage::Defaults());
}

// One row per edge case: what byte 0x87 and byte 0x7B load as, and what a store makes of them.
TEST(NameMiscPage, BackLightAndLanguageBytes) {
  struct Case {
    int offset;
    uint8_t before;
    int holdTime;  // expected after load, with the control option and the language
    int controlOption;
    int language;
    uint8_t stored;
  };
  const Case cases[] = {
      {kBackLightOffset, 0x8A, 1, 2, 0, 0xCA},  // 10 seconds, bits 10 load as "Press any Key or RX"
      {kBackLightOffset, 0x00, 0, 0, 0, 0x05},
      {kBackLightOffset, 0x06, 1, 0, 0, 0x0A},
      {kBackLightOffset, 0x0E, 1, 0, 0, 0x0A},
      {kBackLightOffset, 0x4F, 2, 1, 0, 0x4F},
      {kBackLightOffset, 0xFF, 2, 2, 0, 0xCF},
      {kLanguageOffset, 0x13, 0, 0, 3, 0x03},  // "French": only the low four bits are read
      {kLanguageOffset, 0x07, 0, 0, 7, 0x07},
      {kLanguageOffset, 0x1A, 0, 0, -1, 0x1A},  // no language: no selection, the byte stays
      {kLanguageOffset, 0x08, 0, 0, -1, 0x08},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.offset << ": " << int(c.before));
    LoadedPage p;
    p.data.image[c.offset] = c.before;
    p.Reload();
    EXPECT_EQ(p.values().Number(kHoldTime), c.offset == kBackLightOffset ? c.holdTime : 0);
    EXPECT_EQ(p.values().Number(kControlOption), c.offset == kBackLightOffset ? c.controlOption : 0);
    EXPECT_EQ(p.values().Number(kLanguage), c.language);
    p.Store();
    EXPECT_EQ(p.data.image[c.offset], c.stored);
  }
}

TEST(NameMiscPage, BackLightStoreIgnoresTheEarlierByte) {
  LoadedPage p;
  p.data.image[kBackLightOffset] = 0xB3;
  p.values().Set(kControlOption, 1);  // "Press any key"
  p.values().Set(kHoldTime, 2);       // "15 seconds"
  p.Store();
  EXPECT_EQ(p.data.image[kBackLightOffset], 0x4F);
  EXPECT_EQ(BackLightByte(-1, -1), 0x0F);  // no selection: 15 seconds, no option bits
}

TEST(NameMiscPage, DanishAndNoSelectionLeaveTheLanguageByte) {
  for (int selection : {8, -1}) {
    SCOPED_TRACE(selection);
    LoadedPage p;
    p.data.image[kLanguageOffset] = 0x05;
    p.values().Set(kLanguage, selection);
    p.Store();
    EXPECT_EQ(p.data.image[kLanguageOffset], 0x05);
  }
  EXPECT_TRUE(IsStorableLanguage(7));
  EXPECT_FALSE(IsStorableLanguage(kLanguageEntries.indexOf(QStringLiteral("Danish"))));
}

TEST(NameMiscPage, DanishIsRefusedBackToTheImagesLanguage) {
  struct Case {
    uint8_t imageByte;
    int chosen;
    bool refused;
    int after;
  };
  const Case cases[] = {
      {0x02, 8, true, 2},   // back to "German"
      {0x1A, 8, true, -1},  // the image names no language: no selection
      {0x02, 7, false, 7},  // "Portuguese" is kept
      {0x02, -1, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    LoadedPage p;
    p.data.image[kLanguageOffset] = c.imageByte;
    p.values().Set(kLanguage, c.chosen);
    const PagerImage before = p.data.image;
    EXPECT_EQ(RefuseUnstorableLanguage(p.values(), p.data.image), c.refused);
    EXPECT_EQ(p.values().Number(kLanguage), c.after);
    EXPECT_EQ(p.data.image, before);
  }
}

TEST(NameMiscPage, FlagsKeepTheBitsOfOtherPages) {
  LoadedPage p;
  p.data.image[kInterfaceOptionsOffset] = 0xD7;  // everything but this page's 0x20 and 0x08
  p.data.image[kUserMenuOffset] = 0x03;
  p.data.image[kErrorMessageOffset] = 0xDD;
  p.data.image[kMessageOptionsOffset] = 0xDB;
  p.Reload();
  EXPECT_FALSE(p.values().Flag(kConfirmBeep));
  EXPECT_FALSE(p.values().Flag(QStringLiteral("menuPowerOff")));
  for (const QString& key :
       {kConfirmBeep, kReadingPasswordEnabled, kErrorDeduction, kErrorIcon, kDeleteProtected, kReplaceToneOnly})
    p.values().Set(key, true);
  for (const UserMenuOption& option : kUserMenuOptions) p.values().Set(QString::fromLatin1(option.key), true);
  p.Store();
  EXPECT_EQ(p.data.image[kInterfaceOptionsOffset], 0xFF);
  EXPECT_EQ(p.data.image[kUserMenuOffset], 0xFF);
  EXPECT_EQ(p.data.image[kErrorMessageOffset], 0xFF);
  EXPECT_EQ(p.data.image[kMessageOptionsOffset], 0xFF);
  for (const QString& key :
       {kConfirmBeep, kReadingPasswordEnabled, kErrorDeduction, kErrorIcon, kDeleteProtected, kReplaceToneOnly})
    p.values().Set(key, false);
  for (const UserMenuOption& option : kUserMenuOptions) p.values().Set(QString::fromLatin1(option.key), false);
  p.Store();
  EXPECT_EQ(p.data.image[kInterfaceOptionsOffset], 0xD7);
  EXPECT_EQ(p.data.image[kUserMenuOffset], 0x03);
  EXPECT_EQ(p.data.image[kErrorMessageOffset], 0xDD);
  EXPECT_EQ(p.data.image[kMessageOptionsOffset], 0xDB);
}

TEST(NameMiscPage, TextsArePaddedAndTheByteAfterEachIsKept) {
  LoadedPage p;
  const int toneB = kToneTextOffset + kToneTextStride;
  p.data.image[toneB + kToneTextLength] = 0x5A;
  p.data.image[kReadingPasswordOffset + kReadingPasswordLength] = 0x5A;
  p.values().Set(ToneText(1), QStringLiteral("ABC"));
  p.values().Set(kReadingPassword, QStringLiteral("12"));
  p.Store();
  EXPECT_EQ(Bytes(p.data.image, toneB, 13),
            (std::vector<uint8_t>{'A', 'B', 'C', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x5A}));
  EXPECT_EQ(Bytes(p.data.image, kReadingPasswordOffset, 5), (std::vector<uint8_t>{'1', '2', ' ', ' ', 0x5A}));
  EXPECT_EQ(p.values().Text(ToneText(1)), "ABC         ");  // the variable keeps the padding
  p.Reload();
  EXPECT_EQ(p.values().Text(ToneText(1)), "ABC");
  EXPECT_EQ(p.values().Text(kReadingPassword), "12");
}

TEST(NameMiscPage, ReportSection) {
  LoadedPage p;
  p.values().Set(kReadingPassword, QStringLiteral("12"));
  p.values().Set(ToneText(2), QStringLiteral("Hi"));
  p.values().Set(kReplaceToneOnly, false);  // the texts are printed all the same
  p.values().Set(QStringLiteral("menuTimeDate"), false);
  p.Store();
  EXPECT_EQ(
      SectionLines(p.page),
      (QStringList{
          QStringLiteral("[Name & Misc]"), QStringLiteral("Display language: USA English"),
          QStringLiteral("Confirm short beep: Yes"),
          QStringLiteral("Enable message reading password: No  Password[12  ]"),
          QStringLiteral("Enable error message deduction: No "), QStringLiteral("Enable error message icon: Yes"),
          QStringLiteral("Enable user to turn the pager off: Yes"),
          QStringLiteral("Allow user to delete messages: Yes"), QStringLiteral("Allow user to protect messages: Yes"),
          QStringLiteral("Allow user to set alarm: Yes"), QStringLiteral("Allow user to set Zoom function: Yes"),
          QStringLiteral("Replace tone only message with user text: No "),
          QStringLiteral("  Tone A:[Tone Only -A]  Tone B:[Tone Only -B]"),
          QStringLiteral("  Tone C:[Hi          ]  Tone D:[Tone Only -D]"),
          QStringLiteral("Back light hold time:  5 seconds"),
          QStringLiteral("Back light control option: Press ENT key for 1.5s")}));
}

TEST(NameMiscPage, ReportPrintsAnEmptyLanguageWhenNoneIsSelected) {
  LoadedPage p;
  p.data.image[kLanguageOffset] = 0x0C;
  p.Reload();
  p.Store();
  EXPECT_EQ(SectionLines(p.page).value(1), "Display language: ");
  EXPECT_EQ(p.data.image[kLanguageOffset], 0x0C);
}
