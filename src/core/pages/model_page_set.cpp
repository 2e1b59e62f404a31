#include "core/pages/model_page_set.h"

#include "core/pages/general_page.h"

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

const GeneralPageModel& ModelPageSet::General() const {
  return static_cast<const GeneralPageModel&>(*pages_[static_cast<size_t>(PageId::General)]);
}

bool KeepPagerSerialNumber(const ModelPageSet& pages, std::optional<bool> chosen) {
  return chosen.value_or(pages.General().KeepSerialNumber());
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

PagerData StoredByThePages(PagerData data) {
  ModelPageSet pages(data, DisplayMode::Advanced);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  return data;
}

}  // namespace m84
