#pragma once
// One row of a page's binding table: which page variable holds which field of the image, and
// with which codec. A page is mostly such a table; the rules a table cannot say are named
// functions beside it.

#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <vector>

#include "image/pager_image.h"

namespace m84 {

struct FieldBinding {
  QString key;
  std::function<QVariant(const PagerData&)> load;
  // May change the value itself (a fixed text keeps the blanks it was padded with).
  std::function<void(QVariant&, PagerData&)> store;
  // Whether the controls show what the store did to the value. A text that only lost its
  // trailing blanks does not: the control keeps what the user typed, and the next store writes
  // it again.
  bool showsStoredValue = true;
};

using BindingTable = std::vector<FieldBinding>;

namespace field {

FieldBinding Flag(const QString& key, int offset, uint8_t mask);
// Checked when the bit is clear.
FieldBinding InvertedFlag(const QString& key, int offset, uint8_t mask);
FieldBinding Byte(const QString& key, int offset);
// A list whose entry i stands for the bits entryBits[i] under mask; bits that no entry has
// load as entry 0.
FieldBinding List(const QString& key, int offset, uint8_t mask, std::vector<uint8_t> entryBits);
// A list stored like List but recognised on load by the bits under keyMask alone: entry i is
// the one whose entryBits[i] AND keyMask equal the byte's; no match loads as entry 0.
FieldBinding KeyedList(const QString& key, int offset, uint8_t mask, uint8_t keyMask, std::vector<uint8_t> entryBits);
// A whole byte kept within lo ... hi both ways; the variable keeps what it held, so a report
// shows the value as entered.
FieldBinding ClampedByte(const QString& key, int offset, int lo, int hi);
// A text padded with blanks to its field. The variable (and so the report) and the image take
// the padding; the edit keeps what the user typed over a store.
FieldBinding FixedText(const QString& key, int offset, int n);
FieldBinding ZeroPaddedText(const QString& key, int offset, int n);
// A text of at most n characters with zero bytes behind it up to the n-th byte; the variable
// loads without trailing blanks and loses them again after each store, while the control keeps
// them.
FieldBinding ZeroFilledText(const QString& key, int offset, int n);
// A byte of the selection block beside the image.
FieldBinding SelectionByte(const QString& key, int index);
// A list selection kept in the selection block; a byte that is no entry of the list loads as
// the entry fallback (old data files and preferences may hold anything).
FieldBinding SelectionIndex(const QString& key, int index, int entryCount, int fallback);
// The capcode of row 0-7 (pages/capcode.h). Loads out-of-range capcodes as 8; stores the
// nearest valid capcode and the variable takes it, so the image and the page agree.
FieldBinding Capcode(const QString& key, int row);

}  // namespace field
}  // namespace m84
