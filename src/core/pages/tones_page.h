#pragma once
// The Tones page without its controls: the message priority and the decoding mode of every
// capcode and tone code, both in the one byte of that capcode and tone.

#include <QString>

#include "core/pages/list_grid.h"
#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page, by their names in the memory map (image/memory_map.h): 32 bytes of
// which bits 0xE0 are not the page's.
constexpr int kToneOptionsOffset = image_map::kToneOptionsBytes;
constexpr uint8_t kPriorityMask = image_map::kTonePriorities.mask;
constexpr uint8_t kDecodingMask = image_map::kToneDecoding.mask;

extern const ListGrid kPriorityGrid;
extern const ListGrid kDecodingGrid;

// The report's tone columns, in characters from the left margin: where "[Tone-B]" to
// "[Tone-D]" stand in the headings.
constexpr int kToneReportColumns[] = {29, 47, 65};

class TonesPageModel : public PageModel {
 public:
  TonesPageModel() : PageModel(PageId::Tones) {}

  void PrintSection(ReportCursor& report) const override;

 protected:
  BindingTable Bindings() const override;
};

}  // namespace m84
