#include "pages/page_model.h"

#include "pages/general_page.h"

namespace m84 {

std::unique_ptr<PageModel> CreatePageModel(PageId id) {
  switch (id) {
    case PageId::General:
      return std::make_unique<GeneralPageModel>();
    default:
      return std::make_unique<PageModel>(id);
  }
}

}  // namespace m84
