#pragma once
// The Over The Air page's controls over OtaPageModel: the fixed commands with their examples,
// the flexible commands with their texts, and the two checks that keep the texts usable: the
// enable-password command's digits on leaving it, and every command text before a click or a
// key takes the user elsewhere.

#include <array>

#include "core/pages/ota_page.h"
#include "gui/pages/settings_page.h"

class QLineEdit;

namespace m84 {

class OtaPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  OtaPageWidget(OtaPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildFixedFrame();
  QWidget* BuildFlexibleFrame();
  QLineEdit* CommandEdit(const char* key);
  void DeclarePasswordCommandCheck(ControlRow& row);

  OtaPageModel& ota_;
  std::array<QLineEdit*, kOtaCommandCount> commands_{};  // in the order of kOtaCommands
  QLineEdit* passwordCommand_ = nullptr;
};

}  // namespace m84
