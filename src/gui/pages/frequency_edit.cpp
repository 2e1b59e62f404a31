#include "gui/pages/frequency_edit.h"

#include "core/pages/general_page.h"

namespace m84 {

FrequencyEdit::FrequencyEdit(QWidget* parent) : MaskedEdit(ApplyMaskKey, parent) {
  setMaxLength(kFrequencyEditMaxLength);
  setAlignment(Qt::AlignCenter);
}

}  // namespace m84
