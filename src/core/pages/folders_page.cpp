#include "core/pages/folders_page.h"

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace folder_key;

constexpr uint8_t kAlertNormalBits = 0x40;
constexpr uint8_t kAlertShortBeepBits = 0x60;
constexpr uint8_t kAlertNoBeepBits = 0x00;

// The left frame holds folders 1 to 6, the right frame 7 to 12.
constexpr int kFoldersPerColumn = kFolderCount / 2;
constexpr int kRightColumn = 60;

const QString kReportHeader = QStringLiteral("Number Enable     Name              Alert");
const QString kFolderGroup = QStringLiteral("folders");

// Bits 01 are no entry of the list and show as "No Beep"; a list without a selection stores as
// "Normal".
FieldBinding AlertBinding(int folder) {
  const int offset = FolderFlagsOffset(folder);
  return {Alert(folder),
          [=](const PagerData& d) {
            switch (d.image[offset] & kFolderAlertMask) {
              case kAlertNormalBits: return QVariant(int(kAlertNormal));
              case kAlertShortBeepBits: return QVariant(int(kAlertShortBeep));
              default: return QVariant(int(kAlertNoBeep));
            }
          },
          [=](QVariant& v, PagerData& d) {
            uint8_t bits = kAlertNormalBits;
            if (v.toInt() == kAlertShortBeep) bits = kAlertShortBeepBits;
            if (v.toInt() == kAlertNoBeep) bits = kAlertNoBeepBits;
            d.image[offset] = static_cast<uint8_t>((d.image[offset] & ~kFolderAlertMask) | bits);
          }};
}

// A folder's grid row in one line, on its first row (the switch), so the lines come in folder order.
std::function<QStringList(const PageValues&)> FolderLine(int folder) {
  return [folder](const PageValues& values) {
    // A name may hold any character; arg() takes it as it is, where %s would want 8-bit text.
    return QStringList{QStringLiteral("%1    %2   [%3]    %4")
                           .arg(QString::number(folder).rightJustified(3), EnableText(values.Flag(Enable(folder))),
                                values.Text(Name(folder)).leftJustified(kFolderNameLength),
                                EntryText(kFolderAlertEntries, values.Number(Alert(folder))))};
  };
}

}  // namespace

const QStringList kFolderAlertEntries = {QStringLiteral("Normal"), QStringLiteral("Short Beep"),
                                         QStringLiteral("No Beep")};
const QString kFolderNameHint = QStringLiteral("Enter up to 12 alphanumeric characters");
const QString kFolderFrameHeader = QStringLiteral("Enable          Name                     Alert");

bool CapcodeIsPublic(const PagerImage& image, int row) {
  const uint8_t flags = image[CapcodeFieldOffset(row)];
  return GetFlagBitInverted(flags, kCapcodeEnableBit) && GetFlagBit(flags, kCapcodePrivateBit);
}

bool FolderSwitchEnabled(const PageValues& values, int folder) { return values.Flag(Available(folder)); }

bool FolderFieldsEnabled(const PageValues& values, int folder) {
  return values.Flag(Available(folder)) && values.Flag(Enable(folder));
}

BindingTable FoldersPageModel::Bindings() const {
  BindingTable table;
  const auto inRow = [](FieldBinding binding, int folder, const char* label) {
    const QString name = QString::fromLatin1(label);
    return binding.Labelled(name).InRow(kFolderGroup, folder - 1, QStringLiteral("Folder %1").arg(folder),
                                        SnakeCase(name));
  };
  // Availability was taken from the image at the last load; a click re-applies the row's rule.
  const auto switchEnabled = [](int folder) {
    return [folder](const PageValues& values) { return FolderSwitchEnabled(values, folder); };
  };
  const auto fieldsEnabled = [](int folder) {
    return [folder](const PageValues& values) { return FolderFieldsEnabled(values, folder); };
  };
  for (int folder = 1; folder <= kFolderCount; ++folder)
    table.push_back(
        inRow(field::InvertedFlag(Enable(folder), FolderFlagsOffset(folder), image_map::kFolderDisabled.mask), folder,
              "Enable")
            .Captioned(QString::number(folder))
            .EnabledWhen(switchEnabled(folder))
            .ReportedBy(FolderLine(folder)));
  for (int folder = 1; folder <= kFolderCount; ++folder)
    table.push_back(inRow(field::FixedText(Name(folder), image_map::kFolderNames, folder - 1), folder, "Name")
                        .Hinted(kFolderNameHint)
                        .EnabledWhen(fieldsEnabled(folder)));
  for (int folder = 1; folder <= kFolderCount; ++folder)
    table.push_back(
        inRow(AlertBinding(folder).Entries(kFolderAlertEntries), folder, "Alert").EnabledWhen(fieldsEnabled(folder)));
  return table;
}

// Availability follows the capcode flags the General page left in the image, so a change there
// shows here at the next load.
void FoldersPageModel::LoadRules(const PagerData& data) {
  for (int folder = 1; folder <= kFolderCount; ++folder)
    Values().Set(Available(folder), CapcodeIsPublic(data.image, FolderCapcodeRow(folder)));
}

// The folders' lines stand in two columns, each under its own header: no row can say that.
void FoldersPageModel::PrintSection(ReportCursor& report) const {
  const QStringList lines = GridLines(kFolderGroup);
  report.PrintLine(QStringLiteral("[Folder]"));
  const int headerAbove = report.LinePosition();
  report.PrintLine(kReportHeader);
  for (const QString& line : lines.mid(0, kFoldersPerColumn)) report.PrintLine(line);
  // The right column runs down beside the left one, from its own header on the left header's line.
  report.ReturnToLine(headerAbove);
  const auto printRight = [&](const QString& text) {
    report.y += report.lineHeight;
    report.DrawColumn(kRightColumn, text);
  };
  printRight(kReportHeader);
  for (const QString& line : lines.mid(kFoldersPerColumn)) printRight(line);
  PrintRowsOutside(report, {kFolderGroup});
}

}  // namespace m84
