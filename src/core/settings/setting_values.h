#pragma once
// The kinds of value a setting holds, each knowing how the settings text treats it: whether the
// window would take a value, how a value reads from the document's words and is written back to
// them, how a diff line shows it and how the key reference describes it. The form a page declares
// (pages/field_binding.h) picks the kind; the kind's data (range, entries, width, check) stays in
// the form.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "core/pages/field_binding.h"
#include "core/result.h"

namespace YAML {
class Emitter;
}

namespace m84 {

class SettingValue {
 public:
  virtual ~SettingValue() = default;

  // Why the window would not take this value for the setting; empty when it would.
  virtual QString Refusal(const SettingForm& form, const QVariant& value) const = 0;
  // The variable as reading the document's words gives it back.
  virtual QVariant Canonical(const SettingForm& form, const QVariant& value) const = 0;
  // The document's word as a variable; a failure saying why when the word is none of the kind's
  // values. The window's own check comes after (Refusal).
  virtual Result<QVariant> FromWords(const SettingForm& form, const QString& word) const = 0;
  // The variable into the document.
  virtual void ToWords(YAML::Emitter& out, const SettingForm& form, const QVariant& value) const = 0;
  // The value as a diff line shows it: in words, also where the window would refuse it.
  virtual QString Shown(const SettingForm& form, const QVariant& value) const = 0;
  // What the key reference says the setting accepts.
  virtual QString Describe(const SettingForm& form) const = 0;

  // A value the window refuses, as a document gives it marked as read from a pager: in the kind's
  // own words where the value has them.
  virtual void AsReadToWords(YAML::Emitter& out, const SettingForm& form, const QVariant& value) const {
    ToWords(out, form, value);
  }
  // A marked word as the variable, past the window's check; a failure when the kind has no check
  // to get past or the word is none of its values at all.
  virtual Result<QVariant> AsReadFromWords(const SettingForm& form, const QString& word) const = 0;
};

// The kind of a form that is a setting (any kind but None).
const SettingValue& ValueOf(const SettingForm& form);

// A list entry as the document writes it: without its padding blanks.
QString EntryWord(const QString& entry);
// The entry with these words, or -1.
int EntryIndexOfWord(const QStringList& entries, const QString& word);

// The settings text's verdict on a text typed for the setting: empty when the window would take
// it, else why not.
QString TextRefusal(const FieldBinding& binding, const QString& text);

}  // namespace m84
