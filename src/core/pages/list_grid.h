#pragma once
// A grid of drop-down lists with one list per capcode (column) and tone code (row), each list
// kept in the byte of its capcode and tone. The Alerting and Tones pages are made of such grids;
// their widgets build the lists from these tables by loops.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "core/pages/field_binding.h"
#include "core/pages/page_values.h"

namespace m84 {

constexpr int kGridCapcodeCount = 8;
constexpr int kGridToneCount = 4;  // tone (function) codes A to D
// The bytes of one capcode, tone A to D, lie next to each other.
constexpr int kGridBytesPerCapcode = kGridToneCount;

struct ListGrid {
  const char* keyName;             // cell keys: keyName, capcode 1-8, tone letter ("beep3C")
  QString frame;                   // the frame's title, exactly as shown
  QStringList columnHeadings;      // capcodes 1 to 8
  QStringList rowLabels;           // tones A to D
  QStringList entries;             // in list order
  std::vector<uint8_t> entryBits;  // entry i stands for these bits under mask
  uint8_t mask;
  int offset;  // the byte of capcode 1, tone A
};

// Capcode and tone count from 0.
QString GridCellKey(const ListGrid& grid, int capcode, int tone);
int GridCellOffset(const ListGrid& grid, int capcode, int tone);

// Capcode 1 to 8 and within each capcode tone A to D: the order in which the pages store and
// load their lists. Bits a list does not own stay as they are; a byte that is no entry's loads
// as the first entry.
void AppendGridBindings(BindingTable& table, const ListGrid& grid);
// The group (SettingForm::group) of the grid's rows: its frame's title in the settings text's words.
QString GridGroup(const ListGrid& grid);

// The text of the entry a cell shows, blanks included; empty when it shows none.
QString GridCellText(const PageValues& values, const ListGrid& grid, int capcode, int tone);

}  // namespace m84
