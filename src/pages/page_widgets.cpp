#include "pages/page_widgets.h"

#include "pages/alerting_page_widget.h"
#include "pages/basic_page_widget.h"
#include "pages/cadence_page_widget.h"
#include "pages/canned_page_widget.h"
#include "pages/display_page_widget.h"
#include "pages/duplicate_page_widget.h"
#include "pages/folders_page_widget.h"
#include "pages/general_page_widget.h"
#include "pages/name_misc_page_widget.h"
#include "pages/ota_page_widget.h"
#include "pages/out_of_range_page_widget.h"
#include "pages/reminders_page_widget.h"
#include "pages/tones_page_widget.h"

namespace m84 {

SettingsPage* CreatePageWidget(PageModel& model, PagerData& data, PageHost& host, QWidget* parent) {
  switch (model.Id()) {
    case PageId::General:
      if (auto* general = dynamic_cast<GeneralPageModel*>(&model)) return new GeneralPageWidget(*general, data, host, parent);
      break;
    case PageId::Display:
      if (auto* display = dynamic_cast<DisplayPageModel*>(&model)) return new DisplayPageWidget(*display, data, host, parent);
      break;
    case PageId::Reminders:
      if (auto* reminders = dynamic_cast<RemindersPageModel*>(&model))
        return new RemindersPageWidget(*reminders, data, host, parent);
      break;
    case PageId::Duplicate:
      if (auto* duplicate = dynamic_cast<DuplicatePageModel*>(&model))
        return new DuplicatePageWidget(*duplicate, data, host, parent);
      break;
    case PageId::NameMisc:
      if (auto* page = dynamic_cast<NameMiscPageModel*>(&model)) return new NameMiscPageWidget(*page, data, host, parent);
      break;
    case PageId::Ota:
      if (auto* page = dynamic_cast<OtaPageModel*>(&model)) return new OtaPageWidget(*page, data, host, parent);
      break;
    case PageId::Canned:
      if (auto* page = dynamic_cast<CannedPageModel*>(&model)) return new CannedPageWidget(*page, data, host, parent);
      break;
    case PageId::Alerting:
      if (auto* alerting = dynamic_cast<AlertingPageModel*>(&model))
        return new AlertingPageWidget(*alerting, data, host, parent);
      break;
    case PageId::Tones:
      if (auto* tones = dynamic_cast<TonesPageModel*>(&model)) return new TonesPageWidget(*tones, data, host, parent);
      break;
    case PageId::Cadence:
      if (auto* cadence = dynamic_cast<CadencePageModel*>(&model))
        return new CadencePageWidget(*cadence, data, host, parent);
      break;
    case PageId::Folders:
      if (auto* folders = dynamic_cast<FoldersPageModel*>(&model)) return new FoldersPageWidget(*folders, data, host, parent);
      break;
    case PageId::OutOfRange:
      if (auto* outOfRange = dynamic_cast<OutOfRangePageModel*>(&model))
        return new OutOfRangePageWidget(*outOfRange, data, host, parent);
      break;
    case PageId::Basic:
      if (auto* basic = dynamic_cast<BasicPageModel*>(&model)) return new BasicPageWidget(*basic, data, host, parent);
      break;
    default:
      break;
  }
  return new SettingsPage(model, data, host, parent);
}

}  // namespace m84
