#include "gui/pages/out_of_range_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace out_of_range_key;

constexpr int kNameColumns = 2;

}  // namespace

OutOfRangePageWidget::OutOfRangePageWidget(OutOfRangePageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(BuildOutOfRangeFrame());
  page->addWidget(BuildDisplayTextFrame());
  page->addStretch();
}

QWidget* OutOfRangePageWidget::BuildOutOfRangeFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Out of Range "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  QCheckBox* enable = CheckBox(kEnable);
  QCheckBox* warning = CheckBox(kWarning);
  QCheckBox* vibrate = CheckBox(kVibrate);
  QComboBox* showIcon = List(kShowIcon);
  QComboBox* detectTime = List(kDetectTime);
  // Two lines: the switch with the two lists, then the two options.
  grid->addWidget(enable, 0, 0);
  grid->addWidget(CaptionLabel(kShowIcon), 0, 1);
  grid->addWidget(showIcon, 0, 2);
  grid->addWidget(CaptionLabel(kDetectTime), 0, 3);
  grid->addWidget(detectTime, 0, 4);
  grid->addWidget(warning, 1, 0, 1, 2);
  grid->addWidget(vibrate, 1, 2, 1, 3);

  Declare(Control(kEnable, enable));
  Declare(Control(kWarning, warning));
  Declare(Control(kVibrate, vibrate));
  Declare(Control(kShowIcon, showIcon));
  // The Duplicate Message page has a Detect Time of its own.
  Declare(Control(kDetectTime, detectTime).Named(QStringLiteral("Out of Range Detect Time")));
  return frame;
}

QWidget* OutOfRangePageWidget::BuildDisplayTextFrame() {
  QStringList capcodeKeys, beepKeys;
  for (int capcode = 1; capcode <= kCapcodeNameCount; ++capcode) capcodeKeys << CapcodeName(capcode);
  for (int beep = 0; beep < kBeepCodeNameCount; ++beep) beepKeys << BeepCodeName(beep);
  auto* frame = new QGroupBox(QStringLiteral(" Display Text for Cap Codes and Beep Codes "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  // The switch stands beside the name frames rather than above them: the page has no height
  // to spare for a line of its own.
  QCheckBox* enable = CheckBox(kDisplayText);
  grid->addWidget(enable, 0, 0, Qt::AlignTop);
  Declare(Control(kDisplayText, enable));
  grid->addWidget(BuildNameFrame(QStringLiteral(" Cap Code Names  "), capcodeKeys), 0, 1);
  grid->addWidget(BuildNameFrame(QStringLiteral(" Beep Code Names  "), beepKeys), 1, 1);
  return frame;
}

QWidget* OutOfRangePageWidget::BuildNameFrame(const QString& caption, const QStringList& keys) {
  auto* frame = new QGroupBox(caption);
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  const int rows = int(keys.size()) / kNameColumns;
  for (int i = 0; i < keys.size(); ++i) {
    const int column = 2 * (i / rows);
    QWidget* name = Place(grid, keys[i], i % rows, column);
    name->setFixedWidth(name->fontMetrics().horizontalAdvance(QString(kCodeNameLength + 2, QLatin1Char('W'))));
  }
  return frame;
}

}  // namespace m84
