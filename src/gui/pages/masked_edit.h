#pragma once
// An edit box whose keys follow a mask's pure key rules (frequency_mask.h, voltage_mask.h): the
// box asks the rules what a key does, shows the outcome and, where the rules say so, lets the key
// take its ordinary effect afterwards.

#include <QLineEdit>

#include "core/pages/frequency_mask.h"

namespace m84 {

class MaskedEdit : public QLineEdit {
  Q_OBJECT
 public:
  using KeyRules = MaskOutcome (*)(const MaskState&, const MaskInput&);
  explicit MaskedEdit(KeyRules rules, QWidget* parent = nullptr);

 signals:
  // The user changed the text: a key of the mask, or an edit through the context menu.
  void Edited();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  MaskState State() const;
  void Apply(const MaskState& before, const MaskState& after);

  KeyRules rules_;
};

// Which of the mask's keys a key press is.
MaskInput ClassifyMaskKey(int key, const QString& text);

}  // namespace m84
