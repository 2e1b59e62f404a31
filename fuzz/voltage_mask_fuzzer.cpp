// The voltage edit's key rules (ApplyVoltageKey) under any run of keys, carets and selections,
// from a voltage text, from a text cut short, or from any text the context menu may leave
// (at most five characters, the box's limit).
//
// Input: one byte choosing the starting text (one of a few texts of the form d.dd or cut short
// from it, or the next bytes as any text), one byte for the caret, then keys: one byte each for
// the key (digit, Backspace, Delete, Left, Right, another character, or a key or mouse action
// that only moves the caret or the selection), with one more byte for a digit's value or two
// for a caret position and a selection.
//
// After every key: the selection lies inside the text; a point at position 1 stays there; a text
// of the form d.dd, or cut short from it, keeps that form and never grows past four characters,
// and no text grows past four characters or the length it had; position 0 never takes a digit
// other than 0 or 1; and a typed digit, Delete on the point and the arrow keys never leave the
// caret on the point.

#include <QString>
#include <algorithm>
#include <cstdint>

#include "core/pages/voltage_mask.h"
#include "mask_fuzzing.h"

using namespace m84;
using namespace m84::mask_fuzzing;

namespace {

constexpr int kPoint = kVoltagePointPosition;
constexpr int kFormLength = kVoltageTextLength;
constexpr int kMaxSelection = 4;  // characters a mouse selection spans at most

const char* const kStartingTexts[] = {"1.40", "0.90", "1.85", " .  ", "1. 0", "", "1", "1.", "1.4"};

void Require(bool holds, const char* what, const MaskState& before, const MaskState& after) {
  mask_fuzzing::Require("voltage mask fuzzer", holds, what, before, after);
}

bool HasPoint(const QString& text) { return text.size() > kPoint && text[kPoint] == QLatin1Char('.'); }

bool FirstDigitAllowed(QChar c) { return c == QLatin1Char('0') || c == QLatin1Char('1') || c == QLatin1Char(' '); }

// d.dd or a beginning of it: blanks may stand for any digit, the first digit is 0 or 1.
bool InForm(const QString& text) {
  if (text.size() > kFormLength) return false;
  if (text.size() > kPoint && !HasPoint(text)) return false;
  for (int i = 0; i < text.size(); ++i) {
    if (i == kPoint) continue;
    const QChar c = text[i];
    if (i == 0 ? !FirstDigitAllowed(c) : !(c.isDigit() || c == QLatin1Char(' '))) return false;
  }
  return true;
}

void CheckKey(const MaskState& before, const MaskInput& input, const MaskState& after) {
  Require(SelectionInsideText(after), "selection outside the text", before, after);
  Require(after.text.size() <= std::max<qsizetype>(before.text.size(), kFormLength), "text grew too long", before,
          after);
  if (HasPoint(before.text)) Require(HasPoint(after.text), "the point left position 1", before, after);
  if (InForm(before.text)) Require(InForm(after.text), "a voltage text lost its form", before, after);
  if (!after.text.isEmpty() && (before.text.isEmpty() || after.text[0] != before.text[0]))
    Require(FirstDigitAllowed(after.text[0]), "a digit above 1 at position 0", before, after);

  const bool deleteOnPoint = input.key == MaskKey::Delete && before.selectionStart == before.selectionEnd;
  const bool movesPastPoint =
      input.key == MaskKey::Digit || deleteOnPoint || input.key == MaskKey::Left || input.key == MaskKey::Right;
  if (movesPastPoint && HasPoint(after.text))
    Require(after.selectionStart != kPoint, "caret left on the point", before, after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes bytes(data, size);
  MaskState state = StartingState(bytes, kStartingTexts, kVoltageEditMaxLength);
  while (!bytes.Empty()) {
    const MaskInput input = NextKey(bytes);
    const MaskOutcome outcome = ApplyVoltageKey(state, input);
    MaskState after = outcome.state;
    if (outcome.passOn) {
      const uint8_t position = input.key == MaskKey::Other ? bytes.Take() : 0;
      const uint8_t extent = input.key == MaskKey::Other ? bytes.Take() : 0;
      after = OrdinaryEffect(after, input.key, position, extent, kMaxSelection);
    }
    if (input.key != MaskKey::Other) CheckKey(state, input, after);
    state = after;
  }
  return 0;
}
