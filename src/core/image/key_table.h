#pragma once
#include <cstdint>

namespace m84 {

constexpr int kDatKeySize = 2048;
extern const uint8_t kDatKeyTable[kDatKeySize];

}  // namespace m84
