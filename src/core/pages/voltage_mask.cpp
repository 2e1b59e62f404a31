#include "core/pages/voltage_mask.h"

#include <algorithm>

namespace m84 {

namespace {

constexpr int kPoint = kVoltagePointPosition;
constexpr int kFirstFraction = kPoint + 1;
constexpr int kDigitEnd = kVoltageTextLength;
const QChar kPointChar = QLatin1Char('.');
const QChar kBlank = QLatin1Char(' ');

using mask::Done;
using mask::PassOn;
using mask::PutCaret;

// The caret steps over the point. A text cut back to its first digit (by the context menu) gets
// its point again, or the caret would stand past the end and no fraction could be typed.
void StepOverPoint(MaskState& state) {
  if (state.text.size() == kPoint) state.text.append(kPointChar);
  PutCaret(state, kFirstFraction);
}

bool FirstDigitAllowed(QChar digit) { return digit == QLatin1Char('0') || digit == QLatin1Char('1'); }

MaskOutcome TypeDigit(MaskState state, QChar digit) {
  const int c = state.selectionStart;
  if (c >= kDigitEnd) return Done(state);
  if (c == 0 && !FirstDigitAllowed(digit)) return Done(state);
  if (c == kPoint) {
    StepOverPoint(state);
    return Done(state);
  }
  // Overwrite: the character at the caret gives way to the digit; the rest of a selection stays.
  if (c < state.text.size()) state.text.remove(c, 1);
  state.text.insert(c, digit);
  PutCaret(state, c + 1);
  if (state.selectionStart == kPoint) StepOverPoint(state);
  return Done(state);
}

// Backspace and Delete over a selection: the selected characters turn to blanks, the point stays.
MaskOutcome BlankSelection(const MaskState& state) { return Done(mask::BlankSelection(state, kPoint)); }

MaskOutcome TypeDelete(MaskState state) {
  if (state.selectionEnd > state.selectionStart) return BlankSelection(state);
  const int c = state.selectionStart;
  if (c >= state.text.size()) return Done(state);
  if (c == kPoint) {
    PutCaret(state, kFirstFraction);
    return Done(state);
  }
  state.text[c] = kBlank;
  return Done(state);
}

MaskOutcome TypeBackspace(MaskState state) {
  if (state.selectionEnd > state.selectionStart) return BlankSelection(state);
  const int c = state.selectionStart;
  if (c == 0) return Done(state);
  // Right after the point the caret only steps back onto it; the next Backspace blanks the digit.
  if (c == kFirstFraction) {
    PutCaret(state, kPoint);
    return Done(state);
  }
  state.text[c - 1] = kBlank;
  PutCaret(state, c - 1);
  return Done(state);
}

MaskOutcome MoveTo(MaskState state, int position) {
  PutCaret(state, std::min(position, int(state.text.size())));
  return Done(state);
}

}  // namespace

MaskOutcome ApplyVoltageKey(const MaskState& given, const MaskInput& input) {
  const MaskState state = mask::Normalized(given);
  switch (input.key) {
    case MaskKey::Digit: return TypeDigit(state, input.digit);
    case MaskKey::Backspace: return TypeBackspace(state);
    case MaskKey::Delete: return TypeDelete(state);
    case MaskKey::Left:
      if (state.selectionStart == kFirstFraction) return MoveTo(state, 0);
      return PassOn(state);
    case MaskKey::Right:
      if (state.selectionStart >= kDigitEnd) return Done(state);
      if (state.selectionStart == 0) return MoveTo(state, kFirstFraction);
      return PassOn(state);
    case MaskKey::Character: return Done(state);
    case MaskKey::Other: return PassOn(state);
  }
  return PassOn(state);
}

}  // namespace m84
