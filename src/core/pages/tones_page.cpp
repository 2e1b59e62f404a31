#include "core/pages/tones_page.h"

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

// The report turns the page's grids round: one line per capcode, one column per tone.
struct ReportBlock {
  const ListGrid& grid;
  QString heading;
  QString firstPiece;  // capcode number and tone A's entry
  QString otherPiece;  // the entry of tones B to D
};

void PrintBlock(ReportCursor& report, const PageValues& values, const ReportBlock& block) {
  report.PrintLine(block.heading);
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
    report.PrintLine(block.firstPiece.arg(capcode + 1).arg(GridCellText(values, block.grid, capcode, 0)));
    for (int tone = 1; tone < kGridToneCount; ++tone)
      report.DrawColumn(kToneReportColumns[tone - 1],
                        block.otherPiece.arg(GridCellText(values, block.grid, capcode, tone)));
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
  return table;
}

void TonesPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Tones]"));
  PrintBlock(
      report, Values(),
      {kPriorityGrid, QStringLiteral(" Priority  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]"),
       QStringLiteral("  Cap-%1    %2"), QStringLiteral("%1")});
  PrintBlock(
      report, Values(),
      {kDecodingGrid, QStringLiteral(" Decoding  [Tone-A]          [Tone-B]          [Tone-C]          [Tone-D]"),
       QStringLiteral("  Cap-%1    %2  "), QStringLiteral("%1  ")});
}

}  // namespace m84
