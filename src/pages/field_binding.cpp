#include "pages/field_binding.h"

#include <algorithm>

#include "pages/capcode.h"
#include "pages/field_codecs.h"

namespace m84::field {

FieldBinding Flag(const QString& key, int offset, uint8_t mask) {
  return {key, [=](const PagerData& d) { return QVariant(GetFlagBit(d.image[offset], mask)); },
          [=](QVariant& v, PagerData& d) { SetFlagBit(d.image[offset], mask, v.toBool()); }};
}

FieldBinding InvertedFlag(const QString& key, int offset, uint8_t mask) {
  return {key, [=](const PagerData& d) { return QVariant(GetFlagBitInverted(d.image[offset], mask)); },
          [=](QVariant& v, PagerData& d) { SetFlagBitInverted(d.image[offset], mask, v.toBool()); }};
}

FieldBinding Byte(const QString& key, int offset) {
  return {key, [=](const PagerData& d) { return QVariant(int(d.image[offset])); },
          [=](QVariant& v, PagerData& d) { d.image[offset] = static_cast<uint8_t>(v.toInt() & 0xFF); }};
}

FieldBinding List(const QString& key, int offset, uint8_t mask, std::vector<uint8_t> entryBits) {
  return {key,
          [=](const PagerData& d) {
            const uint8_t bits = d.image[offset] & mask;
            for (size_t i = 0; i < entryBits.size(); ++i)
              if (entryBits[i] == bits) return QVariant(int(i));
            return QVariant(0);
          },
          [=](QVariant& v, PagerData& d) {
            const int index = v.toInt();
            const uint8_t bits = index >= 0 && index < int(entryBits.size()) ? entryBits[size_t(index)] : entryBits[0];
            d.image[offset] = static_cast<uint8_t>((d.image[offset] & ~mask) | (bits & mask));
          }};
}

FieldBinding KeyedList(const QString& key, int offset, uint8_t mask, uint8_t keyMask, std::vector<uint8_t> entryBits) {
  FieldBinding binding = List(key, offset, mask, entryBits);
  binding.load = [=](const PagerData& d) {
    const uint8_t keyBits = d.image[offset] & keyMask;
    for (size_t i = 0; i < entryBits.size(); ++i)
      if ((entryBits[i] & keyMask) == keyBits) return QVariant(int(i));
    return QVariant(0);
  };
  return binding;
}

FieldBinding ClampedByte(const QString& key, int offset, int lo, int hi) {
  return {key, [=](const PagerData& d) { return QVariant(std::clamp(int(d.image[offset]), lo, hi)); },
          [=](QVariant& v, PagerData& d) { d.image[offset] = static_cast<uint8_t>(std::clamp(v.toInt(), lo, hi)); }};
}

FieldBinding FixedText(const QString& key, int offset, int n) {
  return {key, [=](const PagerData& d) { return QVariant(ReadFixedText(d.image, offset, n)); },
          [=](QVariant& v, PagerData& d) {
            QString text = v.toString();
            WriteFixedText(text, d.image, offset, n);
            v = text;
          },
          false};
}

FieldBinding ZeroPaddedText(const QString& key, int offset, int n) {
  return {key, [=](const PagerData& d) { return QVariant(ReadZeroPaddedText(d.image, offset, n)); },
          [=](QVariant& v, PagerData& d) { WriteZeroPaddedText(v.toString(), d.image, offset, n); }};
}

FieldBinding ZeroFilledText(const QString& key, int offset, int n) {
  return {key, [=](const PagerData& d) { return QVariant(ReadFixedText(d.image, offset, n)); },
          [=](QVariant& v, PagerData& d) {
            QString text = v.toString();
            WriteZeroFilledText(text, d.image, offset, n);
            v = text;
          },
          false};
}

FieldBinding SelectionByte(const QString& key, int index) {
  return {key, [=](const PagerData& d) { return QVariant(int(d.selection[index])); },
          [=](QVariant& v, PagerData& d) { d.selection[index] = static_cast<uint8_t>(v.toInt() & 0xFF); }};
}

FieldBinding SelectionIndex(const QString& key, int index, int entryCount, int fallback) {
  return {key,
          [=](const PagerData& d) {
            const int stored = d.selection[index];
            return QVariant(stored < entryCount ? stored : fallback);
          },
          [=](QVariant& v, PagerData& d) {
            const int selected = v.toInt();
            d.selection[index] = static_cast<uint8_t>(selected >= 0 && selected < entryCount ? selected : fallback);
          }};
}

FieldBinding Capcode(const QString& key, int row) {
  return {key, [=](const PagerData& d) { return QVariant(CapcodeForDisplay(ReadCapcode(d.image, row))); },
          [=](QVariant& v, PagerData& d) {
            const int capcode = StorableCapcode(v.toInt());
            WriteCapcode(d.image, row, uint32_t(capcode));
            v = capcode;
          }};
}

}  // namespace m84::field
