#pragma once
// The Tones page: the priority grid over the decoding grid.

#include "core/pages/tones_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class TonesPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  TonesPageWidget(TonesPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);
};

}  // namespace m84
