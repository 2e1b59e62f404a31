#include "core/pages/page_model.h"

#include "core/pages/alerting_page.h"
#include "core/pages/basic_page.h"
#include "core/pages/cadence_page.h"
#include "core/pages/canned_page.h"
#include "core/pages/display_page.h"
#include "core/pages/duplicate_page.h"
#include "core/pages/folders_page.h"
#include "core/pages/general_page.h"
#include "core/pages/name_misc_page.h"
#include "core/pages/ota_page.h"
#include "core/pages/out_of_range_page.h"
#include "core/pages/reminders_page.h"
#include "core/pages/tones_page.h"

namespace m84 {

std::unique_ptr<PageModel> CreatePageModel(PageId id) {
  switch (id) {
    case PageId::General: return std::make_unique<GeneralPageModel>();
    case PageId::Display: return std::make_unique<DisplayPageModel>();
    case PageId::Reminders: return std::make_unique<RemindersPageModel>();
    case PageId::Duplicate: return std::make_unique<DuplicatePageModel>();
    case PageId::NameMisc: return std::make_unique<NameMiscPageModel>();
    case PageId::Ota: return std::make_unique<OtaPageModel>();
    case PageId::Canned: return std::make_unique<CannedPageModel>();
    case PageId::Alerting: return std::make_unique<AlertingPageModel>();
    case PageId::Tones: return std::make_unique<TonesPageModel>();
    case PageId::Cadence: return std::make_unique<CadencePageModel>();
    case PageId::Folders: return std::make_unique<FoldersPageModel>();
    case PageId::OutOfRange: return std::make_unique<OutOfRangePageModel>();
    case PageId::Basic: return std::make_unique<BasicPageModel>();
  }
  return nullptr;  // no such page
}

}  // namespace m84
