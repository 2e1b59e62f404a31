#include "core/pages/cadence_page.h"

#include "core/pages/field_codecs.h"

namespace m84 {

namespace {

constexpr bool kInitialSlotsChecked = false;

// "cadenceDuration" -> "duration": the column's name within a cadence's row of the settings text.
QString ColumnMember(const CadenceNumberColumn& column) {
  return SnakeCase(QString::fromLatin1(column.keyName).remove(QStringLiteral("cadence")));
}

// A cadence's grid row in one line: its pattern, then its numbers under the header's columns.
std::function<QStringList(const PageValues&)> CadenceLine(int cadence) {
  return [cadence](const PageValues& values) {
    QStringList pattern;
    for (int slot = 0; slot < kCadenceSlotCount; ++slot)
      pattern << FlagLetter(values.Flag(CadenceSlotKey(cadence, slot)));
    const auto number = [&](int column) {
      return values.Number(CadenceNumberKey(kCadenceNumberColumns[size_t(column)], cadence));
    };
    return QStringList{QStringLiteral(" Cadence [%1]: %2").arg(CadenceLetter(cadence), pattern.join(QLatin1Char(' '))) +
                       QString::asprintf("      %d   %d    %2d", number(kCadenceMColumn), number(kCadenceGColumn),
                                         number(kCadenceDurationColumn))};
  };
}

}  // namespace

// M and G are not kept up from below: the check keeps them in range as long as they are only
// typed through the page. A G of 3 is let through although the check stops at 2.
const std::array<CadenceNumberColumn, kCadenceNumberColumnCount> kCadenceNumberColumns = {{
    {"cadenceM", QStringLiteral("M[x]"), 1, 1, 3, QStringLiteral("Value must be in range 1 to 3"),
     QStringLiteral("Enter value range 1 to 3"), 0, 3, 1},
    {"cadenceG", QStringLiteral("G[x]"), 2, 0, 2, QStringLiteral("Value must be in range 0 to 2"),
     QStringLiteral("Enter gap value range 0 to 2"), 0, 3, 0},
    {"cadenceDuration", QStringLiteral("Duration[s]"), 3, 1, 60, QStringLiteral("Value must be in range 1 to 60"),
     QStringLiteral("Enter length value range 1 to 60"), 1, 60, 8},
}};

const QString kCadenceFrame = QStringLiteral(" Cadence setting ");
const QString kCadenceSlotHeading = QStringLiteral("1/8");
const QStringList kCadenceGroupLabels = {QStringLiteral("[A] - [D] beep cadence "),
                                         QStringLiteral("[E] - [I] special vibrate cadence "),
                                         QStringLiteral("[J] - [M] OTA cadence")};

QChar CadenceLetter(int cadence) { return QChar(QLatin1Char('A').unicode() + cadence); }

QString CadenceLabel(int cadence) { return QStringLiteral("Cadence [%1]").arg(CadenceLetter(cadence)); }

int CadenceRecordOffset(int cadence) { return kCadenceOffset + kCadenceRecordSize * cadence; }

uint8_t CadenceSlotBit(int slot) { return static_cast<uint8_t>(kFirstSlotBit >> slot); }

QString CadenceSlotKey(int cadence, int slot) { return QStringLiteral("cadenceSlot%1_%2").arg(cadence).arg(slot + 1); }

QString CadenceNumberKey(const CadenceNumberColumn& column, int cadence) { return Key(column.keyName, cadence); }

CadencePageModel::CadencePageModel() : PageModel(PageId::Cadence) {
  for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
    for (int slot = 0; slot < kCadenceSlotCount; ++slot)
      Values().Set(CadenceSlotKey(cadence, slot), kInitialSlotsChecked);
    for (const CadenceNumberColumn& column : kCadenceNumberColumns)
      Values().Set(CadenceNumberKey(column, cadence), column.initial);
  }
}

// Every M first, then every G, every duration and last the patterns.
BindingTable CadencePageModel::Bindings() const {
  BindingTable table;
  const QString group = QStringLiteral("cadences");
  for (const CadenceNumberColumn& column : kCadenceNumberColumns)
    for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
      FieldBinding number =
          field::ClampedByte(CadenceNumberKey(column, cadence), CadenceRecordOffset(cadence) + column.recordByte,
                             column.keptLo, column.keptHi)
              .Labelled(column.heading)
              .Within(column.checkLo, column.checkHi, column.message)
              .Hinted(column.hint)
              .InRow(group, cadence, CadenceLabel(cadence), ColumnMember(column));
      // The cadence's line sits on its first column, so the lines follow the cadences' order.
      if (&column == &kCadenceNumberColumns.front()) number.ReportedBy(CadenceLine(cadence));
      table.push_back(std::move(number));
    }
  for (int cadence = 0; cadence < kCadenceCount; ++cadence)
    for (int slot = 0; slot < kCadenceSlotCount; ++slot)
      table.push_back(field::Flag(CadenceSlotKey(cadence, slot), CadenceRecordOffset(cadence) + kCadencePatternByte,
                                  CadenceSlotBit(slot))
                          .Labelled(QStringLiteral("%1/8").arg(slot + 1))
                          .InRow(group, cadence, CadenceLabel(cadence), QStringLiteral("slot_%1").arg(slot + 1)));
  return table;
}

void CadencePageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Cadence]"));
  report.PrintLine(QStringLiteral(" Cadence      1 2 3 4 5 6 7 8      Mx  Gx  Length"));
  PrintRows(report);
}

}  // namespace m84
