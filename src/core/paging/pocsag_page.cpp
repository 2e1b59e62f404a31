#include "core/paging/pocsag_page.h"

#include "core/paging/pocsag_codeword.h"

namespace m84::pocsag {

namespace {

constexpr int kDigitBits = 4;
constexpr int kCharacterBits = 7;
constexpr uint32_t kNumericSpace = 0xC;
constexpr uint32_t kEndOfText = 0x04;
// Longer than any pager's display holds many times over; a bound on what one page may take.
constexpr int kLongestMessage = 1000;

// Fills 20-bit contents a bit at a time, first bit sent first.
class ContentWriter {
 public:
  void Put(uint32_t value, int bits) {  // value's bit 0 first
    for (int i = 0; i < bits; ++i) PutBit((value >> i) & 1u);
  }
  bool Empty() const { return contents_.empty() && used_ == 0; }
  int FreeBits() const { return used_ == 0 ? 0 : kMessageContentBits - used_; }
  std::vector<uint32_t> Take() {
    if (used_ > 0) contents_.push_back(current_ << (kMessageContentBits - used_));
    used_ = 0;
    current_ = 0;
    return std::move(contents_);
  }

 private:
  void PutBit(uint32_t bit) {
    current_ = (current_ << 1) | bit;
    if (++used_ == kMessageContentBits) {
      contents_.push_back(current_);
      current_ = 0;
      used_ = 0;
    }
  }
  std::vector<uint32_t> contents_;
  uint32_t current_ = 0;
  int used_ = 0;
};

// Reads back what ContentWriter put: value bit 0 first.
std::vector<uint32_t> Fields(const std::vector<uint32_t>& contents, int bits) {
  std::vector<uint32_t> fields;
  uint32_t value = 0;
  int have = 0;
  for (uint32_t content : contents) {
    for (int i = kMessageContentBits - 1; i >= 0; --i) {
      value |= ((content >> i) & 1u) << have;
      if (++have == bits) {
        fields.push_back(value);
        value = 0;
        have = 0;
      }
    }
  }
  return fields;
}

int NumericCode(QChar c) {
  switch (c.unicode()) {
    case '[': return 0xF;
    case ']': return 0xE;
  }
  for (int code = 0; code < 16; ++code)
    if (c == QLatin1Char(kNumericCharacters[code])) return code;
  return -1;
}

Failure Refused(const QString& reason) { return Failed(QStringLiteral("Page not made"), reason); }

}  // namespace

QChar FunctionLetter(int function) { return QLatin1Char(static_cast<char>('A' + (function & 3))); }

int FunctionFromLetter(const QString& letter) {
  if (letter.size() != 1) return -1;
  const int function = letter[0].toUpper().unicode() - 'A';
  return function >= 0 && function < kFunctionCount ? function : -1;
}

int DefaultFunction(PageKind kind) { return kind == PageKind::Text ? 3 : 0; }

Result<std::vector<uint32_t>> MessageContents(const Page& page) {
  if (page.capcode > kLargestCapcode)
    return Refused(QStringLiteral("capcode %1 is out of range (0 to %2)").arg(page.capcode).arg(kLargestCapcode));
  if (page.function < 0 || page.function >= kFunctionCount) return Refused(QStringLiteral("no such function"));
  if (page.message.size() > kLongestMessage)
    return Refused(QStringLiteral("the message is longer than %1 characters").arg(kLongestMessage));
  ContentWriter writer;
  switch (page.kind) {
    case PageKind::Tone:
      if (!page.message.isEmpty()) return Refused(QStringLiteral("a tone-only page carries no message"));
      break;
    case PageKind::Numeric:
      for (QChar c : page.message) {
        const int code = NumericCode(c);
        if (code < 0)
          return Refused(
              QStringLiteral("'%1' cannot be sent in a numeric page (digits, space, U, -, *, (, ) only)").arg(c));
        writer.Put(static_cast<uint32_t>(code), kDigitBits);
      }
      // A numeric display shows the fill as blanks.
      while (writer.FreeBits() > 0) writer.Put(kNumericSpace, kDigitBits);
      break;
    case PageKind::Text:
      for (QChar c : page.message) {
        if (c.unicode() > 0x7F)
          return Refused(QStringLiteral("'%1' cannot be sent in a text page (7-bit ASCII only)").arg(c));
        writer.Put(c.unicode(), kCharacterBits);
      }
      // The fill ends the text for the pager; what stays over is less than a character.
      if (!writer.Empty() && writer.FreeBits() >= kCharacterBits) writer.Put(kEndOfText, kCharacterBits);
      break;
  }
  return writer.Take();
}

QString NumericMessage(const std::vector<uint32_t>& contents) {
  QString message;
  for (uint32_t code : Fields(contents, kDigitBits)) message += QLatin1Char(kNumericCharacters[code]);
  while (message.endsWith(QLatin1Char(' '))) message.chop(1);
  return message;
}

QString TextMessage(const std::vector<uint32_t>& contents) {
  std::vector<uint32_t> characters = Fields(contents, kCharacterBits);
  while (!characters.empty() && (characters.back() == 0 || characters.back() == kEndOfText)) characters.pop_back();
  QString message;
  for (uint32_t c : characters) {
    if (c >= 0x20 && c < 0x7F)
      message += QChar(c);
    else
      message += QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
  }
  return message;
}

}  // namespace m84::pocsag
