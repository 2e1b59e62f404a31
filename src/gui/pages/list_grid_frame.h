#pragma once
// The window side of a grid of drop-down lists (pages/list_grid.h): a frame with the column
// headings on top, the row labels on the left and one list per cell.

#include <QComboBox>
#include <vector>

#include "core/pages/list_grid.h"
#include "gui/pages/settings_page.h"

class QGroupBox;

namespace m84 {

// A drop-down list no wider than its longest entry needs: eight of them stand abreast in a grid.
QComboBox* GridList(const QStringList& entries);

// The frame of a grid. Its lists come back in rows, row by row, so that the page declares them
// in that order and the tab order runs through the grid row by row. Each is named for a screen
// reader by the page (its title), the grid and tone, and the capcode: "Alerting, beep code A, Cap-3".
QGroupBox* BuildListGridFrame(const ListGrid& grid, const QString& page, std::vector<ControlRow>& rows);

}  // namespace m84
