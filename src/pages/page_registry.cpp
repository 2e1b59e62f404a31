#include "pages/page_model.h"

namespace m84 {

std::unique_ptr<PageModel> CreatePageModel(PageId id) {
  switch (id) {
    default:
      return std::make_unique<PageModel>(id);
  }
}

}  // namespace m84
