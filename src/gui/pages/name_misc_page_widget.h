#pragma once
// The Name / Misc page's controls over NameMiscPageModel: the language, the user-interface
// switches, the user menu options, the tone-only texts and the back light lists.

#include "core/pages/name_misc_page.h"
#include "gui/pages/settings_page.h"

namespace m84 {

class NameMiscPageWidget : public SettingsPage {
  Q_OBJECT
 public:
  NameMiscPageWidget(NameMiscPageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

 private:
  QWidget* BuildMiscellaneousFrame();
  QWidget* BuildUserMenuFrame();
  QWidget* BuildToneTextFrame();
  QWidget* BuildBackLightFrame();
  // "Danish" chosen: the list goes back to the image's language, with the message and the beep.
  void RefuseDanish(PageValues& values);
};

}  // namespace m84
