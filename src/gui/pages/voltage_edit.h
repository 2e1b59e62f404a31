#pragma once
// A battery-mark voltage edit box: a masked d.dd edit in overwrite mode (rules in
// voltage_mask.h). Its checks on gaining and losing the focus belong to the page.

#include "gui/pages/masked_edit.h"

namespace m84 {

class VoltageEdit : public MaskedEdit {
  Q_OBJECT
 public:
  explicit VoltageEdit(QWidget* parent = nullptr);
};

}  // namespace m84
