#pragma once
// The Hand Program / Canned MSG page without its controls: whether the pager may be programmed
// from its own keys and with which password, and the twenty canned message texts.

#include <QString>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kCannedOptionsOffset = image_map::kMessageOptionsByte;
constexpr int kHandPasswordOffset = image_map::kHandPassword.offset;
constexpr int kHandPasswordLength = image_map::kHandPassword.length;
constexpr int kCannedCount = image_map::kCannedTexts.count;
constexpr int kCannedOffset = image_map::kCannedTexts.offset;
constexpr int kCannedStride = image_map::kCannedTexts.stride;
constexpr int kCannedLength = image_map::kCannedTexts.length;
constexpr int kCannedRows = 10;         // the report prints them in two columns of ten
constexpr int kCannedRightColumn = 60;  // in character widths

// Page variables.
namespace canned_key {
inline const QString kHandProgramming = QStringLiteral("handProgramming");
inline const QString kRequirePassword = QStringLiteral("requirePassword");
inline const QString kPassword = QStringLiteral("handPassword");
inline const QString kCannedEnable = QStringLiteral("cannedEnable");
inline QString Canned(int n) { return Key("canned", n); }  // n = 1 to 20, as the labels
}  // namespace canned_key

// Fixed texts of the page.
extern const QString kCannedTextHint;
extern const QString kHandPasswordHint;

// Enabling rules of the page: the password needs both switches of its frame.
inline bool RequirePasswordEnabled(const PageValues& v) { return v.Flag(canned_key::kHandProgramming); }
inline bool HandPasswordEnabled(const PageValues& v) {
  return v.Flag(canned_key::kHandProgramming) && v.Flag(canned_key::kRequirePassword);
}
inline bool CannedTextsEnabled(const PageValues& v) { return v.Flag(canned_key::kCannedEnable); }

class CannedPageModel : public PageModel {
 public:
  CannedPageModel() : PageModel(PageId::Canned) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
