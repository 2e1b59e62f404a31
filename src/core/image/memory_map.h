#pragma once
// Where the settings live in the image: every field by name, with its bytes, its bits and the
// page that owns them. A page's rows name their fields from here, so that who owns which bits
// is said once and a field laid over another page's bits is caught (MapOverlaps). A byte whose
// bits are split between pages is declared once and its fields take their bits of it.
//
// Mapped so far: the Basic and Display pages, Alerting, Name / Misc, Reminders, Duplicate,
// Folders, Out of Range, Canned and Tones. The General, Over The Air and Cadence pages still keep
// their offsets in their own headers.

#include <cstdint>
#include <vector>

namespace m84 {

struct ImageField {
  const char* name;
  const char* owner;    // the page that stores it
  int offset;           // the first byte
  int length = 1;       // bytes
  uint8_t mask = 0xFF;  // the field's bits of each of its bytes
  // A run of alike fields (the canned texts): count of them, each stride bytes after the last.
  int count = 1;
  int stride = 0;

  // The first byte of the run's field i.
  constexpr int At(int i) const { return offset + stride * i; }
};

namespace image_map {

// Bytes whose bits several pages share.
constexpr int kDisplayOptionsByte = 0x7C;
constexpr int kMenuOptionsByte = 0x7D;
constexpr int kMessageDisplayByte = 0x7F;
constexpr int kDuplicateOptionsByte = 0x81;
constexpr int kReminderOptionsByte = 0x83;
constexpr int kRangeOptionsByte = 0x84;
constexpr int kBatteryOptionsByte = 0x85;
constexpr int kBackLightByte = 0x87;
constexpr int kMessageOptionsByte = 0x8A;
// One byte per capcode 1 to 8 and tone A to D: the Tones page's lists take bits 0x1F, and the
// folders of capcodes 4 to 6 bits 0xE0 of the twelve bytes from 0x2E.
constexpr int kToneOptionsBytes = 0x22;

// Display; the Basic page edits the texts in basic mode and alone stores its three switches.
constexpr ImageField kStartupText{"startupText", "Display", 0x518, 15};
constexpr ImageField kStandbyText1{"standbyText1", "Display", 0x528, 15};
constexpr ImageField kStandbyText2{"standbyText2", "Display", 0x538, 15};
constexpr ImageField kShowDate{"showDate", "Basic", kDisplayOptionsByte, 1, 0x80};
constexpr ImageField kShowTime{"showTime", "Basic", kDisplayOptionsByte, 1, 0x02};
constexpr ImageField kPreviewMode{"previewMode", "Display", kDisplayOptionsByte, 1, 0x04};
constexpr ImageField kLargeText{"largeText", "Display", kDisplayOptionsByte, 1, 0x10};
constexpr ImageField kDayFirstDate{"dayFirstDate", "Display", kDisplayOptionsByte, 1, 0x40};
constexpr ImageField kAlternativeScreen{"alternativeScreen", "Basic", kMenuOptionsByte, 1, 0x01};
constexpr ImageField kTimeStamp{"timeStamp", "Display", kMessageDisplayByte, 1, 0x80};
constexpr ImageField kAddressFunction{"addressFunction", "Display", kMessageDisplayByte, 1, 0x40};
constexpr ImageField kMessageNumber{"messageNumber", "Display", kMessageDisplayByte, 1, 0x10};
constexpr ImageField kNumberOfTotal{"numberOfTotal", "Display", kMessageDisplayByte, 1, 0x08};
constexpr ImageField kDecrement{"decrement", "Display", kMessageDisplayByte, 1, 0x04};
constexpr ImageField kMaxMessagesAlert{"maxMessagesAlert", "Display", kMessageDisplayByte, 1, 0x01};
constexpr ImageField kStoredMessages{"storedMessages", "Display", 0x80};
constexpr ImageField kLowBatteryAlarm{"lowBatteryAlarm", "Display", kBatteryOptionsByte, 1, 0x80};
constexpr ImageField kLowBatteryDisplay{"lowBatteryDisplay", "Display", kBatteryOptionsByte, 1, 0x40};
constexpr ImageField kLowBatteryVibrate{"lowBatteryVibrate", "Display", kBatteryOptionsByte, 1, 0x20};
constexpr ImageField kDisplayTime{"displayTime", "Display", 0x86};          // seconds
constexpr ImageField kDisplayHalfTime{"displayHalfTime", "Display", 0x71};  // written, never read
constexpr ImageField kContrast{"contrast", "Display", 0x6A};
// High, Middle, Low: the converter's code, 16 bits, low byte first.
constexpr ImageField kBatteryMarks{"batteryMarks", "Display", 0x56, 2, 0xFF, 3, 2};

// Alerting: the whole of its options byte is the page's.
constexpr ImageField kSystemSelect{"systemSelect", "Alerting", 0x7E, 1, 0x80};
constexpr ImageField kAlertModes{"alertModes", "Alerting", 0x7E, 1, 0x7F};
constexpr ImageField kAlertVolume{"alertVolume", "Alerting", 0x8B, 1, 0x03};
// A byte per capcode 1 to 8 and tone A to D.
constexpr ImageField kBeepCodes{"beepCodes", "Alerting", 0xEC, 32};
constexpr ImageField kVibrateCodes{"vibrateCodes", "Alerting", 0x10C, 32};

// Name / Misc.
constexpr ImageField kLanguage{"language", "Name / Misc", 0x7B};
constexpr ImageField kConfirmBeep{"confirmBeep", "Name / Misc", kDisplayOptionsByte, 1, 0x20};
constexpr ImageField kReadingPasswordEnabled{"readingPasswordEnabled", "Name / Misc", kDisplayOptionsByte, 1, 0x08};
// The user menu's switches, one bit each (pages/name_misc_page.h lists them).
constexpr ImageField kUserMenu{"userMenu", "Name / Misc", kMenuOptionsByte, 1, 0xFC};
constexpr ImageField kErrorDeduction{"errorDeduction", "Name / Misc", kMessageDisplayByte, 1, 0x02};
constexpr ImageField kErrorIcon{"errorIcon", "Name / Misc", kMessageDisplayByte, 1, 0x20};
constexpr ImageField kHoldTime{"holdTime", "Name / Misc", kBackLightByte, 1, 0x3F};
constexpr ImageField kControlOption{"controlOption", "Name / Misc", kBackLightByte, 1, 0xC0};
constexpr ImageField kDeleteProtected{"deleteProtected", "Name / Misc", kMessageOptionsByte, 1, 0x20};
constexpr ImageField kReplaceToneOnly{"replaceToneOnly", "Name / Misc", kMessageOptionsByte, 1, 0x04};
constexpr ImageField kReadingPassword{"readingPassword", "Name / Misc", 0x61, 4};
// Each text is followed by a byte the page never writes.
constexpr ImageField kToneTexts{"toneTexts", "Name / Misc", 0x1C8, 12, 0xFF, 4, 13};

// Reminders.
constexpr ImageField kReminderAlert{"reminderAlert", "Reminders", kReminderOptionsByte, 1, 0x01};
constexpr ImageField kUnreadIndication{"unreadIndication", "Reminders", kReminderOptionsByte, 1, 0x02};
constexpr ImageField kReminderInterval{"reminderInterval", "Reminders", 0x6C, 2};  // seconds, low byte first
constexpr ImageField kReminderDuration{"reminderDuration", "Reminders", 0x6E, 2};

// Duplicate.
constexpr ImageField kDuplicateRejection{"duplicateRejection", "Duplicate Message", kDuplicateOptionsByte, 1, 0x80};
constexpr ImageField kRepeatIcon{"repeatIcon", "Duplicate Message", kDuplicateOptionsByte, 1, 0x40};
constexpr ImageField kRepeatNormalTone{"repeatNormalTone", "Duplicate Message", kDuplicateOptionsByte, 1, 0x20};
constexpr ImageField kSourceIndependent{"sourceIndependent", "Duplicate Message", kDuplicateOptionsByte, 1, 0x10};
constexpr ImageField kAutoDeletion{"autoDeletion", "Duplicate Message", kDuplicateOptionsByte, 1, 0x08};
constexpr ImageField kDuplicateDetectTime{"duplicateDetectTime", "Duplicate Message", 0x82};  // minutes

// Folders 1 to 12 (the function codes of capcodes 4 to 6).
constexpr ImageField kFolderDisabled{"folderDisabled", "Folders", kToneOptionsBytes + 12, 1, 0x80, 12, 1};
constexpr ImageField kFolderAlert{"folderAlert", "Folders", kToneOptionsBytes + 12, 1, 0x60, 12, 1};
// Each name is followed by a byte the page never writes.
constexpr ImageField kFolderNames{"folderNames", "Folders", 0x47C, 12, 0xFF, 12, 13};

// Tones.
constexpr ImageField kTonePriorities{"tonePriorities", "Tones", kToneOptionsBytes, 32, 0x1C};
constexpr ImageField kToneDecoding{"toneDecoding", "Tones", kToneOptionsBytes, 32, 0x03};

// Out of Range (bits 0x0F of its options byte are not its own).
constexpr ImageField kOutOfRangeEnable{"outOfRangeEnable", "Out of Range", kRangeOptionsByte, 1, 0x80};
constexpr ImageField kShowIconInRange{"showIconInRange", "Out of Range", kRangeOptionsByte, 1, 0x40};
constexpr ImageField kOutOfRangeWarning{"outOfRangeWarning", "Out of Range", kRangeOptionsByte, 1, 0x20};
constexpr ImageField kOutOfRangeVibrate{"outOfRangeVibrate", "Out of Range", kRangeOptionsByte, 1, 0x10};
constexpr ImageField kRangeDetectTime{"rangeDetectTime", "Out of Range", 0x70};  // minutes
constexpr ImageField kDisplayTextEnable{"displayTextEnable", "Out of Range", kMessageOptionsByte, 1, 0x08};
constexpr ImageField kCapcodeNames{"capcodeNames", "Out of Range", 0x174, 6, 0xFF, 8, 7};
constexpr ImageField kBeepCodeNames{"beepCodeNames", "Out of Range", 0x1AC, 6, 0xFF, 4, 7};

// Canned.
constexpr ImageField kHandProgramming{"handProgramming", "Canned", kMessageOptionsByte, 1, 0x80};
constexpr ImageField kRequirePassword{"requirePassword", "Canned", kMessageOptionsByte, 1, 0x40};
constexpr ImageField kCannedEnable{"cannedEnable", "Canned", kMessageOptionsByte, 1, 0x02};
constexpr ImageField kHandPassword{"handPassword", "Canned", 0x5C, 4};
// Each text is followed by two bytes the page never writes.
constexpr ImageField kCannedTexts{"cannedTexts", "Canned", 0x1FC, 30, 0xFF, 20, 32};

}  // namespace image_map

// Every mapped field, in the order above.
const std::vector<ImageField>& MemoryMap();

// Two fields that hold the same bit of the same byte.
struct FieldOverlap {
  const ImageField* first;
  const ImageField* second;
  int byte;
  uint8_t bits;
};
// The overlaps among the given fields; none in the map.
std::vector<FieldOverlap> MapOverlaps(const std::vector<ImageField>& fields);

}  // namespace m84
