#include "core/fleet/fleet_order.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <thread>

#include "core/control_characters.h"
#include "core/fleet/order_csv.h"
#include "core/history/history_record.h"
#include "core/image/dat_file.h"
#include "core/pages/capcode.h"
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

// How much of a header too long to read is quoted in its fault.
constexpr int kShownHeaderLength = 60;
// A pager's serial number: ten digits, leading zeros included.
constexpr int kSerialDigits = 10;

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

// A header of one field that a semicolon splits into columns: the file was saved with ';'
// between its fields, as spreadsheets do where the comma is the decimal mark.
bool SemicolonSeparated(const QStringList& header) {
  if (header.size() != 1 || !header.front().contains(QLatin1Char(';'))) return false;
  const QStringList parts = header.front().split(QLatin1Char(';'));
  return std::any_of(parts.begin(), parts.end(),
                     [](const QString& part) { return part.trimmed() == kLabelColumn || ColumnNamed(part.trimmed()); });
}

// False when the header is no order's: its one fault said, nothing else is read.
bool ReadHeader(const CsvRecord& header, Order& order) {
  if (header.fields.size() > kMostOrderColumns) {
    order.faults.push_back({header.row, FieldNumber(kMostOrderColumns + 1),
                            QStringLiteral("the header has %1 columns; an order has at most %2, one per setting")
                                .arg(header.fields.size())
                                .arg(kMostOrderColumns)});
    return false;
  }
  if (SemicolonSeparated(header.fields)) {
    order.faults.push_back(
        {header.row, FieldNumber(1),
         QStringLiteral("the fields are separated by ';' (%1): save the order as comma-separated values, \"CSV UTF-8\"")
             .arg(EscapeControlCharacters(header.fields.front().left(kShownHeaderLength)))});
    return false;
  }
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
  return true;
}

// The refusal of a cell, naming the value it saw (a blank at either end is easily missed).
QString CellRefusal(const QString& cell, const QString& refusal) {
  const QString quoted = QLatin1Char('\'') + cell + QLatin1Char('\'');
  QString message = refusal.contains(quoted) ? refusal : quoted + QStringLiteral(": ") + refusal;
  if (cell != cell.trimmed()) message += QStringLiteral(" (the value has a blank at its start or end)");
  return message;
}

// A serial number of digits but fewer than ten: what a spreadsheet makes of 0000004711 when it
// reads the column as numbers.
QString ShortSerialRefusal(const QString& cell) {
  const bool digits = std::all_of(cell.begin(), cell.end(), [](QChar c) { return c.isDigit() && c.unicode() < 0x80; });
  if (!digits || cell.size() >= kSerialDigits) return {};
  return QStringLiteral(
             "'%1': a serial number has %2 digits, this one %3: did a spreadsheet drop leading zeros? "
             "(%4, and keep the column as text)")
      .arg(cell)
      .arg(kSerialDigits)
      .arg(cell.size())
      .arg(cell.rightJustified(kSerialDigits, QLatin1Char('0')));
}

QByteArray Fingerprint(const PagerData& data, bool writesSerial) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(data.image.data()), kImageSize));
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(data.selection.data()), kSelectionSize));
  hash.addData(writesSerial ? QByteArrayView("written") : QByteArrayView("kept"));
  return hash.result().toHex();
}

// Whether the template's box keeps the pager's own serial number, for the rows that do not set
// the box themselves.
bool TemplateKeepsSerial(const PagerData& templateData) {
  const Binding keepBox = GeneralBinding(general_key::kKeepSerial);
  return keepBox && PageRunner().Load(templateData).Value(PageId::General, keepBox).toBool();
}

// The row's settings over the template, or nothing when a value is refused (the faults said).
bool BuildRow(const CsvRecord& record, const std::vector<OrderColumn>& columns, const PagerData& templateData,
              bool templateKeepsSerial, PageRunner& runner, OrderRow& row, std::vector<OrderFault>& faults) {
  row.row = record.row;
  row.cells = record.fields;
  bool refused = false;
  bool serialGiven = false;
  bool keepsSerial = templateKeepsSerial;
  const Binding keepBox = GeneralBinding(general_key::kKeepSerial);
  std::vector<Assignment> assignments;
  for (size_t i = 0; i < columns.size() && i < size_t(record.fields.size()); ++i) {
    const OrderColumn& column = columns[i];
    const QString& cell = record.fields[int(i)];
    if (column.label) row.label = cell;
    if (!column.binding || cell.isEmpty()) continue;
    const SettingForm& form = column.binding->form;
    const SettingValue& kind = ValueOf(form);
    const Result<QVariant> value = kind.FromWords(form, cell);
    QString refusal = value ? kind.Refusal(form, *value) : value.failure().reason;
    if (refusal.isEmpty() && column.header == kSerialColumn) {
      if (const QString shortSerial = ShortSerialRefusal(cell); !shortSerial.isEmpty()) {
        faults.push_back({record.row, column.header, shortSerial});
        refused = true;
        row.cells[int(i)].clear();
        continue;
      }
    }
    if (!refusal.isEmpty()) {
      faults.push_back({record.row, column.header, CellRefusal(cell, refusal)});
      refused = true;
      // The row is compared with the others as if the cell were empty: a refused value is no
      // pager's capcode or serial number.
      row.cells[int(i)].clear();
      continue;
    }
    if (column.header == kSerialColumn) serialGiven = true;
    if (column.binding == keepBox) keepsSerial = value->toBool();
    assignments.push_back({column.page, column.binding, *value});
  }
  // A row with a refused value is still built from its other values, so that its capcodes and
  // serial number are compared with the other rows' in the same pass.
  row.data = runner.Apply(templateData, assignments);
  row.writesSerial = serialGiven || !keepsSerial;
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
  return !refused;
}

// A long order's rows are built on every core: each row is the pages' whole load and store.
constexpr size_t kRowsForOneWorker = 2000;
constexpr unsigned kMostWorkers = 4;

// Every row over the template, in the table's order; whether each was refused (its faults said).
std::vector<char> BuildRows(const std::vector<const CsvRecord*>& records, const PagerData& templateData, Order& order) {
  const bool templateKeepsSerial = TemplateKeepsSerial(templateData);
  const size_t workers =
      std::clamp<size_t>(std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), kMostWorkers), 1,
                         std::max<size_t>(1, records.size() / kRowsForOneWorker));
  // In place: each row holds its image, which a growing table would move about.
  order.rows.resize(records.size());
  std::vector<char> built(records.size(), 0);
  std::vector<std::vector<OrderFault>> faults(workers);
  const auto build = [&](size_t worker) {
    PageRunner runner;
    const size_t begin = records.size() * worker / workers;
    const size_t end = records.size() * (worker + 1) / workers;
    for (size_t i = begin; i < end; ++i)
      built[i] = BuildRow(*records[i], order.columns, templateData, templateKeepsSerial, runner, order.rows[i],
                          faults[worker]);
  };
  std::vector<std::thread> others;
  for (size_t worker = 1; worker < workers; ++worker) others.emplace_back(build, worker);
  build(0);
  for (std::thread& other : others) other.join();
  for (const std::vector<OrderFault>& found : faults)
    order.faults.insert(order.faults.end(), found.begin(), found.end());
  for (char& ok : built) ok = !ok;
  return built;
}

// The rows with a refused value left out, once the rows were compared.
void LeaveOut(const std::vector<char>& refused, Order& order) {
  size_t kept = 0;
  for (size_t i = 0; i < order.rows.size(); ++i)
    if (!refused[i]) {
      if (kept != i) order.rows[kept] = std::move(order.rows[i]);
      ++kept;
    }
  order.rows.resize(kept);
}

QString CapcodeColumn(int capcodeRow) { return QStringLiteral("general.capcodes[%1].capcode").arg(capcodeRow); }

// The row's cell of a column, empty where the order has no such column.
QString CellOf(const OrderRow& row, int column) { return column < 0 ? QString() : row.cells.value(column); }

bool IsPublic(const PagerData& data, int capcodeRow) {
  return data.image[CapcodeFieldOffset(capcodeRow - 1)] & kCapcodePrivateBit;
}

// "2, 3, 5 to 9": the rows, runs of three or more as a range.
QString RowList(const std::vector<int>& rows) {
  QStringList parts;
  for (size_t i = 0; i < rows.size();) {
    size_t end = i;
    while (end + 1 < rows.size() && rows[end + 1] == rows[end] + 1) ++end;
    if (end >= i + 2) {
      parts << QStringLiteral("%1 to %2").arg(rows[i]).arg(rows[end]);
    } else {
      for (size_t j = i; j <= end; ++j) parts << QString::number(rows[j]);
    }
    i = end + 1;
  }
  return parts.join(QStringLiteral(", "));
}

QString CapcodeListText(const std::set<int>& capcodes) {
  QStringList list;
  for (int capcode : capcodes) list << QString::number(capcode);
  return list.join(QStringLiteral(", "));
}

// Who answers a capcode: a pager on its own, or a group by design.
void JudgeCapcodes(Order& order) {
  std::array<int, kHistoryCapcodeCount + 1> columnOf;  // the capcode row's column, -1 for none
  for (int r = 1; r <= kHistoryCapcodeCount; ++r) columnOf[size_t(r)] = int(order.headers.indexOf(CapcodeColumn(r)));
  std::map<int, int> ownOwner;                                       // own capcode -> row
  std::map<int, std::set<int>> groups;                               // template's and public -> rows
  std::map<std::pair<QString, int>, std::vector<int>> sharedValues;  // (column, capcode) -> rows
  for (const OrderRow& row : order.rows) {
    std::map<int, std::pair<QString, std::set<int>>> clashes;  // other row -> (first column, capcodes)
    for (size_t i = 0; i < row.capcodes.size(); ++i) {
      const int capcode = row.capcodes[i];
      const int capcodeRow = row.capcodeRows[i];
      const QString column = CapcodeColumn(capcodeRow);
      const bool written = !CellOf(row, columnOf[size_t(capcodeRow)]).isEmpty();
      if (!written || IsPublic(row.data, capcodeRow)) {
        groups[capcode].insert(row.row);
      } else if (order.options.shared.contains(column)) {
        std::vector<int>& rows = sharedValues[{column, capcode}];
        if (rows.empty() || rows.back() != row.row) rows.push_back(row.row);
      } else {
        const auto [owner, added] = ownOwner.emplace(capcode, row.row);
        if (added || owner->second == row.row) continue;
        auto& [firstColumn, capcodes] = clashes[owner->second];
        if (firstColumn.isEmpty()) firstColumn = column;
        capcodes.insert(capcode);
      }
    }
    for (const auto& [other, found] : clashes)
      order.faults.push_back(
          {row.row, found.first,
           (found.second.size() == 1 ? QStringLiteral("capcode %1 is also row %2's: two pagers would answer it")
                                     : QStringLiteral("capcodes %1 are also row %2's: two pagers would answer them"))
                   .arg(CapcodeListText(found.second))
                   .arg(other) +
               QStringLiteral(" (a call the pagers share: --shared %1)").arg(found.first)});
  }
  for (const auto& [capcode, rows] : groups) order.groupCalls.push_back({capcode, {}, {rows.begin(), rows.end()}});
  for (const auto& [key, rows] : sharedValues)
    if (rows.size() > 1) order.groupCalls.push_back({key.second, key.first, rows});
  std::stable_sort(order.groupCalls.begin(), order.groupCalls.end(),
                   [](const GroupCall& a, const GroupCall& b) { return a.capcode < b.capcode; });
}

// Two rows that would give pagers one serial number. Rows that take the template's are one
// fault, the template's, however many they are.
void JudgeSerialNumbers(Order& order) {
  const int serialColumn = int(order.headers.indexOf(kSerialColumn));
  QHash<QString, int> serialOwner;
  std::vector<int> templateRows;
  QString templateSerial;
  for (const OrderRow& row : order.rows) {
    if (!row.writesSerial) continue;
    if (CellOf(row, serialColumn).isEmpty()) {
      templateRows.push_back(row.row);
      templateSerial = row.serial;
      continue;
    }
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
  if (templateRows.size() > 1)
    order.faults.push_back({0, kSerialColumn,
                            QStringLiteral("rows %1 would each give their pager serial number %2: give each row its "
                                           "own in a general.serial column, or keep the pagers' own "
                                           "(general.keep_serial: true)")
                                .arg(RowList(templateRows), templateSerial)});
}

}  // namespace

QString OrderFault::Text(const QString& file) const {
  if (row == 0)
    return QStringLiteral("%1: the template's %2: %3%4")
        .arg(file, column, warning ? QStringLiteral("warning: ") : QString(), message);
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

QString GroupCallSummary(const Order& order) {
  QStringList calls;
  for (const GroupCall& call : order.groupCalls)
    calls << (call.column.isEmpty()
                  ? QStringLiteral("%1 (%2 pager%3)")
                        .arg(call.capcode)
                        .arg(call.rows.size())
                        .arg(call.rows.size() == 1 ? "" : "s")
                  : QStringLiteral("%1 (%2: rows %3)").arg(call.capcode).arg(call.column, RowList(call.rows)));
  return calls.isEmpty() ? QString() : QStringLiteral("group calls: ") + calls.join(QStringLiteral(", "));
}

QString SharedColumnRefusal(const QString& column) {
  for (int r = 1; r <= kHistoryCapcodeCount; ++r)
    if (column == CapcodeColumn(r)) return {};
  return QStringLiteral(
             "--shared %1: a shared column is a capcode column, general.capcodes[1].capcode to "
             "general.capcodes[%2].capcode")
      .arg(column)
      .arg(kHistoryCapcodeCount);
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

Result<Order> LoadOrder(const QString& path, const PagerData& templateData, const OrderOptions& options) {
  QFile file(path);
  if (const std::optional<QString> refused = OpenRegularInput(file))
    return Failed({}, QStringLiteral("%1: %2").arg(path, *refused));
  const QByteArray bytes = file.read(kLargestOrder + 1);
  if (bytes.size() > kLargestOrder) return Failed({}, QStringLiteral("%1: too long for an order").arg(path));
  return ReadOrder(bytes, path, templateData, options);
}

Order ReadOrder(const QByteArray& bytes, const QString& file, const PagerData& templateData,
                const OrderOptions& options) {
  Order order;
  order.file = file;
  order.options = options;
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
  if (!ReadHeader(table.records.front(), order)) return order;
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
  const qsizetype width = order.headers.size();
  std::vector<const CsvRecord*> wellFormed;
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
    wellFormed.push_back(&record);
  }
  const std::vector<char> refused = BuildRows(wellFormed, templateData, order);
  JudgeCapcodes(order);
  JudgeSerialNumbers(order);
  LeaveOut(refused, order);
  std::stable_sort(order.faults.begin(), order.faults.end(),
                   [](const OrderFault& a, const OrderFault& b) { return a.row < b.row; });
  return order;
}

}  // namespace m84::fleet
