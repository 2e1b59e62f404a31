#pragma once
// The Out of Range / Display Cap page without its controls: the out-of-range supervision (on or
// off, warning message and vibration, when the range icon shows, the detect time) and the short
// display texts of the eight capcodes and the four beep codes A to D.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

constexpr int kOutOfRangeOffset = 0x84;  // bits 0x0F belong to other pages
constexpr uint8_t kOutOfRangeEnableBit = 0x80;
constexpr uint8_t kShowIconInRangeBit = 0x40;
constexpr uint8_t kOutOfRangeWarningBit = 0x20;
constexpr uint8_t kOutOfRangeVibrateBit = 0x10;
constexpr int kRangeDetectTimeOffset = 0x70;  // minutes, the whole byte
constexpr int kDisplayTextOptionsOffset = 0x8A;
constexpr uint8_t kDisplayTextEnableBit = 0x08;

constexpr int kCapcodeNameCount = 8;
constexpr int kBeepCodeNameCount = 4;  // A to D
constexpr int kCapcodeNameOffset = 0x174;
constexpr int kBeepCodeNameOffset = 0x1AC;
constexpr int kCodeNameStride = 7;
constexpr int kCodeNameLength = 6;

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
