#include "gui/pages/list_grid_frame.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

// Fusion keeps room around a list's text that a grid of eight cannot spare; the drop-down button
// and the text's left margin are narrowed instead, and the list's size follows from them.
const QString kGridListStyle =
    QStringLiteral("QComboBox { padding: 0px 0px 0px 2px; } QComboBox::drop-down { width: 12px; }");

// The lists of a grid stand closer together than other controls, like the cells of a table.
constexpr int kGridRowSpacing = 1;

}  // namespace

QComboBox* GridList(const QStringList& entries) {
  QComboBox* list = ListOf(entries);
  list->setStyleSheet(kGridListStyle);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return list;
}

QGroupBox* BuildListGridFrame(const ListGrid& grid, const QString& page, std::vector<ControlRow>& rows) {
  auto* frame = new QGroupBox(grid.frame);
  auto* layout = new QGridLayout(frame);
  Compact(layout);
  layout->setVerticalSpacing(kGridRowSpacing);
  // Spare width goes to the capcode columns alike, so grids stacked in one frame line up.
  for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
    layout->addWidget(new QLabel(grid.columnHeadings[capcode]), 0, capcode + 1, Qt::AlignHCenter);
    layout->setColumnStretch(capcode + 1, 1);
  }
  for (int tone = 0; tone < kGridToneCount; ++tone) {
    layout->addWidget(new QLabel(grid.rowLabels[tone]), tone + 1, 0);
    for (int capcode = 0; capcode < kGridCapcodeCount; ++capcode) {
      QComboBox* list = GridList(grid.entries);
      layout->addWidget(list, tone + 1, capcode + 1);
      const QString name = QStringLiteral("%1, %2 %3, Cap-%4")
                               .arg(page, grid.frame.simplified().toLower(), grid.rowLabels[tone].simplified())
                               .arg(capcode + 1);
      rows.push_back(Control(GridCellKey(grid, capcode, tone), list).Named(name));
    }
  }
  return frame;
}

}  // namespace m84
