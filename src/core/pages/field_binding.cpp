#include "core/pages/field_binding.h"

#include <algorithm>

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"

namespace m84 {

QString SnakeCase(const QString& name) {
  QString snake;
  const auto separate = [&snake] {
    if (!snake.isEmpty() && !snake.endsWith(QLatin1Char('_'))) snake += QLatin1Char('_');
  };
  for (qsizetype i = 0; i < name.size(); ++i) {
    const QChar c = name[i];
    if (!c.isLetterOrNumber()) {
      separate();
      continue;
    }
    if (i > 0) {
      const QChar before = name[i - 1];
      const bool nextIsLower = i + 1 < name.size() && name[i + 1].isLower();
      if ((c.isUpper() && (before.isLower() || before.isDigit() || (before.isUpper() && nextIsLower))) ||
          (c.isDigit() && before.isLetter()) || (c.isLetter() && before.isDigit()))
        separate();
    }
    snake += c.toLower();
  }
  while (snake.endsWith(QLatin1Char('_'))) snake.chop(1);
  return snake;
}

bool HoldsDigitsOnly(const QString& text) {
  for (QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  return true;
}

const QString kDigitsOnlyMessage = QStringLiteral("Enter digits only");

Condition IsSet(const QString& key) {
  return [key](const PageValues& values) { return values.Flag(key); };
}

}  // namespace m84

namespace m84::field {

namespace {

FieldBinding Formed(FieldBinding binding, SettingKind kind) {
  binding.form.kind = kind;
  return binding;
}

FieldBinding Text(FieldBinding binding, int width) {
  binding.form.kind = SettingKind::Text;
  binding.form.width = width;
  return binding;
}

}  // namespace

FieldBinding Flag(const QString& key, int offset, uint8_t mask) {
  return Formed({key, [=](const PagerData& d) { return QVariant(GetFlagBit(d.image[offset], mask)); },
                 [=](QVariant& v, PagerData& d) { SetFlagBit(d.image[offset], mask, v.toBool()); }},
                SettingKind::Flag);
}

FieldBinding InvertedFlag(const QString& key, int offset, uint8_t mask) {
  return Formed({key, [=](const PagerData& d) { return QVariant(GetFlagBitInverted(d.image[offset], mask)); },
                 [=](QVariant& v, PagerData& d) { SetFlagBitInverted(d.image[offset], mask, v.toBool()); }},
                SettingKind::Flag);
}

FieldBinding Byte(const QString& key, int offset) {
  return FieldBinding({key, [=](const PagerData& d) { return QVariant(int(d.image[offset])); },
                       [=](QVariant& v, PagerData& d) { d.image[offset] = static_cast<uint8_t>(v.toInt() & 0xFF); }})
      .Within(0, 0xFF);
}

FieldBinding List(const QString& key, int offset, uint8_t mask, std::vector<uint8_t> entryBits) {
  return Formed({key,
                 [=](const PagerData& d) {
                   const uint8_t bits = d.image[offset] & mask;
                   for (size_t i = 0; i < entryBits.size(); ++i)
                     if (entryBits[i] == bits) return QVariant(int(i));
                   return QVariant(0);
                 },
                 [=](QVariant& v, PagerData& d) {
                   const int index = v.toInt();
                   const uint8_t bits =
                       index >= 0 && index < int(entryBits.size()) ? entryBits[size_t(index)] : entryBits[0];
                   d.image[offset] = static_cast<uint8_t>((d.image[offset] & ~mask) | (bits & mask));
                 }},
                SettingKind::Entry);
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
  return FieldBinding({key, [=](const PagerData& d) { return QVariant(std::clamp(int(d.image[offset]), lo, hi)); },
                       [=](QVariant& v, PagerData& d) {
                         d.image[offset] = static_cast<uint8_t>(std::clamp(v.toInt(), lo, hi));
                       }})
      .Within(lo, hi);
}

FieldBinding FixedText(const QString& key, int offset, int n) {
  return Text({key, [=](const PagerData& d) { return QVariant(ReadFixedText(d.image, offset, n)); },
               [=](QVariant& v, PagerData& d) {
                 QString text = v.toString();
                 WriteFixedText(text, d.image, offset, n);
                 v = text;
               },
               false},
              n);
}

FieldBinding ZeroPaddedText(const QString& key, int offset, int n) {
  return Text({key, [=](const PagerData& d) { return QVariant(ReadZeroPaddedText(d.image, offset, n)); },
               [=](QVariant& v, PagerData& d) { WriteZeroPaddedText(v.toString(), d.image, offset, n); }},
              n);
}

FieldBinding ZeroFilledText(const QString& key, int offset, int n) {
  // Loaded without the trailing blanks its store removes, and nothing else: a tab or another
  // byte at the end belongs to the text, and a load and store must not lose it.
  const auto load = [=](const PagerData& d) {
    QString text = ReadZeroPaddedText(d.image, offset, n);
    while (!text.isEmpty() && text.back() == QLatin1Char(' ')) text.chop(1);
    return QVariant(text);
  };
  return Text({key, load,
               [=](QVariant& v, PagerData& d) {
                 QString text = v.toString();
                 WriteZeroFilledText(text, d.image, offset, n);
                 v = text;
               },
               false},
              n);
}

FieldBinding Rule(const QString& key, SettingKind kind) { return Formed({key, nullptr, nullptr}, kind); }

FieldBinding SelectionByte(const QString& key, int index) {
  return FieldBinding({key, [=](const PagerData& d) { return QVariant(int(d.selection[index])); },
                       [=](QVariant& v, PagerData& d) { d.selection[index] = static_cast<uint8_t>(v.toInt() & 0xFF); }})
      .Within(0, 0xFF);
}

FieldBinding SelectionIndex(const QString& key, int index, int entryCount, int fallback) {
  return Formed({key,
                 [=](const PagerData& d) {
                   const int stored = d.selection[index];
                   return QVariant(stored < entryCount ? stored : fallback);
                 },
                 [=](QVariant& v, PagerData& d) {
                   const int selected = v.toInt();
                   d.selection[index] =
                       static_cast<uint8_t>(selected >= 0 && selected < entryCount ? selected : fallback);
                 }},
                SettingKind::Entry);
}

FieldBinding Capcode(const QString& key, int row) {
  return FieldBinding({key, [=](const PagerData& d) { return QVariant(CapcodeForDisplay(ReadCapcode(d.image, row))); },
                       [=](QVariant& v, PagerData& d) {
                         const int capcode = StorableCapcode(v.toInt());
                         WriteCapcode(d.image, row, uint32_t(capcode));
                         v = capcode;
                       }})
      .Within(kCapcodeMin, kCapcodeMax, kCapcodeRangeMessage)
      .Hinted(kCapcodeHint)
      .EnabledWhen(IsSet(capcode_key::Enable(row)));
}

}  // namespace m84::field
