#pragma once
// The two beeps as real tones: generated as PCM and played through ALSA.

#include <memory>
#include <vector>

#include "core/image/operation_host.h"

namespace m84 {

struct ToneStep {
  int frequencyHz;  // 0: silence
  int durationMs;
};

// The error beep: two 2700 Hz tones with a pause; the confirm beep: one 1350 Hz tone.
std::vector<ToneStep> TonesOf(Beep beep);

class TonePlayer {
 public:
  virtual ~TonePlayer() = default;
  // Blocks until the tones have sounded (or could not be).
  virtual void Play(const std::vector<ToneStep>& steps) = 0;
};

// ALSA's "default" device; silently does nothing when no device opens.
std::unique_ptr<TonePlayer> CreateAlsaTonePlayer();

}  // namespace m84
