#include "core/pages/name_misc_page.h"

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace name_misc_key;

constexpr int kHoldTimeSeconds[] = {5, 10, 15};  // by list index; anything else stores 15
constexpr int kShortHoldLimit = 5;               // at most this loads as " 5 seconds"
constexpr int kMediumHoldLimit = 14;             // at most this loads as "10 seconds"
constexpr uint8_t kControlOptionBits[] = {0x00, 0x40, 0xC0};
constexpr uint8_t kAnyKeyBits = 0x40;

// Only a storable language is written; any other selection leaves the byte as it was.
FieldBinding LanguageField() {
  return {kLanguage, [](const PagerData& d) { return QVariant(LanguageIndexOf(d.image[kLanguageOffset])); },
          [](QVariant& v, PagerData& d) {
            if (IsStorableLanguage(v.toInt())) d.image[kLanguageOffset] = static_cast<uint8_t>(v.toInt());
          }};
}

// The switch and the password it guards share one line.
QStringList ReadingPasswordLine(const PageValues& v) {
  return {QStringLiteral("Enable message reading password: %1 Password[%2]")
              .arg(YesNoText(v.Flag(kReadingPasswordEnabled)), v.Text(kReadingPassword))};
}

// The tone texts are reported two to a line, as the page shows them side by side.
std::function<QStringList(const PageValues&)> ToneTextPairLine(int first) {
  return [first](const PageValues& v) {
    return QStringList{QStringLiteral("  Tone %1:[%2]  Tone %3:[%4]")
                           .arg(QString(QChar('A' + first)), v.Text(ToneText(first)), QString(QChar('A' + first + 1)),
                                v.Text(ToneText(first + 1)))};
  };
}

}  // namespace

const std::array<UserMenuOption, 6> kUserMenuOptions = {{
    {"menuPowerOff", "Allow user to turn the pager off", "Enable user to turn the pager off: %1", 0x80},
    {"menuDelete", "Allow user to DELETE the MSG", "Allow user to delete messages: %1", 0x40},
    {"menuProtect", "Allow user to PROTECT the MSG", "Allow user to protect messages: %1", 0x20},
    {"menuAlarm", "Allow user to set the ALARM", "Allow user to set alarm: %1", 0x10},
    {"menuZoom", "Allow user to set the ZOOM function", "Allow user to set Zoom function: %1", 0x08},
    {"menuTimeDate", "Allow user to change Time and Date", "", 0x04},
}};

const QStringList kLanguageEntries = {
    QStringLiteral("USA English"), QStringLiteral("UK English"), QStringLiteral("German"),
    QStringLiteral("French"),      QStringLiteral("Spanish"),    QStringLiteral("Itally"),
    QStringLiteral("Swedish"),     QStringLiteral("Portuguese"), QStringLiteral("Danish")};
const QStringList kHoldTimeEntries = {QStringLiteral(" 5 seconds"), QStringLiteral("10 seconds"),
                                      QStringLiteral("15 seconds")};
const QStringList kControlOptionEntries = {QStringLiteral("Press ENT key for 1.5s"), QStringLiteral("Press any key"),
                                           QStringLiteral("Press any Key or RX")};

const QString kToneTextHint = QStringLiteral("Enter up to 12 alphanumeric characters");
const QString kDanishRefusedMessage = QStringLiteral("This pager cannot store Danish");

int LanguageIndexOf(uint8_t byte) {
  const int index = byte & kLanguageLoadMask;
  return IsStorableLanguage(index) ? index : -1;
}

bool IsStorableLanguage(int index) { return index >= 0 && index < kStorableLanguageCount; }

bool IsStorableLanguageEntry(const QString& entry) { return IsStorableLanguage(int(kLanguageEntries.indexOf(entry))); }

bool RefuseUnstorableLanguage(PageValues& values, const PagerImage& image) {
  if (values.Number(kLanguage) < kStorableLanguageCount) return false;
  values.Set(kLanguage, LanguageIndexOf(image[kLanguageOffset]));
  return true;
}

int HoldTimeIndexOf(uint8_t byte) {
  const int seconds = byte & image_map::kHoldTime.mask;
  if (seconds <= kShortHoldLimit) return 0;
  return seconds <= kMediumHoldLimit ? 1 : 2;
}

int ControlOptionIndexOf(uint8_t byte) {
  const uint8_t bits = byte & image_map::kControlOption.mask;
  if (bits == 0) return 0;
  return bits == kAnyKeyBits ? 1 : 2;  // 10 reads as 11: the pager knows no fourth option
}

uint8_t BackLightByte(int holdTimeIndex, int controlOptionIndex) {
  const int seconds = holdTimeIndex == 0 || holdTimeIndex == 1 ? kHoldTimeSeconds[holdTimeIndex] : kHoldTimeSeconds[2];
  const uint8_t option = controlOptionIndex >= 0 && controlOptionIndex < 3 ? kControlOptionBits[controlOptionIndex] : 0;
  return static_cast<uint8_t>(seconds | option);
}

BindingTable NameMiscPageModel::Bindings() const {
  BindingTable table;
  // Danish is shown but cannot be stored: the window refuses it.
  table.push_back(LanguageField()
                      .Labelled(QStringLiteral("Select display language"))
                      .Entries(kLanguageEntries)
                      .Accepting(IsStorableLanguageEntry, kDanishRefusedMessage)
                      .Reported(QStringLiteral("Display language: %1"), Wording::Entry));
  table.push_back(field::Flag(kConfirmBeep, image_map::kConfirmBeep)
                      .Labelled(QStringLiteral("Enable confirmation short beep"))
                      .Reported(QStringLiteral("Confirm short beep: %1"), Wording::YesNo));
  table.push_back(field::Flag(kReadingPasswordEnabled, image_map::kReadingPasswordEnabled)
                      .Labelled(QStringLiteral("Enable MSG reading password"))
                      .Captioned(QStringLiteral("Enable MSG reading password "))
                      .ReportedBy(ReadingPasswordLine));
  for (const UserMenuOption& option : kUserMenuOptions)
    table.push_back(field::Flag(QString::fromLatin1(option.key), kUserMenuOffset, option.bit)
                        .Labelled(QString::fromLatin1(option.label).simplified())
                        .Captioned(QString::fromLatin1(option.label))
                        .Reported(QString::fromLatin1(option.reportLine), Wording::YesNo));
  table.push_back(field::Flag(kErrorDeduction, image_map::kErrorDeduction)
                      .Labelled(QStringLiteral("Enable error MSG deduction"))
                      .Reported(QStringLiteral("Enable error message deduction: %1"), Wording::YesNo));
  table.push_back(field::Flag(kErrorIcon, image_map::kErrorIcon)
                      .Labelled(QStringLiteral("Enable error MSG icon"))
                      .Reported(QStringLiteral("Enable error message icon: %1"), Wording::YesNo));
  table.push_back(
      field::Flag(kDeleteProtected, image_map::kDeleteProtected).Labelled(QStringLiteral("Delete protected message")));
  table.push_back(field::Flag(kReplaceToneOnly, image_map::kReplaceToneOnly)
                      .Labelled(QStringLiteral("Replace Tone Only MSG with user TEXT"))
                      .Reported(QStringLiteral("Replace tone only message with user text: %1"), Wording::YesNo));
  table.push_back(field::FixedText(kReadingPassword, image_map::kReadingPassword)
                      .Labelled(QStringLiteral("MSG reading password"))
                      .Accepting(HoldsDigitsOnly, kDigitsOnlyMessage)
                      .EnabledWhen(ReadingPasswordEditEnabled));
  for (int i = 0; i < kToneTextCount; ++i) {
    FieldBinding toneText = field::FixedText(ToneText(i), image_map::kToneTexts, i)
                                .Labelled(QStringLiteral("Tone %1 text").arg(QChar('A' + i)))
                                .Captioned(QStringLiteral("Tone ") + QChar('A' + i))
                                .Hinted(kToneTextHint)
                                .EnabledWhen(ToneTextsEnabled);
    if (i % 2 == 0) toneText.ReportedBy(ToneTextPairLine(i));
    table.push_back(std::move(toneText));
  }
  table.push_back(field::Rule(kHoldTime, SettingKind::Entry)
                      .Labelled(QStringLiteral("Back light hold time"))
                      .Entries(kHoldTimeEntries)
                      .Reported(QStringLiteral("Back light hold time: %1"), Wording::Entry));
  table.push_back(field::Rule(kControlOption, SettingKind::Entry)
                      .Labelled(QStringLiteral("Back light control option"))
                      .Entries(kControlOptionEntries)
                      .Reported(QStringLiteral("Back light control option: %1"), Wording::Entry));
  return table;
}

void NameMiscPageModel::LoadRules(const PagerData& data) {
  Values().Set(kHoldTime, HoldTimeIndexOf(data.image[kBackLightOffset]));
  Values().Set(kControlOption, ControlOptionIndexOf(data.image[kBackLightOffset]));
}

void NameMiscPageModel::StoreRules(PagerData& data) {
  data.image[kBackLightOffset] = BackLightByte(Values().Number(kHoldTime), Values().Number(kControlOption));
}

void NameMiscPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Name & Misc]"));
  PrintRows(report, {kLanguage, kConfirmBeep, kReadingPasswordEnabled, kErrorDeduction, kErrorIcon});
}

}  // namespace m84
