#include "core/pages/list_fields.h"

#include "core/pages/field_codecs.h"

namespace m84 {

QString EntryText(const QStringList& entries, int index) {
  return index >= 0 && index < entries.size() ? entries[index] : QString();
}

namespace field {

namespace {

FieldBinding AsEntry(FieldBinding binding) {
  binding.form.kind = SettingKind::Entry;
  return binding;
}

}  // namespace

FieldBinding EntryBit(const QString& key, int offset, uint8_t mask, bool firstEntrySet) {
  return AsEntry(
      {key, [=](const PagerData& d) { return QVariant(GetFlagBit(d.image[offset], mask) == firstEntrySet ? 0 : 1); },
       [=](QVariant& v, PagerData& d) {
         const bool first = v.toInt() == 0;
         SetFlagBit(d.image[offset], mask, first == firstEntrySet);
       }});
}

FieldBinding ByteEntries(const QString& key, int offset, std::vector<uint8_t> values, int fallback) {
  return AsEntry({key,
                  [=](const PagerData& d) {
                    for (size_t i = 0; i < values.size(); ++i)
                      if (values[i] == d.image[offset]) return QVariant(int(i));
                    return QVariant(fallback);
                  },
                  [=](QVariant& v, PagerData& d) {
                    const int index = v.toInt();
                    d.image[offset] = values[size_t(index >= 0 && index < int(values.size()) ? index : fallback)];
                  }});
}

}  // namespace field
}  // namespace m84
