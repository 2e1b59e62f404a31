#include "core/settings/setting_values.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>

#include "core/pages/field_codecs.h"
#include "core/settings/settings_catalog.h"

namespace m84 {

namespace {

constexpr uint16_t kFirstPrintable = 0x20;
constexpr uint16_t kDeleteCharacter = 0x7F;
constexpr uint16_t kLastC1Control = 0x9F;

std::string Utf8(const QString& text) { return text.toStdString(); }

QString CharacterName(const QString& c) {
  return QStringLiteral("'%1' (U+%2)")
      .arg(c)
      .arg(QString::number(c.toUcs4().value(0), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

// A number as read: any whole number an int holds, the window's range aside.
Result<QVariant> AsReadNumber(const SettingForm& form, const QString& word) {
  bool number = false;
  const int n = word.trimmed().toInt(&number);
  if (!number) return Failed({}, QStringLiteral("%1 as read is a whole number").arg(form.label));
  return QVariant(n);
}

class FlagValue : public SettingValue {
 public:
  QString Refusal(const SettingForm&, const QVariant&) const override { return QString(); }
  QVariant Canonical(const SettingForm&, const QVariant& value) const override { return QVariant(value.toBool()); }
  Result<QVariant> FromWords(const SettingForm& form, const QString& word) const override {
    const QString lower = word.toLower();
    if (lower != QLatin1String("true") && lower != QLatin1String("false")) {
      return Failed({}, QStringLiteral("%1 is true or false").arg(form.label));
    }
    return QVariant(lower == QLatin1String("true"));
  }
  void ToWords(YAML::Emitter& out, const SettingForm&, const QVariant& value) const override { out << value.toBool(); }
  QString Shown(const SettingForm&, const QVariant& value) const override {
    return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
  }
  QString Describe(const SettingForm&) const override { return QStringLiteral("`true` or `false`"); }
  Result<QVariant> AsReadFromWords(const SettingForm& form, const QString&) const override {
    return Failed({}, QStringLiteral("%1 has no check to get past: it is true or false, without '%2'")
                          .arg(form.label, QLatin1String(settings_text::kAsReadKey)));
  }
};

class NumberValue : public SettingValue {
 public:
  QString Refusal(const SettingForm& form, const QVariant& value) const override {
    const long long number = value.toLongLong();
    if (number >= form.lo && number <= form.hi) return QString();
    return form.message.isEmpty()
               ? QStringLiteral("%1 must be in range %2 to %3").arg(form.label).arg(form.lo).arg(form.hi)
               : form.message;
  }
  QVariant Canonical(const SettingForm&, const QVariant& value) const override { return QVariant(value.toInt()); }
  Result<QVariant> FromWords(const SettingForm& form, const QString& word) const override {
    bool number = false;
    const long long n = word.trimmed().toLongLong(&number);
    if (!number) {
      return Failed({}, QStringLiteral("%1 is a whole number").arg(form.label));
    }
    // The window's number edits take digits alone: a sign puts the number out of range, so the
    // refusal is the window's. Beyond the range an int holds is beyond every range here too.
    const bool digitsOnly = HoldsDigitsOnly(word.trimmed());
    return QVariant(int(digitsOnly ? std::clamp<long long>(n, form.lo - 1, form.hi + 1) : form.lo - 1));
  }
  void ToWords(YAML::Emitter& out, const SettingForm&, const QVariant& value) const override {
    out << value.toLongLong();
  }
  QString Shown(const SettingForm&, const QVariant& value) const override {
    return QString::number(value.toLongLong());
  }
  QString Describe(const SettingForm& form) const override {
    QString accepts = QStringLiteral("a whole number, %1 to %2").arg(form.lo).arg(form.hi);
    if (!form.message.isEmpty()) accepts += QStringLiteral("; else \"%1\"").arg(form.message);
    return accepts;
  }
  Result<QVariant> AsReadFromWords(const SettingForm& form, const QString& word) const override {
    return AsReadNumber(form, word);
  }
};

class EntryValue : public SettingValue {
 public:
  QString Refusal(const SettingForm& form, const QVariant& value) const override {
    const int index = value.toInt();
    if (index < 0 || index >= form.entries.size()) return QStringLiteral("%1 shows no entry").arg(form.label);
    if (form.accepts && !form.accepts(form.entries[index])) return form.message;
    return QString();
  }
  QVariant Canonical(const SettingForm& form, const QVariant& value) const override {
    return QVariant(EntryIndexOfWord(form.entries, EntryWord(form.entries[value.toInt()])));
  }
  Result<QVariant> FromWords(const SettingForm& form, const QString& word) const override {
    const int index = EntryIndexOfWord(form.entries, EntryWord(word));
    if (index >= 0) return QVariant(index);
    QStringList entries;
    for (const QString& entry : form.entries) entries << EntryWord(entry);
    return Failed({}, QStringLiteral("'%1' is no entry of %2 (entries: %3)")
                          .arg(word, form.label, entries.join(QStringLiteral(", "))));
  }
  void ToWords(YAML::Emitter& out, const SettingForm& form, const QVariant& value) const override {
    out << YAML::DoubleQuoted << Utf8(EntryWord(form.entries[value.toInt()]));
  }
  QString Shown(const SettingForm& form, const QVariant& value) const override {
    const int index = value.toInt();
    return index >= 0 && index < form.entries.size() ? EntryWord(form.entries[index]) : QStringLiteral("(no entry)");
  }
  QString Describe(const SettingForm& form) const override {
    QStringList entries;
    for (const QString& entry : form.entries) entries << QLatin1Char('"') + EntryWord(entry) + QLatin1Char('"');
    return QStringLiteral("one of ") + entries.join(QStringLiteral(", "));
  }
  // A place the list has no entry for is written as the number of the place (-1 for none).
  void AsReadToWords(YAML::Emitter& out, const SettingForm& form, const QVariant& value) const override {
    const int index = value.toInt();
    if (index >= 0 && index < form.entries.size())
      ToWords(out, form, value);
    else
      out << index;
  }
  Result<QVariant> AsReadFromWords(const SettingForm& form, const QString& word) const override {
    const int index = EntryIndexOfWord(form.entries, EntryWord(word));
    if (index >= 0) return QVariant(index);
    return AsReadNumber(form, word);
  }
};

class TextValue : public SettingValue {
 public:
  QString Refusal(const SettingForm& form, const QVariant& value) const override {
    const QString text = value.toString();
    if (const QString c = FirstUnencodableCharacter(text); !c.isEmpty())
      return QStringLiteral("%1: the character %2 cannot be stored in the pager").arg(form.label, CharacterName(c));
    // A control character (a line break, a tab, an escape, NUL) cannot be typed into the window's
    // edit, and on the pager's display it is no character at all. A text with a check of its own
    // is left to it, as in the window (a command's check drops the blanks and tabs around it).
    if (!form.guard && !form.accepts)
      for (const QChar c : text)
        if (c.unicode() < kFirstPrintable || (c.unicode() >= kDeleteCharacter && c.unicode() <= kLastC1Control))
          return QStringLiteral("%1: control character U+%2")
              .arg(form.label, QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    if (text.size() > form.width)
      return QStringLiteral("%1 holds at most %2 characters").arg(form.label).arg(form.width);
    if (form.guard && !form.guard(text)) return form.guardMessage;
    if (form.accepts && !form.accepts(text)) return form.message;
    return QString();
  }
  QVariant Canonical(const SettingForm&, const QVariant& value) const override { return QVariant(value.toString()); }
  Result<QVariant> FromWords(const SettingForm&, const QString& word) const override { return QVariant(word); }
  void ToWords(YAML::Emitter& out, const SettingForm&, const QVariant& value) const override {
    // yaml-cpp writes DEL as it is, which YAML does not allow unescaped; escaping every
    // character past ASCII escapes it too.
    const QString text = value.toString();
    if (text.contains(QChar(kDeleteCharacter))) out << YAML::EscapeNonAscii;
    out << YAML::DoubleQuoted << Utf8(text);
  }
  QString Shown(const SettingForm&, const QVariant& value) const override {
    return QLatin1Char('"') + value.toString() + QLatin1Char('"');
  }
  Result<QVariant> AsReadFromWords(const SettingForm&, const QString& word) const override { return QVariant(word); }
  QString Describe(const SettingForm& form) const override {
    QString text = QStringLiteral("a quoted text of at most %1 characters").arg(form.width);
    const QString& message = form.message.isEmpty() ? form.guardMessage : form.message;
    if (!message.isEmpty()) text += QStringLiteral("; the window checks: \"%1\"").arg(message);
    return text;
  }
};

}  // namespace

const SettingValue& ValueOf(const SettingForm& form) {
  static const FlagValue flag;
  static const NumberValue number;
  static const EntryValue entry;
  static const TextValue text;
  switch (form.kind) {
    case SettingKind::Number: return number;
    case SettingKind::Entry: return entry;
    case SettingKind::Text: return text;
    case SettingKind::Flag:
    case SettingKind::None: break;
  }
  return flag;
}

QString EntryWord(const QString& entry) { return entry.trimmed(); }

int EntryIndexOfWord(const QStringList& entries, const QString& word) {
  for (int i = 0; i < entries.size(); ++i)
    if (EntryWord(entries[i]) == word) return i;
  return -1;
}

QString TextRefusal(const FieldBinding& binding, const QString& text) {
  const SettingValue& kind = ValueOf(binding.form);
  const Result<QVariant> value = kind.FromWords(binding.form, text);
  return value ? kind.Refusal(binding.form, *value) : value.failure().reason;
}

}  // namespace m84
