#include "gui/pages/alerting_page_widget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"
#include "gui/pages/list_grid_frame.h"

namespace m84 {

namespace {

using namespace alerting_key;

struct OptionList {
  const QString& key;
  const QString& label;
  const QStringList& entries;
};

}  // namespace

AlertingPageWidget::AlertingPageWidget(AlertingPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  KeepHintLine();  // the page has no hints
  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addWidget(BuildOptionsFrame());
  std::vector<ControlRow> cells;
  // Both grids show the heading of the first column as well: without it the column has none.
  page->addWidget(BuildListGridFrame(kBeepCodeGrid, Title(), cells));
  page->addWidget(BuildListGridFrame(kVibrateCodeGrid, Title(), cells));
  page->addStretch();
  for (const ControlRow& cell : cells) Declare(cell);
}

QWidget* AlertingPageWidget::BuildOptionsFrame() {
  const OptionList options[] = {
      {kUserSelect, kUserSelectLabel, kUserSelectEntries},
      {kAlertModes, kAlertModesLabel, kAlertModeEntries},
      {kAlertVolume, kAlertVolumeLabel, kAlertVolumeEntries},
  };
  auto* frame = new QGroupBox(kAlertOptionsFrame);
  auto* layout = new QGridLayout(frame);
  Compact(layout);
  int column = 0;
  for (const OptionList& option : options) {
    QComboBox* list = ListOf(option.entries);
    layout->addWidget(new QLabel(option.label), 0, column);
    layout->addWidget(list, 1, column);
    Declare(Control(option.key, list));
    ++column;
  }
  return frame;
}

}  // namespace m84
