#pragma once
// The thirteen page models driven as the main window drives its pages, without any window:
// for the command line and the tests.

#include <array>
#include <memory>
#include <optional>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"
#include "core/pages/page_model.h"

namespace m84 {

// Whoever holds the pages: the window's page widgets, or the models alone. Transfers and files
// take and give images; their caller stores the pages into the image before and loads them from
// it after.
class PageExchange {
 public:
  virtual ~PageExchange() = default;
  virtual void ExchangeAllPages(Direction direction) = 0;
};

class GeneralPageModel;

class ModelPageSet : public PageExchange {
 public:
  explicit ModelPageSet(PagerData& data, DisplayMode mode = DisplayMode::Advanced);

  DisplayMode Mode() const { return mode_; }
  void SetMode(DisplayMode mode) { mode_ = mode; }

  PageModel& Page(PageId id) { return *pages_[static_cast<size_t>(id)]; }
  const GeneralPageModel& General() const;

  // Basic mode: the Basic page alone; advanced mode: the twelve tab pages in tab order.
  void ExchangeAllPages(Direction direction) override;
  // The page stores itself, then draws its section.
  void PrintSection(PageId id, ReportCursor& report);

 private:
  void Exchange(PageModel& page, Direction direction);

  PagerData& data_;
  DisplayMode mode_;
  std::array<std::unique_ptr<PageModel>, kTabPageCount + 1> pages_;
};

// Whether a write keeps the pager's own serial number: the choice made for this write when there
// is one (the command line's --keep-serial or --no-keep-serial), else the General page's box as
// the pages last stored it; a General page never loaded (basic mode) keeps it.
bool KeepPagerSerialNumber(const ModelPageSet& pages, std::optional<bool> chosen = std::nullopt);

// The settings as the pages store them: what a save or a write of them would hold, and what the
// settings diff compares.
PagerData StoredByThePages(PagerData data);

}  // namespace m84
