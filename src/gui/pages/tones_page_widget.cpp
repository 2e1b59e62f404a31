#include "gui/pages/tones_page_widget.h"

#include <QApplication>
#include <QGroupBox>
#include <QScrollArea>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"
#include "gui/pages/list_grid_frame.h"

namespace m84 {

TonesPageWidget::TonesPageWidget(TonesPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  KeepHintLine();  // the page has no hints
  auto* grids = new QWidget;
  auto* column = new QVBoxLayout(grids);
  Compact(column);
  std::vector<ControlRow> cells;
  column->addWidget(BuildListGridFrame(kPriorityGrid, Title(), cells));
  column->addWidget(BuildListGridFrame(kDecodingGrid, Title(), cells));
  column->addStretch();

  // Eight priority lists wide enough for "Manual Alert set" are wider than the page: the grids
  // scroll sideways together, so each entry is shown whole and the capcodes stay in line.
  auto* scroll = new QScrollArea;
  scroll->setWidget(grids);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setFocusPolicy(Qt::NoFocus);  // the tab order runs through the lists alone
  scroll->viewport()->setAutoFillBackground(false);
  grids->setAutoFillBackground(false);
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->addWidget(scroll);
  for (const ControlRow& cell : cells) Declare(cell);
  // Whichever way a list gets the focus (Tab, Enter, a check), it is scrolled into sight.
  connect(qApp, &QApplication::focusChanged, scroll, [scroll, grids](QWidget*, QWidget* now) {
    if (now && grids->isAncestorOf(now)) scroll->ensureWidgetVisible(now);
  });
}

}  // namespace m84
