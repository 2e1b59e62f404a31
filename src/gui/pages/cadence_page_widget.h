#pragma once
// The Cadence page: thirteen rows of eight slot boxes and three number edits.

#include "core/pages/cadence_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class CadencePageWidget : public SettingsPage {
  Q_OBJECT
 public:
  CadencePageWidget(CadencePageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);
};

}  // namespace m84
