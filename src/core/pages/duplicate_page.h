#pragma once
// The Duplicate Message page without its controls: how the pager treats a message it receives a
// second time within the detect time, and how it marks a repeated message.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page; bits 0x07 of 0x81 belong to another page.
constexpr int kDuplicateOptionsOffset = 0x81;
constexpr uint8_t kDuplicateRejectionBit = 0x80;
constexpr uint8_t kRepeatIconBit = 0x40;
constexpr uint8_t kRepeatNormalToneBit = 0x20;
constexpr uint8_t kSourceIndependentBit = 0x10;
constexpr uint8_t kAutoDeletionBit = 0x08;
constexpr int kDetectTimeOffset = 0x82;  // minutes

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
