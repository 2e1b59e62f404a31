#pragma once
// The General page's controls over GeneralPageModel: eight capcode rows, the receiver settings,
// the serial number, "Manually Increment", and three controls that a right-button double click
// unlocks.

#include "core/pages/general_page.h"
#include "gui/pages/capcode_rows.h"
#include "gui/pages/settings_page.h"

class QCheckBox;

namespace m84 {

class GeneralPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  GeneralPageWidget(GeneralPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  QWidget* BuildReceiverFrame();
  QWidget* BuildManagementFrame();
  QLayout* BuildLockedRow();
  // A right-button double click at this screen position unlocks the locked control under it.
  bool UnlockAt(const QPoint& globalPosition);

  GeneralPageModel& general_;
  CapcodeRows rows_{};
  QCheckBox* keepSerial_ = nullptr;
  std::vector<QWidget*> locked_;
};

}  // namespace m84
