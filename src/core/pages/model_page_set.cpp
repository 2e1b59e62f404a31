#include "core/pages/model_page_set.h"

namespace m84 {

ModelPageSet::ModelPageSet(PagerData& data, DisplayMode mode) : data_(data), mode_(mode) {
  for (size_t i = 0; i < pages_.size(); ++i) pages_[i] = CreatePageModel(static_cast<PageId>(i));
}

void ModelPageSet::ExchangeAllPages(Direction direction) {
  if (mode_ == DisplayMode::Basic) {
    Exchange(Page(PageId::Basic), direction);
    return;
  }
  for (const PageInfo& info : kTabPages) Exchange(Page(info.id), direction);
}

void ModelPageSet::PrintSection(PageId id, ReportCursor& report) {
  Page(id).Store(data_);
  Page(id).PrintSection(report);
}

void ModelPageSet::Exchange(PageModel& page, Direction direction) {
  if (direction == Direction::Store)
    page.Store(data_);
  else
    page.Load(data_);
}

}  // namespace m84
