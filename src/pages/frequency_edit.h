#pragma once
// The "Frequency" edit box: a masked ddd.dddd edit in overwrite mode (rules in frequency_mask.h).

#include <QLineEdit>

#include "pages/frequency_mask.h"

namespace m84 {

class FrequencyEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit FrequencyEdit(QWidget* parent = nullptr);

 signals:
  // The user changed the text: a key of the mask, or an edit through the context menu.
  void Edited();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  MaskState State() const;
  void Apply(const MaskState& before, const MaskState& after);
};

// Which of the mask's keys a key press is.
MaskInput ClassifyMaskKey(int key, const QString& text);

}  // namespace m84
