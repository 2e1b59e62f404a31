#pragma once
// The Display page without its controls: the start-up and standby texts (the fields the Basic page
// edits in basic mode), the message display options, the battery alarms with the three
// battery-mark voltages, how many messages the pager keeps and how it numbers them, and the
// LCD's display time and contrast.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "core/pages/basic_page.h"
#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page besides the three texts and the display bits of the Basic page, by
// their names in the memory map (image/memory_map.h).
constexpr uint8_t kPreviewModeBit = image_map::kPreviewMode.mask;
constexpr uint8_t kLargeTextBit = image_map::kLargeText.mask;  // clear for the small default text size
constexpr uint8_t kDayFirstDateBit = image_map::kDayFirstDate.mask;
constexpr int kMessageDisplayOffset = image_map::kMessageDisplayByte;
constexpr uint8_t kTimeStampBit = image_map::kTimeStamp.mask;
constexpr uint8_t kAddressFunctionBit = image_map::kAddressFunction.mask;
constexpr uint8_t kMessageNumberBit = image_map::kMessageNumber.mask;
constexpr uint8_t kNumberOfTotalBit = image_map::kNumberOfTotal.mask;
constexpr uint8_t kDecrementBit = image_map::kDecrement.mask;
constexpr uint8_t kMaxMessagesAlertBit = image_map::kMaxMessagesAlert.mask;
constexpr int kStoredMessagesOffset = image_map::kStoredMessages.offset;
constexpr int kBatteryOptionsOffset = image_map::kBatteryOptionsByte;
constexpr uint8_t kLowBatteryAlarmBit = image_map::kLowBatteryAlarm.mask;
constexpr uint8_t kLowBatteryDisplayBit = image_map::kLowBatteryDisplay.mask;
constexpr uint8_t kLowBatteryVibrateBit = image_map::kLowBatteryVibrate.mask;
constexpr int kDisplayTimeOffset = image_map::kDisplayTime.offset;          // seconds
constexpr int kDisplayHalfTimeOffset = image_map::kDisplayHalfTime.offset;  // half the seconds: written, never read
constexpr int kContrastOffset = image_map::kContrast.offset;
constexpr int kContrastBase = 24;  // the first level's byte

enum class BatteryMark { High, Middle, Low };
constexpr std::array<BatteryMark, 3> kBatteryMarks = {BatteryMark::High, BatteryMark::Middle, BatteryMark::Low};
// The mark's converter code, 16 bits, low byte first.
int BatteryMarkOffset(BatteryMark mark);

// Page variables; the three texts and the three display flags use the Basic page's keys.
namespace display_key {
inline const QString kPreviewMode = QStringLiteral("previewMode");
inline const QString kSmallText = QStringLiteral("smallText");
inline const QString kTimeStamp = QStringLiteral("timeStamp");
inline const QString kMessageNumber = QStringLiteral("messageNumber");
inline const QString kAddressFunction = QStringLiteral("addressFunction");
inline const QString kMaxMessagesAlert = QStringLiteral("maxMessagesAlert");
inline const QString kDateFormat = QStringLiteral("dateFormat");
inline const QString kLowBatteryAlarm = QStringLiteral("lowBatteryAlarm");
inline const QString kLowBatteryDisplay = QStringLiteral("lowBatteryDisplay");
inline const QString kLowBatteryVibrate = QStringLiteral("lowBatteryVibrate");
inline const QString kStoredMessages = QStringLiteral("storedMessages");
inline const QString kNumberMode = QStringLiteral("numberMode");
inline const QString kNumberOrder = QStringLiteral("numberOrder");
inline const QString kDisplayTime = QStringLiteral("displayTime");
inline const QString kContrast = QStringLiteral("contrast");
QString Voltage(BatteryMark mark);
// The text the voltage edit held when it last gained the focus.
QString VoltageRestore(BatteryMark mark);
}  // namespace display_key

// List entries, in the order the lists show them.
extern const QStringList kDateFormatEntries;
extern const QStringList kStoredMessagesEntries;
extern const QStringList kNumberModeEntries;
extern const QStringList kNumberOrderEntries;
extern const QStringList kDisplayTimeEntries;
extern const QStringList kContrastEntries;

extern const QString kVoltageHint;

// The message number lists matter only while message numbers are shown.
bool MessageNumberListsEnabled(bool messageNumberDisplay);

class DisplayPageModel : public PageModel {
 public:
  DisplayPageModel() : PageModel(PageId::Display) {}

  void PrintSection(ReportCursor& report) const override;

  // The voltage edit gained the focus: its text becomes the one to go back to.
  void RememberVoltage(BatteryMark mark);
  // The voltage edit lost the focus. True when its text is a voltage the pager accepts (the caller
  // then stores the page); otherwise the variable goes back to the remembered text.
  bool CheckVoltageOnLeaving(BatteryMark mark);
  // A rejected voltage: the variable goes back to the remembered text.
  void RestoreVoltage(BatteryMark mark);

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
