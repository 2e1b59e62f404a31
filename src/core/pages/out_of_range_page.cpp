#include "core/pages/out_of_range_page.h"

#include <array>

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace out_of_range_key;

enum DetectTimeEntryIndex { kOneMinute, kTwoMinutes, kFourMinutes, kThirtyMinutes };
constexpr std::array<uint8_t, 4> kDetectTimeMinutes = {1, 2, 4, 30};

FieldBinding DetectTimeBinding() {
  return {kDetectTime,
          [](const PagerData& d) { return QVariant(RangeDetectTimeEntry(d.image[kRangeDetectTimeOffset])); },
          [](QVariant& v, PagerData& d) { d.image[kRangeDetectTimeOffset] = RangeDetectTimeMinutes(v.toInt()); }};
}

// A name shows at its field's width, whatever the variable holds.
std::function<QStringList(const PageValues&)> CodeNameLine(const QString& code, const QString& key) {
  return [code, key](const PageValues& v) {
    return QStringList{QStringLiteral("%1 description: [%2]").arg(code, v.Text(key).leftJustified(kCodeNameLength))};
  };
}

}  // namespace

const QStringList kShowIconEntries = {QStringLiteral(" In Range"), QStringLiteral("Out Range")};
const QStringList kRangeDetectTimeEntries = {QStringLiteral("1 minute"), QStringLiteral("2 minutes"),
                                             QStringLiteral("4 minutes"), QStringLiteral("30 minutes")};
const QString kCodeNameHint = QStringLiteral("Enter up to 6 alphanumeric characters");

// A byte between two entries shows the shorter time; anything past 5 minutes, and 0, the longest.
int RangeDetectTimeEntry(uint8_t minutes) {
  switch (minutes) {
    case 1: return kOneMinute;
    case 2:
    case 3: return kTwoMinutes;
    case 4:
    case 5: return kFourMinutes;
    default: return kThirtyMinutes;
  }
}

uint8_t RangeDetectTimeMinutes(int entry) {
  return entry >= kOneMinute && entry < kThirtyMinutes ? kDetectTimeMinutes[size_t(entry)]
                                                       : kDetectTimeMinutes[kThirtyMinutes];
}

bool OutOfRangeOptionsEnabled(const PageValues& values) { return values.Flag(kEnable); }
bool CodeNamesEnabled(const PageValues& values) { return values.Flag(kDisplayText); }

BindingTable OutOfRangePageModel::Bindings() const {
  BindingTable table = {
      field::Flag(kEnable, image_map::kOutOfRangeEnable)
          .Labelled(QStringLiteral("Out of Range Enable"))
          .Captioned(QStringLiteral("Enable"))
          .Reported(QStringLiteral("In/Out of Range check: %1"), Wording::EnableDisable),
      // Bit 0x40 stands for the first entry alone: any other selection, or none, clears it.
      field::EntryBit(kShowIcon, image_map::kShowIconInRange, true)
          .Labelled(QStringLiteral("Show Icon when"))
          .Entries(kShowIconEntries)
          .EnabledWhen(OutOfRangeOptionsEnabled)
          .Reported(QStringLiteral("Show icon when %1"), Wording::Entry),
      field::Flag(kWarning, image_map::kOutOfRangeWarning)
          .Labelled(QStringLiteral("Enable warning message when out of range"))
          .EnabledWhen(OutOfRangeOptionsEnabled)
          .Reported(QStringLiteral("Enable warning message when out of range: %1"), Wording::YesNo),
      field::Flag(kVibrate, image_map::kOutOfRangeVibrate)
          .Labelled(QStringLiteral("Enable vibrate when out of range"))
          .EnabledWhen(OutOfRangeOptionsEnabled)
          .Reported(QStringLiteral("Enable vibrate when out of range: %1"), Wording::YesNo),
      DetectTimeBinding()
          .Labelled(QStringLiteral("Detect Time"))
          .Entries(kRangeDetectTimeEntries)
          .EnabledWhen(OutOfRangeOptionsEnabled)
          .Reported(QStringLiteral("Range detect time: %1"), Wording::Entry),
      field::Flag(kDisplayText, image_map::kDisplayTextEnable)
          .Labelled(QStringLiteral("Display Text for Cap Codes and Beep Codes Enable"))
          .Captioned(QStringLiteral("Enable"))
          .Reported(QStringLiteral("Display text for capcode and beep code: %1"), Wording::YesNo),
  };
  for (int capcode = 1; capcode <= kCapcodeNameCount; ++capcode)
    table.push_back(field::FixedText(CapcodeName(capcode), image_map::kCapcodeNames, capcode - 1)
                        .Labelled(QStringLiteral("Cap Code %1 Description").arg(capcode))
                        .Hinted(kCodeNameHint)
                        .EnabledWhen(CodeNamesEnabled)
                        .ReportedBy(CodeNameLine(QStringLiteral("Cap code %1").arg(capcode), CapcodeName(capcode))));
  for (int beep = 0; beep < kBeepCodeNameCount; ++beep)
    table.push_back(
        field::FixedText(BeepCodeName(beep), image_map::kBeepCodeNames, beep)
            .Labelled(QStringLiteral("Beep Code %1 Description").arg(BeepCodeLetter(beep)))
            .Hinted(kCodeNameHint)
            .EnabledWhen(CodeNamesEnabled)
            .ReportedBy(CodeNameLine(QStringLiteral("Beep code %1").arg(BeepCodeLetter(beep)), BeepCodeName(beep))));
  return table;
}

void OutOfRangePageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Out of Range & Display Cap]"));
  PrintRows(report, {kEnable, kWarning, kVibrate});
}

}  // namespace m84
