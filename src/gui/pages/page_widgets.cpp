#include "gui/pages/page_widgets.h"

#include "gui/pages/alerting_page_widget.h"
#include "gui/pages/basic_page_widget.h"
#include "gui/pages/cadence_page_widget.h"
#include "gui/pages/canned_page_widget.h"
#include "gui/pages/display_page_widget.h"
#include "gui/pages/duplicate_page_widget.h"
#include "gui/pages/folders_page_widget.h"
#include "gui/pages/general_page_widget.h"
#include "gui/pages/name_misc_page_widget.h"
#include "gui/pages/ota_page_widget.h"
#include "gui/pages/out_of_range_page_widget.h"
#include "gui/pages/reminders_page_widget.h"
#include "gui/pages/tones_page_widget.h"

namespace m84 {

namespace {

// The page's widget over its own model, the one CreatePageModel makes for the page; nothing for
// a model of another page.
template <typename Widget, typename Model>
SettingsPage* Over(PageModel& model, PagerData& data, PageHost& host, QWidget* parent) {
  auto* own = dynamic_cast<Model*>(&model);
  return own ? new Widget(*own, data, host, parent) : nullptr;
}

}  // namespace

SettingsPage* CreatePageWidget(PageModel& model, PagerData& data, PageHost& host, QWidget* parent) {
  switch (model.Id()) {
    case PageId::General: return Over<GeneralPageWidget, GeneralPageModel>(model, data, host, parent);
    case PageId::Display: return Over<DisplayPageWidget, DisplayPageModel>(model, data, host, parent);
    case PageId::Alerting: return Over<AlertingPageWidget, AlertingPageModel>(model, data, host, parent);
    case PageId::NameMisc: return Over<NameMiscPageWidget, NameMiscPageModel>(model, data, host, parent);
    case PageId::Reminders: return Over<RemindersPageWidget, RemindersPageModel>(model, data, host, parent);
    case PageId::Duplicate: return Over<DuplicatePageWidget, DuplicatePageModel>(model, data, host, parent);
    case PageId::Folders: return Over<FoldersPageWidget, FoldersPageModel>(model, data, host, parent);
    case PageId::OutOfRange: return Over<OutOfRangePageWidget, OutOfRangePageModel>(model, data, host, parent);
    case PageId::Ota: return Over<OtaPageWidget, OtaPageModel>(model, data, host, parent);
    case PageId::Canned: return Over<CannedPageWidget, CannedPageModel>(model, data, host, parent);
    case PageId::Tones: return Over<TonesPageWidget, TonesPageModel>(model, data, host, parent);
    case PageId::Cadence: return Over<CadencePageWidget, CadencePageModel>(model, data, host, parent);
    case PageId::Basic: return Over<BasicPageWidget, BasicPageModel>(model, data, host, parent);
  }
  return nullptr;  // no such page
}

}  // namespace m84
