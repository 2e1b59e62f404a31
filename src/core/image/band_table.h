#pragma once
// The receiver bands the pager can be tuned to, in units of 100 Hz.

#include <cstdint>
#include <optional>

namespace m84 {

struct FrequencyBand {
  const char* name;
  uint32_t low;   // inclusive, 100 Hz units
  uint32_t high;  // inclusive, 100 Hz units
  uint32_t divider;
};

constexpr int kBandCount = 13;

extern const FrequencyBand kFrequencyBandTable[kBandCount];

// First row whose range holds f (adjacent rows share a limit; the lower row wins).
std::optional<int> FindBand(uint32_t f);

}  // namespace m84
