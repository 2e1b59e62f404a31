#pragma once
// The "Frequency" edit box: a masked ddd.dddd edit in overwrite mode (rules in frequency_mask.h).

#include "gui/pages/masked_edit.h"

namespace m84 {

class FrequencyEdit : public MaskedEdit {
  Q_OBJECT
 public:
  explicit FrequencyEdit(QWidget* parent = nullptr);
};

}  // namespace m84
