#include "core/pages/page_model.h"

namespace m84 {

const BindingTable& PageModel::Table() {
  if (!table_) {
    table_ = std::make_unique<BindingTable>(Bindings());
    for (const FieldBinding& binding : *table_)
      if (!binding.showsStoredValue) storedValuesNotShown_.insert(binding.key);
  }
  return *table_;
}

bool PageModel::ShowsStoredValue(const QString& key) {
  Table();
  return !storedValuesNotShown_.contains(key);
}

void PageModel::Load(const PagerData& data) {
  for (const FieldBinding& binding : Table())
    if (binding.load) values_.Set(binding.key, binding.load(data));
  LoadRules(data);
  loaded_ = true;
}

void PageModel::Store(PagerData& data) {
  if (!loaded_) return;
  for (const FieldBinding& binding : Table())
    if (binding.store) binding.store(values_[binding.key], data);
  StoreRules(data);
}

const FieldBinding* PageModel::Row(const QString& key) {
  for (const FieldBinding& binding : Table())
    if (binding.key == key) return &binding;
  return nullptr;
}

}  // namespace m84
