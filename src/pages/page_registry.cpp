#include "pages/page_model.h"

#include "pages/basic_page.h"
#include "pages/general_page.h"

namespace m84 {

std::unique_ptr<PageModel> CreatePageModel(PageId id) {
  switch (id) {
    case PageId::General:
      return std::make_unique<GeneralPageModel>();
    case PageId::Basic:
      return std::make_unique<BasicPageModel>();
    default:
      return std::make_unique<PageModel>(id);
  }
}

}  // namespace m84
