#pragma once
// The Hand Program / Canned MSG page's controls over CannedPageModel: the hand programming
// switches with their password, and the twenty canned texts in two columns.

#include "core/pages/canned_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class CannedPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  CannedPageWidget(CannedPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildHandProgrammingFrame();
  QWidget* BuildCannedFrame();
};

}  // namespace m84
