// The settings as text: every image comes back byte for byte from its document, read by our
// reader and by independent ones (Python's yaml, yamllint); partial documents over a base,
// patches, the settings diff, and every kind of refusal with its line and column.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "core/image/dat_file.h"
#include "core/pages/basic_page.h"
#include "core/pages/cadence_page.h"
#include "core/pages/display_page.h"
#include "core/pages/general_page.h"
#include "core/pages/model_page_set.h"
#include "core/pages/name_misc_page.h"
#include "core/pages/ota_page.h"
#include "core/settings/settings_document.h"
#include "qstring_printer.h"

using namespace m84;

namespace {

// What `convert` makes of an image: the pages load it and store it again.
PagerData Converted(PagerData data) {
  ModelPageSet pages(data);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  return data;
}

struct Change {
  PageId page;
  QString key;
  QVariant value;
};

// The settings with these variables changed, as the window stores them.
PagerData Changed(PagerData data, const std::vector<Change>& changes) {
  ModelPageSet pages(data);
  pages.ExchangeAllPages(Direction::Load);
  for (const Change& c : changes) pages.Page(c.page).Values().Set(c.key, c.value);
  pages.ExchangeAllPages(Direction::Store);
  return data;
}

// One setting changed on every page, as the whole-window test changes them.
PagerData AllPagesImage() {
  return Changed(PagerData(), {{PageId::General, QStringLiteral("private4"), false},
                               {PageId::Display, QStringLiteral("previewMode"), true},
                               {PageId::Alerting, QStringLiteral("alertVolume"), 0},
                               {PageId::NameMisc, QStringLiteral("confirmBeep"), false},
                               {PageId::Reminders, QStringLiteral("unreadIndication"), false},
                               {PageId::Duplicate, QStringLiteral("duplicateRejection"), true},
                               {PageId::Folders, QStringLiteral("folderName5"), QStringLiteral("Sales")},
                               {PageId::OutOfRange, QStringLiteral("outOfRangeEnable"), true},
                               {PageId::Ota, QStringLiteral("otaSetTime"), true},
                               {PageId::Canned, QStringLiteral("canned12"), QStringLiteral("Hello")},
                               {PageId::Tones, QStringLiteral("priority3B"), 2},
                               {PageId::Cadence, QStringLiteral("cadenceSlot0_8"), true}});
}

// Every byte drawn at random, the selection block too; then converted.
PagerData VariedImage(quint32 seed) {
  PagerData data;
  QRandomGenerator random(seed);
  for (int i = 0; i < kImageSize; ++i) data.image[i] = uint8_t(random.bounded(256));
  for (int i = 0; i < kSelectionSize; ++i) data.selection[i] = uint8_t(random.bounded(256));
  return Converted(data);
}

// "same", or where two settings first differ.
std::string Compare(const PagerData& expected, const PagerData& actual) {
  for (int i = 0; i < kImageSize; ++i)
    if (expected.image[i] != actual.image[i])
      return QStringLiteral("image 0x%1: expected %2, got %3")
          .arg(i, 3, 16, QLatin1Char('0'))
          .arg(expected.image[i], 2, 16, QLatin1Char('0'))
          .arg(actual.image[i], 2, 16, QLatin1Char('0'))
          .toStdString();
  for (int i = 0; i < kSelectionSize; ++i)
    if (expected.selection[i] != actual.selection[i]) return "selection byte " + std::to_string(i);
  return "same";
}

PagerData ReadOver(const QByteArray& text, const PagerData& base) {
  const SettingsReadResult read = ReadSettingsDocument(text, base, QStringLiteral("test.yaml"));
  EXPECT_TRUE(read) << read.error.Text().toStdString() << "\n" << text.toStdString();
  return read.data.value_or(PagerData());
}

const QByteArray kFormatLine = QByteArrayLiteral("format: m84-settings/1\n");

struct Fixture {
  const char* name;
  PagerData data;
};

// An over-the-air command whose blank stands where the default has a zero byte: the store gives
// the blank whatever that byte holds, but the load stops at it.
PagerData BlankOverZeroImage() {
  PagerData data = Converted(PagerData());
  const uint8_t command[] = {0x60, 0x36, 0x3F, 0x20, 0x2D, 0xDA, 0xE0, 0x20, 0xC3};
  std::copy(std::begin(command), std::end(command), data.image.data() + 0xC4);
  return data;
}

// Bytes the pages' store writes its own way whatever they held (a half time that follows the
// time, a time the list does not have, a bit always set), and the Basic page's switches set
// against a Display page bit in the same byte: a pager read in basic mode may hold all of them.
PagerData StoredOtherwiseImage() {
  PagerData data = Converted(PagerData());
  data.image[0x71] = 0x33;
  data.image[0x86] = 45;
  data.image[kFlexibleOtaOffset] &= uint8_t(~kOtaAlwaysSetBit);
  data.image[kDisplayOptionsOffset] ^= kShowDateBit | kShowTimeBit | kPreviewModeBit;
  data.image[kAlternativeScreenOffset] ^= kAlternativeScreenBit;
  return data;
}

std::vector<Fixture> FixedImages() {
  return {{"default", Converted(PagerData())},
          {"stored otherwise", StoredOtherwiseImage()},
          {"all pages", AllPagesImage()},
          {"varied 1", VariedImage(1)},
          {"varied 2", VariedImage(2)},
          {"varied 3", VariedImage(3)},
          {"blank over zero", BlankOverZeroImage()}};
}

// The image as the data-file route gives it back: saved as a data file and loaded again.
PagerData ThroughDataFile(const PagerData& data) {
  const std::optional<PagerData> back = DecodeDatFile(EncodeDatFile(data, 0));
  EXPECT_TRUE(back.has_value());
  return back.value_or(PagerData());
}

// One image per kind of check the window makes, each holding a value it would refuse, as a pager
// may: the text names the key it marks as read.
struct AsReadImage {
  const char* check;
  const char* markedKey;
  PagerData data;
};

PagerData WithBytes(int offset, const QByteArray& bytes) {
  PagerData data = Converted(PagerData());
  std::copy(bytes.begin(), bytes.end(), data.image.data() + offset);
  return Converted(data);
}

std::vector<AsReadImage> AsReadImages() {
  PagerData offStep = Converted(PagerData());
  offStep.image[kFrequencyOffset + kFrequencySize - 1] ^= 0x01;
  PagerData noLanguage = Converted(PagerData());
  noLanguage.image[kLanguageOffset] = uint8_t((noLanguage.image[kLanguageOffset] & ~kLanguageLoadMask) | 0x0B);
  return {
      {"text with control bytes", "standby_text_1: {as_read: \"Z\u00e9 M\u00fcller\\x80\\x9f\u00ff\"}",
       WithBytes(0x528, QByteArray("Z\xE9 M\xFCller\x80\x9F\xFF\0\0\0", 15))},
      {"frequency off the step", "frequency: {as_read: ", Converted(offStep)},
      {"voltage",
       "voltage_high: {as_read: ", WithBytes(BatteryMarkOffset(BatteryMark::High), QByteArray("\xFF\x0F", 2))},
      {"password", "reading_password: {as_read: \"12a4\"}", WithBytes(kReadingPasswordOffset, "12a4")},
      {"over-the-air command",
       "turn_off_command: {as_read: ", WithBytes(kOtaCommands[0].offset, QByteArray("ab\0", 3))},
      {"cadence", "g: {as_read: 3}", WithBytes(kCadenceOffset + 2, QByteArray(1, '\x03'))},
      {"list value out of range", "language: {as_read: -1}", Converted(noLanguage)},
  };
}

// Whatever a data file keeps, the text keeps: every image, also one holding values the window
// would refuse (random bytes hold many), comes back from its text as from its data file, byte for
// byte, and gives the same text again.
TEST(SettingsDocument, EveryImageComesBackAsFromItsDataFile) {
  std::vector<Fixture> images = FixedImages();
  for (const AsReadImage& image : AsReadImages()) images.push_back({image.check, image.data});
  PagerData ones;
  std::fill_n(ones.image.data(), kImageSize, 0xFF);
  images.push_back({"all 0xFF", Converted(ones)});
  for (const Fixture& image : images) {
    SCOPED_TRACE(image.name);
    const QByteArray text = WriteSettingsDocument(image.data);
    EXPECT_FALSE(text.contains("not kept"));
    const PagerData back = ReadOver(text, PagerData());
    EXPECT_EQ(Compare(ThroughDataFile(image.data), back), "same");
    EXPECT_EQ(WriteSettingsDocument(back), text);
  }
  for (const AsReadImage& image : AsReadImages()) {
    const QByteArray text = WriteSettingsDocument(image.data);
    EXPECT_TRUE(text.contains(image.markedKey)) << image.check << "\n" << text.toStdString();
    EXPECT_TRUE(text.contains("# as read from the pager; the window refuses it: ")) << image.check;
    const SettingsReadResult read = ReadSettingsDocument(text, PagerData());
    EXPECT_FALSE(read.asRead.isEmpty()) << image.check << ": reading a marked value is said";
  }
}

TEST(SettingsDocument, TheDefaultDocumentCarriesNothingAndSaysEverySettingInWords) {
  const QByteArray text = WriteSettingsDocument(Converted(PagerData()));
  EXPECT_TRUE(text.startsWith("# M84 DPT settings, written by m84dpt ")) << text.left(80).toStdString();
  EXPECT_TRUE(text.contains("\nformat: m84-settings/1\ngeneral:\n  capcodes:\n    - private: true\n"));
  EXPECT_TRUE(text.contains("      capcode: 1234567\n      auto_increment: \"0\"\n")) << "entries lose their padding";
  EXPECT_TRUE(text.contains("  contrast: \"Level 15\"\n"));
  EXPECT_TRUE(text.contains("  startup_text: \"Welcome to M84\"\n"));
  EXPECT_TRUE(text.contains("  frequency: \"")) << "a frequency in its band is a setting";
  EXPECT_FALSE(text.contains("carried:")) << "the default image has no byte that the settings do not give";
  EXPECT_TRUE(text.contains("selection: \"02 02 02 02 02 02 02 02 01 00 00 00 00 00 00 00\""));
  EXPECT_TRUE(text.contains("\nbasic:\n  show_date: false\n  show_time: true\n  alternative_screen: false\n"))
      << "the Basic page's own switches, and none of the settings it shares";
}

// Python's yaml module and yamllint, with the configuration kept beside the tests.
TEST(SettingsDocument, IndependentReadersTakeEveryDocument) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  PagerData texts =
      Changed(AllPagesImage(), {{PageId::Canned, QStringLiteral("canned1"), QStringLiteral("Caf\u00e9 \"au\" lait")},
                                {PageId::Display, QStringLiteral("contrast"), 10}});
  std::vector<Fixture> images = FixedImages();
  images.push_back({"texts", texts});
  for (const Fixture& image : images) {
    const QString path = dir.filePath(QStringLiteral("settings.yaml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(WriteSettingsDocument(image.data));
    file.close();

    QProcess lint;
    lint.start(QStringLiteral("yamllint"),
               {QStringLiteral("--strict"), QStringLiteral("-c"), QStringLiteral(M84_YAMLLINT_CONFIG), path});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << image.name << ": " << lint.readAllStandardOutput().toStdString();

    QProcess python;
    python.start(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import json, sys, yaml\n"
                        "d = yaml.safe_load(open(sys.argv[1], encoding='utf-8'))\n"
                        "print(json.dumps([d['format'], d['display']['contrast'], "
                        "d['hand_program_canned_msg'].get('canned_1'), list(d)[1], len(d['cadence']['cadences'])]))\n"),
         path});
    ASSERT_TRUE(python.waitForFinished(30000));
    ASSERT_EQ(python.exitCode(), 0) << image.name << ": " << python.readAllStandardError().toStdString();
    if (&image == &images.back())
      EXPECT_EQ(QString::fromUtf8(python.readAllStandardOutput()).trimmed(),
                QStringLiteral("[\"m84-settings/1\", \"Level 11\", \"Caf\\u00e9 \\\"au\\\" lait\", \"general\", 13]"));
  }
}

// A text loaded and dumped again by Python's yaml module (keys sorted, its own quoting and
// escapes) still gives the image: the marks are plain mappings, not tags of our own.
TEST(SettingsDocument, ATextDumpedByAnotherYamlLibraryGivesTheSameImage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::vector<Fixture> images = {{"varied 4", VariedImage(4)}, {"varied 5", VariedImage(5)}};
  for (const AsReadImage& image : AsReadImages()) images.push_back({image.check, image.data});
  QStringList paths;
  for (size_t i = 0; i < images.size(); ++i) {
    paths << dir.filePath(QStringLiteral("settings%1.yaml").arg(i));
    QFile file(paths.back());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(WriteSettingsDocument(images[i].data));
  }
  QProcess python;
  python.start(
      QStringLiteral("python3"),
      QStringList{QStringLiteral("-c"),
                  QStringLiteral("import sys, yaml\n"
                                 "for path in sys.argv[1:]:\n"
                                 "    d = yaml.safe_load(open(path, encoding='utf-8'))\n"
                                 "    open(path + '.dumped', 'w', encoding='utf-8').write(yaml.safe_dump(d))\n")} +
          paths);
  ASSERT_TRUE(python.waitForFinished(30000));
  ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  for (size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(images[i].name);
    QFile dumped(paths[int(i)] + QStringLiteral(".dumped"));
    ASSERT_TRUE(dumped.open(QIODevice::ReadOnly));
    const QByteArray text = dumped.readAll();
    EXPECT_TRUE(text.contains("as_read: ")) << text.toStdString();
    EXPECT_EQ(Compare(ThroughDataFile(images[i].data), ReadOver(text, PagerData())), "same");
  }
}

TEST(SettingsDocument, APartialDocumentChangesOnlyItsSettingsOverTheBase) {
  const QByteArray text = kFormatLine +
                          "display:\n  contrast: Level 11\n  standby_text_1: \"Hi  \"\n"
                          "general:\n  capcodes:\n    - {}\n    - capcode: 99\n";
  for (const PagerData& base : {PagerData(), AllPagesImage()}) {
    PagerData expected = Changed(
        base, {{PageId::Display, QStringLiteral("contrast"), 10}, {PageId::General, QStringLiteral("capcode1"), 99}});
    // Texts keep their trailing blanks; the rest of the 15 characters are zero bytes.
    std::fill_n(expected.image.data() + 0x528, 15, 0);
    std::copy_n("Hi  ", 4, expected.image.data() + 0x528);
    EXPECT_EQ(Compare(expected, ReadOver(text, base)), "same");
  }
  EXPECT_EQ(Compare(Converted(AllPagesImage()), ReadOver(kFormatLine, AllPagesImage())), "same");
}

struct Refused {
  const char* what;
  QByteArray text;  // after the format line
  int line;
  int column;
  const char* message;  // the start of it
};

TEST(SettingsDocument, EachRefusalNamesItsPlace) {
  const Refused cases[] = {
      {"unknown page", "displai:\n  contrast: Level 1\n", 2, 1,
       "unknown key 'displai' at the top of the document; did you mean display?"},
      {"unknown key, nearest by its label", "display:\n  lcd_contrast: Level 1\n", 3, 3,
       "unknown key 'lcd_contrast' on page 'display'; did you mean contrast?"},
      {"unknown member of a row", "general:\n  capcodes:\n    - capcod: 9\n", 4, 7,
       "unknown key 'capcod' in a row of 'capcodes' on page 'general'; did you mean capcode?"},
      {"window's check", "general:\n  capcodes:\n    - capcode: 7\n", 4, 16, "Capcode must be in range 8 to 2097151"},
      {"window's check on a grid number", "cadence:\n  cadences:\n    - m: 4\n", 4, 10,
       "Value must be in range 1 to 3"},
      {"window's frequency check", "general:\n  frequency: \"100.0000\"\n", 3, 14,
       "Input frequency error (3.125k/2.5k/2.0k)"},
      {"no entry", "display:\n  contrast: Level 21\n", 3, 13,
       "'Level 21' is no entry of LCD Contrast (entries: Level 1, "},
      {"refused entry", "name_misc:\n  language: Danish\n", 3, 13, "This pager cannot store Danish"},
      {"unstorable character", "hand_program_canned_msg:\n  canned_1: \"a\u20acb\"\n", 3, 13,
       "Canned message 1: the character '\u20ac' (U+20AC) cannot be stored in the pager"},
      {"text too long", "display:\n  startup_text: \"1234567890123456\"\n", 3, 17,
       "Startup Text holds at most 15 characters"},
      {"not a flag", "display:\n  time_stamp: maybe\n", 3, 15, "Time stamp messages is true or false"},
      {"not a number", "general:\n  bump_time: soon\n", 3, 14, "Bump Time is a whole number"},
      {"duplicate key", "display:\n  contrast: Level 1\n  contrast: Level 2\n", 4, 3, "duplicate key 'contrast'"},
      {"duplicate page", "display: {}\ndisplay: {}\n", 3, 1, "duplicate key 'display'"},
      {"too many rows", "general:\n  capcodes: [{}, {}, {}, {}, {}, {}, {}, {}, {}]\n", 3, 46,
       "'capcodes' has only 8 rows"},
      {"carried outside the image", "carried:\n  0x800: \"00\"\n", 3, 3, "a carried offset is 0x000 to 0x7FF"},
      {"carried bytes", "carried:\n  0x600: \"0G\"\n", 3, 10, "carried bytes are two hex digits each"},
      {"selection", "selection: \"00 01\"\n", 2, 12, "the selection is 16 hex bytes"},
      {"syntax", "display: [\n", 3, 1, "end of sequence flow not found"},
      {"marked text no byte can hold", "display:\n  standby_text_1: {as_read: \"a\u20acb\"}\n", 3, 29,
       "Standby Text 1ST as read cannot be held in the pager's bytes"},
      {"marked number that is none", "general:\n  bump_time: {as_read: soon}\n", 3, 24,
       "Bump Time as read is a whole number"},
      {"mark beside another key", "general:\n  bump_time: {as_read: 99, x: 1}\n", 3, 14,
       "Bump Time as read is {as_read: VALUE}, with nothing beside it"},
      {"mark on a flag", "display:\n  time_stamp: {as_read: true}\n", 3, 25,
       "Time stamp messages has no check to get past"},
      {"mark on carried bytes", "carried: {as_read: \"00\"}\n", 2, 10, "'carried' takes no 'as_read' mark"},
      {"unmarked value past the window's check", "general:\n  bump_time: 99\n", 3, 14,
       "Bump time must be in range 1 to 63"},
  };
  for (const Refused& c : cases) {
    const SettingsReadResult read =
        ReadSettingsDocument(kFormatLine + c.text, PagerData(), QStringLiteral("fleet.yaml"));
    ASSERT_FALSE(read) << c.what;
    EXPECT_EQ(read.error.file, QStringLiteral("fleet.yaml"));
    EXPECT_EQ(read.error.line, c.line) << c.what << ": " << read.error.Text().toStdString();
    EXPECT_EQ(read.error.column, c.column) << c.what << ": " << read.error.Text().toStdString();
    EXPECT_TRUE(read.error.message.startsWith(QString::fromUtf8(c.message)))
        << c.what << ": " << read.error.Text().toStdString();
  }
  const SettingsReadResult noFormat = ReadSettingsDocument("display: {}\n", PagerData());
  ASSERT_FALSE(noFormat);
  EXPECT_TRUE(noFormat.error.message.startsWith(QStringLiteral("not a settings document")))
      << noFormat.error.Text().toStdString();
}

TEST(SettingsDocument, APatchTurnsTheFirstSettingsIntoTheSecond) {
  const PagerData from = AllPagesImage();
  const PagerData contrast = Changed(from, {{PageId::Display, QStringLiteral("contrast"), 10}});
  const QByteArray patch = WriteSettingsPatch(from, contrast);
  EXPECT_TRUE(patch.endsWith(kFormatLine + "display:\n  contrast: \"Level 11\"\n")) << patch.toStdString();
  EXPECT_EQ(Compare(contrast, ReadOver(patch, from)), "same");

  // Random bytes hold settings the window refuses: a patch gives them as read, so it gives the
  // second byte for byte, over the first or over the defaults.
  for (quint32 seed : {11u, 12u}) {
    SCOPED_TRACE(seed);
    const PagerData to = VariedImage(seed);
    const QByteArray toPatch = WriteSettingsPatch(from, to);
    EXPECT_TRUE(toPatch.contains("{as_read: "));
    EXPECT_EQ(Compare(to, ReadOver(toPatch, from)), "same");
    EXPECT_EQ(Compare(to, ReadOver(WriteSettingsPatch(PagerData(), to), PagerData())), "same");
    EXPECT_EQ(Compare(from, ReadOver(WriteSettingsPatch(to, from), to)), "same") << "and back again";
  }
}

TEST(SettingsDocument, DifferencesAreOneLinePerSettingThenTheCarriedBytes) {
  const PagerData from = Converted(PagerData());
  PagerData to = Changed(from, {{PageId::Display, QStringLiteral("contrast"), 10},
                                {PageId::Folders, QStringLiteral("folderName5"), QStringLiteral("Sales")},
                                {PageId::General, QStringLiteral("capcode2"), 99}});
  to.image[0x600] = 0x00;
  EXPECT_EQ(SettingsDifferences(from, to),
            QStringList({QStringLiteral("General / Capcode 3 / Capcode: 1234569 \u2192 99"),
                         QStringLiteral("Display / LCD Contrast: Level 15 \u2192 Level 11"),
                         QStringLiteral("Folders / Folder 5 / Name: \"PubHolder 05\" \u2192 \"Sales\""),
                         QStringLiteral("Carried 0x600: FF \u2192 00")}));
  EXPECT_TRUE(SettingsDifferences(from, from).isEmpty());
}

// Every setting of every tab page says what it is: the reference and the diff are made from it.
TEST(SettingsDocument, EverySettingDeclaresItsLabelAndValues) {
  PagerData data;
  ModelPageSet pages(data);
  for (const PageInfo& info : kTabPages) {
    for (const FieldBinding& binding : pages.Page(info.id).Table()) {
      const SettingForm& form = binding.form;
      if (form.kind == SettingKind::None) continue;
      EXPECT_FALSE(form.label.isEmpty()) << binding.key.toStdString();
      if (form.kind == SettingKind::Entry) EXPECT_FALSE(form.entries.isEmpty()) << binding.key.toStdString();
      if (form.kind == SettingKind::Text) EXPECT_GT(form.width, 0) << binding.key.toStdString();
      if (!form.group.isEmpty())
        EXPECT_FALSE(form.member.isEmpty() || form.rowLabel.isEmpty()) << binding.key.toStdString();
    }
  }
  const QString reference = SettingsReference();
  EXPECT_TRUE(reference.contains(QStringLiteral("| `contrast` | LCD Contrast | one of \"Level 1\", ")));
  EXPECT_TRUE(reference.contains(QStringLiteral(
      "| `capcodes[1..8].capcode` | Capcode 1 \u2026 Capcode 8: Capcode | a whole number, 8 to 2097151")));
}

TEST(SettingsDocument, KeysAreSnakeCase) {
  const std::pair<const char*, const char*> cases[] = {{"bumpTime", "bump_time"},
                                                       {"toneText0", "tone_text_0"},
                                                       {"Name / Misc", "name_misc"},
                                                       {"Hand Program/Canned MSG", "hand_program_canned_msg"},
                                                       {" Folders ", "folders"},
                                                       {"MSGText", "msg_text"},
                                                       {"cadenceSlot3_5", "cadence_slot_3_5"}};
  for (const auto& [name, snake] : cases) EXPECT_EQ(SnakeCase(QString::fromLatin1(name)), QString::fromLatin1(snake));
}

}  // namespace
