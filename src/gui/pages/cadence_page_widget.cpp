#include "gui/pages/cadence_page_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

constexpr int kNumberEditWidth = 34;
constexpr int kEditTextMargin = 4;  // frame and padding above and below the digits
constexpr int kFirstSlotColumn = 0;
constexpr int kFirstNumberColumn = kFirstSlotColumn + kCadenceSlotCount;

// Slot 1 carries the row's label, written left of its box.
QCheckBox* SlotBox(int cadence, int slot) {
  if (slot > 0) return new QCheckBox;
  auto* box = new QCheckBox(CadenceLabel(cadence));
  box->setLayoutDirection(Qt::RightToLeft);
  return box;
}

// A screen reader's words for a cell: the cadence without its brackets, then the step of the
// pattern ("1/8" on the page) or the column's heading without its unit.
QString SlotName(int cadence, int slot) {
  return QStringLiteral("Cadence %1, step %2").arg(CadenceLetter(cadence)).arg(slot + 1);
}
QString NumberName(int cadence, const CadenceNumberColumn& column) {
  const QString heading = column.heading.left(column.heading.indexOf(QLatin1Char('[')));
  return QStringLiteral("Cadence %1, %2").arg(CadenceLetter(cadence), heading);
}

}  // namespace

CadencePageWidget::CadencePageWidget(CadencePageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  auto* frame = new QGroupBox(kCadenceFrame);
  auto* grid = new QGridLayout;
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(0);
  grid->setHorizontalSpacing(kControlSpacing);
  for (int slot = 0; slot < kCadenceSlotCount; ++slot)
    grid->addWidget(new QLabel(kCadenceSlotHeading), 0, kFirstSlotColumn + slot, Qt::AlignRight);
  for (int n = 0; n < kCadenceNumberColumnCount; ++n)
    grid->addWidget(new QLabel(kCadenceNumberColumns[size_t(n)].heading), 0, kFirstNumberColumn + n, Qt::AlignHCenter);

  for (int cadence = 0; cadence < kCadenceCount; ++cadence) {
    const int row = cadence + 1;
    for (int slot = 0; slot < kCadenceSlotCount; ++slot) {
      QCheckBox* box = SlotBox(cadence, slot);
      grid->addWidget(box, row, kFirstSlotColumn + slot, Qt::AlignRight);
      Declare(Control(CadenceSlotKey(cadence, slot), box).Named(SlotName(cadence, slot)));
    }
    for (int n = 0; n < kCadenceNumberColumnCount; ++n) {
      const CadenceNumberColumn& column = kCadenceNumberColumns[size_t(n)];
      QLineEdit* edit = NumberEdit(kNumberEditWidth);
      // Thirteen rows fit the page only with edits no taller than their text needs.
      edit->setFixedHeight(edit->fontMetrics().height() + kEditTextMargin);
      grid->addWidget(edit, row, kFirstNumberColumn + n, Qt::AlignHCenter);
      // A rejected text gives way to the last accepted value; an accepted one is stored at once.
      Declare(Control(CadenceNumberKey(column, cadence), edit)
                  .Named(NumberName(cadence, column))
                  .Number()
                  .Checked(Rejected::LastValidBack)
                  .ThenStore());
    }
  }

  auto* groups = new QHBoxLayout;
  for (const QString& text : kCadenceGroupLabels) groups->addWidget(new QLabel(text));
  groups->addStretch();

  auto* inside = new QVBoxLayout(frame);
  Compact(inside);
  inside->addLayout(grid);
  inside->addLayout(groups);
  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addWidget(frame);
  page->addStretch();
}

}  // namespace m84
