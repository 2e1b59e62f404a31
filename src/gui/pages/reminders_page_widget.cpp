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
  QCheckBox* alert = CheckBox(kReminderAlert);
  QComboBox* interval = List(kInterval);
  QComboBox* duration = List(kDuration);
  QCheckBox* indication = CheckBox(kUnreadIndication);

  auto* frame = new QGroupBox(QStringLiteral(" Unread Message Reminder "));
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->addWidget(alert, 0, 0, 1, 2);
  grid->addWidget(CaptionLabel(kInterval), 1, 0);
  grid->addWidget(interval, 1, 1);
  grid->addWidget(CaptionLabel(kDuration), 2, 0);
  grid->addWidget(duration, 2, 1);
  grid->addWidget(indication, 3, 0, 1, 2);
  grid->setColumnStretch(2, 1);

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addWidget(frame);
  page->addStretch();

  Declare(Control(kReminderAlert, alert));
  Declare(Control(kInterval, interval));
  Declare(Control(kDuration, duration));
  Declare(Control(kUnreadIndication, indication));
}

}  // namespace m84
