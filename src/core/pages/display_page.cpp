#include "core/pages/display_page.h"

#include <iterator>

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"
#include "core/pages/voltage_code.h"

namespace m84 {

namespace {

using namespace basic_key;
using namespace display_key;

struct BatteryMarkField {
  BatteryMark mark;
  const char* name;  // of its page variable
  int offset;
};
constexpr BatteryMarkField kBatteryMarkFields[] = {{BatteryMark::High, "High", image_map::kBatteryMarks.At(0)},
                                                   {BatteryMark::Middle, "Middle", image_map::kBatteryMarks.At(1)},
                                                   {BatteryMark::Low, "Low", image_map::kBatteryMarks.At(2)}};

const BatteryMarkField& FieldOf(BatteryMark mark) { return kBatteryMarkFields[static_cast<int>(mark)]; }

// The pager keeps the display time twice: in seconds, and in half seconds for its timer.
struct DisplayTime {
  uint8_t seconds;
  uint8_t halfSeconds;
};
constexpr DisplayTime kDisplayTimes[] = {{10, 5}, {30, 15}, {60, 30}, {0, 0}};  // list order
constexpr int kDisplayTimeFallback = 0;                                         // "10 seconds"
constexpr int kVoltageTextLength = 4;                                           // "1.20"
constexpr int kContrastLevels = 20;
constexpr int kContrastFallback = 10;  // "  Level 11"

QStringList ContrastLevels() {
  QStringList levels;
  for (int level = 1; level <= kContrastLevels; ++level)
    levels.append(QString::fromLatin1(level < 10 ? "   Level %1" : "  Level %1").arg(level));
  return levels;
}

// Read only: the Basic page stores these bits (and the settings text names them under that
// page); this page needs them for its enabling rules and its report.
FieldBinding ReadOnly(FieldBinding binding) {
  binding.NoSetting();
  binding.store = [](QVariant&, PagerData&) {};
  return binding;
}

FieldBinding DisplayTimeField(const QString& key) {
  FieldBinding binding = field::ByteEntries(key, kDisplayTimeOffset, {10, 30, 60, 0}, kDisplayTimeFallback);
  binding.store = [](QVariant& v, PagerData& d) {
    const int index = v.toInt();
    const DisplayTime& time =
        kDisplayTimes[index >= 0 && index < int(std::size(kDisplayTimes)) ? index : kDisplayTimeFallback];
    d.image[kDisplayTimeOffset] = time.seconds;
    d.image[kDisplayHalfTimeOffset] = time.halfSeconds;
  };
  return binding;
}

FieldBinding ContrastField(const QString& key) {
  return {key,
          [](const PagerData& d) {
            const int level = d.image[kContrastOffset] - kContrastBase;
            return QVariant(level >= 0 && level < kContrastLevels ? level : kContrastFallback);
          },
          [](QVariant& v, PagerData& d) {
            const int level = v.toInt();
            const int stored = level >= 0 && level < kContrastLevels ? level : kContrastFallback;
            d.image[kContrastOffset] = static_cast<uint8_t>(stored + kContrastBase);
          }};
}

bool IsAcceptedVoltageText(const QString& text) { return CheckVoltageText(text).has_value(); }

bool ShowsMessageNumberLists(const PageValues& values) {
  return MessageNumberListsEnabled(values.Flag(display_key::kMessageNumber));
}

// A text that fails the voltage check leaves the mark's code as it was. Such a text comes from a
// code above 1.50 V or without a table entry (it shows as up to 1.85) or from Enter on a rejected
// text; clamping it would write a real 1.85 V code in place of the pager's own.
FieldBinding BatteryMarkCode(const QString& key, int offset) {
  FieldBinding binding = {
      key,
      [=](const PagerData& d) {
        return QVariant(VoltageTextForCode(static_cast<uint16_t>(ReadLittleEndian(d.image, offset, 2))));
      },
      [=](QVariant& v, PagerData& d) {
        const std::optional<int> hundredths = CheckVoltageText(v.toString());
        if (!hundredths) return;
        const uint16_t code = VoltageCodeForHundredths(*hundredths);
        d.image[offset] = static_cast<uint8_t>(code & 0xFF);
        d.image[offset + 1] = static_cast<uint8_t>(code >> 8);
      }};
  binding.form.kind = SettingKind::Text;
  binding.form.width = kVoltageTextLength;
  return binding;
}

QStringList VoltagesLine(const PageValues& v) {
  return {QStringLiteral("Voltage for battery mark:  High:%1V  Middle:%2V  Low:%3V")
              .arg(v.Text(Voltage(BatteryMark::High)), v.Text(Voltage(BatteryMark::Middle)),
                   v.Text(Voltage(BatteryMark::Low)))};
}

// The Basic page's display settings lead, and the battery settings close the message settings.
QStringList ReportOrder() {
  return {kStartupText,     kShowDate,         kShowTime,          kStandbyText1,      kAlternativeScreen,
          kStandbyText2,    kPreviewMode,      kSmallText,         kTimeStamp,         kMessageNumber,
          kAddressFunction, kMaxMessagesAlert, kDateFormat,        kStoredMessages,    kNumberMode,
          kNumberOrder,     kLowBatteryAlarm,  kLowBatteryDisplay, kLowBatteryVibrate, Voltage(BatteryMark::High)};
}

}  // namespace

int BatteryMarkOffset(BatteryMark mark) { return FieldOf(mark).offset; }

QString display_key::Voltage(BatteryMark mark) { return QStringLiteral("voltage") + QLatin1String(FieldOf(mark).name); }

QString display_key::VoltageRestore(BatteryMark mark) { return Voltage(mark) + QStringLiteral("Restore"); }

const QStringList kDateFormatEntries = {QStringLiteral(" M/D/Y"), QStringLiteral(" D/M/Y")};
const QStringList kStoredMessagesEntries = {QStringLiteral("  60"), QStringLiteral("  10"), QStringLiteral("   1")};
const QStringList kNumberModeEntries = {QStringLiteral("Only number"), QStringLiteral("  No. / Total")};
const QStringList kNumberOrderEntries = {QStringLiteral("Increment"), QStringLiteral("Decrement")};
const QStringList kDisplayTimeEntries = {QStringLiteral("10 seconds"), QStringLiteral("30 seconds"),
                                         QStringLiteral("60 seconds"), QStringLiteral("  No limit")};
const QStringList kContrastEntries = ContrastLevels();

const QString kVoltageHint = QStringLiteral("Enter voltage for battery mark (0.90v to 1.50v)");

bool MessageNumberListsEnabled(bool messageNumberDisplay) { return messageNumberDisplay; }

BindingTable DisplayTexts() {
  BindingTable table;
  table.push_back(field::ZeroFilledText(kStartupText, image_map::kStartupText)
                      .Labelled(QStringLiteral("Startup Text"))
                      .Hinted(kBasicTextHint)
                      .Reported(QStringLiteral("Startup text: [%1]"), Wording::Text));
  table.push_back(field::ZeroFilledText(kStandbyText1, image_map::kStandbyText1)
                      .Labelled(QStringLiteral("Standby Text 1ST"))
                      .Captioned(QStringLiteral("1ST"))
                      .Hinted(kBasicTextHint)
                      .EnabledWhen(ShowsStandbyText1)
                      .Reported(QStringLiteral("Standby text 1: [%1]"), Wording::Text));
  table.push_back(field::ZeroFilledText(kStandbyText2, image_map::kStandbyText2)
                      .Labelled(QStringLiteral("Standby Text 2ND"))
                      .Captioned(QStringLiteral("2ND"))
                      .Hinted(kBasicTextHint)
                      .EnabledWhen(ShowsStandbyText2)
                      .Reported(QStringLiteral("Standby text 2: [%1]"), Wording::Text));
  return table;
}

// In the order of the page's store and load.
BindingTable DisplayPageModel::Bindings() const {
  BindingTable table;
  for (FieldBinding& binding : DisplayTexts()) table.push_back(std::move(binding));
  for (FieldBinding& binding : BasicPageSwitches()) table.push_back(ReadOnly(std::move(binding)));
  table.push_back(field::Flag(kPreviewMode, image_map::kPreviewMode)
                      .Labelled(QStringLiteral("Enable message preview mode"))
                      .Captioned(QStringLiteral("Enable message preview  mode"))
                      .Reported(QStringLiteral("Enable message preview mode: %1"), Wording::YesNo));
  table.push_back(field::InvertedFlag(kSmallText, image_map::kLargeText)
                      .Labelled(QStringLiteral("Set default text size small"))
                      .Reported(QStringLiteral("Set default text size small: %1"), Wording::YesNo));
  table.push_back(field::Flag(kTimeStamp, image_map::kTimeStamp)
                      .Labelled(QStringLiteral("Time stamp messages"))
                      .Reported(QStringLiteral("Time stamp messages: %1"), Wording::YesNo));
  table.push_back(field::Flag(kMessageNumber, image_map::kMessageNumber)
                      .Labelled(QStringLiteral("Message number display"))
                      .Reported(QStringLiteral("Message number display: %1"), Wording::YesNo));
  table.push_back(field::Flag(kAddressFunction, image_map::kAddressFunction)
                      .Labelled(QStringLiteral("MSG Address / Function number"))
                      .Reported(QStringLiteral("Message address/function number: %1"), Wording::YesNo));
  table.push_back(field::Flag(kMaxMessagesAlert, image_map::kMaxMessagesAlert)
                      .Labelled(QStringLiteral("Report alert when max msgs reached"))
                      .Reported(QStringLiteral("Report alert when max messages reached: %1"), Wording::YesNo));
  table.push_back(field::EntryBit(kDateFormat, image_map::kDayFirstDate, false)
                      .Labelled(QStringLiteral("Date format"))
                      .Entries(kDateFormatEntries)
                      .Reported(QStringLiteral("Time format: %1"), Wording::Entry));
  table.push_back(field::Flag(kLowBatteryAlarm, image_map::kLowBatteryAlarm)
                      .Labelled(QStringLiteral("Low battery alarm"))
                      .Reported(QStringLiteral("Low Battery alarm: %1"), Wording::YesNo));
  table.push_back(field::Flag(kLowBatteryDisplay, image_map::kLowBatteryDisplay)
                      .Labelled(QStringLiteral("Low battery display"))
                      .Reported(QStringLiteral("Low Battery display: %1"), Wording::YesNo));
  table.push_back(field::Flag(kLowBatteryVibrate, image_map::kLowBatteryVibrate)
                      .Labelled(QStringLiteral("Vibrate when low battery"))
                      .Reported(QStringLiteral("Vibrate when Battery low: %1"), Wording::YesNo));
  table.push_back(field::ByteEntries(kStoredMessages, image_map::kStoredMessages, {60, 10, 1}, 0)
                      .Labelled(QStringLiteral("Maximun number of stored MSG"))
                      .Captioned(QStringLiteral("Maximun number of stored  MSG"))
                      .Entries(kStoredMessagesEntries)
                      .Reported(QStringLiteral("Maximum number of stored message: %1"), Wording::Entry));
  table.push_back(field::EntryBit(kNumberMode, image_map::kNumberOfTotal, false)
                      .Labelled(QStringLiteral("Message No. display mode"))
                      .Entries(kNumberModeEntries)
                      .EnabledWhen(ShowsMessageNumberLists)
                      .Reported(QStringLiteral("Message number display format: %1"), Wording::Entry));
  table.push_back(field::EntryBit(kNumberOrder, image_map::kDecrement, false)
                      .Labelled(QStringLiteral("Message number ordering"))
                      .Entries(kNumberOrderEntries)
                      .EnabledWhen(ShowsMessageNumberLists)
                      .Reported(QStringLiteral("Message number ordering: %1"), Wording::Entry));
  table.push_back(DisplayTimeField(kDisplayTime)
                      .Labelled(QStringLiteral("Display Time"))
                      .Entries(kDisplayTimeEntries)
                      .Reported(QStringLiteral("LCD Display Time: %1"), Wording::Entry));
  table.push_back(ContrastField(kContrast)
                      .Labelled(QStringLiteral("LCD Contrast"))
                      .Entries(kContrastEntries)
                      .Reported(QStringLiteral("LCD Contrast: %1"), Wording::Entry));
  for (const BatteryMarkField& f : kBatteryMarkFields) {
    FieldBinding mark = BatteryMarkCode(Voltage(f.mark), f.offset)
                            .Labelled(QStringLiteral("Voltage for battery mark %1").arg(QLatin1String(f.name)))
                            .Accepting(IsAcceptedVoltageText, kVoltageHint)
                            .Hinted(kVoltageHint);
    if (f.mark == BatteryMark::High) mark.ReportedBy(VoltagesLine);  // the three marks share one line
    table.push_back(std::move(mark));
  }
  return table;
}

void DisplayPageModel::RememberVoltage(BatteryMark mark) {
  Values().Set(VoltageRestore(mark), Values().Text(Voltage(mark)));
}

bool DisplayPageModel::CheckVoltageOnLeaving(BatteryMark mark) {
  if (CheckVoltageText(Values().Text(Voltage(mark)))) {
    RememberVoltage(mark);
    return true;
  }
  RestoreVoltage(mark);
  return false;
}

void DisplayPageModel::RestoreVoltage(BatteryMark mark) {
  Values().Set(Voltage(mark), Values().Text(VoltageRestore(mark)));
}

void DisplayPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Disply]"));
  PrintRows(report, ReportOrder());
}

}  // namespace m84
