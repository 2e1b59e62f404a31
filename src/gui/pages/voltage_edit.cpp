#include "gui/pages/voltage_edit.h"

#include "core/pages/voltage_mask.h"

namespace m84 {

VoltageEdit::VoltageEdit(QWidget* parent) : MaskedEdit(ApplyVoltageKey, parent) {
  setMaxLength(kVoltageEditMaxLength);
  setAlignment(Qt::AlignCenter);
}

}  // namespace m84
