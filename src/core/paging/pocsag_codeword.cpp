#include "core/paging/pocsag_codeword.h"

#include <array>

namespace m84::pocsag {

namespace {

// x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1
constexpr uint32_t kGenerator = 0x769;
constexpr int kCheckBits = 10;
constexpr int kBchBits = 31;

// The remainder of a 31-bit word (bit 30 the highest power) divided by the generator.
uint32_t Remainder(uint32_t word) {
  for (int bit = kBchBits - 1; bit >= kCheckBits; --bit)
    if (word & (1u << bit)) word ^= kGenerator << (bit - kCheckBits);
  return word;
}

uint32_t WithEvenParity(uint32_t bch) { return (bch << 1) | (__builtin_popcount(bch) & 1u); }

// For every syndrome of one or two wrong bits among the 31 of the BCH word, those bits; zero
// where no such pattern gives the syndrome. The code's distance of 5 keeps them apart.
const std::array<uint32_t, 1u << kCheckBits>& ErrorPatterns() {
  static const std::array<uint32_t, 1u << kCheckBits> patterns = [] {
    std::array<uint32_t, 1u << kCheckBits> table{};
    for (int first = 0; first < kBchBits; ++first) {
      table[Remainder(1u << first)] = 1u << first;
      for (int second = first + 1; second < kBchBits; ++second) {
        const uint32_t pattern = (1u << first) | (1u << second);
        table[Remainder(pattern)] = pattern;
      }
    }
    return table;
  }();
  return patterns;
}

}  // namespace

uint32_t WithCheckBits(uint32_t information) {
  const uint32_t shifted = (information & 0x1FFFFF) << kCheckBits;
  return WithEvenParity(shifted | Remainder(shifted));
}

uint32_t AddressCodeword(uint32_t capcode, int function) {
  return WithCheckBits(((capcode >> 3) << 2) | (static_cast<uint32_t>(function) & 0x3));
}

uint32_t MessageCodeword(uint32_t content) { return WithCheckBits((1u << kMessageContentBits) | (content & 0xFFFFF)); }

bool IsValidCodeword(uint32_t codeword) {
  return Remainder(codeword >> 1) == 0 && (__builtin_popcount(codeword) & 1) == 0;
}

std::optional<CorrectedCodeword> CorrectCodeword(uint32_t received) {
  const uint32_t bch = received >> 1;
  const uint32_t syndrome = Remainder(bch);
  const uint32_t pattern = syndrome == 0 ? 0 : ErrorPatterns()[syndrome];
  if (syndrome != 0 && pattern == 0) return std::nullopt;
  const uint32_t fixed = WithEvenParity(bch ^ pattern);
  const int bchErrors = __builtin_popcount(pattern);
  // The parity bit is one more bit that can be wrong: it counts against the two.
  const int errors = bchErrors + ((fixed ^ received) & 1u ? 1 : 0);
  if (errors > 2) return std::nullopt;
  return CorrectedCodeword{fixed, errors};
}

}  // namespace m84::pocsag
