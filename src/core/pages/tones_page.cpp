#include "core/pages/tones_page.h"

#include <algorithm>

namespace m84 {

namespace {

const QStringList kToneRowLabels = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")};

QStringList CapcodeColumnHeadings() {
  QStringList headings;
  for (int capcode = 1; capcode <= kGridCapcodeCount; ++capcode) headings << QStringLiteral("[  %1  ]").arg(capcode);
  return headings;
}

// "Normal" holds no bits, so the two codes without an entry (0x04 and 0x14) load as "Normal".
const QStringList kPriorityEntries = {QStringLiteral("Normal"),   QStringLiteral("Manual Alert set"),
                                      QStringLiteral("Priority"), QStringLiteral("Manual+Priority"),
                                      QStringLiteral("Urgent"),   QStringLiteral("Manual+Urgent")};
const std::vector<uint8_t> kPriorityBits = {0x00, 0x10, 0x08, 0x18, 0x0C, 0x1C};
const QStringList kDecodingEntries = {QStringLiteral("No display"), QStringLiteral("Tone only"),
                                      QStringLiteral("Numeric"), QStringLiteral("Alpha")};
const std::vector<uint8_t> kDecodingBits = {0, 3, 2, 1};

// The report turns the page's grids round: one line per capcode, one column per tone. Each cell
// reports its own piece of that line: tone A's with the capcode's number, the others alone.
void ReportCells(BindingTable& table, const ListGrid& grid, const QString& firstPiece, const QString& otherPiece) {
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode)
    for (int tone = 0; tone < kGridToneCount; ++tone) {
      const QString key = GridCellKey(grid, capcode, tone);
      const auto cell =
          std::find_if(table.begin(), table.end(), [&key](const FieldBinding& row) { return row.key == key; });
      cell->Reported(tone == 0 ? firstPiece.arg(capcode + 1) : otherPiece, Wording::Entry);
    }
}

// The cells' pieces come capcode by capcode, tone A to D: a line per capcode, the pieces of
// tones B to D in the columns of their headings.
void PrintBlock(ReportCursor& report, const QString& heading, const QStringList& pieces) {
  report.PrintLine(heading);
  for (int first = 0; first + kGridToneCount <= pieces.size(); first += kGridToneCount) {
    report.PrintLine(pieces[first]);
    for (int tone = 1; tone < kGridToneCount; ++tone)
      report.DrawColumn(kToneReportColumns[tone - 1], pieces[first + tone]);
  }
}

}  // namespace

const ListGrid kPriorityGrid = {"priority",
                                QStringLiteral(" Priority "),
                                CapcodeColumnHeadings(),
                                kToneRowLabels,
                                kPriorityEntries,
                                kPriorityBits,
                                kPriorityMask,
                                kToneOptionsOffset};
const ListGrid kDecodingGrid = {"decoding",
                                QStringLiteral(" Decoding "),
                                CapcodeColumnHeadings(),
                                kToneRowLabels,
                                kDecodingEntries,
                                kDecodingBits,
                                kDecodingMask,
                                kToneOptionsOffset};

BindingTable TonesPageModel::Bindings() const {
  BindingTable table;
  AppendGridBindings(table, kPriorityGrid);
  AppendGridBindings(table, kDecodingGrid);
  ReportCells(table, kPriorityGrid, QStringLiteral("  Cap-%1    %2"), QStringLiteral("%1"));
  ReportCells(table, kDecodingGrid, QStringLiteral("  Cap-%1    %2  "), QStringLiteral("%1  "));
  return table;
}

void TonesPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Tones]"));
  PrintBlock(report, QStringLiteral(" Priority  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]"),
             GridLines(GridGroup(kPriorityGrid)));
  PrintBlock(report, QStringLiteral(" Decoding  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]"),
             GridLines(GridGroup(kDecodingGrid)));
  PrintRowsOutside(report, {GridGroup(kPriorityGrid), GridGroup(kDecodingGrid)});
}

}  // namespace m84
