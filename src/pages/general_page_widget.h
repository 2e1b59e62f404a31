#pragma once
// The General page's controls over GeneralPageModel: eight capcode rows, the receiver settings,
// the serial number, "Manually Increment", and three controls that a right-button double click
// unlocks.

#include "pages/capcode_rows.h"
#include "pages/general_page.h"
#include "pages/settings_page.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

namespace m84 {

class DelayedTips;
class FrequencyEdit;

class GeneralPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  GeneralPageWidget(GeneralPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

  // The "Don't write Serial Number" box as shown; set until the page is first loaded.
  bool KeepSerialNumber() const;

 protected:
  void UpdateEnables() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void SetUpCapcodeRows();
  QWidget* BuildReceiverFrame();
  QWidget* BuildManagementFrame();
  QLayout* BuildLockedRow();
  void BindControls();
  void ConnectHandlers();

  void OnFrequencyEdited();
  void OnManuallyIncrement();
  // An edit lost the focus: its check, by edit.
  void CheckLeftEdit(QObject* edit);
  void CheckCapcode(int row);
  void CheckFrequency();
  void LeaveSerialNumber();
  void CheckTime(QLineEdit* edit, const QString& message);
  // A right-button double click at this screen position unlocks the locked control under it.
  bool UnlockAt(const QPoint& globalPosition);

  GeneralPageModel& general_;
  DelayedTips* tips_;
  CapcodeRows rows_{};
  QLineEdit* serial_ = nullptr;
  QCheckBox* keepSerial_ = nullptr;
  FrequencyEdit* frequency_ = nullptr;
  QLineEdit* band_ = nullptr;
  QComboBox* baudRate_ = nullptr;
  QComboBox* polarity_ = nullptr;
  QPushButton* increment_ = nullptr;
  QLineEdit* bumpTime_ = nullptr;
  QLineEdit* bsTime_ = nullptr;
  QComboBox* pllDevice_ = nullptr;
  bool checking_ = false;
};

}  // namespace m84
