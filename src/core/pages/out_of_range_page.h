#pragma once
// The Out of Range / Display Cap page without its controls: the out-of-range supervision (on or
// off, warning message and vibration, when the range icon shows, the detect time) and the short
// display texts of the eight capcodes and the four beep codes A to D.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kOutOfRangeOffset = image_map::kRangeOptionsByte;
constexpr int kRangeDetectTimeOffset = image_map::kRangeDetectTime.offset;
constexpr int kDisplayTextOptionsOffset = image_map::kMessageOptionsByte;

constexpr int kCapcodeNameCount = image_map::kCapcodeNames.count;
constexpr int kBeepCodeNameCount = image_map::kBeepCodeNames.count;  // A to D
constexpr int kCapcodeNameOffset = image_map::kCapcodeNames.offset;
constexpr int kCodeNameLength = image_map::kCapcodeNames.length;

// Page variables. Capcode names are numbered 1 to 8, beep code names 0 to 3 for A to D.
namespace out_of_range_key {
inline const QString kEnable = QStringLiteral("outOfRangeEnable");
inline const QString kWarning = QStringLiteral("outOfRangeWarning");
inline const QString kVibrate = QStringLiteral("outOfRangeVibrate");
inline const QString kShowIcon = QStringLiteral("showIconWhen");
inline const QString kDetectTime = QStringLiteral("detectTime");
inline const QString kDisplayText = QStringLiteral("displayTextEnable");
inline QString CapcodeName(int capcode) { return Key("capcodeName", capcode); }
inline QString BeepCodeName(int beep) { return Key("beepCodeName", beep); }
}  // namespace out_of_range_key

inline QChar BeepCodeLetter(int beep) { return QChar('A' + beep); }

// List entries, in the order the lists show them.
extern const QStringList kShowIconEntries;
extern const QStringList kRangeDetectTimeEntries;

extern const QString kCodeNameHint;

// The detect-time entry that byte 0x70 shows, and the byte an entry stores.
int RangeDetectTimeEntry(uint8_t minutes);
uint8_t RangeDetectTimeMinutes(int entry);

// The two enabling rules on the page's variables.
bool OutOfRangeOptionsEnabled(const PageValues& values);
bool CodeNamesEnabled(const PageValues& values);

class OutOfRangePageModel : public PageModel {
 public:
  OutOfRangePageModel() : PageModel(PageId::OutOfRange) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
