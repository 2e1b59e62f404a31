#include "gui/pages/capcode_rows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

constexpr int kCapcodeEditWidth = 66;
constexpr int kFrameEditWidth = 22;

// Grid columns; the Private column stays empty on a page without it.
enum Column { kNumberColumn, kPrivateColumn, kEnableColumn, kCapcodeColumn, kStepColumn, kFrameColumn };

// The first caption spans the columns it names; those columns are as wide as its words.
void AddCaptions(QGridLayout* grid, PrivateColumn column) {
  const QFontMetrics metrics(grid->parentWidget()->font());
  grid->setColumnMinimumWidth(kEnableColumn, metrics.horizontalAdvance(QStringLiteral("Enable ")));
  if (column == PrivateColumn::Shown) {
    grid->setColumnMinimumWidth(kPrivateColumn, metrics.horizontalAdvance(QStringLiteral("Private ")));
    grid->addWidget(new QLabel(QStringLiteral("Private   Enable   Capcode")), 0, kPrivateColumn, 1, 3);
  } else {
    grid->setColumnMinimumWidth(kNumberColumn, metrics.horizontalAdvance(QStringLiteral("Number ")));
    grid->addWidget(new QLabel(QStringLiteral("Number   Enable   Capcode")), 0, kNumberColumn, 1, 4);
  }
  grid->addWidget(new QLabel(QStringLiteral("   ") + kAutoIncrementLabel), 0, kStepColumn);
  grid->addWidget(new QLabel(QStringLiteral("Frame")), 0, kFrameColumn);
}

}  // namespace

QGroupBox* BuildCapcodeFrame(PrivateColumn column, CapcodeRows& rows) {
  auto* frame = new QGroupBox(QStringLiteral(" Capcodes "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->setHorizontalSpacing(kControlSpacing * 2);
  AddCaptions(grid, column);

  for (int row = 0; row < kCapcodeRowCount; ++row) {
    CapcodeRow& r = rows[size_t(row)];
    r.enableBox = new QCheckBox;
    r.capcode = NumberEdit(kCapcodeEditWidth);
    r.step = ListOf(kAutoIncrementEntries);
    r.frame = ReadOnlyEdit(kFrameEditWidth);

    const int line = row + 1;
    auto* number = new QLabel(QString::number(row + 1));
    grid->addWidget(number, line, kNumberColumn, column == PrivateColumn::Shown ? Qt::Alignment() : Qt::AlignHCenter);
    if (column == PrivateColumn::Shown) {
      r.privateBox = new QCheckBox;
      grid->addWidget(r.privateBox, line, kPrivateColumn, Qt::AlignHCenter);
    }
    // Under their captions, and no wider than the box, so that a click beside it does not go astray.
    grid->addWidget(r.enableBox, line, kEnableColumn, Qt::AlignHCenter);
    grid->addWidget(r.capcode, line, kCapcodeColumn);
    grid->addWidget(r.step, line, kStepColumn, Qt::AlignHCenter);
    grid->addWidget(r.frame, line, kFrameColumn);
  }
  return frame;
}

std::vector<ControlRow> CapcodeControlRows(const CapcodeRows& rows, Rejected rejected, int tippedRows) {
  std::vector<ControlRow> declared;
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const CapcodeRow& r = rows[size_t(row)];
    // The Basic page's rows are copies of the General page's with no words of their own, so the
    // frame names its controls for both pages: the row, then the column.
    const QString place = CapcodeRowLabel(row);
    const auto named = [&place](const QString& column) { return place + QLatin1Char(' ') + column; };
    if (r.privateBox)
      declared.push_back(Control(capcode_key::Private(row), r.privateBox).Named(named(QStringLiteral("Private"))));
    declared.push_back(Control(capcode_key::Enable(row), r.enableBox).Named(named(QStringLiteral("Enable"))));
    const QString capcodeKey = capcode_key::Capcode(row);
    declared.push_back(Control(capcodeKey, r.capcode)
                           .Named(place)
                           .Number()
                           .Tip(row < tippedRows ? CapcodeTip(row) : QString())
                           .Checked(rejected)
                           .OnEdit([capcodeKey, row](PageValues& values) {
                             const int capcode = values.Number(capcodeKey);
                             if (IsValidCapcode(capcode)) values.Set(capcode_key::Frame(row), CapcodeFrame(capcode));
                           }));
    declared.push_back(Control(capcode_key::Step(row), r.step).Named(named(kAutoIncrementLabel)));
    declared.push_back(Control(capcode_key::Frame(row), r.frame).Named(named(QStringLiteral("Frame"))).Number());
  }
  return declared;
}

}  // namespace m84
