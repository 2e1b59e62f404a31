#include "core/pages/list_grid.h"

#include "core/pages/list_fields.h"

namespace m84 {

QString GridCellKey(const ListGrid& grid, int capcode, int tone) {
  return QString::fromLatin1(grid.keyName) + QString::number(capcode + 1) + QChar(QLatin1Char('A').unicode() + tone);
}

int GridCellOffset(const ListGrid& grid, int capcode, int tone) {
  return grid.offset + kGridBytesPerCapcode * capcode + tone;
}

// In words, a grid is a sequence of capcodes named as its frame, each capcode a mapping of tones.
void AppendGridBindings(BindingTable& table, const ListGrid& grid) {
  const QString frame = grid.frame.simplified();
  const QString group = GridGroup(grid);
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode)
    for (int tone = 0; tone < kGridToneCount; ++tone) {
      const QString toneLabel = QStringLiteral("Tone ") + grid.rowLabels[tone];
      table.push_back(
          field::List(GridCellKey(grid, capcode, tone), GridCellOffset(grid, capcode, tone), grid.mask, grid.entryBits)
              .Labelled(toneLabel)
              .Entries(grid.entries)
              .InRow(group, capcode, frame + QLatin1Char(' ') + grid.columnHeadings[capcode].trimmed(),
                     SnakeCase(toneLabel)));
    }
}

QString GridGroup(const ListGrid& grid) { return SnakeCase(grid.frame.simplified()); }

QString GridCellText(const PageValues& values, const ListGrid& grid, int capcode, int tone) {
  return EntryText(grid.entries, values.Number(GridCellKey(grid, capcode, tone)));
}

}  // namespace m84
