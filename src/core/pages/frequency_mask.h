#pragma once
// The key rules of the frequency edit box, apart from the box itself: a masked ddd.dddd edit in
// overwrite mode whose point at position 3 is never written and never holds the caret after a
// key of its own.
//
// A pure function over (text, selection, key), so that the rules can be tested and fuzzed
// without a window. The box applies the outcome and, where it says so, lets the key take its
// ordinary effect afterwards (arrow movement, Home, End, Tab, Enter, ...).

#include <QString>

namespace m84 {

enum class MaskKey {
  Digit,      // a typed 0-9 (the character is in MaskInput::digit)
  Backspace,  // the key press, then the Backspace character it types
  Delete,
  Left,
  Right,
  Character,  // any other typed character, control characters included
  Other,      // a key that types nothing (Home, End, Up, Tab, Enter, ...)
};

struct MaskInput {
  MaskKey key = MaskKey::Other;
  QChar digit;
};

// The caret is the start of the selection; an empty selection has start == end.
struct MaskState {
  QString text;
  int selectionStart = 0;
  int selectionEnd = 0;
};

struct MaskOutcome {
  MaskState state;
  // The key then takes its ordinary effect on the state above.
  bool passOn = false;
};

MaskOutcome ApplyMaskKey(const MaskState& state, const MaskInput& input);

// What the rules of every masked edit are made of.
namespace mask {

void PutCaret(MaskState& state, int position);
inline MaskOutcome Done(const MaskState& state) { return {state, false}; }
inline MaskOutcome PassOn(const MaskState& state) { return {state, true}; }
// A selection outside the text (only a caller can make one) is cut to the text.
MaskState Normalized(MaskState state);
// Delete and Backspace over a selection: the selected characters turn to blanks, the point at
// position point stays, and the caret goes to the selection's start.
MaskState BlankSelection(MaskState state, int point);

}  // namespace mask

}  // namespace m84
