#pragma once
// The Basic page without its controls: the page shown in basic mode. The eight capcodes with
// their Enable flags and Auto Increment steps (the General page's fields), the start-up text and
// the two standby texts with the display options that govern them (the Display page's fields),
// and the advance-setting password that leads to advanced mode.

#include <QString>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// The Display page's fields the page edits (image/memory_map.h). The texts sit in 16-byte slots
// of which only 15 bytes are written.
constexpr int kStartupTextOffset = image_map::kStartupText.offset;
constexpr int kStandbyText1Offset = image_map::kStandbyText1.offset;
constexpr int kStandbyText2Offset = image_map::kStandbyText2.offset;
constexpr int kBasicTextLength = image_map::kStartupText.length;
constexpr int kDisplayOptionsOffset = image_map::kDisplayOptionsByte;
constexpr uint8_t kShowDateBit = image_map::kShowDate.mask;
constexpr uint8_t kShowTimeBit = image_map::kShowTime.mask;
constexpr int kAlternativeScreenOffset = image_map::kAlternativeScreen.offset;
constexpr uint8_t kAlternativeScreenBit = image_map::kAlternativeScreen.mask;

constexpr int kAdvancePasswordLength = 10;

// Page variables besides the capcode rows (pages/capcode.h).
namespace basic_key {
inline const QString kStartupText = QStringLiteral("startupText");
inline const QString kStandbyText1 = QStringLiteral("standbyText1");
inline const QString kStandbyText2 = QStringLiteral("standbyText2");
inline const QString kShowDate = QStringLiteral("showDate");
inline const QString kShowTime = QStringLiteral("showTime");
inline const QString kAlternativeScreen = QStringLiteral("alternativeScreen");
inline const QString kPassword = QStringLiteral("password");
}  // namespace basic_key

// Fixed texts of the page.
extern const QString kBasicTextHint;
extern const QString kPasswordErrorMessage;

// The standby-text enabling rule: the first line gives way to the date unless the alternative
// screen shows as well; the second line exists only on the alternative screen.
bool StandbyText1Enabled(bool showDate, bool alternativeScreen);
bool StandbyText2Enabled(bool alternativeScreen);
// The same, as conditions on the page variables of any page that shows the standby texts.
bool ShowsStandbyText1(const PageValues& values);
bool ShowsStandbyText2(const PageValues& values);

// The page's three display switches, which no tab page stores: the Basic page's rows, and the
// Display page's copies for its enabling rules and report.
BindingTable BasicPageSwitches();
// The start-up and standby texts as the Display page declares them (pages/display_page.cpp); the
// Basic page shows them under its own labels.
BindingTable DisplayTexts();

// The advance-setting password, compared character for character (letter case matters).
bool IsAdvancePassword(const QString& text);

class BasicPageModel : public PageModel {
 public:
  BasicPageModel() : PageModel(PageId::Basic) {}

  void PrintSection(ReportCursor& report) const override;

  // The password variable holds the advance-setting password.
  bool PasswordAccepted() const;

 protected:
  BindingTable Bindings() const override;
  void LoadRules(const PagerData& data) override;
  void StoreRules(PagerData& data) override;
};

}  // namespace m84
