#pragma once
// The Duplicate Message page without its controls: how the pager treats a message it receives a
// second time within the detect time, and how it marks a repeated message.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kDuplicateOptionsOffset = image_map::kDuplicateOptionsByte;
constexpr uint8_t kDuplicateRejectionBit = image_map::kDuplicateRejection.mask;
constexpr uint8_t kRepeatIconBit = image_map::kRepeatIcon.mask;
constexpr uint8_t kRepeatNormalToneBit = image_map::kRepeatNormalTone.mask;
constexpr uint8_t kSourceIndependentBit = image_map::kSourceIndependent.mask;
constexpr uint8_t kAutoDeletionBit = image_map::kAutoDeletion.mask;
constexpr int kDetectTimeOffset = image_map::kDuplicateDetectTime.offset;  // minutes

// Page variables.
namespace duplicate_key {
inline const QString kRejection = QStringLiteral("duplicateRejection");
inline const QString kDetectTime = QStringLiteral("detectTime");
inline const QString kSourceIndependent = QStringLiteral("sourceIndependent");
inline const QString kAutoDeletion = QStringLiteral("autoDeletion");
inline const QString kRepeatIcon = QStringLiteral("repeatIcon");
inline const QString kRepeatTone = QStringLiteral("repeatTone");
}  // namespace duplicate_key

// The detect time and the two rejection options matter only while rejection is on.
bool RejectionOptionsEnabled(bool rejection);

class DuplicatePageModel : public PageModel {
 public:
  DuplicatePageModel() : PageModel(PageId::Duplicate) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
