// Writing the settings text: a whole document, a patch, and the differences as lines.

#include <yaml-cpp/yaml.h>

#include <algorithm>

#include "core/settings/setting_values.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_plan.h"

#ifndef M84_PROGRAM_VERSION
#define M84_PROGRAM_VERSION "unknown"
#endif

namespace m84 {

namespace {

using namespace settings_text;

constexpr qsizetype kNoteLineLength = 120;
const QByteArray kNoteWords = QByteArrayLiteral("# as read from the pager; the window refuses it:");
const QString kArrow = QStringLiteral(" \u2192 ");

std::string Utf8(const QString& text) { return text.toStdString(); }

class DocumentWriter {
 public:
  DocumentWriter(const Plan& plan, const PagerData& base, Extent extent) : plan_(plan), base_(base), extent_(extent) {
    for (const Assignment& a : plan.assignments) values_.insert(a.binding, a.value);
  }

  QByteArray Write(const QString& header) {
    out_ << YAML::BeginMap << YAML::Key << kFormatKey << YAML::Value << kSettingsFormat;
    for (const CatalogPage& page : Catalog::Get().Pages()) WritePage(page);
    WriteCarried();
    WriteSelection();
    out_ << YAML::EndMap;
    return header.toUtf8() + NotesAbove(QByteArray(out_.c_str())) + '\n';
  }

 private:
  bool Written(Binding binding) const { return values_.contains(binding); }

  bool AnyWritten(const Item& item) const {
    if (item.setting) return Written(item.setting);
    for (const auto& row : item.rows)
      if (std::any_of(row.begin(), row.end(), [this](Binding b) { return Written(b); })) return true;
    return false;
  }

  void WritePage(const CatalogPage& page) {
    if (std::none_of(page.items.begin(), page.items.end(), [this](const Item& item) { return AnyWritten(item); }))
      return;
    out_ << YAML::Key << Utf8(page.name) << YAML::Value << YAML::BeginMap;
    for (const Item& item : page.items) {
      if (!AnyWritten(item)) continue;
      if (item.setting) {
        WriteSetting(item.name, item.setting);
        continue;
      }
      out_ << YAML::Key << Utf8(item.name) << YAML::Value << YAML::BeginSeq;
      // A row left out keeps its place in the sequence as an empty mapping.
      size_t rows = item.rows.size();
      while (rows > 0 && std::none_of(item.rows[rows - 1].begin(), item.rows[rows - 1].end(),
                                      [this](Binding b) { return Written(b); }))
        --rows;
      for (size_t row = 0; row < rows; ++row) {
        out_ << YAML::BeginMap;
        for (Binding binding : item.rows[row])
          if (Written(binding)) WriteSetting(binding->form.member, binding);
        out_ << YAML::EndMap;
      }
      out_ << YAML::EndSeq;
    }
    out_ << YAML::EndMap;
  }

  void WriteSetting(const QString& name, Binding binding) {
    if (!Written(binding)) return;
    out_ << YAML::Key << Utf8(name) << YAML::Value;
    const SettingValue& kind = ValueOf(binding->form);
    const auto reason = plan_.refused.constFind(binding);
    if (reason == plan_.refused.constEnd()) {
      kind.ToWords(out_, binding->form, values_.value(binding));
      return;
    }
    // Marked as a one-key mapping that every YAML library loads and dumps unchanged (a tag of
    // our own would be refused by safe loaders). The emitter puts a comment after the value; the
    // note goes on the line above instead, where it cannot push the line past what linters let be.
    out_ << YAML::Flow << YAML::BeginMap << YAML::Key << kAsReadKey << YAML::Value;
    kind.AsReadToWords(out_, binding->form, values_.value(binding));
    out_ << YAML::EndMap << YAML::Comment(NoteMarker(int(notes_.size())));
    notes_ << *reason;
  }

  static std::string NoteMarker(int note) { return "m84-note-" + std::to_string(note); }

  // Each marked value's line with its note moved above it, at its indentation; two lines of note
  // when one would be longer than a YAML linter lets a line be.
  QByteArray NotesAbove(const QByteArray& document) const {
    if (notes_.isEmpty()) return document;
    QByteArray out;
    out.reserve(document.size() + notes_.size() * 80);
    int note = 0;
    for (const QByteArray& line : document.split('\n')) {
      const QByteArray marker = "  # " + QByteArray::fromStdString(NoteMarker(note));
      if (note >= notes_.size() || !line.endsWith(marker)) {
        out += line + '\n';
        continue;
      }
      qsizetype spaces = 0;
      while (spaces < line.size() && line[spaces] == ' ') ++spaces;
      const QByteArray indent(spaces, ' ');
      const QByteArray reason = notes_[note].toUtf8();
      if (indent.size() + kNoteWords.size() + 1 + reason.size() <= kNoteLineLength)
        out += indent + kNoteWords + ' ' + reason + '\n';
      else
        out += indent + kNoteWords + '\n' + indent + "#   " + reason + '\n';
      out += line.left(line.size() - marker.size()) + '\n';
      ++note;
    }
    out.chop(1);
    return out;
  }

  void WriteCarried() {
    if (plan_.carried.empty()) return;
    out_ << YAML::Key << kCarriedKey << YAML::Value << YAML::BeginMap;
    for (const CarriedBytes& carried : plan_.carried)
      out_ << YAML::Key << Utf8(OffsetText(carried.offset)) << YAML::Value << YAML::DoubleQuoted
           << Utf8(HexBytes(reinterpret_cast<const uint8_t*>(carried.bytes.constData()), int(carried.bytes.size())));
    out_ << YAML::EndMap;
  }

  void WriteSelection() {
    if (extent_ == Extent::Differences && plan_.background.selection == base_.selection) return;
    out_ << YAML::Key << kSelectionKey << YAML::Value << YAML::DoubleQuoted
         << Utf8(HexBytes(plan_.background.selection.data(), kSelectionSize));
  }

  const Plan& plan_;
  const PagerData& base_;
  Extent extent_;
  QHash<Binding, QVariant> values_;
  QStringList notes_;  // the window's reason for each marked value, in the document's order
  YAML::Emitter out_;
};

// No time: a text kept under version control changes only when the settings do.
QString Header(const QString& what) {
  return QStringLiteral("# M84 DPT %1, written by m84dpt %2\n").arg(what, QStringLiteral(M84_PROGRAM_VERSION));
}

}  // namespace

QByteArray WriteSettingsDocument(const PagerData& data) {
  const PagerData defaults;
  const Plan plan = MakePlan(data, defaults, Extent::Whole);
  return DocumentWriter(plan, defaults, Extent::Whole).Write(Header(QStringLiteral("settings")));
}

QStringList SettingsGivenAsRead(const PagerData& data) {
  PageRunner runner;
  const LoadedValues loaded = runner.Load(data);
  QStringList given;
  for (const CatalogPage& page : Catalog::Get().Pages())
    ForEachSetting(page, [&](Binding binding) {
      const QString refusal = ValueOf(binding->form).Refusal(binding->form, loaded.Value(page.id, binding));
      if (!refusal.isEmpty()) given << QStringLiteral("%1 (%2)").arg(SettingPlace{&page, binding}.Key(), refusal);
    });
  return given;
}

QByteArray WriteSettingsPatch(const PagerData& from, const PagerData& to) {
  const Plan plan = MakePlan(to, from, Extent::Differences);
  return DocumentWriter(plan, from, Extent::Differences)
      .Write(Header(QStringLiteral("settings patch")) + QStringLiteral("# Read it over the first file of the diff.\n"));
}

QStringList SettingsDifferences(const PagerData& from, const PagerData& to) {
  QStringList lines;
  PageRunner runner;
  const LoadedValues fromPages = runner.Load(from);
  const LoadedValues toPages = runner.Load(to);
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    ForEachSetting(page, [&](Binding binding) {
      const QString before = ValueOf(binding->form).Shown(binding->form, fromPages.Value(page.id, binding));
      const QString after = ValueOf(binding->form).Shown(binding->form, toPages.Value(page.id, binding));
      if (before != after) lines << SettingTitle(page, *binding) + QStringLiteral(": ") + before + kArrow + after;
    });
  }
  const Plan plan = MakePlan(to, from, Extent::Differences);
  for (int i = 0; i < kImageSize; ++i) {
    if (plan.background.image[i] == from.image[i]) continue;
    lines << QStringLiteral("Carried %1: %2%3%4")
                 .arg(OffsetText(i), HexByte(from.image[i]), kArrow, HexByte(plan.background.image[i]));
  }
  for (int i = 0; i < kSelectionSize; ++i) {
    if (plan.background.selection[i] == from.selection[i]) continue;
    lines << QStringLiteral("Selection byte %1: %2%3%4")
                 .arg(QString::number(i), HexByte(from.selection[i]), kArrow, HexByte(plan.background.selection[i]));
  }
  return lines;
}

}  // namespace m84
