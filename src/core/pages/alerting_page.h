#pragma once
// The Alerting page without its controls: whether the user may choose the alert, the alert
// modes the pager offers, the alert volume, and the beep and vibrate code of every capcode and
// tone code. Every value is the selection of a drop-down list.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "core/pages/list_grid.h"
#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h).
constexpr int kAlertOptionsOffset = image_map::kSystemSelect.offset;
constexpr uint8_t kSystemSelectBit = image_map::kSystemSelect.mask;
constexpr uint8_t kAlertModeMask = image_map::kAlertModes.mask;
// The pager tells the modes apart by these bits alone.
constexpr uint8_t kAlertModeKeyMask = 0x0F;
constexpr int kAlertVolumeOffset = image_map::kAlertVolume.offset;
constexpr uint8_t kAlertVolumeMask = image_map::kAlertVolume.mask;
constexpr int kBeepCodeOffset = image_map::kBeepCodes.offset;
constexpr int kVibrateCodeOffset = image_map::kVibrateCodes.offset;

// Page variables besides the grid cells.
namespace alerting_key {
inline const QString kUserSelect = QStringLiteral("userSelectTone");
inline const QString kAlertModes = QStringLiteral("alertModes");
inline const QString kAlertVolume = QStringLiteral("alertVolume");
}  // namespace alerting_key

// List entries in the order the lists show them, and the bits each entry stands for.
extern const QStringList kUserSelectEntries;
extern const std::vector<uint8_t> kUserSelectBits;
extern const QStringList kAlertModeEntries;
extern const std::vector<uint8_t> kAlertModeValues;
extern const QStringList kAlertVolumeEntries;
extern const std::vector<uint8_t> kAlertVolumeBits;

// The two grids; a code is stored as its list index plus a base, so the letters of the codes
// match the cadences of the Cadence page.
extern const ListGrid kBeepCodeGrid;
extern const ListGrid kVibrateCodeGrid;

// Fixed texts of the page.
extern const QString kAlertOptionsFrame;
extern const QString kUserSelectLabel;
extern const QString kAlertModesLabel;
extern const QString kAlertVolumeLabel;

class AlertingPageModel : public PageModel {
 public:
  AlertingPageModel() : PageModel(PageId::Alerting) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
