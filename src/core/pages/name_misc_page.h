#pragma once
// The Name / Misc page without its controls: the display language, the user-interface switches
// and user menu options, the four texts shown in place of a tone-only message, and the back
// light hold time and control option that share byte 0x87.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kLanguageOffset = image_map::kLanguage.offset;
constexpr uint8_t kLanguageLoadMask = 0x0F;
// The image holds the first eight languages only; "Danish", the ninth entry, has no byte value.
constexpr int kStorableLanguageCount = 8;
constexpr int kInterfaceOptionsOffset = image_map::kDisplayOptionsByte;
constexpr uint8_t kReadingPasswordBit = image_map::kReadingPasswordEnabled.mask;
constexpr int kUserMenuOffset = image_map::kUserMenu.offset;
constexpr int kErrorMessageOffset = image_map::kMessageDisplayByte;
constexpr int kBackLightOffset = image_map::kBackLightByte;
constexpr int kMessageOptionsOffset = image_map::kMessageOptionsByte;
constexpr uint8_t kReplaceToneOnlyBit = image_map::kReplaceToneOnly.mask;
constexpr int kReadingPasswordOffset = image_map::kReadingPassword.offset;
constexpr int kReadingPasswordLength = image_map::kReadingPassword.length;
constexpr int kToneTextCount = image_map::kToneTexts.count;
constexpr int kToneTextOffset = image_map::kToneTexts.offset;
constexpr int kToneTextStride = image_map::kToneTexts.stride;
constexpr int kToneTextLength = image_map::kToneTexts.length;

// Page variables.
namespace name_misc_key {
inline const QString kLanguage = QStringLiteral("language");  // list index, -1: no selection
inline const QString kConfirmBeep = QStringLiteral("confirmBeep");
inline const QString kReadingPasswordEnabled = QStringLiteral("readingPasswordEnabled");
inline const QString kReadingPassword = QStringLiteral("readingPassword");
inline const QString kDeleteProtected = QStringLiteral("deleteProtected");
inline const QString kErrorDeduction = QStringLiteral("errorDeduction");
inline const QString kErrorIcon = QStringLiteral("errorIcon");
inline const QString kReplaceToneOnly = QStringLiteral("replaceToneOnly");
inline const QString kHoldTime = QStringLiteral("holdTime");
inline const QString kControlOption = QStringLiteral("controlOption");
inline QString ToneText(int i) { return Key("toneText", i); }  // 0-3: Tone A to Tone D
}  // namespace name_misc_key

// The six user menu options of byte 0x7D, in the order of the page.
struct UserMenuOption {
  const char* key;
  const char* label;
  const char* reportLine;  // empty: not in the report
  uint8_t bit;
};
extern const std::array<UserMenuOption, 6> kUserMenuOptions;

// List entries, in the order the lists show them.
extern const QStringList kLanguageEntries;
extern const QStringList kHoldTimeEntries;
extern const QStringList kControlOptionEntries;

// Fixed texts of the page.
extern const QString kToneTextHint;
extern const QString kDanishRefusedMessage;

// The language list entry for byte 0x7B; -1 when its low four bits name no storable language.
int LanguageIndexOf(uint8_t byte);
bool IsStorableLanguage(int index);
// A chosen language that the image cannot hold ("Danish") is refused rather than lost at the
// next store: the selection goes back to the image's language. True when it was refused.
bool RefuseUnstorableLanguage(PageValues& values, const PagerImage& image);
// The same for a list entry, as the settings text names it.
bool IsStorableLanguageEntry(const QString& entry);

// Byte 0x87: the hold time in its low six bits, the control option in its top two.
int HoldTimeIndexOf(uint8_t byte);
int ControlOptionIndexOf(uint8_t byte);
// Built from nothing: no earlier bit of the byte survives a store.
uint8_t BackLightByte(int holdTimeIndex, int controlOptionIndex);

class NameMiscPageModel : public PageModel {
 public:
  NameMiscPageModel() : PageModel(PageId::NameMisc) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
  void LoadRules(const PagerData& data) override;  // byte 0x87
  void StoreRules(PagerData& data) override;
};

// Enabling rules of the page.
inline bool ReadingPasswordEditEnabled(const PageValues& v) { return v.Flag(name_misc_key::kReadingPasswordEnabled); }
inline bool ToneTextsEnabled(const PageValues& v) { return v.Flag(name_misc_key::kReplaceToneOnly); }

}  // namespace m84
