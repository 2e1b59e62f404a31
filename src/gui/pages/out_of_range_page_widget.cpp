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

OutOfRangePageWidget::OutOfRangePageWidget(OutOfRangePageModel& model, PagerData& data, PageHost& host,
                                           QWidget* parent)
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
  auto* enable = new QCheckBox(QStringLiteral("Enable"));
  auto* warning = new QCheckBox(QStringLiteral("Enable warning message when out of range"));
  auto* vibrate = new QCheckBox(QStringLiteral("Enable vibrate when out of range"));
  QComboBox* showIcon = ListOf(kShowIconEntries);
  QComboBox* detectTime = ListOf(kRangeDetectTimeEntries);
  // Two lines: the switch with the two lists, then the two options.
  grid->addWidget(enable, 0, 0);
  grid->addWidget(new QLabel(QStringLiteral("Show Icon when")), 0, 1);
  grid->addWidget(showIcon, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Detect Time")), 0, 3);
  grid->addWidget(detectTime, 0, 4);
  grid->addWidget(warning, 1, 0, 1, 2);
  grid->addWidget(vibrate, 1, 2, 1, 3);

  Declare(Control(kEnable, enable));
  Declare(Control(kWarning, warning).EnabledWhen(OutOfRangeOptionsEnabled));
  Declare(Control(kVibrate, vibrate).EnabledWhen(OutOfRangeOptionsEnabled));
  Declare(Control(kShowIcon, showIcon).EnabledWhen(OutOfRangeOptionsEnabled));
  Declare(Control(kDetectTime, detectTime).EnabledWhen(OutOfRangeOptionsEnabled));
  return frame;
}

QWidget* OutOfRangePageWidget::BuildDisplayTextFrame() {
  QStringList capcodeKeys, capcodeLabels, beepKeys, beepLabels;
  for (int capcode = 1; capcode <= kCapcodeNameCount; ++capcode) {
    capcodeKeys << CapcodeName(capcode);
    capcodeLabels << QStringLiteral("Cap Code %1 Description").arg(capcode);
  }
  for (int beep = 0; beep < kBeepCodeNameCount; ++beep) {
    beepKeys << BeepCodeName(beep);
    beepLabels << QStringLiteral("Beep Code %1 Description").arg(BeepCodeLetter(beep));
  }
  auto* frame = new QGroupBox(QStringLiteral(" Display Text for Cap Codes and Beep Codes "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  // The switch stands beside the name frames rather than above them: the page has no height
  // to spare for a line of its own.
  auto* enable = new QCheckBox(QStringLiteral("Enable"));
  grid->addWidget(enable, 0, 0, Qt::AlignTop);
  Declare(Control(kDisplayText, enable));
  grid->addWidget(BuildNameFrame(QStringLiteral(" Cap Code Names  "), capcodeKeys, capcodeLabels), 0, 1);
  grid->addWidget(BuildNameFrame(QStringLiteral(" Beep Code Names  "), beepKeys, beepLabels), 1, 1);
  return frame;
}

QWidget* OutOfRangePageWidget::BuildNameFrame(const QString& caption, const QStringList& keys,
                                              const QStringList& labels) {
  auto* frame = new QGroupBox(caption);
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  const int rows = int(keys.size()) / kNameColumns;
  for (int i = 0; i < keys.size(); ++i) {
    const int column = 2 * (i / rows);
    QLineEdit* name = TextEdit(kCodeNameLength);
    name->setFixedWidth(name->fontMetrics().horizontalAdvance(QString(kCodeNameLength + 2, QLatin1Char('W'))));
    grid->addWidget(new QLabel(labels[i]), i % rows, column);
    grid->addWidget(name, i % rows, column + 1);
    Declare(Control(keys[i], name).Hint(kCodeNameHint).EnabledWhen(CodeNamesEnabled));
  }
  return frame;
}

}  // namespace m84
