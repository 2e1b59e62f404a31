#pragma once
// The Display page's controls over DisplayPageModel: the start-up and standby texts, the message
// options, the battery alarms with the three battery-mark voltage edits, the message store and
// the LCD.

#include <array>
#include <optional>

#include "pages/display_page.h"
#include "ui/pages/settings_page.h"

namespace m84 {

class VoltageEdit;

class DisplayPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  DisplayPageWidget(DisplayPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 protected:
  // A voltage edit remembers its text on gaining the focus and is checked on losing it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLayout* BuildTexts();
  QWidget* BuildOptionsFrame();
  QWidget* BuildBatteryFrame();
  QWidget* BuildMessagesFrame();
  QWidget* BuildLcdFrame();
  void LeaveVoltage(BatteryMark mark);
  std::optional<BatteryMark> MarkOf(const QObject* widget) const;

  DisplayPageModel& display_;
  std::array<VoltageEdit*, kBatteryMarks.size()> voltages_{};
  // A rejected voltage takes the focus back; the focus changes that causes are no user's.
  bool rejecting_ = false;
};

}  // namespace m84
