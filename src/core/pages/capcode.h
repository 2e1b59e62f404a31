#pragma once
// The pager's eight capcodes (POCSAG addresses) and the rows that show them, shared by the
// General page and the Basic page.
//
// Field of row r (0-7) at 0x02 + 4r: byte 0 holds the Enable flag (0x80), the Private flag
// (0x40), two bits of another owner (0x30) and the millions digit; bytes 1-3 hold the other six
// digits as packed BCD, most significant first.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "core/image/pager_image.h"
#include "core/pages/page_values.h"

namespace m84 {

constexpr int kCapcodeRowCount = 8;
constexpr int kCapcodeMin = 8;
constexpr int kCapcodeMax = 2097151;  // 21 address bits
constexpr int kCapcodeFieldBase = 0x02;
constexpr int kCapcodeFieldSize = 4;
constexpr uint8_t kCapcodeEnableBit = 0x80;   // clear = enabled
constexpr uint8_t kCapcodePrivateBit = 0x40;  // clear = private
constexpr uint8_t kCapcodeMillionsMask = 0x0F;

inline int CapcodeFieldOffset(int row) { return kCapcodeFieldBase + kCapcodeFieldSize * row; }

// The capcode of row 0-7; the flag bits do not enter the value.
uint32_t ReadCapcode(const PagerImage& image, int row);
// Keeps the high four bits of byte 0; digits above the millions digit spill into them, so
// callers pass a storable capcode.
void WriteCapcode(PagerImage& image, int row, uint32_t capcode);

bool IsValidCapcode(long long capcode);
// What a page shows for a field: a capcode outside 8 to 2097151 shows as 8.
int CapcodeForDisplay(uint32_t capcode);
// What a page writes for its variable. "Manually Increment" applies no range check, so a row may
// hold 0, a negative number or more than 21 bits; the nearest valid capcode is written instead of
// a field that is not BCD or that spills into the flag bits.
int StorableCapcode(int capcode);
// Always 0-7, also for the negative numbers that "Manually Increment" can leave in a row.
int CapcodeFrame(int capcode);

// The capcode edit check, its failure message, hint and tool tip.
bool CheckCapcodeText(const QString& text);
extern const QString kCapcodeRangeMessage;
extern const QString kCapcodeHint;
QString CapcodeTip(int row);
// The words of the capcode grid, on the General page and the Basic page alike: a row's label
// ("Capcode 3") and the step column's.
QString CapcodeRowLabel(int row);
extern const QString kAutoIncrementLabel;

// Auto Increment: list entries and the steps they stand for.
extern const QStringList kAutoIncrementEntries;
// An index outside the list (an old selection block) steps by 0, as the " 0" entry.
int AutoIncrementStep(int index);
bool IsAutoIncrementIndex(int index);

// Page variables of the capcode rows, the same keys on every page that shows them.
namespace capcode_key {
inline QString Private(int row) { return Key("private", row); }
inline QString Enable(int row) { return Key("enable", row); }
inline QString Capcode(int row) { return Key("capcode", row); }
inline QString Frame(int row) { return Key("frame", row); }
inline QString Step(int row) { return Key("step", row); }
}  // namespace capcode_key

// Frames of all rows from their capcodes.
void RecomputeFrames(PageValues& values);
// Adds each row's Auto Increment step to its capcode and recomputes the frames; no range check,
// nothing stored.
void ManuallyIncrement(PageValues& values);

}  // namespace m84
