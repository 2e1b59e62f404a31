#include "core/settings/settings_catalog.h"

#include <QSet>
#include <algorithm>

namespace m84::settings_text {

const Catalog& Catalog::Get() {
  static const Catalog catalog;
  return catalog;
}

namespace {

// The page shown in basic mode: its capcodes and texts are the General and Display pages'
// settings, so only what no tab page gives is a setting of its own in the text.
constexpr char kBasicPageTitle[] = "Basic";

}  // namespace

Catalog::Catalog() {
  for (const PageInfo& info : kTabPages) AddPage(info.id, QString::fromLatin1(info.tabLabel), {});
  QSet<QString> onTabPages;
  for (const PageInfo& info : kTabPages)
    for (const FieldBinding& binding : models_.Page(info.id).Table())
      if (binding.form.kind != SettingKind::None) onTabPages.insert(binding.key);
  AddPage(PageId::Basic, QLatin1String(kBasicPageTitle), onTabPages);
}

void Catalog::AddPage(PageId id, const QString& tab, const QSet<QString>& givenElsewhere) {
  CatalogPage page{id, SnakeCase(tab), tab.simplified(), {}};
  for (const FieldBinding& binding : models_.Page(id).Table()) {
    const SettingForm& form = binding.form;
    if (form.kind == SettingKind::None || givenElsewhere.contains(binding.key)) continue;
    if (form.group.isEmpty()) {
      page.items.push_back({SnakeCase(binding.key), &binding, {}});
      continue;
    }
    auto grid = std::find_if(page.items.begin(), page.items.end(),
                             [&](const Item& item) { return !item.setting && item.name == form.group; });
    if (grid == page.items.end()) grid = page.items.insert(page.items.end(), Item{form.group, nullptr, {}});
    if (int(grid->rows.size()) <= form.row) grid->rows.resize(size_t(form.row) + 1);
    grid->rows[size_t(form.row)].push_back(&binding);
  }
  pages_.push_back(std::move(page));
}

QString SettingTitle(const CatalogPage& page, const FieldBinding& binding) {
  QString title = page.title + QStringLiteral(" / ");
  if (!binding.form.rowLabel.isEmpty()) title += binding.form.rowLabel + QStringLiteral(" / ");
  return title + binding.form.label;
}

QString HexByte(uint8_t byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }

QString HexBytes(const uint8_t* bytes, int count) {
  QStringList hex;
  for (int i = 0; i < count; ++i) hex << HexByte(bytes[i]);
  return hex.join(QLatin1Char(' '));
}

QString OffsetText(int offset) {
  return QStringLiteral("0x") + QStringLiteral("%1").arg(offset, 3, 16, QLatin1Char('0')).toUpper();
}

// The Basic page runs beside the tab pages, its store first: the fields it shares with them are
// theirs to give, and only its own switches are left as it stored them.
void PageRunner::LoadAll() {
  pages_.Page(PageId::Basic).Load(data_);
  pages_.ExchangeAllPages(Direction::Load);
}

PagerData PageRunner::Apply(const PagerData& background, const std::vector<Assignment>& assignments) {
  data_ = background;
  LoadAll();
  for (const Assignment& a : assignments) pages_.Page(a.page).Values().Set(a.binding->key, a.value);
  pages_.Page(PageId::Basic).Store(data_);
  pages_.ExchangeAllPages(Direction::Store);
  return data_;
}

LoadedValues PageRunner::Load(const PagerData& data) {
  data_ = data;
  LoadAll();
  LoadedValues loaded;
  for (const CatalogPage& page : Catalog::Get().Pages())
    loaded.values_[size_t(page.id)] = pages_.Page(page.id).Values();
  return loaded;
}

}  // namespace m84::settings_text
