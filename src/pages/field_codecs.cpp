#include "pages/field_codecs.h"

namespace m84 {

namespace {
constexpr int kZeroPaddedFieldSize = 10;

// Image texts are single bytes; characters beyond Latin-1 have no byte and become '?'.
uint8_t TextByte(QChar c) { return c.unicode() < 256 ? static_cast<uint8_t>(c.unicode()) : '?'; }
}  // namespace

void SetFlagBit(uint8_t& byte, uint8_t mask, bool value) {
  byte = value ? (byte | mask) : (byte & ~mask);
}
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
  for (int i = 0; i < n; ++i) image[offset + i] = TextByte(text[i]);
}

QString ReadZeroPaddedText(const PagerImage& image, int offset, int n) {
  QString text;
  for (int i = 0; i < n && image[offset + i] != 0; ++i) text.append(QChar(image[offset + i]));
  return text;
}

void WriteZeroPaddedText(const QString& text, PagerImage& image, int offset, int n) {
  const int count = std::min(n, static_cast<int>(text.size()));
  for (int i = 0; i < kZeroPaddedFieldSize; ++i) image[offset + i] = i < count ? TextByte(text[i]) : 0;
}

void WriteZeroFilledText(QString& text, PagerImage& image, int offset, int n) {
  const int count = std::min(n, static_cast<int>(text.size()));
  for (int i = 0; i < n; ++i) image[offset + i] = i < count ? TextByte(text[i]) : 0;
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
