#pragma once
// One row of a page's binding table: which page variable holds which field of the image, and
// with which codec. A page is mostly such a table; the rules a table cannot say are named
// functions beside it.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/image/memory_map.h"
#include "core/image/pager_image.h"
#include "core/pages/page_values.h"

namespace m84 {

// A check of a text given for a setting, typed into its control or written in the settings text.
using TextCheck = std::function<bool(const QString&)>;
// An enabling condition on the page's variables.
using Condition = std::function<bool(const PageValues&)>;

// The condition that a flag variable is set.
Condition IsSet(const QString& key);

// What a setting is in the window's words: its label, the values it accepts with the message of
// a refusal, its hint, when it is enabled and, inside a grid, its place. The settings text, its
// reference, the settings diff and the window's controls are made from it. A row without a form
// is no setting of its own (a copy of bits another page stores); its control still takes the
// rest from it.
enum class SettingKind { None, Flag, Number, Entry, Text };

struct SettingForm {
  SettingKind kind = SettingKind::None;
  QString label;
  QStringList entries;  // Entry: the list's entries, blanks included
  long long lo = 0;     // Number: the range the window's check accepts
  long long hi = 0;
  int width = 0;  // Text: at most this many characters
  // A text the window refuses when the user leaves its control, and what it says then (a range,
  // for numbers).
  TextCheck accepts;
  QString message;
  // A check the window runs not on leaving but as its mouse guard: while the text fails, every
  // click elsewhere is refused with the message.
  TextCheck guard;
  QString guardMessage;
  // The status-line text while the mouse is over the control.
  QString hint;
  // When the control is enabled; always when none.
  Condition enabledWhen;
  // The control's own words, where they are not the label (a check box inside a captioned frame).
  QString caption;
  // Inside a grid: the sequence, the row counted from 0 with its label as the page shows it,
  // and the name within the row.
  QString group;
  int row = -1;
  QString rowLabel;
  QString member;
};

// How a report line words a setting's value; Text takes the value as it stands.
enum class Wording { YesNo, EnableDisable, Entry, Text };

// The row's lines in the report: a line whose %1 takes the value as worded, or, for what one
// value cannot say (a line joining two settings, lines of a grid), a function beside the table
// that gives the lines from the page's variables.
struct RowReport {
  QString line;
  Wording wording = Wording::YesNo;
  std::function<QStringList(const PageValues&)> lines;
};

struct FieldBinding {
  QString key;
  std::function<QVariant(const PagerData&)> load;
  // May change the value itself (a fixed text keeps the blanks it was padded with).
  std::function<void(QVariant&, PagerData&)> store;
  // Whether the controls show what the store did to the value. A text that only lost its
  // trailing blanks does not: the control keeps what the user typed, and the next store writes
  // it again.
  bool showsStoredValue = true;
  SettingForm form{};
  RowReport report{};

  // The form, declared beside the row.
  FieldBinding& Labelled(QString label) & {
    form.label = std::move(label);
    return *this;
  }
  FieldBinding& Entries(const QStringList& entries) & {
    form.kind = SettingKind::Entry;
    form.entries = entries;
    return *this;
  }
  FieldBinding& Within(long long lo, long long hi, QString message = QString()) & {
    form.kind = SettingKind::Number;
    form.lo = lo;
    form.hi = hi;
    form.message = std::move(message);
    return *this;
  }
  FieldBinding& Accepting(TextCheck accepts, QString message) & {
    form.accepts = std::move(accepts);
    form.message = std::move(message);
    return *this;
  }
  FieldBinding& Guarding(TextCheck guard, QString message) & {
    form.guard = std::move(guard);
    form.guardMessage = std::move(message);
    return *this;
  }
  FieldBinding& Hinted(QString hint) & {
    form.hint = std::move(hint);
    return *this;
  }
  FieldBinding& EnabledWhen(Condition condition) & {
    form.enabledWhen = std::move(condition);
    return *this;
  }
  FieldBinding& Captioned(QString caption) & {
    form.caption = std::move(caption);
    return *this;
  }
  FieldBinding& AsFlag() & {
    form.kind = SettingKind::Flag;
    return *this;
  }
  FieldBinding& AtMost(int width) & {
    form.width = width;
    return *this;
  }
  FieldBinding& InRow(QString group, int row, QString rowLabel, QString member) & {
    form.group = std::move(group);
    form.row = row;
    form.rowLabel = std::move(rowLabel);
    form.member = std::move(member);
    return *this;
  }
  FieldBinding& Reported(QString line, Wording wording) & {
    report.line = std::move(line);
    report.wording = wording;
    return *this;
  }
  FieldBinding& ReportedBy(std::function<QStringList(const PageValues&)> lines) & {
    report.lines = std::move(lines);
    return *this;
  }
  // The words the control shows.
  const QString& Caption() const { return form.caption.isEmpty() ? form.label : form.caption; }
  // Not a setting of this page (another page stores it).
  FieldBinding& NoSetting() & {
    form.kind = SettingKind::None;
    return *this;
  }

  // The same on a row being made: it moves on into its table rather than being copied there.
  FieldBinding&& Labelled(QString label) && { return std::move(Labelled(std::move(label))); }
  FieldBinding&& Entries(const QStringList& entries) && { return std::move(Entries(entries)); }
  FieldBinding&& Within(long long lo, long long hi, QString message = QString()) && {
    return std::move(Within(lo, hi, std::move(message)));
  }
  FieldBinding&& Accepting(TextCheck accepts, QString message) && {
    return std::move(Accepting(std::move(accepts), std::move(message)));
  }
  FieldBinding&& Guarding(TextCheck guard, QString message) && {
    return std::move(Guarding(std::move(guard), std::move(message)));
  }
  FieldBinding&& Hinted(QString hint) && { return std::move(Hinted(std::move(hint))); }
  FieldBinding&& EnabledWhen(Condition condition) && { return std::move(EnabledWhen(std::move(condition))); }
  FieldBinding&& Captioned(QString caption) && { return std::move(Captioned(std::move(caption))); }
  FieldBinding&& AsFlag() && { return std::move(AsFlag()); }
  FieldBinding&& AtMost(int width) && { return std::move(AtMost(width)); }
  FieldBinding&& InRow(QString group, int row, QString rowLabel, QString member) && {
    return std::move(InRow(std::move(group), row, std::move(rowLabel), std::move(member)));
  }
  FieldBinding&& NoSetting() && { return std::move(NoSetting()); }
  FieldBinding&& Reported(QString line, Wording wording) && { return std::move(Reported(std::move(line), wording)); }
  FieldBinding&& ReportedBy(std::function<QStringList(const PageValues&)> lines) && {
    return std::move(ReportedBy(std::move(lines)));
  }
};

using BindingTable = std::vector<FieldBinding>;

// A variable key, label or tab as the settings text names it: "bumpTime" -> "bump_time",
// "Name / Misc" -> "name_misc", "toneText0" -> "tone_text_0".
QString SnakeCase(const QString& name);

// What the window's digit-only edits (passwords, serial number) let through.
bool HoldsDigitsOnly(const QString& text);
extern const QString kDigitsOnlyMessage;

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
// A variable that the page's own rules load and store; the row declares it as a setting.
FieldBinding Rule(const QString& key, SettingKind kind);
// A byte of the selection block beside the image.
FieldBinding SelectionByte(const QString& key, int index);
// A list selection kept in the selection block; a byte that is no entry of the list loads as
// the entry fallback (old data files and preferences may hold anything).
FieldBinding SelectionIndex(const QString& key, int index, int entryCount, int fallback);
// The capcode of row 0-7 (pages/capcode.h). Loads out-of-range capcodes as 8; stores the
// nearest valid capcode and the variable takes it, so the image and the page agree. Enabled
// while its row is.
FieldBinding Capcode(const QString& key, int row);

// The same rows on a field of the memory map (image/memory_map.h); a text of a run is its i-th.
inline FieldBinding Flag(const QString& key, const ImageField& field) { return Flag(key, field.offset, field.mask); }
inline FieldBinding InvertedFlag(const QString& key, const ImageField& field) {
  return InvertedFlag(key, field.offset, field.mask);
}
inline FieldBinding FixedText(const QString& key, const ImageField& field, int i = 0) {
  return FixedText(key, field.At(i), field.length);
}
inline FieldBinding ZeroFilledText(const QString& key, const ImageField& field) {
  return ZeroFilledText(key, field.offset, field.length);
}

}  // namespace field
}  // namespace m84
