#include "core/image/band_table.h"

namespace m84 {

const FrequencyBand kFrequencyBandTable[kBandCount] = {
    {"135-143", 1350000, 1430000, 1}, {"143-151", 1430000, 1510000, 1}, {"151-159", 1510000, 1590000, 1},
    {"159-167", 1590000, 1670000, 1}, {"167-175", 1670000, 1750000, 1}, {"276-284", 2760000, 2840000, 2},
    {"406-414", 4060000, 4140000, 2}, {"429-437", 4290000, 4370000, 2}, {"439-446", 4390000, 4460000, 2},
    {"446-454", 4460000, 4540000, 2}, {"454-462", 4540000, 4620000, 2}, {"462-470", 4620000, 4700000, 2},
    {"929-932", 9290000, 9320000, 5},
};

std::optional<int> FindBand(uint32_t f) {
  for (int row = 0; row < kBandCount; ++row) {
    if (kFrequencyBandTable[row].low <= f && f <= kFrequencyBandTable[row].high) return row;
  }
  return std::nullopt;
}

}  // namespace m84
