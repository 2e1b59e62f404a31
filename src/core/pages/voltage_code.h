#pragma once
// The battery-mark voltages: the pager keeps them as readings of its 12-bit converter (2.5 V full
// scale), the page shows them as texts such as "1.40".

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace m84 {

// Voltages in hundredths of a volt that have a code: 0.90 V to 1.85 V.
constexpr int kVoltageTableLow = 90;
constexpr int kVoltageTableHigh = 185;
constexpr int kVoltageCodeCount = kVoltageTableHigh - kVoltageTableLow + 1;
// What the edit accepts.
constexpr int kVoltageAcceptedLow = 90;
constexpr int kVoltageAcceptedHigh = 150;

// floor(h x 4096 / 250), truncated as the converter truncates.
constexpr uint16_t VoltageCodeOf(int hundredths) { return static_cast<uint16_t>(hundredths * 4096 / 250); }

using VoltageCodeTable = std::array<uint16_t, kVoltageCodeCount>;
const VoltageCodeTable& VoltageCodes();

// Clamped to 0.90 V ... 1.85 V.
uint16_t VoltageCodeForHundredths(int hundredths);
// "1.40" for the code of 1.40 V. A code that is no entry of the table (after clamping it to the
// table's codes) shows as 1.85.
QString VoltageTextForCode(uint16_t code);
// The voltage in hundredths when the text is a voltage the edit accepts (0.90 to 1.50), read as
// "integer part, point, two fraction digits"; nothing otherwise.
std::optional<int> CheckVoltageText(const QString& text);

}  // namespace m84
