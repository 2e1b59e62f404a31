#pragma once
// Binding rows for drop-down lists whose entries stand for byte values or for one bit, and the
// text of a list's entry for the report.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "core/pages/field_binding.h"

namespace m84 {

// The entry's text, or an empty text for no entry (a list without a selection).
QString EntryText(const QStringList& entries, int index);

namespace field {

// A two-entry list kept in one bit: the first entry stands for the bit as firstEntrySet says,
// every other selection (no selection included) for the opposite.
FieldBinding EntryBit(const QString& key, int offset, uint8_t mask, bool firstEntrySet);
// A list whose entry i stands for the whole byte values[i]. A byte that is no entry's value
// loads as the entry fallback, and no selection stores the fallback's value.
FieldBinding ByteEntries(const QString& key, int offset, std::vector<uint8_t> values, int fallback);

// The same on a field of the memory map.
inline FieldBinding EntryBit(const QString& key, const ImageField& field, bool firstEntrySet) {
  return EntryBit(key, field.offset, field.mask, firstEntrySet);
}
inline FieldBinding ByteEntries(const QString& key, const ImageField& field, std::vector<uint8_t> values,
                                int fallback) {
  return ByteEntries(key, field.offset, std::move(values), fallback);
}

}  // namespace field
}  // namespace m84
