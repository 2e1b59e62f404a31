#pragma once
// A page as the paging system sends it: a capcode, a function, and a message of digits, of text
// or none (tone only), packed into the 20 content bits of message codewords.

#include <QString>
#include <cstdint>
#include <vector>

#include "core/result.h"

namespace m84::pocsag {

enum class PageKind { Tone, Numeric, Text };

struct Page {
  uint32_t capcode = 0;
  int function = 0;  // 0..3: A..D
  PageKind kind = PageKind::Tone;
  QString message;

  bool operator==(const Page& other) const {
    return capcode == other.capcode && function == other.function && kind == other.kind && message == other.message;
  }
};

// "A".."D" for 0..3.
QChar FunctionLetter(int function);
// 0..3 for "A".."D" (either case); -1 for anything else.
int FunctionFromLetter(const QString& letter);
// What paging systems send by default: digits on A, text on D.
int DefaultFunction(PageKind kind);

// What a numeric page may hold, in the order of the 4-bit codes 0x0..0xF.
inline constexpr char kNumericCharacters[] = "0123456789*U -)(";

// The message codewords' 20-bit contents for the page's message, or why the message cannot be
// sent (a character the kind cannot carry, a capcode out of range).
Result<std::vector<uint32_t>> MessageContents(const Page& page);

// The message that contents carry, read as digits or as text. Trailing fill (spaces after
// digits, NUL or EOT after text) is dropped; a character without a glyph reads as <XX> in hex.
QString NumericMessage(const std::vector<uint32_t>& contents);
QString TextMessage(const std::vector<uint32_t>& contents);

}  // namespace m84::pocsag
