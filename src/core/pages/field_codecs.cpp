#include "core/pages/field_codecs.h"

namespace m84 {

namespace {
constexpr int kZeroPaddedFieldSize = 10;

constexpr char16_t kLastLatin1 = 0xFF;

// The first n characters' bytes written from offset on, zero bytes after them up to fieldSize;
// nothing written when a character has no byte.
void WriteTextBytes(const QString& text, int n, PagerImage& image, int offset, int fieldSize) {
  const PagerTextBytes encoded = EncodePagerText(text.left(n));
  if (!encoded) return;
  for (int i = 0; i < fieldSize; ++i)
    image[offset + i] = i < encoded.bytes.size() ? static_cast<uint8_t>(encoded.bytes[i]) : 0;
}
}  // namespace

PagerTextBytes EncodePagerText(const QString& text) {
  PagerTextBytes result;
  result.bytes.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.unicode() <= kLastLatin1) {
      result.bytes.append(static_cast<char>(c.unicode()));
      continue;
    }
    const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    result.unencodable = text.mid(i, pair ? 2 : 1);
    result.bytes.clear();
    break;
  }
  return result;
}

QString FirstUnencodableCharacter(const QString& text) { return EncodePagerText(text).unencodable; }

void SetFlagBit(uint8_t& byte, uint8_t mask, bool value) { byte = value ? (byte | mask) : (byte & ~mask); }
bool GetFlagBit(uint8_t byte, uint8_t mask) { return (byte & mask) != 0; }
void SetFlagBitInverted(uint8_t& byte, uint8_t mask, bool value) { SetFlagBit(byte, mask, !value); }
bool GetFlagBitInverted(uint8_t byte, uint8_t mask) { return (byte & mask) == 0; }

uint32_t ReadBcd(const PagerImage& image, int offset, int n) {
  uint32_t result = 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t b = image[offset + i];
    result = result * 100 + (b >> 4) * 10 + (b & 0x0F);
  }
  return result;
}

void WriteBcd(uint32_t value, PagerImage& image, int offset, int n) {
  for (int i = offset + n - 1; i >= offset; --i) {
    const uint32_t pair = value % 100;
    image[i] = static_cast<uint8_t>(pair / 10 * 16 + pair % 10);
    value /= 100;
  }
}

uint32_t ReadLittleEndian(const PagerImage& image, int offset, int n) {
  uint32_t result = 0;
  for (int i = n - 1; i >= 0; --i) result = (result << 8) | image[offset + i];
  return result;
}

int BcdByteToInt(uint8_t b) { return (b & 0x0F) + (b >> 4) * 10; }

uint8_t IntToBcdByte(int v) {
  const int low = v & 0xFF;
  return static_cast<uint8_t>((low / 10) * 16 + low % 10);
}

QString WithoutTrailingWhiteSpace(QString text) {
  const auto isAsciiWhiteSpace = [](QChar c) {
    return c == QLatin1Char(' ') || (c.unicode() >= '\t' && c.unicode() <= '\r');
  };
  while (!text.isEmpty() && isAsciiWhiteSpace(text.back())) text.chop(1);
  return text;
}

QString ReadFixedText(const PagerImage& image, int offset, int n) {
  QString text;
  for (int i = 0; i < n && image[offset + i] != 0; ++i) text.append(QChar(image[offset + i]));
  return WithoutTrailingWhiteSpace(text);
}

void WriteFixedText(QString& text, PagerImage& image, int offset, int n) {
  if (text.size() < n) text = text.leftJustified(n, ' ');
  WriteTextBytes(text, n, image, offset, n);
}

QString ReadZeroPaddedText(const PagerImage& image, int offset, int n) {
  QString text;
  for (int i = 0; i < n && image[offset + i] != 0; ++i) text.append(QChar(image[offset + i]));
  return text;
}

void WriteZeroPaddedText(const QString& text, PagerImage& image, int offset, int n) {
  WriteTextBytes(text, n, image, offset, kZeroPaddedFieldSize);
}

void WriteZeroFilledText(QString& text, PagerImage& image, int offset, int n) {
  WriteTextBytes(text, n, image, offset, n);
  while (!text.isEmpty() && text.back() == QLatin1Char(' ')) text.chop(1);
}

bool CheckDecimalRange(const QString& text, uint32_t lo, uint32_t hi) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return false;
  uint64_t value = 0;
  for (QChar c : trimmed) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c.unicode() - '0');
    if (value > hi) return false;
  }
  return value >= lo;
}

QString FlagLetter(bool value) { return value ? QStringLiteral("Y") : QStringLiteral("N"); }
QString YesNoText(bool value) { return value ? QStringLiteral("Yes") : QStringLiteral("No "); }
QString EnableText(bool value) { return value ? QStringLiteral("Enable ") : QStringLiteral("Disable"); }
QString OnOffText(bool value) { return value ? QStringLiteral("On ") : QStringLiteral("Off"); }

}  // namespace m84
