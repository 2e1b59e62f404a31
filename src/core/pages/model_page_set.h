#pragma once
// The thirteen page models driven as the main window drives its pages, without any window:
// for the command line and the tests.

#include <array>
#include <memory>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"
#include "core/pages/page_model.h"

namespace m84 {

class ModelPageSet {
 public:
  explicit ModelPageSet(PagerData& data, DisplayMode mode = DisplayMode::Advanced);

  DisplayMode Mode() const { return mode_; }
  void SetMode(DisplayMode mode) { mode_ = mode; }

  PageModel& Page(PageId id) { return *pages_[static_cast<size_t>(id)]; }

  // Basic mode: the Basic page alone; advanced mode: the twelve tab pages in tab order.
  void ExchangeAllPages(Direction direction);
  // The page stores itself, then draws its section.
  void PrintSection(PageId id, ReportCursor& report);

 private:
  void Exchange(PageModel& page, Direction direction);

  PagerData& data_;
  DisplayMode mode_;
  std::array<std::unique_ptr<PageModel>, kTabPageCount + 1> pages_;
};

}  // namespace m84
