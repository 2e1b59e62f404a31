#pragma once
#include "gui/pages/settings_page.h"

namespace m84 {

// The widget of each page over its model (the one CreatePageModel made for the page).
SettingsPage* CreatePageWidget(PageModel& model, PagerData& data, PageHost& host, QWidget* parent);

}  // namespace m84
