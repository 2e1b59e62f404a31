// CheckDecimalRange against a model that never computes the number: the trimmed text passes
// exactly when it is a non-empty run of the digits 0-9 whose value, compared as a decimal
// string, lies within lo..hi. Any length, any characters, any bounds.
//
// Input: lo and hi as four bytes each (least significant first), one byte choosing how the
// rest becomes the text (UTF-8, or raw UTF-16 units with lone surrogates and all), the rest.

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/pages/field_codecs.h"

namespace {

constexpr size_t kHeaderSize = 9;

uint32_t LittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

QString TextOf(uint8_t form, const uint8_t* bytes, size_t size) {
  if (form & 1) {
    QString text;
    for (size_t i = 0; i + 1 < size; i += 2) text.append(QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)));
    return text;
  }
  return QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
}

// Negative, zero or positive as a is below, equal to or above b; both plain digit strings.
int CompareDecimal(std::string a, std::string b) {
  const auto strip = [](std::string& s) {
    const size_t first = s.find_first_not_of('0');
    s = first == std::string::npos ? std::string("0") : s.substr(first);
  };
  strip(a);
  strip(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

bool ModelPasses(const QString& text, uint32_t lo, uint32_t hi) {
  qsizetype first = 0;
  qsizetype end = text.size();
  while (first < end && text[first].isSpace()) ++first;
  while (end > first && text[end - 1].isSpace()) --end;
  if (first == end) return false;
  std::string digits;
  for (qsizetype i = first; i < end; ++i) {
    const char16_t unit = text[i].unicode();
    if (unit < u'0' || unit > u'9') return false;
    digits.push_back(static_cast<char>(unit));
  }
  return CompareDecimal(digits, std::to_string(lo)) >= 0 && CompareDecimal(digits, std::to_string(hi)) <= 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return 0;
  const uint32_t lo = LittleEndian32(data);
  const uint32_t hi = LittleEndian32(data + 4);
  const QString text = TextOf(data[8], data + kHeaderSize, size - kHeaderSize);
  const bool passes = m84::CheckDecimalRange(text, lo, hi);
  if (passes != ModelPasses(text, lo, hi)) {
    std::fprintf(stderr, "CheckDecimalRange(\"%s\", %u, %u) gave %s\n", text.toUtf8().constData(), lo, hi,
                 passes ? "pass" : "fail");
    std::abort();
  }
  return 0;
}
