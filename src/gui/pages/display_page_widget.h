#pragma once
// The Display page's controls over DisplayPageModel: the start-up and standby texts, the message
// options, the battery alarms with the three battery-mark voltage edits, the message store and
// the LCD.

#include "core/pages/display_page.h"
#include "gui/pages/settings_page.h"

class QGroupBox;

namespace m84 {

class DisplayPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  DisplayPageWidget(DisplayPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QLayout* BuildTexts();
  QWidget* BuildOptionsFrame();
  QWidget* BuildBatteryFrame();
  QWidget* BuildMessagesFrame();
  QWidget* BuildLcdFrame();
  void PlaceLists(QGroupBox* frame, const QString* keys, int count);

  DisplayPageModel& display_;
};

}  // namespace m84
