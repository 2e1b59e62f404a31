#include "core/pages/duplicate_page.h"

#include <array>

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

namespace {

using namespace duplicate_key;

// Minutes of each detect time entry. A byte between two entries loads as the shorter of them;
// 0, and anything from the longest up, as the longest.
constexpr std::array<uint8_t, 4> kDetectMinutes = {1, 2, 4, 6};
constexpr int kLongestDetectTime = int(kDetectMinutes.size()) - 1;

FieldBinding DetectTimeField(const QString& key) {
  return {key,
          [](const PagerData& d) {
            const uint8_t minutes = d.image[kDetectTimeOffset];
            for (size_t i = 0; i < size_t(kLongestDetectTime); ++i)
              if (minutes >= kDetectMinutes[i] && minutes < kDetectMinutes[i + 1]) return QVariant(int(i));
            return QVariant(kLongestDetectTime);
          },
          [](QVariant& v, PagerData& d) {
            const int index = v.toInt();
            d.image[kDetectTimeOffset] =
                kDetectMinutes[size_t(index >= 0 && index < kLongestDetectTime ? index : kLongestDetectTime)];
          }};
}

}  // namespace

bool RejectionOptionsEnabled(bool rejection) { return rejection; }

BindingTable DuplicatePageModel::Bindings() const {
  const Condition whileRejecting = [](const PageValues& v) { return RejectionOptionsEnabled(v.Flag(kRejection)); };
  return {
      field::Flag(kRejection, image_map::kDuplicateRejection)
          .Labelled(QStringLiteral("Duplicate MSG rejection Enable"))
          .Captioned(QStringLiteral("Enable"))
          .Reported(QStringLiteral("Duplicate message rejection: %1"), Wording::EnableDisable),
      DetectTimeField(kDetectTime)
          .Labelled(QStringLiteral("Detect Time"))
          .Entries({QStringLiteral("1 minute"), QStringLiteral("2 minutes"), QStringLiteral("4 minutes"),
                    QStringLiteral("6 minutes")})
          .EnabledWhen(whileRejecting)
          .Reported(QStringLiteral("Duplicate message detect time: %1"), Wording::Entry),
      field::Flag(kSourceIndependent, image_map::kSourceIndependent)
          .Labelled(QStringLiteral("Enable source independent duplicated MSG rejection"))
          .EnabledWhen(whileRejecting)
          .Reported(QStringLiteral("Enable source independent duplicated message rejection: %1"), Wording::YesNo),
      field::Flag(kAutoDeletion, image_map::kAutoDeletion)
          .Labelled(QStringLiteral("Enable auto MSG deletion when receiving the duplicated MSG"))
          .Captioned(QStringLiteral("Enable auto MSG deletion when receiving the duplicated MSG "))
          .EnabledWhen(whileRejecting)
          .Reported(QStringLiteral("Enable auto deletion when receiving duplicated message: %1"), Wording::YesNo),
      field::Flag(kRepeatIcon, image_map::kRepeatIcon)
          .Labelled(QStringLiteral("Display Repeat Message Icon"))
          .Reported(QStringLiteral("Display repeat message icon: %1"), Wording::YesNo),
      field::EntryBit(kRepeatTone, image_map::kRepeatNormalTone, true)
          .Labelled(QStringLiteral("Repeat message tone pattern"))
          .Entries({QStringLiteral("Normal tone"), QStringLiteral("Short beep")})
          .Reported(QStringLiteral("Repeat message tone pattern: %1"), Wording::Entry),
  };
}

void DuplicatePageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Duplicate Message]"));
  PrintRows(report);
}

}  // namespace m84
