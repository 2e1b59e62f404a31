#include "core/pages/capcode.h"

#include <algorithm>
#include <array>
#include <climits>

#include "core/pages/field_codecs.h"

namespace m84 {

namespace {
constexpr int kMillion = 1000000;
constexpr int kFrameCount = 8;
constexpr std::array<int, 5> kAutoIncrementSteps = {-8, -1, 0, 1, 8};
}  // namespace

const QString kCapcodeRangeMessage = QStringLiteral("Capcode must be in range 8 to 2097151");
const QString kCapcodeHint = QStringLiteral("Enter Capcode value from 8 to 2097151");
const QStringList kAutoIncrementEntries = {QStringLiteral("-8"), QStringLiteral("-1"), QStringLiteral(" 0"),
                                           QStringLiteral("+1"), QStringLiteral("+8")};

uint32_t ReadCapcode(const PagerImage& image, int row) {
  const int at = CapcodeFieldOffset(row);
  return uint32_t(image[at] & kCapcodeMillionsMask) * kMillion + uint32_t(BcdByteToInt(image[at + 1])) * 10000 +
         uint32_t(BcdByteToInt(image[at + 2])) * 100 + uint32_t(BcdByteToInt(image[at + 3]));
}

void WriteCapcode(PagerImage& image, int row, uint32_t capcode) {
  const int at = CapcodeFieldOffset(row);
  image[at] &= static_cast<uint8_t>(~kCapcodeMillionsMask);
  image[at + 3] = IntToBcdByte(int(capcode % 100));
  image[at + 2] = IntToBcdByte(int(capcode / 100 % 100));
  image[at + 1] = IntToBcdByte(int(capcode / 10000 % 100));
  image[at] |= static_cast<uint8_t>(capcode / kMillion);
}

bool IsValidCapcode(long long capcode) { return capcode >= kCapcodeMin && capcode <= kCapcodeMax; }

int CapcodeForDisplay(uint32_t capcode) { return IsValidCapcode(capcode) ? int(capcode) : kCapcodeMin; }

int StorableCapcode(int capcode) { return std::clamp(capcode, kCapcodeMin, kCapcodeMax); }

int CapcodeFrame(int capcode) { return ((capcode % kFrameCount) + kFrameCount) % kFrameCount; }

bool CheckCapcodeText(const QString& text) { return CheckDecimalRange(text, kCapcodeMin, kCapcodeMax); }

QString CapcodeTip(int row) { return QStringLiteral("Capcode %1 range 8 to 2097151").arg(row + 1); }

QString CapcodeRowLabel(int row) { return QStringLiteral("Capcode %1").arg(row + 1); }

const QString kAutoIncrementLabel = QStringLiteral("Auto Increment");

bool IsAutoIncrementIndex(int index) { return index >= 0 && index < int(kAutoIncrementSteps.size()); }

int AutoIncrementStep(int index) { return IsAutoIncrementIndex(index) ? kAutoIncrementSteps[size_t(index)] : 0; }

void RecomputeFrames(PageValues& values) {
  for (int row = 0; row < kCapcodeRowCount; ++row)
    values.Set(capcode_key::Frame(row), CapcodeFrame(values.Number(capcode_key::Capcode(row))));
}

void ManuallyIncrement(PageValues& values) {
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const QString key = capcode_key::Capcode(row);
    // A row can hold any number the edit took; stay inside int instead of overflowing.
    const long long sum = (long long)values.Number(key) + AutoIncrementStep(values.Number(capcode_key::Step(row)));
    values.Set(key, int(std::clamp<long long>(sum, INT_MIN, INT_MAX)));
  }
  RecomputeFrames(values);
}

}  // namespace m84
