#pragma once
// Inside the settings text: every setting of the twelve tab pages as their binding tables
// declare them, then the Basic page's own switches, and the pages run without the window to load
// and store them.

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <array>
#include <optional>
#include <vector>

#include "core/image/pager_image.h"
#include "core/pages/field_binding.h"
#include "core/pages/model_page_set.h"

namespace m84::settings_text {

inline constexpr char kFormatKey[] = "format";
inline constexpr char kCarriedKey[] = "carried";
inline constexpr char kSelectionKey[] = "selection";
// The one key of a setting's mapping that gives its value as read from a pager.
inline constexpr char kAsReadKey[] = "as_read";

using Binding = const FieldBinding*;

// A key of a page's mapping: one setting, or a grid of rows.
struct Item {
  QString name;
  Binding setting = nullptr;
  std::vector<std::vector<Binding>> rows;
};

struct CatalogPage {
  PageId id;
  QString name;   // the tab as a key: "name_misc"
  QString title;  // the tab as shown, without its outer blanks
  std::vector<Item> items;
};

class Catalog {
 public:
  static const Catalog& Get();
  const std::vector<CatalogPage>& Pages() const { return pages_; }
  // Every setting of every page in the order ForEachSetting visits them, and each one's place
  // in that order.
  const std::vector<std::pair<const CatalogPage*, Binding>>& Settings() const { return settings_; }
  int PlaceOf(Binding binding) const { return places_.value(binding, -1); }
  // The places of one page's settings.
  const std::vector<int>& PlacesOn(PageId id) const { return placesOn_[size_t(id)]; }

 private:
  Catalog();
  // The page's settings but those whose variables are named in givenElsewhere.
  void AddPage(PageId id, const QString& tab, const QSet<QString>& givenElsewhere);

  PagerData data_;
  ModelPageSet models_{data_};
  std::vector<CatalogPage> pages_;
  std::vector<std::pair<const CatalogPage*, Binding>> settings_;
  QHash<Binding, int> places_;
  std::array<std::vector<int>, kTabPageCount + 1> placesOn_;
};

template <typename Visit>
void ForEachSetting(const CatalogPage& page, Visit visit) {
  for (const Item& item : page.items) {
    if (item.setting) visit(item.setting);
    for (const auto& row : item.rows)
      for (Binding binding : row) visit(binding);
  }
}

// "Display / LCD Contrast", with the row's label between for a grid's setting.
QString SettingTitle(const CatalogPage& page, const FieldBinding& binding);

QString HexByte(uint8_t byte);
// "0A 1B ...".
QString HexBytes(const uint8_t* bytes, int count);
// "0x0F0".
QString OffsetText(int offset);

struct Assignment {
  PageId page;
  Binding binding;
  QVariant value;
  // Given as a pager held it ({as_read: ...}), past the window's check: the carried bytes may
  // give it where the page's store would not.
  bool asRead = false;
};

// Every setting's variable, as a load left it, in the catalog's order: a look at a probe compares
// these thousands of times, so they are held flat rather than as the pages' own tables.
class LoadedValues {
 public:
  QVariant Value(PageId, Binding binding) const { return values_[size_t(Catalog::Get().PlaceOf(binding))]; }

 private:
  friend class PageRunner;
  std::vector<QVariant> values_;
};

// The window's pages without the window, loaded and stored again and again as the window's own
// pages are: making them (and their binding tables) anew for every pass would cost more than
// the passes themselves. A load follows the last one: only the pages that read a byte which has
// changed since load again (a page's variables follow from the bytes it reads), so a look at an
// image that differs from the last in a few bytes costs a page or two, not every page.
class PageRunner {
 public:
  PageRunner();

  // The pages load the background, take the values, and store, as the window does after the
  // user changed its controls.
  PagerData Apply(const PagerData& background, const std::vector<Assignment>& assignments);
  LoadedValues Load(const PagerData& data);
  // The first setting, in the catalog's order and but those in `skipped`, whose variable as the
  // pages load data differs from `loaded`; -1 when none does.
  int FirstDiffering(const PagerData& data, const LoadedValues& loaded, const QSet<Binding>& skipped);

 private:
  void LoadAll(const PagerData& data);
  void LoadPage(PageId id);

  PagerData data_;
  ModelPageSet pages_;
  // What the pages were last loaded from, and which bytes each page read then; none after a
  // store, which leaves the pages' variables as it made them.
  std::optional<PagerData> loadedFrom_;
  std::array<ImageReads, kTabPageCount + 1> reads_;
  // Every setting's variable as the pages hold them, in the catalog's order.
  std::vector<QVariant> current_;
};

}  // namespace m84::settings_text
