#include "gui/pages/masked_edit.h"

#include <QKeyEvent>

namespace m84 {

MaskedEdit::MaskedEdit(KeyRules rules, QWidget* parent) : QLineEdit(parent), rules_(rules) {
  setAcceptDrops(false);
  connect(this, &QLineEdit::textEdited, this, &MaskedEdit::Edited);
}

MaskInput ClassifyMaskKey(int key, const QString& text) {
  switch (key) {
    case Qt::Key_Backspace: return {MaskKey::Backspace, QChar()};
    case Qt::Key_Delete: return {MaskKey::Delete, QChar()};
    case Qt::Key_Left: return {MaskKey::Left, QChar()};
    case Qt::Key_Right: return {MaskKey::Right, QChar()};
    // Keys the page and the dialog act on, never characters for the box.
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return {MaskKey::Other, QChar()};
    default: break;
  }
  if (text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9')) return {MaskKey::Digit, text[0]};
  // Shortcuts that type a control character (copy, cut, paste, undo) are characters as well.
  if (!text.isEmpty()) return {MaskKey::Character, QChar()};
  return {MaskKey::Other, QChar()};
}

void MaskedEdit::keyPressEvent(QKeyEvent* event) {
  const MaskState before = State();
  const MaskOutcome outcome = rules_(before, ClassifyMaskKey(event->key(), event->text()));
  Apply(before, outcome.state);
  if (outcome.passOn) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
}

MaskState MaskedEdit::State() const {
  if (!hasSelectedText()) return {text(), cursorPosition(), cursorPosition()};
  return {text(), selectionStart(), selectionEnd()};
}

// Setting the caret also scrolls it into view.
void MaskedEdit::Apply(const MaskState& before, const MaskState& after) {
  const bool textChanged = after.text != before.text;
  if (textChanged) setText(after.text);
  if (textChanged || after.selectionStart != before.selectionStart || after.selectionEnd != before.selectionEnd) {
    if (after.selectionEnd > after.selectionStart)
      setSelection(after.selectionStart, after.selectionEnd - after.selectionStart);
    else
      setCursorPosition(after.selectionStart);
  }
  if (textChanged) emit Edited();
}

}  // namespace m84
