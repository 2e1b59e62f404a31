#pragma once
// The Duplicate Message page's controls over DuplicatePageModel. The page has no hint line.

#include "core/pages/duplicate_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class DuplicatePageWidget : public SettingsPage {
  Q_OBJECT
 public:
  DuplicatePageWidget(DuplicatePageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);
};

}  // namespace m84
