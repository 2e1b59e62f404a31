#include "pages/page_model.h"

#include "pages/basic_page.h"
#include "pages/folders_page.h"
#include "pages/general_page.h"
#include "pages/out_of_range_page.h"

namespace m84 {

std::unique_ptr<PageModel> CreatePageModel(PageId id) {
  switch (id) {
    case PageId::General:
      return std::make_unique<GeneralPageModel>();
    case PageId::Folders:
      return std::make_unique<FoldersPageModel>();
    case PageId::OutOfRange:
      return std::make_unique<OutOfRangePageModel>();
    case PageId::Basic:
      return std::make_unique<BasicPageModel>();
    default:
      return std::make_unique<PageModel>(id);
  }
}

}  // namespace m84
