#include "core/image/memory_map.h"

#include <map>

namespace m84 {

const std::vector<ImageField>& MemoryMap() {
  using namespace image_map;
  static const std::vector<ImageField> kMap = {
      kStartupText,
      kStandbyText1,
      kStandbyText2,
      kShowDate,
      kShowTime,
      kPreviewMode,
      kLargeText,
      kDayFirstDate,
      kAlternativeScreen,
      kTimeStamp,
      kAddressFunction,
      kMessageNumber,
      kNumberOfTotal,
      kDecrement,
      kMaxMessagesAlert,
      kStoredMessages,
      kLowBatteryAlarm,
      kLowBatteryDisplay,
      kLowBatteryVibrate,
      kDisplayTime,
      kDisplayHalfTime,
      kContrast,
      kBatteryMarks,
      kLanguage,
      kConfirmBeep,
      kReadingPasswordEnabled,
      kUserMenu,
      kErrorDeduction,
      kErrorIcon,
      kHoldTime,
      kControlOption,
      kDeleteProtected,
      kReplaceToneOnly,
      kReadingPassword,
      kToneTexts,
      kReminderAlert,
      kUnreadIndication,
      kReminderInterval,
      kReminderDuration,
      kDuplicateRejection,
      kRepeatIcon,
      kRepeatNormalTone,
      kSourceIndependent,
      kAutoDeletion,
      kDuplicateDetectTime,
      kOutOfRangeEnable,
      kShowIconInRange,
      kOutOfRangeWarning,
      kOutOfRangeVibrate,
      kRangeDetectTime,
      kDisplayTextEnable,
      kCapcodeNames,
      kBeepCodeNames,
      kHandProgramming,
      kRequirePassword,
      kCannedEnable,
      kHandPassword,
      kCannedTexts,
      kSystemSelect,
      kAlertModes,
      kAlertVolume,
      kBeepCodes,
      kVibrateCodes,
      kFolderDisabled,
      kFolderAlert,
      kFolderNames,
      kTonePriorities,
      kToneDecoding,
  };
  return kMap;
}

std::vector<FieldOverlap> MapOverlaps(const std::vector<ImageField>& fields) {
  struct Holder {
    const ImageField* field;
    uint8_t bits;
  };
  std::map<int, std::vector<Holder>> holders;  // by byte
  std::vector<FieldOverlap> overlaps;
  for (const ImageField& field : fields)
    for (int i = 0; i < field.count; ++i)
      for (int byte = field.At(i); byte < field.At(i) + field.length; ++byte) {
        for (const Holder& other : holders[byte])
          if (const uint8_t shared = other.bits & field.mask; shared != 0)
            overlaps.push_back({other.field, &field, byte, shared});
        holders[byte].push_back({&field, field.mask});
      }
  return overlaps;
}

}  // namespace m84
