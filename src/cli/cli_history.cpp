// "history": the programming history listed, shown and restored; and what the pager commands
// record in it.
#include "cli/cli_history.h"

#include <QFileInfo>
#include <QTimeZone>
#include <cstdio>

#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/transfer_interrupt.h"
#include "core/control_characters.h"
#include "core/fleet/fleet_order.h"
#include "core/fleet/order_csv.h"
#include "core/fleet/order_state.h"
#include "core/image/dat_file.h"
#include "core/preferences.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

const QString kShowAction = QStringLiteral("show");
const QString kRestoreAction = QStringLiteral("restore");
constexpr double kHzPerMegahertz = 1e6;

void Print(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

int Fail(const QString& reason) {
  PrintReason(reason);
  return 1;
}

QString TimeText(const QDateTime& time) { return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

QString MegahertzText(const std::optional<qint64>& hz) {
  return hz ? QString::number(double(*hz) / kHzPerMegahertz, 'f', 4) : QString();
}

QString ExitCodeText(const std::optional<int>& code) { return code ? QString::number(*code) : QString(); }

// ---- the listing ----

// The order and row of a fleet or batch record ("hospital.csv:7"), as its file says; empty for
// the other records.
QString OrderAndRow(const HistoryRecord& record) {
  return record.source == fleet::kSourceFleet || record.source == kSourceBatch ? record.file : QString();
}

// Whether the record belongs to the order NAME: the order's file named as the order is.
bool OfOrder(const HistoryRecord& record, const QString& name) {
  const QString orderAndRow = OrderAndRow(record);
  if (orderAndRow.isEmpty()) return false;
  const QString file = orderAndRow.left(orderAndRow.lastIndexOf(QLatin1Char(':')));
  return file == name || fleet::OrderNameOf(file) == name;
}

struct ListColumn {
  const char* heading;
  QString (*text)(const HistoryRecord&);
};

const ListColumn kTableColumns[] = {
    {"ID", [](const HistoryRecord& r) { return QString::number(r.id); }},
    {"Time (UTC)", [](const HistoryRecord& r) { return TimeText(r.time); }},
    {"Operation", [](const HistoryRecord& r) { return r.operation; }},
    {"Outcome", [](const HistoryRecord& r) { return r.outcome; }},
    {"Status", [](const HistoryRecord& r) { return r.status.trimmed(); }},
    {"Serial", [](const HistoryRecord& r) { return r.serial; }},
    {"Capcodes", [](const HistoryRecord& r) { return CapcodeList(r); }},
    {"MHz", [](const HistoryRecord& r) { return MegahertzText(r.frequencyHz); }},
    {"Source", [](const HistoryRecord& r) { return r.source; }},
    {"Order", OrderAndRow},
    {"User", [](const HistoryRecord& r) { return r.user + QLatin1Char('@') + r.host; }},
};

template <int Row>
QString CapcodeColumn(const HistoryRecord& r) {
  return r.capcodes[Row] ? QString::number(*r.capcodes[Row]) : QString();
}

// Every column but the image, under the names the database gives them.
const ListColumn kCsvColumns[] = {
    {"id", [](const HistoryRecord& r) { return QString::number(r.id); }},
    {"time_utc", [](const HistoryRecord& r) { return r.time.toUTC().toString(Qt::ISODateWithMs); }},
    {"user_name", [](const HistoryRecord& r) { return r.user; }},
    {"host_name", [](const HistoryRecord& r) { return r.host; }},
    {"source", [](const HistoryRecord& r) { return r.source; }},
    {"operation", [](const HistoryRecord& r) { return r.operation; }},
    {"outcome", [](const HistoryRecord& r) { return r.outcome; }},
    {"status", [](const HistoryRecord& r) { return r.status; }},
    {"exit_code", [](const HistoryRecord& r) { return ExitCodeText(r.exitCode); }},
    {"detail", [](const HistoryRecord& r) { return r.detail; }},
    {"serial", [](const HistoryRecord& r) { return r.serial; }},
    {"capcode1", CapcodeColumn<0>},
    {"capcode2", CapcodeColumn<1>},
    {"capcode3", CapcodeColumn<2>},
    {"capcode4", CapcodeColumn<3>},
    {"capcode5", CapcodeColumn<4>},
    {"capcode6", CapcodeColumn<5>},
    {"capcode7", CapcodeColumn<6>},
    {"capcode8", CapcodeColumn<7>},
    {"frequency_hz",
     [](const HistoryRecord& r) { return r.frequencyHz ? QString::number(*r.frequencyHz) : QString(); }},
    {"port", [](const HistoryRecord& r) { return r.port; }},
    {"file", [](const HistoryRecord& r) { return r.file; }},
};

QString TableText(const std::vector<HistoryRecord>& records) {
  std::vector<QStringList> rows{{}};
  for (const ListColumn& column : kTableColumns) rows[0] << QLatin1String(column.heading);
  for (const HistoryRecord& record : records) {
    QStringList row;
    for (const ListColumn& column : kTableColumns) row << EscapeControlCharacters(column.text(record));
    rows.push_back(row);
  }
  std::vector<qsizetype> widths(std::size(kTableColumns), 0);
  for (const QStringList& row : rows)
    for (qsizetype i = 0; i < row.size(); ++i) widths[size_t(i)] = std::max(widths[size_t(i)], row[i].size());
  QString text;
  for (const QStringList& row : rows) {
    QString line;
    for (qsizetype i = 0; i < row.size(); ++i) line += row[i].leftJustified(widths[size_t(i)] + 2);
    text += line.trimmed() + QLatin1Char('\n');
  }
  return text;
}

QString CsvText(const std::vector<HistoryRecord>& records) {
  QStringList header;
  for (const ListColumn& column : kCsvColumns) header << QLatin1String(column.heading);
  QString text = header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  for (const HistoryRecord& record : records) {
    QStringList row;
    for (const ListColumn& column : kCsvColumns) row << fleet::SpreadsheetField(column.text(record));
    text += row.join(QLatin1Char(',')) + QStringLiteral("\r\n");
  }
  return text;
}

// "2026-03-01" is that day's start; a time may follow ("2026-03-01T14:30"); UTC unless the
// text names its own offset, as the listing shows UTC.
std::optional<QDateTime> ParseSince(const QString& text) {
  QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!time.isValid()) time = QDateTime::fromString(text, Qt::ISODate);
  if (!time.isValid()) return std::nullopt;
  if (time.timeSpec() == Qt::LocalTime) time.setTimeZone(QTimeZone::utc());
  return time.toUTC();
}

// ---- one record ----

std::optional<qint64> ParseId(const QString& text) {
  bool ok = false;
  const qint64 id = text.toLongLong(&ok);
  return ok && id > 0 ? std::optional<qint64>(id) : std::nullopt;
}

// The record with its image.
Result<HistoryRecord> FindRecord(HistoryStore& store, qint64 id) {
  const Result<std::optional<HistoryRecord>> found = store.Find(id);
  if (!found) return found.failure();
  if (!*found) return Failed({}, QStringLiteral("the history has no record %1").arg(id));
  if (!(*found)->data)
    return Failed({}, QStringLiteral("record %1 holds no image: the %2 failed").arg(id).arg((*found)->operation));
  return **found;
}

// The state byte for byte in a data file or raw image: no page runs its store rules over it. A
// settings text carries the bytes no page owns beside the settings, so it too gives them back.
QByteArray StateBytes(const QString& path, const PagerData& data) {
  switch (SettingsFileFormOf(path)) {
    case SettingsFileForm::RawImage: return QByteArray(reinterpret_cast<const char*>(data.image.data()), kImageSize);
    case SettingsFileForm::Text: return WriteSettingsDocument(data);
    case SettingsFileForm::DataFile: break;
  }
  return EncodeDatFile(data, DrawKeyOffset());
}

int Restore(HistoryStore& store, qint64 id, const QString& typed) {
  if (RefuseStreamOutput(typed, DefaultExtensionOf(typed), kSaveDataFileError)) return 1;
  const Result<HistoryRecord> record = FindRecord(store, id);
  if (!record) return Fail(record.failure().reason);
  // Standard output (- or /dev/stdout) and devices take the state under the name as typed; only
  // standard output keeps the status text off it, where it would go into the state's bytes.
  const QString stream = StreamOutputName(typed);
  const bool toStandardOutput = stream == kStandardOutputName;
  const QString path =
      toStandardOutput || IsCharacterDevice(stream) ? stream : WithDefaultExtension(typed, DefaultExtensionOf(typed));
  const QString shown = toStandardOutput ? QStringLiteral("standard output") : path;
  if (const Outcome saved = SaveOutput(path, StateBytes(typed, *record->data)); !saved) {
    if (!toStandardOutput) Print(kSaveDataFileError + QLatin1Char('\n'));
    return Fail(QStringLiteral("%1: %2").arg(shown, saved.failure().reason));
  }
  if (toStandardOutput) return 0;
  Print(kFileSavedOk + QLatin1Char('\n'));
  PrintReason(QStringLiteral("saved %1").arg(path));
  return 0;
}

int Show(HistoryStore& store, qint64 id) {
  const Result<HistoryRecord> record = FindRecord(store, id);
  if (!record) return Fail(record.failure().reason);
  Print(QString::fromUtf8(WriteSettingsDocument(*record->data)));
  return 0;
}

}  // namespace

QCommandLineOption NoHistoryOption() {
  return QCommandLineOption(QStringLiteral("no-history"),
                            QStringLiteral("Keep no record of this operation in the programming history."));
}

QCommandLineOption BackupOption() {
  return QCommandLineOption(QStringLiteral("backup"),
                            QStringLiteral("Read the whole pager first and keep it in the history, so that the "
                                           "write can be undone (m84dpt history restore)."));
}

QString PreferredHistoryLocation() { return PreferenceStore::UserStore().HistoryLocation(); }

PagerHistory CommandHistory(const CommandParser& parser, const QString& source) {
  return PagerHistory::ForProgram(source, parser.isSet(QStringLiteral("no-history")), PreferredHistoryLocation());
}

QString BackupNeedsHistory(const CommandParser& parser) {
  if (!parser.isSet(QStringLiteral("backup"))) return {};
  if (parser.isSet(QStringLiteral("no-history")))
    return QStringLiteral("--backup keeps the pager's state in the history, which --no-history turns off");
  if (!HistoryEnabledByEnvironment())
    return QStringLiteral("--backup keeps the pager's state in the history, which %1 turns off")
        .arg(QLatin1String(kNoHistoryVariable));
  return {};
}

bool RecordTransfer(PagerHistory& history, const PagerTransfer& transfer, const AdapterLink& link,
                    const std::optional<QString>& serial) {
  const RecordResult result = history.Record(transfer, link, serial);
  for (const QString& warning : result.warnings) PrintReason(warning);
  return result.kept;
}

bool BackUpPager(AdapterLink& link, const PagerData& data, const QString& file, PagerHistory& history,
                 TransferInterrupts* interrupts, std::optional<QByteArray>* serial) {
  PagerData before = data;
  ConsoleHost host;
  host.SetInterrupts(interrupts);
  const Result<PagerImage> pager = link.ReadPager(host);
  const bool read = bool(pager);
  if (read) TakeRead(*pager, before.image);
  if (read && serial)
    *serial = QByteArray(reinterpret_cast<const char*>(pager->data() + kSerialFirst), kSerialLast - kSerialFirst + 1);
  const int exitCode = read ? 0 : (link.Interrupted() ? kInterruptedExitCode : 1);
  const bool kept =
      RecordTransfer(history, {HistoryOperation::Backup, read, read ? &before : nullptr, exitCode, file}, link);
  if (!read) {
    if (!link.LastFailure().isEmpty()) PrintReason(link.LastFailure());
    PrintReason(QStringLiteral("the pager was not written: its state before the write could not be read"));
    return false;
  }
  // A write that could not be undone is what --backup was asked to prevent.
  if (!kept) {
    PrintReason(
        QStringLiteral("the pager was not written: its state before the write could not be kept in the "
                       "history, so the write could not be undone; mend the history, or write without "
                       "--backup"));
    return false;
  }
  return true;
}

int RunHistoryCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("history"));
  parser.addPositionalArgument(QStringLiteral("ACTION"),
                               QStringLiteral("None: list the records, newest first. \"show ID\": print that state's "
                                              "settings as a settings document. \"restore ID OUT\": save that state "
                                              "as a data file, or as a raw image (.BIN); OUT - (or /dev/stdout): "
                                              "the data file on standard output."),
                               true);
  parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The record, by the number the listing shows."),
                               true);
  parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("The file restore writes."), true);
  const QCommandLineOption serial(QStringLiteral("serial"), QStringLiteral("Only the pager with this serial number."),
                                  QStringLiteral("NUMBER"));
  const QCommandLineOption capcode(QStringLiteral("capcode"), QStringLiteral("Only pagers with this capcode enabled."),
                                   QStringLiteral("CAPCODE"));
  const QCommandLineOption since(QStringLiteral("since"),
                                 QStringLiteral("Only records from DATE on (2026-03-01, or 2026-03-01T14:30; UTC)."),
                                 QStringLiteral("DATE"));
  const QCommandLineOption limit(QStringLiteral("limit"), QStringLiteral("At most N records."), QStringLiteral("N"));
  const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Comma-separated values for a spreadsheet."));
  const QCommandLineOption order(QStringLiteral("order"),
                                 QStringLiteral("Only the records of this fleet order or batch (its file's name, "
                                                "with or without folder and extension)."),
                                 QStringLiteral("NAME"));
  for (const QCommandLineOption& option : {serial, capcode, since, limit, csv, order}) parser.addOption(option);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;

  const QStringList given = parser.positionalArguments();
  const QString action = given.value(0);
  const bool listing = given.isEmpty();
  if (!listing && action != kShowAction && action != kRestoreAction)
    return parser.UsageError(QStringLiteral("unknown action '%1'; use show or restore").arg(action));
  const qsizetype wanted = action == kRestoreAction ? 3 : action == kShowAction ? 2 : 0;
  if (!listing && given.size() != wanted)
    return parser.UsageError(action == kShowAction ? QStringLiteral("show takes one ID")
                                                   : QStringLiteral("restore takes an ID and an output file"));
  std::optional<qint64> id;
  if (!listing && !(id = ParseId(given[1])))
    return parser.UsageError(QStringLiteral("'%1' is no record number").arg(given[1]));

  HistoryFilter filter;
  filter.serial = parser.value(serial);
  if (parser.isSet(capcode)) {
    bool ok = false;
    filter.capcode = parser.value(capcode).toInt(&ok);
    if (!ok) return parser.UsageError(QStringLiteral("--capcode takes a number"));
  }
  if (parser.isSet(since) && !(filter.since = ParseSince(parser.value(since))))
    return parser.UsageError(QStringLiteral("--since takes a date such as 2026-03-01"));
  if (parser.isSet(limit)) {
    bool ok = false;
    filter.limit = parser.value(limit).toInt(&ok);
    if (!ok || filter.limit < 1)
      return parser.UsageError(QStringLiteral("--limit takes a number of records, 1 or more"));
  }

  HistoryStore store(DefaultHistoryLocation(PreferredHistoryLocation()));
  if (action == kShowAction) return Show(store, *id);
  if (action == kRestoreAction) return Restore(store, *id, given[2]);
  // The order is told by the record's file, after the store's own filter: the limit counts the
  // order's records.
  const int most = filter.limit;
  if (parser.isSet(order)) filter.limit = 0;
  Result<std::vector<HistoryRecord>> records = store.List(filter);
  if (!records) return Fail(records.failure().reason);
  if (parser.isSet(order)) {
    std::vector<HistoryRecord> kept;
    for (const HistoryRecord& record : *records)
      if (OfOrder(record, parser.value(order)) && (most == 0 || int(kept.size()) < most)) kept.push_back(record);
    records = std::move(kept);
  }
  Print(parser.isSet(csv) ? CsvText(*records) : TableText(*records));
  return 0;
}

}  // namespace m84
