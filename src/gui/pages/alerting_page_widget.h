#pragma once
// The Alerting page: the three alert options over the beep code and vibrate code grids.

#include "core/pages/alerting_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class AlertingPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  AlertingPageWidget(AlertingPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildOptionsFrame();
};

}  // namespace m84
