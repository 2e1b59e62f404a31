#include "core/settings/settings_catalog.h"

#include <QSet>
#include <algorithm>
#include <cstring>

namespace m84::settings_text {

const Catalog& Catalog::Get() {
  static const Catalog catalog;
  return catalog;
}

namespace {

// A probe differs from the last image in a byte or two: whole blocks are compared first.
constexpr int kCompareBlock = 64;

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
  for (const CatalogPage& page : pages_)
    ForEachSetting(page, [&](Binding binding) {
      places_.insert(binding, int(settings_.size()));
      placesOn_[size_t(page.id)].push_back(int(settings_.size()));
      settings_.push_back({&page, binding});
    });
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

PageRunner::PageRunner() : pages_(data_, DisplayMode::Advanced), current_(Catalog::Get().Settings().size()) {}

// The Basic page runs beside the tab pages, its store first: the fields it shares with them are
// theirs to give, and only its own switches are left as it stored them. Each page keeps only
// variables of its own, so a page loaded alone holds what a load of all would give it.
void PageRunner::LoadAll(const PagerData& data) {
  std::bitset<kImageSize> changed;
  const bool again = loadedFrom_ && loadedFrom_->selection == data.selection;
  if (again) {
    const uint8_t* before = loadedFrom_->image.data();
    const uint8_t* now = data.image.data();
    for (int block = 0; block < kImageSize; block += kCompareBlock) {
      if (std::memcmp(before + block, now + block, kCompareBlock) == 0) continue;
      for (int i = block; i < block + kCompareBlock; ++i) changed[size_t(i)] = before[i] != now[i];
    }
  }
  data_ = data;
  const auto loadIfRead = [&](PageId id) {
    const ImageReads& read = reads_[size_t(id)];
    if (!again || read.every || (read.offsets & changed).any()) LoadPage(id);
  };
  loadIfRead(PageId::Basic);
  for (const PageInfo& info : kTabPages) loadIfRead(info.id);
  loadedFrom_ = data;
}

void PageRunner::LoadPage(PageId id) {
  ImageReads& read = reads_[size_t(id)];
  read = ImageReads();
  tNotedImageReads = &read;
  pages_.Page(id).Load(data_);
  tNotedImageReads = nullptr;
  const PageValues& values = pages_.Page(id).Values();
  const auto& settings = Catalog::Get().Settings();
  for (int place : Catalog::Get().PlacesOn(id))
    current_[size_t(place)] = values.Value(settings[size_t(place)].second->key);
}

PagerData PageRunner::Apply(const PagerData& background, const std::vector<Assignment>& assignments) {
  LoadAll(background);
  loadedFrom_.reset();
  for (const Assignment& a : assignments) pages_.Page(a.page).Values().Set(a.binding->key, a.value);
  pages_.Page(PageId::Basic).Store(data_);
  pages_.ExchangeAllPages(Direction::Store);
  return data_;
}

LoadedValues PageRunner::Load(const PagerData& data) {
  LoadAll(data);
  LoadedValues loaded;
  loaded.values_ = current_;
  return loaded;
}

int PageRunner::FirstDiffering(const PagerData& data, const LoadedValues& loaded, const QSet<Binding>& skipped) {
  LoadAll(data);
  const auto& settings = Catalog::Get().Settings();
  for (size_t i = 0; i < settings.size(); ++i)
    if (current_[i] != loaded.values_[i] && !skipped.contains(settings[i].second)) return int(i);
  return -1;
}

}  // namespace m84::settings_text
