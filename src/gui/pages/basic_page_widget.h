#pragma once
// The Basic page's controls over BasicPageModel: the page the main window shows in basic mode,
// in place of the tab strip. Its advance-setting password leads to advanced mode.

#include "core/pages/basic_page.h"
#include "gui/pages/capcode_rows.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class BasicPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  BasicPageWidget(BasicPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 protected:
  // Enter in the password edit runs the password check instead of moving on.
  void HandleEnterKey() override;

 private:
  QWidget* BuildManagementFrame();
  QWidget* BuildStartupFrame();
  QWidget* BuildStandbyFrame();
  QWidget* BuildPasswordFrame();
  void CheckPassword();

  BasicPageModel& basic_;
  CapcodeRows rows_{};
  QLineEdit* password_ = nullptr;
};

}  // namespace m84
