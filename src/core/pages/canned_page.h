#pragma once
// The Hand Program / Canned MSG page without its controls: whether the pager may be programmed
// from its own keys and with which password, and the twenty canned message texts.

#include <QString>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page.
constexpr int kCannedOptionsOffset = 0x8A;
constexpr uint8_t kHandProgrammingBit = 0x80;
constexpr uint8_t kRequirePasswordBit = 0x40;
constexpr uint8_t kCannedEnableBit = 0x02;
constexpr int kHandPasswordOffset = 0x5C;
constexpr int kHandPasswordLength = 4;
constexpr int kCannedCount = 20;
constexpr int kCannedOffset = 0x1FC;
constexpr int kCannedStride = 32;  // each text is followed by two bytes the page never writes
constexpr int kCannedLength = 30;
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
