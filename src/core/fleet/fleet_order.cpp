#include "core/fleet/fleet_order.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <map>

#include "core/fleet/order_csv.h"
#include "core/history/history_record.h"
#include "core/image/dat_file.h"
#include "core/pages/general_page.h"
#include "core/settings/edit_distance.h"
#include "core/settings/setting_values.h"
#include "core/settings/settings_catalog.h"
#include "core/settings/settings_file.h"

namespace m84::fleet {

namespace {

using namespace settings_text;

// A typo at most this far from a column's name (or from its setting's label) still names the
// column meant, as for a settings text's key.
constexpr int kNearestColumnDistance = 3;

struct KnownColumn {
  QString name;
  QString alias;  // the page and the setting's label, as a user might type it
  PageId page;
  Binding binding;
};

const std::vector<KnownColumn>& KnownColumns() {
  static const std::vector<KnownColumn> known = [] {
    std::vector<KnownColumn> columns;
    for (const CatalogPage& page : Catalog::Get().Pages()) {
      for (const Item& item : page.items) {
        if (item.setting) {
          columns.push_back({page.name + QLatin1Char('.') + item.name,
                             page.name + QLatin1Char('.') + SnakeCase(item.setting->form.label), page.id,
                             item.setting});
          continue;
        }
        for (size_t row = 0; row < item.rows.size(); ++row)
          for (Binding binding : item.rows[row])
            columns.push_back(
                {QStringLiteral("%1.%2[%3].%4").arg(page.name, item.name).arg(row + 1).arg(binding->form.member),
                 {},
                 page.id,
                 binding});
      }
    }
    return columns;
  }();
  return known;
}

QString NearestColumn(const QString& typed) {
  QString nearest;
  int best = kNearestColumnDistance + 1;
  const auto consider = [&](const QString& name, const QString& candidate) {
    const int distance = EditDistance(typed, candidate);
    if (distance < best && distance < name.size()) {
      best = distance;
      nearest = name;
    }
  };
  consider(kLabelColumn, kLabelColumn);
  for (const KnownColumn& column : KnownColumns()) {
    consider(column.name, column.name);
    if (!column.alias.isEmpty()) consider(column.name, column.alias);
  }
  return nearest;
}

const KnownColumn* ColumnNamed(const QString& name) {
  for (const KnownColumn& column : KnownColumns())
    if (column.name == name) return &column;
  return nullptr;
}

Binding GeneralBinding(const QString& key) {
  for (const KnownColumn& column : KnownColumns())
    if (column.page == PageId::General && column.binding->key == key) return column.binding;
  return nullptr;
}

// An order is a table of some hundred rows; a file far bigger is some other file.
constexpr qint64 kLargestOrder = 64 * 1024 * 1024;

// Loads without a word: the caller says what went wrong, once.
class QuietHost : public OperationHost {
 public:
  void ShowStatus(const QString&) override {}
  void Sound(Beep) override {}
  void ShowFileProblem(const QString& path, const QString& reason) override {
    problem = QStringLiteral("%1: %2").arg(path, reason);
  }
  QString problem;
};

QString FieldNumber(int field) { return QString::number(field); }

void ReadHeader(const CsvRecord& header, Order& order) {
  QHash<QString, int> seen;
  for (int i = 0; i < header.fields.size(); ++i) {
    const QString name = header.fields[i].trimmed();
    OrderColumn column;
    column.header = name;
    order.headers << name;
    const QString where = name.isEmpty() ? FieldNumber(i + 1) : name;
    if (name.isEmpty()) {
      order.faults.push_back({header.row, where, QStringLiteral("a column without a name")});
    } else if (seen.contains(name)) {
      order.faults.push_back(
          {header.row, where, QStringLiteral("column '%1' is also column %2").arg(name).arg(seen.value(name))});
    } else if (name == kLabelColumn) {
      column.label = true;
    } else if (const KnownColumn* known = ColumnNamed(name)) {
      column.page = known->page;
      column.binding = known->binding;
    } else {
      QString message = QStringLiteral("unknown column '%1'").arg(name);
      if (const QString nearest = NearestColumn(name); !nearest.isEmpty())
        message += QStringLiteral("; did you mean %1?").arg(nearest);
      order.faults.push_back({header.row, where, message});
    }
    if (!name.isEmpty() && !seen.contains(name)) seen.insert(name, i + 1);
    order.columns.push_back(column);
  }
}

QByteArray Fingerprint(const PagerData& data, bool writesSerial) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(data.image.data()), kImageSize));
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(data.selection.data()), kSelectionSize));
  hash.addData(writesSerial ? QByteArrayView("written") : QByteArrayView("kept"));
  return hash.result().toHex();
}

// The row's settings over the template, or nothing when a value is refused (the faults said).
bool BuildRow(const CsvRecord& record, Order& order, const PagerData& templateData, PageRunner& runner, OrderRow& row) {
  row.row = record.row;
  row.cells = record.fields;
  bool refused = false;
  bool serialGiven = false;
  std::vector<Assignment> assignments;
  for (size_t i = 0; i < order.columns.size() && i < size_t(record.fields.size()); ++i) {
    const OrderColumn& column = order.columns[i];
    const QString& cell = record.fields[int(i)];
    if (column.label) row.label = cell;
    if (!column.binding || cell.isEmpty()) continue;
    const SettingForm& form = column.binding->form;
    const SettingValue& kind = ValueOf(form);
    const Result<QVariant> value = kind.FromWords(form, cell);
    QString refusal = value ? kind.Refusal(form, *value) : value.failure().reason;
    if (!refusal.isEmpty()) {
      order.faults.push_back({record.row, column.header, refusal});
      refused = true;
      continue;
    }
    if (column.header == kSerialColumn) serialGiven = true;
    assignments.push_back({column.page, column.binding, *value});
  }
  if (refused) return false;
  row.data = runner.Apply(templateData, assignments);
  const Binding keepBox = GeneralBinding(general_key::kKeepSerial);
  const bool keepByTemplate = keepBox && runner.Load(row.data).Value(PageId::General, keepBox).toBool();
  row.writesSerial = serialGiven || !keepByTemplate;
  HistoryRecord searched;
  searched.data = row.data;
  FillSearchColumns(searched);
  row.serial = searched.serial;
  for (int r = 0; r < kHistoryCapcodeCount; ++r)
    if (searched.capcodes[size_t(r)]) {
      row.capcodes.push_back(*searched.capcodes[size_t(r)]);
      row.capcodeRows.push_back(r + 1);
    }
  row.fingerprint = Fingerprint(row.data, row.writesSerial);
  return true;
}

// Two rows that would give pagers one address, or one serial number. The capcodes a row shares
// with one other row are one fault: those that come from the template are shared by every row.
void CheckAcrossRows(Order& order) {
  std::map<int, int> capcodeOwner;  // capcode -> row
  QHash<QString, int> serialOwner;
  for (const OrderRow& row : order.rows) {
    std::map<int, std::pair<QString, QStringList>> shared;  // other row -> (first column, capcodes)
    for (size_t i = 0; i < row.capcodes.size(); ++i) {
      const int capcode = row.capcodes[i];
      const auto [owner, added] = capcodeOwner.emplace(capcode, row.row);
      if (added || owner->second == row.row) continue;
      auto& [column, capcodes] = shared[owner->second];
      if (column.isEmpty()) column = QStringLiteral("general.capcodes[%1].capcode").arg(row.capcodeRows[i]);
      capcodes << QString::number(capcode);
    }
    for (const auto& [other, found] : shared)
      order.faults.push_back({row.row, found.first,
                              found.second.size() == 1
                                  ? QStringLiteral("capcode %1 is also row %2's: two pagers would answer it")
                                        .arg(found.second[0])
                                        .arg(other)
                                  : QStringLiteral("capcodes %1 are also row %2's: two pagers would answer them")
                                        .arg(found.second.join(QStringLiteral(", ")))
                                        .arg(other)});
    if (!row.writesSerial) continue;
    if (const auto owner = serialOwner.constFind(row.serial); owner != serialOwner.constEnd()) {
      order.faults.push_back(
          {row.row, kSerialColumn,
           QStringLiteral("serial number %1 is also row %2's: give each row its own, or keep the pagers' own")
               .arg(row.serial)
               .arg(*owner)});
    } else {
      serialOwner.insert(row.serial, row.row);
    }
  }
}

}  // namespace

QString OrderFault::Text(const QString& file) const {
  return QStringLiteral("%1:%2:%3: %4%5")
      .arg(file)
      .arg(row)
      .arg(column, warning ? QStringLiteral("warning: ") : QString(), message);
}

bool Order::Refused() const {
  return std::any_of(faults.begin(), faults.end(), [](const OrderFault& f) { return !f.warning; });
}

const OrderRow* Order::Row(int number) const {
  for (const OrderRow& row : rows)
    if (row.row == number) return &row;
  return nullptr;
}

QString OrderNameOf(const QString& path) { return QFileInfo(path).completeBaseName(); }

QString ColumnNameOf(PageId page, const FieldBinding& binding) {
  for (const KnownColumn& column : KnownColumns())
    if (column.page == page && column.binding == &binding) return column.name;
  return {};
}

Result<PagerData> LoadOrderTemplate(const QString& path) {
  PagerData data;
  if (path.isEmpty()) return data;
  QuietHost host;
  const Outcome loaded = LoadSettingsFile(path, data, host);
  if (!loaded)
    return Failed(loaded.failure().status,
                  host.problem.isEmpty() ? QStringLiteral("%1: %2").arg(path, loaded.failure().Text()) : host.problem);
  return data;
}

Result<Order> LoadOrder(const QString& path, const PagerData& templateData) {
  QFile file(path);
  if (const std::optional<QString> refused = OpenRegularInput(file))
    return Failed({}, QStringLiteral("%1: %2").arg(path, *refused));
  const QByteArray bytes = file.read(kLargestOrder + 1);
  if (bytes.size() > kLargestOrder) return Failed({}, QStringLiteral("%1: too long for an order").arg(path));
  return ReadOrder(bytes, path, templateData);
}

Order ReadOrder(const QByteArray& bytes, const QString& file, const PagerData& templateData) {
  Order order;
  order.file = file;
  order.name = OrderNameOf(file);
  const CsvTable table = ParseCsv(bytes);
  if (table.records.empty()) {
    for (const CsvFault& fault : table.faults)
      order.faults.push_back({fault.row, FieldNumber(fault.field), fault.message});
    order.faults.push_back({1, FieldNumber(1),
                            QStringLiteral("the order is empty: it needs a header row naming its columns, then one "
                                           "row per pager")});
    return order;
  }
  ReadHeader(table.records.front(), order);
  const auto columnName = [&](int field) {
    const QString name = order.headers.value(field - 1);
    return name.isEmpty() ? FieldNumber(field) : name;
  };
  QSet<int> faultyRows;
  for (const CsvFault& fault : table.faults) {
    order.faults.push_back({fault.row, columnName(fault.field), fault.message});
    faultyRows.insert(fault.row);
  }
  if (table.records.size() == 1)
    order.faults.push_back({table.records.front().row + 1, FieldNumber(1), QStringLiteral("the order has no rows")});
  PageRunner runner;
  const qsizetype width = order.headers.size();
  for (size_t i = 1; i < table.records.size(); ++i) {
    const CsvRecord& record = table.records[i];
    if (faultyRows.contains(record.row)) continue;
    if (record.fields.size() != width) {
      // The first field missing, or the first one too many.
      const int field = int(std::min(record.fields.size(), width)) + 1;
      order.faults.push_back(
          {record.row, columnName(field),
           QStringLiteral("the row has %1 fields and the header %2").arg(record.fields.size()).arg(width)});
      continue;
    }
    OrderRow row;
    if (BuildRow(record, order, templateData, runner, row)) order.rows.push_back(std::move(row));
  }
  CheckAcrossRows(order);
  std::stable_sort(order.faults.begin(), order.faults.end(),
                   [](const OrderFault& a, const OrderFault& b) { return a.row < b.row; });
  return order;
}

}  // namespace m84::fleet
