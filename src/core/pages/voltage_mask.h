#pragma once
// The key rules of the battery-mark voltage edit, apart from the box itself: a masked d.dd edit
// in overwrite mode whose point at position 1 is never written, and whose first digit can only
// be 0 or 1.
//
// A pure function over (text, selection, key), like the frequency edit's rules (the same key,
// state and outcome types), so that the rules can be tested and fuzzed without a window.

#include "core/pages/frequency_mask.h"

namespace m84 {

constexpr int kVoltagePointPosition = 1;
constexpr int kVoltageTextLength = 4;  // d.dd
constexpr int kVoltageEditMaxLength = 5;

MaskOutcome ApplyVoltageKey(const MaskState& state, const MaskInput& input);

}  // namespace m84
