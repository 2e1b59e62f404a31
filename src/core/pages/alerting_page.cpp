#include "core/pages/alerting_page.h"

#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace alerting_key;

constexpr uint8_t kFirstBeepCode = 1;
constexpr uint8_t kFirstVibrateCode = 6;
constexpr uint8_t kWholeByte = 0xFF;

const QStringList kToneRowLabels = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};

// " Cap-1 " to " Cap-8": the last heading has no blank behind it.
QStringList CapcodeColumnHeadings() {
  QStringList headings;
  for (int capcode = 1; capcode < kGridCapcodeCount; ++capcode) headings << QStringLiteral(" Cap-%1 ").arg(capcode);
  headings << QStringLiteral(" Cap-%1").arg(kGridCapcodeCount);
  return headings;
}

std::vector<uint8_t> CodesFrom(uint8_t first, qsizetype count) {
  std::vector<uint8_t> codes;
  for (qsizetype i = 0; i < count; ++i) codes.push_back(static_cast<uint8_t>(first + i));
  return codes;
}

const QStringList kBeepCodeEntries = {
    QStringLiteral("  S1A"), QStringLiteral("  S1B"), QStringLiteral("  S1C"), QStringLiteral("  S1D"),
    QStringLiteral("  S2A"), QStringLiteral("  S2B"), QStringLiteral("  S2C"), QStringLiteral("  S2D"),
    QStringLiteral("  MA "), QStringLiteral("  MB "), QStringLiteral("  MC "), QStringLiteral("  MD "),
    QStringLiteral("   J "), QStringLiteral("   K "), QStringLiteral("   L "), QStringLiteral("   M "),
};
const QStringList kVibrateCodeEntries = {QStringLiteral("   E "), QStringLiteral("   F "), QStringLiteral("   G "),
                                         QStringLiteral("   H "), QStringLiteral("   I ")};

const QString kBeepCodeHeading = QStringLiteral("Beep code     1      2      3      4      5      6      7      8");
// The vibrate heading puts its own name in place of "Beep code" and three blanks, so the capcode
// numbers stand where they stand in the beep heading.
constexpr int kHeadingNameWidth = 12;
const QString kVibrateCodeHeading = QStringLiteral("Vibrate code") + kBeepCodeHeading.mid(kHeadingNameWidth);

void PrintGrid(ReportCursor& report, const PageValues& values, const ListGrid& grid, const QString& heading) {
  report.PrintLine(heading);
  for (int tone = 0; tone < kGridToneCount; ++tone) {
    QStringList cells;
    for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) cells << GridCellText(values, grid, capcode, tone);
    report.PrintLine(QStringLiteral("  Tone-%1  :%2 ").arg(grid.rowLabels[tone], cells.join(QStringLiteral("  "))));
  }
}

}  // namespace

const QStringList kUserSelectEntries = {QStringLiteral("System Select"), QStringLiteral("User Select")};
// Any selection but "User Select" sets the bit.
const std::vector<uint8_t> kUserSelectBits = {kSystemSelectBit, 0x00};
const QStringList kAlertModeEntries = {
    QStringLiteral("B / V / VB / M"), QStringLiteral("B / V / M"), QStringLiteral("B / M"),  QStringLiteral("V / M"),
    QStringLiteral("VB / M"),         QStringLiteral("B only"),    QStringLiteral("V only"), QStringLiteral("VB only"),
};
const std::vector<uint8_t> kAlertModeValues = {0x2F, 0x27, 0x23, 0x45, 0x69, 0x22, 0x44, 0x68};
const QStringList kAlertVolumeEntries = {QStringLiteral("Low alert"), QStringLiteral("Middle alert"),
                                         QStringLiteral("High alert"), QStringLiteral("Escalate alert")};
const std::vector<uint8_t> kAlertVolumeBits = {0, 1, 2, 3};

const ListGrid kBeepCodeGrid = {"beep",
                                QStringLiteral(" Beep code"),
                                CapcodeColumnHeadings(),
                                kToneRowLabels,
                                kBeepCodeEntries,
                                CodesFrom(kFirstBeepCode, kBeepCodeEntries.size()),
                                kWholeByte,
                                kBeepCodeOffset};
const ListGrid kVibrateCodeGrid = {"vibrate",
                                   QStringLiteral("Vibrate code"),
                                   CapcodeColumnHeadings(),
                                   kToneRowLabels,
                                   kVibrateCodeEntries,
                                   CodesFrom(kFirstVibrateCode, kVibrateCodeEntries.size()),
                                   kWholeByte,
                                   kVibrateCodeOffset};

const QString kAlertOptionsFrame = QStringLiteral(" Alerting Options ");
const QString kUserSelectLabel = QStringLiteral("Allow user select tone");
const QString kAlertModesLabel = QStringLiteral("Visible Alert modes");
const QString kAlertVolumeLabel = QStringLiteral("Set the Alert Volume");

BindingTable AlertingPageModel::Bindings() const {
  BindingTable table;
  table.push_back(field::List(kUserSelect, kAlertOptionsOffset, kSystemSelectBit, kUserSelectBits)
                      .Labelled(kUserSelectLabel)
                      .Entries(kUserSelectEntries)
                      .Reported(QStringLiteral("Allow user to select tone: %1"), Wording::Entry));
  table.push_back(
      field::KeyedList(kAlertModes, kAlertOptionsOffset, kAlertModeMask, kAlertModeKeyMask, kAlertModeValues)
          .Labelled(kAlertModesLabel)
          .Entries(kAlertModeEntries)
          .Reported(QStringLiteral("Visible alert modes: %1"), Wording::Entry));
  table.push_back(field::List(kAlertVolume, kAlertVolumeOffset, kAlertVolumeMask, kAlertVolumeBits)
                      .Labelled(kAlertVolumeLabel)
                      .Entries(kAlertVolumeEntries)
                      .Reported(QStringLiteral("Alert volume: %1"), Wording::Entry));
  AppendGridBindings(table, kBeepCodeGrid);
  AppendGridBindings(table, kVibrateCodeGrid);
  return table;
}

void AlertingPageModel::PrintSection(ReportCursor& report) const {
  const PageValues& values = Values();
  report.PrintLine(QStringLiteral("[Alerting]"));
  PrintRows(report);
  PrintGrid(report, values, kBeepCodeGrid, kBeepCodeHeading);
  PrintGrid(report, values, kVibrateCodeGrid, kVibrateCodeHeading);
}

}  // namespace m84
