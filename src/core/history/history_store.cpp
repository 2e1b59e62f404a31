#include "core/history/history_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <atomic>

#include <sys/stat.h>

namespace m84 {

namespace {

const QString kTable = QStringLiteral("pager_history");
const QString kFileName = QStringLiteral("history.sqlite");
// PostgreSQL has no user_version: a one-row table holds the schema's version there.
const QString kVersionTable = QStringLiteral("history_schema");
// Serialises migrations of programs that open a new PostgreSQL store at the same moment.
constexpr qint64 kMigrationLockKey = 0x4D3834;  // "M84"
// libpq waits for an unreachable server as long as the system does, unless told.
constexpr int kConnectTimeoutSeconds = 5;

// SQLite's primary result codes for a file that is not (or no longer) a database.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

enum class Dialect { SQLite, PostgreSql };

// ---- the table, one row per column ----

QVariant NullInt() { return QVariant(QMetaType::fromType<qlonglong>()); }
QVariant NullBytes() { return QVariant(QMetaType::fromType<QByteArray>()); }
// Qt SQL binds a null QString as NULL; the text columns hold "" instead.
QVariant Text(const QString& text) { return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text); }
template <typename T>
QVariant Optional(const std::optional<T>& value) {
  return value ? QVariant(qlonglong(*value)) : NullInt();
}
template <typename T>
std::optional<T> OptionalOf(const QVariant& value) {
  if (value.isNull()) return std::nullopt;
  return T(value.toLongLong());
}

QByteArray BytesOf(const uint8_t* data, int size) { return QByteArray(reinterpret_cast<const char*>(data), size); }

struct Column {
  const char* name;
  const char* type;  // {id} and {blob} differ between the two dialects
  bool indexed;
  bool image;  // left out of listings
  QVariant (*get)(const HistoryRecord&);
  void (*set)(HistoryRecord&, const QVariant&);
};

template <int Row>
QVariant GetCapcode(const HistoryRecord& r) {
  return Optional(r.capcodes[Row]);
}
template <int Row>
void SetCapcode(HistoryRecord& r, const QVariant& v) {
  r.capcodes[Row] = OptionalOf<int>(v);
}
#define M84_CAPCODE_COLUMN(n) \
  {"capcode" #n, "INTEGER", true, false, GetCapcode<n - 1>, SetCapcode<n - 1>}

void SetImage(HistoryRecord& r, const QVariant& v) {
  const QByteArray bytes = v.toByteArray();
  if (v.isNull() || bytes.size() != kImageSize) return;
  if (!r.data) r.data = PagerData();
  std::copy(bytes.begin(), bytes.end(), r.data->image.data());
}
void SetSelection(HistoryRecord& r, const QVariant& v) {
  const QByteArray bytes = v.toByteArray();
  if (!r.data || bytes.size() != kSelectionSize) return;
  std::copy(bytes.begin(), bytes.end(), r.data->selection.data());
}

const Column kColumns[] = {
    {"id", "{id}", false, false, [](const HistoryRecord& r) { return QVariant(r.id); },
     [](HistoryRecord& r, const QVariant& v) { r.id = v.toLongLong(); }},
    // ISO 8601 in UTC with milliseconds: fixed width, so text order is time order.
    {"time_utc", "TEXT NOT NULL", true, false,
     [](const HistoryRecord& r) { return QVariant(r.time.toUTC().toString(Qt::ISODateWithMs)); },
     [](HistoryRecord& r, const QVariant& v) { r.time = QDateTime::fromString(v.toString(), Qt::ISODateWithMs).toUTC(); }},
    {"user_name", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.user); },
     [](HistoryRecord& r, const QVariant& v) { r.user = v.toString(); }},
    {"host_name", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.host); },
     [](HistoryRecord& r, const QVariant& v) { r.host = v.toString(); }},
    {"source", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.source); },
     [](HistoryRecord& r, const QVariant& v) { r.source = v.toString(); }},
    {"operation", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.operation); },
     [](HistoryRecord& r, const QVariant& v) { r.operation = v.toString(); }},
    {"outcome", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.outcome); },
     [](HistoryRecord& r, const QVariant& v) { r.outcome = v.toString(); }},
    {"status", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.status); },
     [](HistoryRecord& r, const QVariant& v) { r.status = v.toString(); }},
    {"exit_code", "INTEGER", false, false, [](const HistoryRecord& r) { return Optional(r.exitCode); },
     [](HistoryRecord& r, const QVariant& v) { r.exitCode = OptionalOf<int>(v); }},
    {"detail", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.detail); },
     [](HistoryRecord& r, const QVariant& v) { r.detail = v.toString(); }},
    {"serial", "TEXT NOT NULL", true, false, [](const HistoryRecord& r) { return Text(r.serial); },
     [](HistoryRecord& r, const QVariant& v) { r.serial = v.toString(); }},
    M84_CAPCODE_COLUMN(1),
    M84_CAPCODE_COLUMN(2),
    M84_CAPCODE_COLUMN(3),
    M84_CAPCODE_COLUMN(4),
    M84_CAPCODE_COLUMN(5),
    M84_CAPCODE_COLUMN(6),
    M84_CAPCODE_COLUMN(7),
    M84_CAPCODE_COLUMN(8),
    {"frequency_hz", "BIGINT", false, false, [](const HistoryRecord& r) { return Optional(r.frequencyHz); },
     [](HistoryRecord& r, const QVariant& v) { r.frequencyHz = OptionalOf<qint64>(v); }},
    {"port", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.port); },
     [](HistoryRecord& r, const QVariant& v) { r.port = v.toString(); }},
    {"file", "TEXT NOT NULL", false, false, [](const HistoryRecord& r) { return Text(r.file); },
     [](HistoryRecord& r, const QVariant& v) { r.file = v.toString(); }},
    {"image", "{blob}", false, true,
     [](const HistoryRecord& r) { return r.data ? QVariant(BytesOf(r.data->image.data(), kImageSize)) : NullBytes(); },
     SetImage},
    {"selection", "{blob}", false, true,
     [](const HistoryRecord& r) {
       return r.data ? QVariant(BytesOf(r.data->selection.data(), kSelectionSize)) : NullBytes();
     },
     SetSelection},
};
#undef M84_CAPCODE_COLUMN

QString TypeIn(Dialect dialect, const char* type) {
  QString text = QLatin1String(type);
  const bool sqlite = dialect == Dialect::SQLite;
  // AUTOINCREMENT: an id is never given twice, so "restore 12" never finds another pager's state.
  text.replace(QStringLiteral("{id}"), sqlite ? QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT")
                                              : QStringLiteral("BIGSERIAL PRIMARY KEY"));
  text.replace(QStringLiteral("{blob}"), sqlite ? QStringLiteral("BLOB") : QStringLiteral("BYTEA"));
  return text;
}

QStringList ColumnNames(bool withImage) {
  QStringList names;
  for (const Column& column : kColumns)
    if (withImage || !column.image) names << QLatin1String(column.name);
  return names;
}

QString InsertStatement() {
  QStringList names = ColumnNames(true);
  names.removeOne(QStringLiteral("id"));
  QStringList marks;
  for (qsizetype i = 0; i < names.size(); ++i) marks << QStringLiteral("?");
  return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING id")
      .arg(kTable, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

HistoryRecord RecordOf(const QSqlQuery& query, bool withImage) {
  HistoryRecord record;
  int field = 0;
  for (const Column& column : kColumns)
    if (withImage || !column.image) column.set(record, query.value(field++));
  return record;
}

// ---- the schema, one step per version ----

QStringList SchemaVersion1(Dialect dialect) {
  QStringList definitions;
  for (const Column& column : kColumns)
    definitions << QLatin1String(column.name) + QLatin1Char(' ') + TypeIn(dialect, column.type);
  QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)").arg(kTable, definitions.join(QStringLiteral(", ")))};
  for (const Column& column : kColumns)
    if (column.indexed)
      statements << QStringLiteral("CREATE INDEX %1_%2 ON %1 (%2)").arg(kTable, QLatin1String(column.name));
  return statements;
}

// Step n takes the schema from version n - 1 to n.
using SchemaStep = QStringList (*)(Dialect);
const SchemaStep kSchemaSteps[kHistorySchemaVersion] = {SchemaVersion1};

QString NativeCodeText(const QSqlError& error) { return error.nativeErrorCode(); }

bool IsDamage(const QSqlError& error) {
  bool ok = false;
  const int code = NativeCodeText(error).toInt(&ok) & 0xFF;  // the primary code of an extended one
  return ok && (code == kSqliteCorrupt || code == kSqliteNotADatabase);
}

// libpq's key='value' quoting.
QString ConnectionValue(const QString& value) {
  QString quoted = value;
  quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
  return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The URI form as key/value pairs, which is what Qt's driver passes on to libpq.
QString KeyValueConnection(const QString& target) {
  if (!target.startsWith(QLatin1String("postgres"))) return target;
  const QUrl url(target);
  QStringList pairs;
  const auto add = [&](const char* key, const QString& value) {
    if (!value.isEmpty()) pairs << QLatin1String(key) + QLatin1Char('=') + ConnectionValue(value);
  };
  add("host", url.host(QUrl::FullyDecoded));
  if (url.port() > 0) add("port", QString::number(url.port()));
  add("user", url.userName(QUrl::FullyDecoded));
  add("password", url.password(QUrl::FullyDecoded));
  add("dbname", url.path(QUrl::FullyDecoded).mid(1));
  for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
    add(key.toLatin1().constData(), value);
  return pairs.join(QLatin1Char(' '));
}

QString FileIdText(const QString& path, unsigned long long* id) {
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return QStringLiteral("gone");
  *id = static_cast<unsigned long long>(status.st_ino);
  return {};
}

QString NextConnectionName() {
  static std::atomic<int> next{0};
  return QStringLiteral("m84-history-%1").arg(next++);
}

}  // namespace

QString HistoryLocation::Describe() const {
  if (backend == Backend::SQLite) return target;
  QString shown = target;
  shown.replace(QRegularExpression(QStringLiteral("password\\s*=\\s*('[^']*'|\\S+)")), QStringLiteral("password=..."));
  shown.replace(QRegularExpression(QStringLiteral("(://[^:/@]*):[^@/]*@")), QStringLiteral("\\1:...@"));
  return QStringLiteral("PostgreSQL %1").arg(shown);
}

HistoryLocation ParseHistoryLocation(const QString& text) {
  const QString trimmed = text.trimmed();
  static const QRegularExpression keyValue(QStringLiteral("^\\s*[a-z_]+\\s*="));
  if (trimmed.startsWith(QLatin1String("postgresql://")) || trimmed.startsWith(QLatin1String("postgres://")) ||
      keyValue.match(trimmed).hasMatch())
    return {HistoryLocation::Backend::PostgreSql, trimmed};
  return {HistoryLocation::Backend::SQLite, text};
}

QString DefaultHistoryFile() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(kFileName);
}

HistoryLocation DefaultHistoryLocation(const QString& preference) {
  const QString named = qEnvironmentVariable(kHistoryVariable);
  if (!named.trimmed().isEmpty()) return ParseHistoryLocation(named);
  if (!preference.trimmed().isEmpty()) return ParseHistoryLocation(preference);
  return {HistoryLocation::Backend::SQLite, DefaultHistoryFile()};
}

bool HistoryEnabledByEnvironment() {
  const QString off = qEnvironmentVariable(kNoHistoryVariable);
  return off.isEmpty() || off == QLatin1String("0");
}

HistoryStore::HistoryStore(HistoryLocation location, int busyTimeoutMs)
    : location_(std::move(location)), busyTimeoutMs_(busyTimeoutMs), connection_(NextConnectionName()) {}

HistoryStore::~HistoryStore() { Close(); }

void HistoryStore::Close() {
  if (!db_.isValid()) return;
  db_.close();
  db_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
  open_ = false;
}

HistoryResult HistoryStore::Open() {
  if (open_) return {};
  Close();
  const HistoryResult opened =
      location_.backend == HistoryLocation::Backend::SQLite ? OpenSQLite() : OpenPostgreSql();
  if (!opened) {
    Close();
    return opened;
  }
  open_ = true;
  return {};
}

HistoryResult HistoryStore::Failure(const QString& what, const QSqlError& error) const {
  QString reason = error.text().trimmed();
  if (reason.isEmpty()) reason = QStringLiteral("unknown error");
  return {QStringLiteral("%1: %2: %3").arg(location_.Describe(), what, reason), IsDamage(error)};
}

HistoryResult HistoryStore::OpenSQLite() {
  const QString& path = location_.target;
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) return {QStringLiteral("%1: the folder cannot be made").arg(folder)};
  db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  if (!db_.isValid()) return {QStringLiteral("Qt SQL's SQLite driver is not installed (libqt6sql6-sqlite)")};
  db_.setDatabaseName(path);
  db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs_));
  if (!db_.open()) return Failure(QStringLiteral("open"), db_.lastError());
  FileIdText(path, &fileId_);  // an existing file; a new one gets its id below
  QSqlQuery query(db_);
  // Several programs write at once; WAL lets them read while one writes.
  if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) return Failure(QStringLiteral("open"), query.lastError());
  // In WAL mode NORMAL loses no commit when a program crashes, only (at worst) the last ones
  // when the machine loses power; FULL would add a disk flush, several milliseconds, to every
  // pager operation.
  if (!query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) return Failure(QStringLiteral("open"), query.lastError());
  if (fileId_ == 0) FileIdText(path, &fileId_);
  return MigrateSQLite();
}

HistoryResult HistoryStore::MigrateSQLite() {
  QSqlQuery query(db_);
  const auto version = [&]() -> std::optional<int> {
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) return std::nullopt;
    return query.value(0).toInt();
  };
  std::optional<int> found = version();
  if (!found) return Failure(QStringLiteral("schema version"), query.lastError());
  if (*found == kHistorySchemaVersion) return {};
  // Another program may be migrating the same new file: the write lock first, then look again.
  if (*found < kHistorySchemaVersion && !query.exec(QStringLiteral("BEGIN IMMEDIATE")))
    return Failure(QStringLiteral("schema"), query.lastError());
  if (*found < kHistorySchemaVersion) found = version();
  if (!found || *found > kHistorySchemaVersion) {
    const HistoryResult refused =
        found ? HistoryResult{QStringLiteral("%1: made by a newer program (schema %2; this program knows %3)")
                                  .arg(location_.Describe())
                                  .arg(*found)
                                  .arg(kHistorySchemaVersion)}
              : Failure(QStringLiteral("schema version"), query.lastError());
    query.exec(QStringLiteral("ROLLBACK"));
    return refused;
  }
  for (int step = *found; step < kHistorySchemaVersion; ++step)
    for (const QString& statement : kSchemaSteps[step](Dialect::SQLite))
      if (!query.exec(statement)) {
        const HistoryResult failed = Failure(QStringLiteral("schema %1 to %2").arg(step).arg(step + 1), query.lastError());
        query.exec(QStringLiteral("ROLLBACK"));
        return failed;
      }
  if (!query.exec(QStringLiteral("PRAGMA user_version = %1").arg(kHistorySchemaVersion)) ||
      !query.exec(QStringLiteral("COMMIT"))) {
    const HistoryResult failed = Failure(QStringLiteral("schema"), query.lastError());
    query.exec(QStringLiteral("ROLLBACK"));
    return failed;
  }
  return {};
}

HistoryResult HistoryStore::OpenPostgreSql() {
  db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
  if (!db_.isValid()) return {QStringLiteral("Qt SQL's PostgreSQL driver is not installed (libqt6sql6-psql)")};
  QString connection = KeyValueConnection(location_.target);
  if (!connection.contains(QLatin1String("connect_timeout")))
    connection += QStringLiteral(" connect_timeout=%1").arg(kConnectTimeoutSeconds);
  db_.setConnectOptions(connection);
  if (!db_.open()) return Failure(QStringLiteral("connect"), db_.lastError());
  return MigratePostgreSql();
}

HistoryResult HistoryStore::MigratePostgreSql() {
  QSqlQuery query(db_);
  const auto version = [&]() -> std::optional<int> {
    if (!query.exec(QStringLiteral("SELECT version FROM %1").arg(kVersionTable))) return std::nullopt;
    return query.next() ? query.value(0).toInt() : 0;
  };
  if (version() == kHistorySchemaVersion) return {};
  if (!db_.transaction()) return Failure(QStringLiteral("schema"), db_.lastError());
  const auto fail = [&](const QString& what) {
    const HistoryResult failed = Failure(what, query.lastError());
    db_.rollback();
    return failed;
  };
  if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kMigrationLockKey)) ||
      !query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (version INTEGER NOT NULL)").arg(kVersionTable)))
    return fail(QStringLiteral("schema"));
  const std::optional<int> found = version();
  if (!found) return fail(QStringLiteral("schema version"));
  if (*found > kHistorySchemaVersion) {
    db_.rollback();
    return {QStringLiteral("%1: made by a newer program (schema %2; this program knows %3)")
                .arg(location_.Describe())
                .arg(*found)
                .arg(kHistorySchemaVersion)};
  }
  for (int step = *found; step < kHistorySchemaVersion; ++step)
    for (const QString& statement : kSchemaSteps[step](Dialect::PostgreSql))
      if (!query.exec(statement)) return fail(QStringLiteral("schema %1 to %2").arg(step).arg(step + 1));
  if (!query.exec(QStringLiteral("DELETE FROM %1").arg(kVersionTable)) ||
      !query.exec(QStringLiteral("INSERT INTO %1 (version) VALUES (%2)").arg(kVersionTable).arg(kHistorySchemaVersion)))
    return fail(QStringLiteral("schema version"));
  if (!db_.commit()) return Failure(QStringLiteral("schema"), db_.lastError());
  return {};
}

HistoryResult HistoryStore::Append(HistoryRecord& record) {
  if (const HistoryResult opened = Open(); !opened) return opened;
  QSqlQuery query(db_);
  if (!query.prepare(InsertStatement())) return Failure(QStringLiteral("record"), query.lastError());
  return Insert(query, record);
}

HistoryResult HistoryStore::AppendAll(std::vector<HistoryRecord>& records) {
  if (const HistoryResult opened = Open(); !opened) return opened;
  if (!db_.transaction()) return Failure(QStringLiteral("record"), db_.lastError());
  QSqlQuery query(db_);
  HistoryResult appended;
  if (!query.prepare(InsertStatement())) appended = Failure(QStringLiteral("record"), query.lastError());
  for (auto record = records.begin(); appended && record != records.end(); ++record) appended = Insert(query, *record);
  if (!appended || !db_.commit()) {
    if (appended) appended = Failure(QStringLiteral("record"), db_.lastError());
    db_.rollback();
  }
  return appended;
}

HistoryResult HistoryStore::Insert(QSqlQuery& query, HistoryRecord& record) const {
  int mark = 0;
  for (const Column& column : kColumns)
    if (QLatin1String(column.name) != QLatin1String("id")) query.bindValue(mark++, column.get(record));
  if (!query.exec() || !query.next()) return Failure(QStringLiteral("record"), query.lastError());
  record.id = query.value(0).toLongLong();
  query.finish();
  return {};
}

HistoryResult HistoryStore::List(const HistoryFilter& filter, std::vector<HistoryRecord>& records) {
  records.clear();
  if (const HistoryResult opened = Open(); !opened) return opened;
  QStringList conditions;
  QVariantList values;
  if (!filter.serial.isEmpty()) {
    conditions << QStringLiteral("serial = ?");
    values << filter.serial;
  }
  if (filter.capcode) {
    QStringList rows;
    for (int row = 1; row <= kHistoryCapcodeCount; ++row) {
      rows << QStringLiteral("capcode%1 = ?").arg(row);
      values << qlonglong(*filter.capcode);
    }
    conditions << QLatin1Char('(') + rows.join(QStringLiteral(" OR ")) + QLatin1Char(')');
  }
  if (filter.since) {
    conditions << QStringLiteral("time_utc >= ?");
    values << filter.since->toUTC().toString(Qt::ISODateWithMs);
  }
  QString sql = QStringLiteral("SELECT %1 FROM %2").arg(ColumnNames(false).join(QStringLiteral(", ")), kTable);
  if (!conditions.isEmpty()) sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
  sql += QStringLiteral(" ORDER BY time_utc DESC, id DESC");
  if (filter.limit > 0) sql += QStringLiteral(" LIMIT %1").arg(filter.limit);
  QSqlQuery query(db_);
  query.setForwardOnly(true);
  query.prepare(sql);
  for (const QVariant& value : values) query.addBindValue(value);
  if (!query.exec()) return Failure(QStringLiteral("list"), query.lastError());
  while (query.next()) records.push_back(RecordOf(query, false));
  return {};
}

HistoryResult HistoryStore::Find(qint64 id, std::optional<HistoryRecord>& record) {
  record.reset();
  if (const HistoryResult opened = Open(); !opened) return opened;
  QSqlQuery query(db_);
  query.setForwardOnly(true);
  query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(ColumnNames(true).join(QStringLiteral(", ")), kTable));
  query.addBindValue(qlonglong(id));
  if (!query.exec()) return Failure(QStringLiteral("find"), query.lastError());
  if (query.next()) record = RecordOf(query, true);
  return {};
}

std::optional<QString> HistoryStore::SetDamagedFileAside(QString* failure) {
  Close();
  const QString& path = location_.target;
  unsigned long long now = 0;
  // Another program got here first and started a new file: that one is not damaged.
  if (!FileIdText(path, &now).isEmpty() || (fileId_ != 0 && now != fileId_)) return QString();
  const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
  QString aside = QStringLiteral("%1.damaged-%2").arg(path, stamp);
  for (int n = 2; QFileInfo::exists(aside); ++n) aside = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
  if (!QFile::rename(path, aside)) {
    if (failure) *failure = QStringLiteral("%1 cannot be renamed to %2").arg(path, aside);
    return std::nullopt;
  }
  // A write-ahead log of the damaged file must never be played into the new one.
  for (const char* suffix : {"-wal", "-shm"})
    if (QFileInfo::exists(path + QLatin1String(suffix))) QFile::rename(path + QLatin1String(suffix), aside + QLatin1String(suffix));
  fileId_ = 0;
  return aside;
}

}  // namespace m84
