#pragma once
// The Reminders page's controls over RemindersPageModel. The page has no hint line.

#include "core/pages/reminders_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class RemindersPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  RemindersPageWidget(RemindersPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);
};

}  // namespace m84
