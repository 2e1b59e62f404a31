#pragma once
// Inside the settings text: every setting of the twelve tab pages as their binding tables
// declare them, then the Basic page's own switches, and the pages run without the window to load
// and store them.

#include <QSet>
#include <QString>
#include <QVariant>
#include <array>
#include <vector>

#include "core/image/pager_image.h"
#include "core/pages/field_binding.h"
#include "core/pages/model_page_set.h"

namespace m84::settings_text {

inline constexpr char kFormatKey[] = "format";
inline constexpr char kCarriedKey[] = "carried";
inline constexpr char kSelectionKey[] = "selection";

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

 private:
  Catalog();
  // The page's settings but those whose variables are named in givenElsewhere.
  void AddPage(PageId id, const QString& tab, const QSet<QString>& givenElsewhere);

  PagerData data_;
  ModelPageSet models_{data_};
  std::vector<CatalogPage> pages_;
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
};

// Every page's variables, as a load left them.
class LoadedValues {
 public:
  QVariant Value(PageId id, Binding binding) const { return values_[size_t(id)].Value(binding->key); }

 private:
  friend class PageRunner;
  std::array<PageValues, kTabPageCount + 1> values_;
};

// The window's pages without the window, loaded and stored again and again as the window's own
// pages are: making them (and their binding tables) anew for every pass would cost more than
// the passes themselves.
class PageRunner {
 public:
  PageRunner() : pages_(data_, DisplayMode::Advanced) {}

  // The pages load the background, take the values, and store, as the window does after the
  // user changed its controls.
  PagerData Apply(const PagerData& background, const std::vector<Assignment>& assignments);
  LoadedValues Load(const PagerData& data);

 private:
  void LoadAll();

  PagerData data_;
  ModelPageSet pages_;
};

}  // namespace m84::settings_text
