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
    return (header + notes_.join(QString())).toUtf8() + QByteArray(out_.c_str()) + '\n';
  }

  // The settings the header named as not kept, "key (reason)".
  const QStringList& LeftOut() const { return leftOut_; }

 private:
  bool Written(Binding binding) const { return values_.contains(binding); }

  bool AnyWritten(const Item& item) const {
    if (item.setting) return Written(item.setting);
    for (const auto& row : item.rows)
      if (std::any_of(row.begin(), row.end(), [this](Binding b) { return Written(b); })) return true;
    return false;
  }

  // A whole document says which settings it leaves to the carried bytes, and why.
  bool Noted(Binding binding) const { return extent_ == Extent::Whole && plan_.refused.contains(binding); }

  void WritePage(const CatalogPage& page) {
    NoteRefused(page);
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
    ValueOf(binding->form).ToWords(out_, binding->form, values_.value(binding));
  }

  // The header names each setting the window would not show as it is: carried bytes may not stand
  // in for it, so the document gives the base's value (the default) instead.
  void NoteRefused(const CatalogPage& page) {
    for (const Item& item : page.items) {
      if (item.setting && Noted(item.setting))
        Note(QStringLiteral("%1.%2").arg(page.name, item.name), plan_.refused.value(item.setting));
      for (size_t row = 0; row < item.rows.size(); ++row)
        for (Binding binding : item.rows[row])
          if (Noted(binding))
            Note(QStringLiteral("%1.%2[%3].%4").arg(page.name, item.name).arg(row + 1).arg(binding->form.member),
                 plan_.refused.value(binding));
    }
  }

  // One comment line, or two when one would be longer than a YAML linter lets a line be.
  void Note(const QString& key, const QString& reason) {
    leftOut_ << QStringLiteral("%1 (%2)").arg(key, reason);
    const QString line = QStringLiteral("# not kept, the window refuses it: %1 (%2)").arg(key, reason);
    if (line.size() <= kNoteLineLength) {
      notes_ << line + QLatin1Char('\n');
      return;
    }
    notes_ << QStringLiteral("# not kept, the window refuses it: %1\n#   (%2)\n").arg(key, reason);
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
  QStringList notes_;
  QStringList leftOut_;
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

QStringList SettingsTextLeavesOut(const PagerData& data) {
  const PagerData defaults;
  const Plan plan = MakePlan(data, defaults, Extent::Whole);
  DocumentWriter writer(plan, defaults, Extent::Whole);
  static_cast<void>(writer.Write(QString()));
  return writer.LeftOut();
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
