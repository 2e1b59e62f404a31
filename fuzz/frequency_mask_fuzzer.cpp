// The frequency edit's key rules (ApplyMaskKey) under any run of keys, carets and selections, from
// a well-formed text or from any text the context menu may leave (cut short, pasted over).
//
// Input: one byte choosing the starting text (a well-formed ddd.dddd text, or the next bytes as
// any text), then keys: one byte each for the key (digit, Backspace, Delete, Left, Right, another
// character, or a key or mouse action that only moves the caret or the selection), with one more
// byte for a digit's value or a caret position.
//
// After every key: the selection lies inside the text; a well-formed text stays well-formed (eight
// characters, the point at position 3, digits and blanks elsewhere); a digit or a Backspace never
// leaves the caret on the point; no key makes the text longer than eight characters or longer
// than it was; and a text cut short grows when a digit is typed at its end.

#include <QString>
#include <algorithm>
#include <cstdint>

#include "core/pages/frequency_mask.h"
#include "mask_fuzzing.h"

using namespace m84;
using namespace m84::mask_fuzzing;

namespace {

constexpr int kPoint = 3;
constexpr int kFormLength = 8;
constexpr int kBoxMaxLength = 12;  // the box takes at most twelve characters
constexpr int kMaxSelection = 3;   // characters a mouse selection spans at most

const char* const kWellFormed[] = {"457.5750", "135.0000", "929.0125", "   .    ", "1 3.45 7"};

void Require(bool holds, const char* what, const MaskState& before, const MaskState& after) {
  mask_fuzzing::Require("frequency mask fuzzer", holds, what, before, after);
}

bool WellFormed(const QString& text) {
  if (text.size() != kFormLength || text[kPoint] != QLatin1Char('.')) return false;
  for (int i = 0; i < kFormLength; ++i)
    if (i != kPoint && !text[i].isDigit() && text[i] != QLatin1Char(' ')) return false;
  return true;
}

void CheckKey(const MaskState& before, const MaskInput& input, const MaskOutcome& outcome) {
  const MaskState& after = outcome.state;
  Require(SelectionInsideText(after), "selection outside the text", before, after);
  Require(after.text.size() <= std::max<qsizetype>(before.text.size(), kFormLength), "text grew too long", before,
          after);
  if (WellFormed(before.text)) Require(WellFormed(after.text), "a well-formed text lost its form", before, after);
  const bool ownKey = input.key == MaskKey::Digit || input.key == MaskKey::Backspace;
  if (ownKey) Require(after.selectionStart != kPoint, "caret left on the point", before, after);

  // A text cut short, with the caret at its end: a digit typed there lengthens it (by the digit,
  // or by the point when the caret stood where the point belongs), so the text can be completed.
  const bool cutShort = before.text.size() < kFormLength && before.selectionStart == before.text.size() &&
                        before.selectionEnd == before.selectionStart;
  const bool leadingZero = before.selectionStart == 0 && input.digit == QLatin1Char('0');
  if (input.key == MaskKey::Digit && cutShort && !leadingZero)
    Require(after.text.size() > before.text.size(), "a short text does not grow when a digit is typed at its end",
            before, after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes bytes(data, size);
  MaskState state = StartingState(bytes, kWellFormed, kBoxMaxLength);
  while (!bytes.Empty()) {
    const MaskInput input = NextKey(bytes);
    const MaskOutcome outcome = ApplyMaskKey(state, input);
    CheckKey(state, input, outcome);
    state = outcome.state;
    if (outcome.passOn) {
      const uint8_t position = input.key == MaskKey::Other ? bytes.Take() : 0;
      const uint8_t extent = input.key == MaskKey::Other ? bytes.Take() : 0;
      state = OrdinaryEffect(state, input.key, position, extent, kMaxSelection);
    }
  }
  return 0;
}
