#pragma once
// The Tones page without its controls: the message priority and the decoding mode of every
// capcode and tone code, both in the one byte of that capcode and tone.

#include <QString>

#include "core/pages/list_grid.h"
#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page: 32 bytes from 0x22, of which bits 0xE0 belong to nobody here.
constexpr int kToneOptionsOffset = 0x22;
constexpr uint8_t kPriorityMask = 0x1C;
constexpr uint8_t kDecodingMask = 0x03;

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
