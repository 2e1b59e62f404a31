#include "core/pages/frequency_mask.h"

#include <algorithm>

namespace m84 {

namespace {

constexpr int kPoint = 3;
constexpr int kDigitEnd = 8;  // positions 0-7 carry the form ddd.dddd
const QChar kPointChar = QLatin1Char('.');
const QChar kZero = QLatin1Char('0');

using mask::Done;
using mask::PassOn;
using mask::PutCaret;

// Delete and Backspace pressed: the selection turns to blanks, the point stays.
MaskState BlankSelection(const MaskState& state) { return mask::BlankSelection(state, kPoint); }

MaskOutcome TypeDigit(MaskState state, QChar digit) {
  const int c = state.selectionStart;
  if (c >= kDigitEnd) return Done(state);
  const bool leadingZero = c == 0 && digit == kZero;
  if (c != kPoint && !leadingZero) {
    if (c < state.text.size()) {
      state.text[c] = digit;
    } else {
      // A text cut short (by the context menu) grows again, and gets its point back as soon as
      // the caret passes position 3, so that the next digit has a place to go.
      state.text.append(digit);
      if (state.text.size() == kPoint) state.text.append(kPointChar);
    }
    PutCaret(state, c + 1);
  }
  if (state.selectionStart == kPoint) {
    // A text cut back to its first three digits gets its point again, or the caret would stand
    // past the end and no digit could ever be typed there.
    if (state.text.size() == kPoint) state.text.append(kPointChar);
    PutCaret(state, kPoint + 1);
  }
  return Done(state);
}

// The digit left of the caret (left of the point, when the caret stands right after it) becomes
// 0 and the caret moves one place left; the text keeps its length.
MaskOutcome TypeBackspace(MaskState state) {
  int c = state.selectionStart;
  if (c <= 0) return Done(state);
  if (c == kPoint + 1) c = kPoint;
  state.text.insert(c, kZero);
  state.text.remove(c - 1, 1);
  PutCaret(state, c - 1);
  if (state.selectionStart == kPoint) PutCaret(state, kPoint - 1);
  return Done(state);
}

}  // namespace

namespace mask {

void PutCaret(MaskState& state, int position) {
  state.selectionStart = position;
  state.selectionEnd = position;
}

MaskState Normalized(MaskState state) {
  state.selectionStart = std::clamp(state.selectionStart, 0, int(state.text.size()));
  state.selectionEnd = std::clamp(state.selectionEnd, state.selectionStart, int(state.text.size()));
  return state;
}

MaskState BlankSelection(MaskState state, int point) {
  for (int i = state.selectionStart; i < state.selectionEnd; ++i)
    if (i != point) state.text[i] = QLatin1Char(' ');
  PutCaret(state, state.selectionStart);
  return state;
}

}  // namespace mask

MaskOutcome ApplyMaskKey(const MaskState& given, const MaskInput& input) {
  const MaskState state = mask::Normalized(given);
  switch (input.key) {
    case MaskKey::Digit: return TypeDigit(state, input.digit);
    case MaskKey::Backspace: return TypeBackspace(BlankSelection(state));
    case MaskKey::Delete: return Done(BlankSelection(state));
    case MaskKey::Left:
      if (state.selectionStart == kPoint + 1) {
        MaskState moved = state;
        PutCaret(moved, kPoint);
        return PassOn(moved);
      }
      return PassOn(state);
    case MaskKey::Right:
      if (state.selectionStart >= kDigitEnd) return Done(state);
      if (state.selectionStart == kPoint - 1 && state.text.size() > kPoint) {  // a point to jump over
        MaskState moved = state;
        PutCaret(moved, kPoint);
        return PassOn(moved);
      }
      return PassOn(state);
    case MaskKey::Character: return Done(state);
    case MaskKey::Other: return PassOn(state);
  }
  return PassOn(state);
}

}  // namespace m84
