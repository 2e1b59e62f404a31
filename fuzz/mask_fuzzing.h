#pragma once
// What the fuzzers of the two masked edits share: reading the input, the starting text, the
// keys, what QLineEdit does with a key the rules pass on, and the report of a broken rule.

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/pages/frequency_mask.h"

namespace m84::mask_fuzzing {

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}
  bool Empty() const { return next_ == end_; }
  uint8_t Take() { return next_ < end_ ? *next_++ : 0; }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
};

// A broken rule: the key's state before and after, and the fuzzer stops.
inline void Require(const char* fuzzer, bool holds, const char* what, const MaskState& before, const MaskState& after) {
  if (holds) return;
  std::fprintf(stderr, "%s: %s: \"%s\" [%d,%d) -> \"%s\" [%d,%d)\n", fuzzer, what, qPrintable(before.text),
               before.selectionStart, before.selectionEnd, qPrintable(after.text), after.selectionStart,
               after.selectionEnd);
  std::abort();
}

// One of the given texts, or the next bytes as any text of at most maxLength characters; the
// caret where the byte after says.
template <size_t N>
MaskState StartingState(Bytes& bytes, const char* const (&texts)[N], int maxLength) {
  const uint8_t choice = bytes.Take();
  MaskState state;
  if (choice < N) {
    state.text = QString::fromLatin1(texts[choice]);
  } else {
    const int length = bytes.Take() % (maxLength + 1);
    for (int i = 0; i < length; ++i) state.text.append(QChar(bytes.Take()));
  }
  state.selectionStart = state.selectionEnd = std::min<int>(bytes.Take(), state.text.size());
  return state;
}

inline MaskInput NextKey(Bytes& bytes) {
  const uint8_t code = bytes.Take();
  switch (code % 8) {
    case 0: return {MaskKey::Digit, QChar(u'0' + bytes.Take() % 10)};
    case 1: return {MaskKey::Backspace, QChar()};
    case 2: return {MaskKey::Delete, QChar()};
    case 3: return {MaskKey::Left, QChar()};
    case 4: return {MaskKey::Right, QChar()};
    case 5: return {MaskKey::Character, QChar()};
    default: return {MaskKey::Other, QChar()};
  }
}

// What QLineEdit does with an arrow key that the rules pass on, or with a key or mouse action
// that moves the caret or selects (at most maxExtent characters).
inline MaskState OrdinaryEffect(MaskState state, MaskKey key, uint8_t position, uint8_t extent, int maxExtent) {
  const int length = state.text.size();
  switch (key) {
    case MaskKey::Left: state.selectionEnd = state.selectionStart = std::max(0, state.selectionStart - 1); break;
    case MaskKey::Right: state.selectionEnd = state.selectionStart = std::min(length, state.selectionStart + 1); break;
    default:
      state.selectionStart = std::min<int>(position, length);
      state.selectionEnd = std::min<int>(state.selectionStart + extent % (maxExtent + 1), length);
      break;
  }
  return state;
}

inline bool SelectionInsideText(const MaskState& state) {
  return 0 <= state.selectionStart && state.selectionStart <= state.selectionEnd &&
         state.selectionEnd <= state.text.size();
}

}  // namespace m84::mask_fuzzing
