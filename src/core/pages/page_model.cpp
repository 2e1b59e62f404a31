#include "core/pages/page_model.h"

#include "core/pages/field_codecs.h"
#include "core/pages/list_fields.h"

namespace m84 {

const BindingTable& PageModel::Table() const {
  if (!table_) {
    table_ = std::make_unique<BindingTable>(Bindings());
    for (const FieldBinding& binding : *table_)
      if (!binding.showsStoredValue) storedValuesNotShown_.insert(binding.key);
  }
  return *table_;
}

bool PageModel::ShowsStoredValue(const QString& key) {
  Table();
  return !storedValuesNotShown_.contains(key);
}

void PageModel::Load(const PagerData& data) {
  for (const FieldBinding& binding : Table())
    if (binding.load) values_.Set(binding.key, binding.load(data));
  LoadRules(data);
  loaded_ = true;
}

void PageModel::Store(PagerData& data) {
  if (!loaded_) return;
  for (const FieldBinding& binding : Table())
    if (binding.store) binding.store(values_[binding.key], data);
  StoreRules(data);
}

const FieldBinding* PageModel::Row(const QString& key) {
  for (const FieldBinding& binding : Table())
    if (binding.key == key) return &binding;
  return nullptr;
}

namespace {

QString Worded(const FieldBinding& row, const QVariant& value) {
  switch (row.report.wording) {
    case Wording::YesNo: return YesNoText(value.toBool());
    case Wording::EnableDisable: return EnableText(value.toBool());
    case Wording::Entry: return EntryText(row.form.entries, value.toInt());
    case Wording::Text: return value.toString();
  }
  return QString();
}

QStringList LinesOf(const FieldBinding& row, const PageValues& values) {
  if (row.report.lines) return row.report.lines(values);
  if (row.report.line.isEmpty()) return {};
  return {row.report.line.arg(Worded(row, values.Value(row.key)))};
}

void PrintLines(ReportCursor& report, const QStringList& lines) {
  for (const QString& line : lines) report.PrintLine(line);
}

}  // namespace

void PageModel::PrintRows(ReportCursor& report) const { PrintRows(report, {}); }

void PageModel::PrintRows(ReportCursor& report, const QStringList& first) const {
  for (const QString& key : first)
    for (const FieldBinding& row : Table())
      if (row.key == key) PrintLines(report, LinesOf(row, values_));
  for (const FieldBinding& row : Table())
    if (!first.contains(row.key)) PrintLines(report, LinesOf(row, values_));
}

QStringList PageModel::ReportLines(const FieldBinding& row) const { return LinesOf(row, values_); }

void PageModel::PrintRowsOutside(ReportCursor& report, const QStringList& laidOutGroups) const {
  for (const FieldBinding& row : Table())
    if (!laidOutGroups.contains(row.form.group)) PrintLines(report, LinesOf(row, values_));
}

QStringList PageModel::GridLines(const QString& group) const {
  QStringList lines;
  for (const FieldBinding& row : Table())
    if (row.form.group == group) lines += LinesOf(row, values_);
  return lines;
}

}  // namespace m84
