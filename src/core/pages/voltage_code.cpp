#include "core/pages/voltage_code.h"

#include <algorithm>

namespace m84 {

namespace {

constexpr int kFractionDigits = 2;
const QChar kPoint = QLatin1Char('.');
const QChar kBlank = QLatin1Char(' ');
const QChar kZero = QLatin1Char('0');

constexpr VoltageCodeTable BuildVoltageCodes() {
  VoltageCodeTable codes{};
  for (int i = 0; i < kVoltageCodeCount; ++i) codes[size_t(i)] = VoltageCodeOf(kVoltageTableLow + i);
  return codes;
}

constexpr VoltageCodeTable kVoltageCodes = BuildVoltageCodes();
static_assert(kVoltageCodes.front() == 1474 && kVoltageCodes.back() == 3031);

QString WithoutOuterBlanks(const QString& text) {
  qsizetype first = 0;
  qsizetype end = text.size();
  while (first < end && text[first] == kBlank) ++first;
  while (end > first && text[end - 1] == kBlank) --end;
  return text.mid(first, end - first);
}

}  // namespace

const VoltageCodeTable& VoltageCodes() { return kVoltageCodes; }

uint16_t VoltageCodeForHundredths(int hundredths) {
  return kVoltageCodes[size_t(std::clamp(hundredths, kVoltageTableLow, kVoltageTableHigh) - kVoltageTableLow)];
}

QString VoltageTextForCode(uint16_t code) {
  const uint16_t clamped = std::clamp(code, kVoltageCodes.front(), kVoltageCodes.back());
  // The last entry is never matched: every code without an entry of its own shows as its voltage.
  const auto searched = kVoltageCodes.end() - 1;
  const auto found = std::find(kVoltageCodes.begin(), searched, clamped);
  const int hundredths = kVoltageTableLow + int(found - kVoltageCodes.begin());
  QString text = QString::asprintf("%03d", hundredths);
  text.insert(1, kPoint);
  return text;
}

std::optional<int> CheckVoltageText(const QString& given) {
  const QString text = WithoutOuterBlanks(given);
  const qsizetype point = text.indexOf(kPoint);
  QString integer = point < 0 ? text : text.left(point);
  QString fraction = point < 0 ? QString() : text.mid(point + 1);
  if (integer.isEmpty()) integer = kZero;
  while (fraction.size() < kFractionDigits) fraction.append(kZero);
  const QString digits = integer + fraction.left(kFractionDigits);
  int hundredths = 0;
  for (const QChar c : digits) {
    if (c < kZero || c > QLatin1Char('9')) return std::nullopt;
    hundredths = hundredths * 10 + (c.unicode() - '0');
    // A long integer part can only give a voltage too high: no need to read on and overflow.
    if (hundredths > kVoltageAcceptedHigh) return std::nullopt;
  }
  if (hundredths < kVoltageAcceptedLow) return std::nullopt;
  return hundredths;
}

}  // namespace m84
