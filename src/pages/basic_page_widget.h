#pragma once
// The Basic page's controls over BasicPageModel: the page the main window shows in basic mode,
// in place of the tab strip. Its advance-setting password leads to advanced mode.

#include "pages/basic_page.h"
#include "pages/capcode_rows.h"
#include "pages/settings_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace m84 {

class DelayedTips;

class BasicPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  BasicPageWidget(BasicPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 protected:
  void UpdateEnables() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Enter in the password edit runs the password check instead of moving on.
  void HandleEnterKey() override;

 private:
  QWidget* BuildManagementFrame();
  QWidget* BuildStartupFrame();
  QWidget* BuildStandbyFrame();
  QWidget* BuildPasswordFrame();
  void BindControls();
  void ConnectHandlers();

  // A display option clicked: the standby texts follow it.
  void OnDisplayOptionClicked();
  void OnManuallyIncrement();
  void CheckCapcode(int row);
  void CheckPassword();

  BasicPageModel& basic_;
  DelayedTips* tips_;
  CapcodeRows rows_{};
  QPushButton* increment_ = nullptr;
  QLineEdit* startupText_ = nullptr;
  QCheckBox* showDate_ = nullptr;
  QCheckBox* showTime_ = nullptr;
  QLineEdit* standbyText1_ = nullptr;
  QCheckBox* alternativeScreen_ = nullptr;
  QLineEdit* standbyText2_ = nullptr;
  QLineEdit* password_ = nullptr;
  QPushButton* ok_ = nullptr;
  bool checking_ = false;
};

}  // namespace m84
