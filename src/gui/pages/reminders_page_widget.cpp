#include "gui/pages/reminders_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace reminders_key;

}  // namespace

RemindersPageWidget::RemindersPageWidget(RemindersPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  KeepHintLine();
  auto* alert = new QCheckBox(QStringLiteral("Unread Message Reminder Alert"));
  QComboBox* interval = ListOf(kReminderIntervalEntries);
  QComboBox* duration = ListOf(kReminderDurationEntries);
  auto* indication = new QCheckBox(QStringLiteral("Unread message Indication"));

  auto* frame = new QGroupBox(QStringLiteral(" Unread Message Reminder "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->addWidget(alert, 0, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Remind user every")), 1, 0);
  grid->addWidget(interval, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Duration of reminder beeps")), 2, 0);
  grid->addWidget(duration, 2, 1);
  grid->addWidget(indication, 3, 0, 1, 2);
  grid->setColumnStretch(2, 1);

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addWidget(frame);
  page->addStretch();

  const Condition whileReminding = [](const PageValues& v) { return ReminderListsEnabled(v.Flag(kReminderAlert)); };
  Declare(Control(kReminderAlert, alert));
  Declare(Control(kInterval, interval).EnabledWhen(whileReminding));
  Declare(Control(kDuration, duration).EnabledWhen(whileReminding));
  Declare(Control(kUnreadIndication, indication));
}

}  // namespace m84
