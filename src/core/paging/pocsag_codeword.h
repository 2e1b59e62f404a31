#pragma once
// The POCSAG codeword (ITU-R M.584): 32 bits, the most significant sent first. The first bit
// tells an address (0) from a message (1); 20 bits of content follow (an address's top 18 bits of
// the capcode and its 2 function bits, or 20 bits of message), then the 10 check bits of a
// BCH(31,21) code and one bit of even parity over all 32.

#include <cstdint>
#include <optional>

namespace m84::pocsag {

constexpr uint32_t kSyncCodeword = 0x7CD215D8;
constexpr uint32_t kIdleCodeword = 0x7A89C197;
constexpr int kCodewordBits = 32;
// Alternating bits ahead of the first batch, for the receiver's clock and level.
constexpr int kPreambleBits = 576;
constexpr int kFramesPerBatch = 8;
constexpr int kCodewordsPerFrame = 2;
constexpr int kCodewordsPerBatch = kFramesPerBatch * kCodewordsPerFrame;
// A capcode has 21 bits: the top 18 travel in the address codeword, the low 3 are its frame.
constexpr uint32_t kLargestCapcode = 0x1FFFFF;
constexpr int kFunctionCount = 4;
constexpr int kMessageContentBits = 20;

constexpr uint32_t kMessageFlag = 0x80000000u;

// The codeword with its check bits and parity, from the flag bit and the 20 content bits
// (21 information bits, in the low bits of information).
uint32_t WithCheckBits(uint32_t information);

// The address codeword of a capcode and a function (0..3, A..D).
uint32_t AddressCodeword(uint32_t capcode, int function);
// A message codeword holding 20 content bits.
uint32_t MessageCodeword(uint32_t content);

inline int FrameOf(uint32_t capcode) { return static_cast<int>(capcode % kFramesPerBatch); }
inline bool IsMessage(uint32_t codeword) { return (codeword & kMessageFlag) != 0; }
// The 18 address bits of an address codeword.
inline uint32_t AddressBits(uint32_t codeword) { return (codeword >> 13) & 0x3FFFF; }
inline int FunctionBits(uint32_t codeword) { return static_cast<int>((codeword >> 11) & 0x3); }
// The 20 content bits of a message codeword.
inline uint32_t ContentBits(uint32_t codeword) { return (codeword >> 11) & 0xFFFFF; }

// Whether the check bits and the parity agree with the information bits.
bool IsValidCodeword(uint32_t codeword);

struct CorrectedCodeword {
  uint32_t codeword = 0;
  int errors = 0;  // bits put right (0, 1 or 2)
};
// The codeword as sent, from one received with up to two bits wrong (the parity bit counts);
// nothing when more are wrong, as far as the code can tell.
std::optional<CorrectedCodeword> CorrectCodeword(uint32_t received);

inline int BitDistance(uint32_t a, uint32_t b) { return __builtin_popcount(a ^ b); }

}  // namespace m84::pocsag
