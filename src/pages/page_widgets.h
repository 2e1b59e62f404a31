#pragma once
#include "pages/settings_page.h"

namespace m84 {

// The widget of each page over its model; pages that are not built yet get an empty stand-in.
SettingsPage* CreatePageWidget(PageModel& model, PagerData& data, PageHost& host, QWidget* parent);

}  // namespace m84
