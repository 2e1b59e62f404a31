// The programming history's store: the real SQLite file as a second client (Debian's sqlite3)
// reads it, the searches and the image kept byte for byte on both backends, the schema's
// versions, and every way the store can fail without costing the pager operation.
//
// The PostgreSQL cases run when M84DPT_TEST_POSTGRES holds a connection to a scratch server
// (scripts/with_postgres.sh starts one); they drop and remake the history's tables there.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include <sys/stat.h>

#include "core/history/history_store.h"
#include "core/history/pager_history.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"
#include "password_forms.h"
#include "private_mounts.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::password_forms;

namespace {

constexpr char kPostgresVariable[] = "M84DPT_TEST_POSTGRES";
constexpr int kShortBusyMs = 200;

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An image whose every byte says where it is, with a given serial number and capcodes; rows
// after the given capcodes are disabled.
PagerData PagerWith(const QString& serial, std::vector<int> capcodes, uint8_t salt = 0) {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = uint8_t(i * 7 + salt);
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    data.image[CapcodeFieldOffset(row)] = 0;
    WriteCapcode(data.image, row, row < int(capcodes.size()) ? uint32_t(capcodes[size_t(row)]) : 8u);
    if (row >= int(capcodes.size())) data.image[CapcodeFieldOffset(row)] |= kCapcodeEnableBit;
  }
  WriteZeroPaddedText(serial, data.image, kSerialOffset, kSerialSize);
  WriteBcd(4575750, data.image, kFrequencyOffset, kFrequencySize);
  for (int i = 0; i < kSelectionSize; ++i) data.selection[i] = uint8_t(0xA0 + i + salt);
  return data;
}

HistoryRecord RecordOf(const PagerData& data, const QString& time, const QString& operation = QStringLiteral("write")) {
  HistoryRecord record;
  record.time = QDateTime::fromString(time, Qt::ISODate);
  record.user = QStringLiteral("tech");
  record.host = QStringLiteral("bench-1");
  record.source = kSourceCommandLine;
  record.operation = operation;
  record.outcome = kOutcomeOk;
  record.status = QStringLiteral("DPT Verify ok !");
  record.exitCode = 0;
  record.port = QStringLiteral("/dev/ttyUSB0");
  record.file = QStringLiteral("/home/tech/pager, \"new\".DAT");
  record.data = data;
  FillSearchColumns(record);
  return record;
}

// Debian's sqlite3 shell, as a second client of the file.
QString Sqlite3(const QString& file, const QString& sql) {
  QProcess shell;
  shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, sql});
  if (!shell.waitForFinished(10000)) return QStringLiteral("sqlite3 did not finish");
  return QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError()).trimmed();
}

HistoryLocation SqliteIn(const QTemporaryDir& dir) {
  return {HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("history.sqlite"))};
}

// ---- both backends ----

enum class Backend { SQLite, PostgreSql };

class HistoryBackend : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::SQLite) {
      location = SqliteIn(dir);
      return;
    }
    const QString connection = qEnvironmentVariable(kPostgresVariable);
    if (connection.isEmpty())
      GTEST_SKIP() << kPostgresVariable
                   << " is not set: no scratch PostgreSQL server (scripts/with_postgres.sh starts one)";
    location = ParseHistoryLocation(connection);
    ASSERT_EQ(location.backend, HistoryLocation::Backend::PostgreSql);
    DropPostgresTables(connection);
  }

  static void DropPostgresTables(const QString& connection) {
    {
      QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("scratch"));
      db.setConnectOptions(connection);
      ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
      QSqlQuery query(db);
      ASSERT_TRUE(
          query.exec(QStringLiteral("DROP TABLE IF EXISTS pager_history, history_schema, order_rows, fleet_orders, "
                                    "order_replaced, order_terms")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("scratch"));
  }

  // Three pagers over three days; the middle one written twice.
  std::vector<qint64> AppendFixture(HistoryStore& store) {
    std::vector<qint64> ids;
    const std::pair<HistoryRecord, const char*> rows[] = {
        {RecordOf(PagerWith(QStringLiteral("1111111111"), {1000, 2000}, 1), QStringLiteral("2026-03-01T09:00:00Z")),
         "a"},
        {RecordOf(PagerWith(QStringLiteral("2222222222"), {1001, 2001, 3000}, 2),
                  QStringLiteral("2026-03-02T09:00:00Z")),
         "b"},
        {RecordOf(PagerWith(QStringLiteral("2222222222"), {1002}, 3), QStringLiteral("2026-03-03T09:00:00Z")), "c"},
        // Capcode 2000 only in a disabled row: not one this pager answers.
        {RecordOf(PagerWith(QStringLiteral("3333333333"), {}, 4), QStringLiteral("2026-03-04T09:00:00Z")), "d"},
    };
    for (auto [record, name] : rows) {
      EXPECT_TRUE(store.Append(record)) << name;
      ids.push_back(record.id);
    }
    return ids;
  }

  QTemporaryDir dir;
  HistoryLocation location;
};

TEST_P(HistoryBackend, SearchesBySerialCapcodeAndTimeNewestFirst) {
  HistoryStore store(location);
  const std::vector<qint64> id = AppendFixture(store);
  ASSERT_EQ(id.size(), 4u);
  struct Case {
    const char* name;
    HistoryFilter filter;
    std::vector<qint64> expected;
  };
  const auto since = [](const char* text) { return QDateTime::fromString(QLatin1String(text), Qt::ISODate); };
  const Case cases[] = {
      {"everything, newest first", {}, {id[3], id[2], id[1], id[0]}},
      {"serial", {QStringLiteral("2222222222"), {}, {}, 0}, {id[2], id[1]}},
      {"capcode in row 1", {{}, 1000, {}, 0}, {id[0]}},
      {"capcode in row 3", {{}, 3000, {}, 0}, {id[1]}},
      {"capcode only in a disabled row", {{}, 8, {}, 0}, {}},
      {"since a day", {{}, {}, since("2026-03-03T00:00:00Z"), 0}, {id[3], id[2]}},
      {"limit", {{}, {}, {}, 2}, {id[3], id[2]}},
      {"serial and limit", {QStringLiteral("2222222222"), {}, {}, 1}, {id[2]}},
      {"no such serial", {QStringLiteral("9"), {}, {}, 0}, {}},
  };
  for (const Case& c : cases) {
    const Result<std::vector<HistoryRecord>> records = store.List(c.filter);
    ASSERT_TRUE(records) << c.name;
    std::vector<qint64> ids;
    for (const HistoryRecord& record : *records) {
      ids.push_back(record.id);
      EXPECT_FALSE(record.data) << c.name << ": a listing carries no image";
    }
    EXPECT_EQ(ids, c.expected) << c.name;
  }
}

TEST_P(HistoryBackend, KeepsTheImageAndEveryColumnByteForByte) {
  HistoryStore store(location);
  PagerData data = PagerWith(QStringLiteral("0012345678"), {8, 2097151, 1234567});
  data.image[0x7FF] = 0x00;  // the ends of the image, and bytes no page uses
  data.image[0x000] = 0xFF;
  HistoryRecord written = RecordOf(data, QStringLiteral("2026-12-10T16:40:57.123Z"));
  written.detail = QStringLiteral("verify: 1 byte(s) differ, the first at 0x5FF (written 0xFF, read back 0x00)");
  written.exitCode.reset();
  ASSERT_TRUE(store.Append(written));

  HistoryRecord failedRead = RecordOf(data, QStringLiteral("2026-12-10T16:41:00Z"), QStringLiteral("read"));
  failedRead.data.reset();
  FillSearchColumns(failedRead);
  failedRead.outcome = kOutcomeInterrupted;
  failedRead.exitCode = 130;
  ASSERT_TRUE(store.Append(failedRead));
  EXPECT_GT(failedRead.id, written.id);

  Result<std::optional<HistoryRecord>> result = store.Find(written.id);
  ASSERT_TRUE(result);
  std::optional<HistoryRecord> found = *result;
  ASSERT_TRUE(found && found->data);
  EXPECT_EQ(found->data->image, data.image);
  EXPECT_EQ(found->data->selection, data.selection);
  EXPECT_EQ(found->time, written.time);
  EXPECT_EQ(found->serial, QStringLiteral("0012345678"));
  EXPECT_EQ(CapcodeList(*found), QStringLiteral("8, 2097151, 1234567"));
  EXPECT_EQ(found->frequencyHz, 457575000);
  EXPECT_EQ(found->detail, written.detail);
  EXPECT_EQ(found->file, written.file);
  EXPECT_FALSE(found->exitCode);

  result = store.Find(failedRead.id);
  ASSERT_TRUE(result);
  found = *result;
  ASSERT_TRUE(found);
  EXPECT_FALSE(found->data) << "a failed read has no image";
  EXPECT_EQ(found->outcome, kOutcomeInterrupted);
  EXPECT_EQ(found->exitCode, 130);

  result = store.Find(failedRead.id + 1000);
  ASSERT_TRUE(result);
  EXPECT_FALSE(*result);
}

// A store as the first program with a history made it: its statements as that program ran them,
// its version mark, and one record written with them. Never edited when the schema grows: stores
// like this one are on workshop disks and servers.
const char* const kVersion1Table[] = {
    "CREATE TABLE pager_history (id INTEGER PRIMARY KEY AUTOINCREMENT, time_utc TEXT NOT NULL, "
    "user_name TEXT NOT NULL, host_name TEXT NOT NULL, source TEXT NOT NULL, operation TEXT NOT NULL, "
    "outcome TEXT NOT NULL, status TEXT NOT NULL, exit_code INTEGER, detail TEXT NOT NULL, serial TEXT NOT NULL, "
    "capcode1 INTEGER, capcode2 INTEGER, capcode3 INTEGER, capcode4 INTEGER, capcode5 INTEGER, capcode6 INTEGER, "
    "capcode7 INTEGER, capcode8 INTEGER, frequency_hz BIGINT, port TEXT NOT NULL, file TEXT NOT NULL, "
    "image BLOB, selection BLOB)",
    "CREATE TABLE pager_history (id BIGSERIAL PRIMARY KEY, time_utc TEXT NOT NULL, "
    "user_name TEXT NOT NULL, host_name TEXT NOT NULL, source TEXT NOT NULL, operation TEXT NOT NULL, "
    "outcome TEXT NOT NULL, status TEXT NOT NULL, exit_code INTEGER, detail TEXT NOT NULL, serial TEXT NOT NULL, "
    "capcode1 INTEGER, capcode2 INTEGER, capcode3 INTEGER, capcode4 INTEGER, capcode5 INTEGER, capcode6 INTEGER, "
    "capcode7 INTEGER, capcode8 INTEGER, frequency_hz BIGINT, port TEXT NOT NULL, file TEXT NOT NULL, "
    "image BYTEA, selection BYTEA)",
};
const char* const kVersion1Rest[] = {
    "CREATE INDEX pager_history_time_utc ON pager_history (time_utc)",
    "CREATE INDEX pager_history_serial ON pager_history (serial)",
    "CREATE INDEX pager_history_capcode1 ON pager_history (capcode1)",
    "CREATE INDEX pager_history_capcode2 ON pager_history (capcode2)",
    "CREATE INDEX pager_history_capcode3 ON pager_history (capcode3)",
    "CREATE INDEX pager_history_capcode4 ON pager_history (capcode4)",
    "CREATE INDEX pager_history_capcode5 ON pager_history (capcode5)",
    "CREATE INDEX pager_history_capcode6 ON pager_history (capcode6)",
    "CREATE INDEX pager_history_capcode7 ON pager_history (capcode7)",
    "CREATE INDEX pager_history_capcode8 ON pager_history (capcode8)",
    "INSERT INTO pager_history (time_utc, user_name, host_name, source, operation, outcome, status, exit_code, detail, "
    "serial, capcode1, frequency_hz, port, file) VALUES ('2026-02-01T08:30:00.000Z', 'tech', 'bench-1', 'window', "
    "'read', 'failed', 'Read Pager error !', NULL, 'block 0x140: no answer', '0000000042', 1234567, 457575000, "
    "'/dev/ttyUSB0', '')",
};

// Runs statements on the store's database as another client; the error of the first that fails.
QString RunOnStore(const HistoryLocation& location, const QStringList& statements, QStringList* rows = nullptr) {
  const QString name = QStringLiteral("second-client");
  QString error;
  {
    const bool sqlite = location.backend == HistoryLocation::Backend::SQLite;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
    if (sqlite)
      db.setDatabaseName(location.target);
    else
      db.setConnectOptions(location.target);
    if (!db.open()) error = db.lastError().text();
    QSqlQuery query(db);
    for (const QString& statement : statements) {
      if (!error.isEmpty()) break;
      if (!query.exec(statement)) error = statement + QStringLiteral(": ") + query.lastError().text();
      while (rows && query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i) fields << query.value(i).toString();
        *rows << fields.join(QLatin1Char('|'));
      }
    }
  }
  QSqlDatabase::removeDatabase(name);
  return error;
}

// The columns with their types and the indexes, as the database describes them.
QStringList ShapeOf(const HistoryLocation& location) {
  const bool sqlite = location.backend == HistoryLocation::Backend::SQLite;
  QStringList shape;
  const QString error = RunOnStore(
      location,
      sqlite ? QStringList{QStringLiteral("SELECT name, type, \"notnull\", pk FROM pragma_table_info('pager_history')"),
                           QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = "
                                          "'pager_history' AND sql IS NOT NULL ORDER BY name")}
             : QStringList{QStringLiteral("SELECT column_name, data_type, is_nullable, column_default FROM "
                                          "information_schema.columns WHERE table_name = 'pager_history' "
                                          "ORDER BY ordinal_position"),
                           QStringLiteral("SELECT indexname FROM pg_indexes WHERE tablename = 'pager_history' "
                                          "ORDER BY indexname")},
      &shape);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  return shape;
}

TEST_P(HistoryBackend, AStoreOfTheFirstSchemaIsUpgradedAndKeepsWorking) {
  const bool sqlite = GetParam() == Backend::SQLite;
  QStringList version1{QLatin1String(kVersion1Table[sqlite ? 0 : 1])};
  for (const char* statement : kVersion1Rest) version1 << QLatin1String(statement);
  version1 << (sqlite ? QStringLiteral("PRAGMA user_version = 1")
                      : QStringLiteral("CREATE TABLE history_schema (version INTEGER NOT NULL)"));
  if (!sqlite) version1 << QStringLiteral("INSERT INTO history_schema (version) VALUES (1)");
  const QString made = RunOnStore(location, version1);
  ASSERT_TRUE(made.isEmpty()) << made.toStdString();

  QStringList upgradedShape;
  {
    HistoryStore store(location);
    const Outcome opened = store.Open();
    ASSERT_TRUE(opened) << opened.failure().Text().toStdString();

    // The record the first program wrote reads as it was written.
    const Result<std::vector<HistoryRecord>> old = store.List({});
    ASSERT_TRUE(old) << old.failure().Text().toStdString();
    ASSERT_EQ(old->size(), 1u);
    const HistoryRecord& first = old->front();
    EXPECT_EQ(first.time, QDateTime::fromString(QStringLiteral("2026-02-01T08:30:00Z"), Qt::ISODate));
    EXPECT_EQ(first.status, QStringLiteral("Read Pager error !"));
    EXPECT_EQ(first.detail, QStringLiteral("block 0x140: no answer"));
    EXPECT_EQ(first.serial, QStringLiteral("0000000042"));
    EXPECT_EQ(CapcodeList(first), QStringLiteral("1234567"));
    EXPECT_EQ(first.frequencyHz, 457575000);
    EXPECT_FALSE(first.exitCode);

    // And this program's records go in beside it, image and all.
    const PagerData data = PagerWith(QStringLiteral("0000000042"), {1234567, 8}, 9);
    HistoryRecord record = RecordOf(data, QStringLiteral("2026-02-02T08:30:00Z"));
    const Outcome appended = store.Append(record);
    ASSERT_TRUE(appended) << appended.failure().Text().toStdString();
    EXPECT_GT(record.id, first.id);
    const Result<std::optional<HistoryRecord>> found = store.Find(record.id);
    ASSERT_TRUE(found && *found && (*found)->data);
    EXPECT_EQ((*found)->data->image, data.image);
    EXPECT_EQ((*found)->data->selection, data.selection);
    HistoryFilter bySerial;
    bySerial.serial = QStringLiteral("0000000042");
    const Result<std::vector<HistoryRecord>> both = store.List(bySerial);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->size(), 2u);
  }
  QStringList version;
  const QString versionQuery =
      sqlite ? QStringLiteral("PRAGMA user_version") : QStringLiteral("SELECT version FROM history_schema");
  ASSERT_TRUE(RunOnStore(location, {versionQuery}, &version).isEmpty());
  EXPECT_EQ(version, QStringList{QString::number(kHistorySchemaVersion)});
  upgradedShape = ShapeOf(location);

  // An upgraded store has the shape of one this program makes new.
  HistoryLocation fresh = location;
  if (sqlite)
    fresh.target = dir.filePath(QStringLiteral("fresh.sqlite"));
  else
    DropPostgresTables(location.target);
  {
    HistoryStore store(fresh);
    const Outcome opened = store.Open();
    ASSERT_TRUE(opened) << opened.failure().Text().toStdString();
  }
  const QStringList freshShape = ShapeOf(fresh);
  EXPECT_FALSE(freshShape.isEmpty());
  EXPECT_EQ(upgradedShape, freshShape);
}

// A table another client holds locked costs a record no more than the busy time-out, as with
// SQLite (HistoryFailure.LockedBeyondTheTimeOut...): the pager operation never waits on it longer.
TEST_P(HistoryBackend, ALockedTableHoldsARecordNoLongerThanTheTimeOut) {
  if (GetParam() == Backend::SQLite) GTEST_SKIP() << "SQLite's busy time-out: HistoryFailure";
  constexpr int kLimitMs = 500;
  HistoryRecord record = RecordOf(PagerData(), QStringLiteral("2026-01-01T00:00:00Z"));
  HistoryStore store(location, kLimitMs);
  ASSERT_TRUE(store.Append(record));
  {
    QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("locker"));
    locker.setConnectOptions(location.target);
    ASSERT_TRUE(locker.open()) << locker.lastError().text().toStdString();
    ASSERT_TRUE(locker.transaction());
    QSqlQuery lock(locker);
    ASSERT_TRUE(lock.exec(QStringLiteral("LOCK TABLE pager_history IN ACCESS EXCLUSIVE MODE")));
    QElapsedTimer waited;
    waited.start();
    const Outcome locked = store.Append(record);
    EXPECT_LT(waited.elapsed(), 4 * kLimitMs);
    ASSERT_FALSE(locked);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("canceling statement due to (lock|statement) timeout"))
                    .match(locked.failure().reason)
                    .hasMatch())
        << locked.failure().reason.toStdString();
    locker.rollback();
    locker.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("locker"));
  store.Close();
  EXPECT_TRUE(store.Append(record));
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryBackend, ::testing::Values(Backend::SQLite, Backend::PostgreSql),
                         [](const auto& info) { return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL"; });

// ---- the SQLite file ----

TEST(HistoryFile, Sqlite3ReadsTheRecordsIndexesAndSchemaVersion) {
  QTemporaryDir dir;
  const HistoryLocation location = SqliteIn(dir);
  const PagerData data = PagerWith(QStringLiteral("1234567890"), {1000, 2000});
  {
    PagerHistory history(location, kSourceBatch);
    HistoryRecord record = RecordOf(data, {});
    const RecordResult kept = history.Record(record);
    EXPECT_TRUE(kept.kept);
    EXPECT_TRUE(kept.warnings.isEmpty()) << kept.warnings.join('\n').toStdString();
  }
  const QString file = location.target;
  EXPECT_EQ(Sqlite3(file, QStringLiteral("PRAGMA user_version; PRAGMA journal_mode;")),
            QStringLiteral("%1\nwal").arg(kHistorySchemaVersion));
  const QString row =
      Sqlite3(file, QStringLiteral("SELECT source, operation, outcome, status, exit_code, serial, capcode1, capcode2, "
                                   "quote(capcode3), frequency_hz, port, file, length(image), length(selection), "
                                   "time_utc LIKE '____-__-__T__:__:__.___Z', user_name <> '' FROM pager_history"));
  EXPECT_EQ(row, QStringLiteral("batch|write|ok|DPT Verify ok !|0|1234567890|1000|2000|NULL|457575000|/dev/ttyUSB0|"
                                "/home/tech/pager, \"new\".DAT|2048|16|1|1"));
  const QByteArray imageHex =
      QByteArray(reinterpret_cast<const char*>(data.image.data()), kImageSize).toHex().toUpper();
  EXPECT_EQ(Sqlite3(file, QStringLiteral("SELECT hex(image) FROM pager_history")).toLatin1(), imageHex);

  // The searched columns are indexed: the searches never scan the table.
  const QString plans[] = {
      Sqlite3(file, QStringLiteral("EXPLAIN QUERY PLAN SELECT status FROM pager_history WHERE serial = '1'")),
      Sqlite3(file,
              QStringLiteral("EXPLAIN QUERY PLAN SELECT status FROM pager_history WHERE capcode1 = 5 OR capcode2 = 5 "
                             "OR capcode3 = 5 OR capcode4 = 5 OR capcode5 = 5 OR capcode6 = 5 OR capcode7 = 5 "
                             "OR capcode8 = 5")),
      Sqlite3(file, QStringLiteral("EXPLAIN QUERY PLAN SELECT status FROM pager_history WHERE time_utc >= '2026'")),
  };
  for (const QString& plan : plans) {
    EXPECT_TRUE(plan.contains(QLatin1String("INDEX pager_history_"))) << plan.toStdString();
    EXPECT_FALSE(plan.contains(QLatin1String("SCAN pager_history"))) << plan.toStdString();
  }
}

// A statement the driver cannot prepare (here: another program took the table away while the
// store was open) is a failure with the driver's own words, whatever asks.
TEST(HistoryFile, AStatementThatCannotBePreparedFailsWithTheDriversReason) {
  QTemporaryDir dir;
  const HistoryLocation location = SqliteIn(dir);
  HistoryStore store(location);
  HistoryRecord record =
      RecordOf(PagerWith(QStringLiteral("1234567890"), {1000}), QStringLiteral("2026-01-01T00:00:00Z"));
  ASSERT_TRUE(store.Append(record));
  ASSERT_EQ(Sqlite3(location.target, QStringLiteral("ALTER TABLE pager_history RENAME TO elsewhere")), QString());

  std::vector<HistoryRecord> many{record};
  const std::pair<const char*, std::function<std::optional<Failure>()>> asks[] = {
      {"append",
       [&]() -> std::optional<Failure> {
         const Outcome done = store.Append(record);
         return done ? std::nullopt : std::optional<Failure>(done.failure());
       }},
      {"append all",
       [&]() -> std::optional<Failure> {
         const Outcome done = store.AppendAll(many);
         return done ? std::nullopt : std::optional<Failure>(done.failure());
       }},
      {"list",
       [&]() -> std::optional<Failure> {
         const auto done = store.List({});
         return done ? std::nullopt : std::optional<Failure>(done.failure());
       }},
      {"find",
       [&]() -> std::optional<Failure> {
         const auto done = store.Find(record.id);
         return done ? std::nullopt : std::optional<Failure>(done.failure());
       }},
  };
  for (const auto& [name, ask] : asks) {
    const std::optional<Failure> failure = ask();
    ASSERT_TRUE(failure) << name;
    EXPECT_TRUE(failure->status.isEmpty()) << name << ": no status text of its own, and not damage";
    EXPECT_TRUE(failure->reason.startsWith(location.target + QLatin1Char(':'))) << failure->reason.toStdString();
    EXPECT_TRUE(failure->reason.contains(QLatin1String("no such table: pager_history")))
        << failure->reason.toStdString();
  }
}

TEST(HistoryFile, SchemaVersions) {
  QTemporaryDir dir;
  const HistoryLocation location = SqliteIn(dir);
  const QString file = location.target;
  HistoryRecord record = RecordOf(PagerData(), QStringLiteral("2026-01-01T00:00:00Z"));

  // A new file gets the current schema; opened again, it keeps its records and is not remade.
  {
    HistoryStore store(location);
    ASSERT_TRUE(store.Append(record));
  }
  {
    HistoryStore store(location);
    ASSERT_TRUE(store.Append(record));
  }
  EXPECT_EQ(Sqlite3(file, QStringLiteral("PRAGMA user_version; SELECT count(*) FROM pager_history;")),
            QStringLiteral("%1\n2").arg(kHistorySchemaVersion));

  // A file of a newer program is refused and left as it was.
  Sqlite3(file, QStringLiteral("PRAGMA user_version = 7"));
  {
    HistoryStore store(location);
    const Outcome refused = store.Append(record);
    ASSERT_FALSE(refused);
    EXPECT_FALSE(IsDamagedHistory(refused.failure()));
    EXPECT_TRUE(refused.failure().reason.contains(
        QStringLiteral("made by a newer program (schema 7; this program knows %1)").arg(kHistorySchemaVersion)))
        << refused.failure().reason.toStdString();
  }
  EXPECT_EQ(Sqlite3(file, QStringLiteral("PRAGMA user_version; SELECT count(*) FROM pager_history;")),
            QStringLiteral("7\n2"));

  // A migration that fails half-way leaves nothing of itself: here another program's table is
  // in the way of the first step, so no index and no version come of it.
  const QString other = dir.filePath(QStringLiteral("other.sqlite"));
  Sqlite3(other, QStringLiteral("CREATE TABLE pager_history (x); CREATE TABLE keep (y);"));
  {
    HistoryStore store({HistoryLocation::Backend::SQLite, other});
    const Outcome failed = store.Open();
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.failure().reason.contains(QLatin1String("schema 0 to 1")))
        << failed.failure().reason.toStdString();
  }
  EXPECT_EQ(Sqlite3(other, QStringLiteral("PRAGMA user_version; SELECT group_concat(name) FROM sqlite_master;")),
            QStringLiteral("0\npager_history,keep"));
}

// ---- failures: the record is lost, the warning says why, nothing else breaks ----

struct FailureFindings {
  bool kept = true;
  QString warnings;
};

QByteArray Describe(const RecordResult& result) {
  return (result.kept ? QByteArray("kept\n") : QByteArray("lost\n")) + result.warnings.join('\n').toUtf8();
}

FailureFindings Findings(const QByteArray& report) {
  return {report.startsWith("kept\n"), QString::fromUtf8(report.mid(5))};
}

RecordResult RecordWrite(PagerHistory& history) { return history.Record(RecordOf(PagerData(), {})); }

// In a child with a private mount namespace: a small filesystem at `folder`, one record kept in
// it (and the store closed, which folds its write-ahead log into the file), the filesystem
// broken as `breakIt` says, then one more record.
std::optional<QByteArray> RecordOnBrokenFilesystem(const QString& folder, const char* size,
                                                   const std::function<bool()>& breakIt) {
  return RunInChildProcess([&]() -> QByteArray {
    if (!EnterPrivateMountNamespace() || !MountSmallFilesystem(folder, size)) return "unavailable";
    const HistoryLocation location{HistoryLocation::Backend::SQLite, QDir(folder).filePath(QStringLiteral("h.sqlite"))};
    {
      PagerHistory first(location, kSourceCommandLine);
      if (!RecordWrite(first).kept) return "error: the first record was not kept";
    }
    if (!breakIt()) return "unavailable";
    PagerHistory second(location, kSourceCommandLine);
    return Describe(RecordWrite(second));
  });
}

TEST(HistoryFailure, ReadOnlyOrFullFilesystemLosesTheRecordWithAWarning) {
  struct Case {
    const char* name;
    const char* size;
    std::function<bool(const QString&)> breakIt;
    const char* reason;  // SQLite's words: its shared-memory file is the first it cannot make
  };
  const Case cases[] = {
      {"read-only filesystem", "size=1m", [](const QString& folder) { return RemountReadOnly(folder); },
       "unable to open database file"},
      {"full filesystem", "size=512k",
       [](const QString& folder) {
         QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
         if (!filler.open(QIODevice::WriteOnly)) return false;
         const QByteArray block(4096, 'x');
         while (filler.write(block) == block.size() && filler.flush()) {
         }
         return true;
       },
       "disk I/O error"},
  };
  int skipped = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const std::optional<QByteArray> report =
        RecordOnBrokenFilesystem(dir.path(), c.size, [&] { return c.breakIt(dir.path()); });
    ASSERT_TRUE(report) << "the child did not finish";
    if (*report == "unavailable") {
      ++skipped;
      std::printf("[ SKIPPED  ] %s: no private mount namespace\n", c.name);
      continue;
    }
    ASSERT_FALSE(report->startsWith("error")) << report->constData();
    const FailureFindings findings = Findings(*report);
    EXPECT_FALSE(findings.kept);
    EXPECT_TRUE(findings.warnings.startsWith(QLatin1String("history: this write was not recorded: ")))
        << findings.warnings.toStdString();
    EXPECT_TRUE(findings.warnings.contains(QLatin1String(c.reason))) << findings.warnings.toStdString();
  }
  if (skipped == int(std::size(cases))) GTEST_SKIP() << "no private mount namespace here";
}

TEST(HistoryFailure, LockedBeyondTheTimeOutLosesTheRecordAndTheNextOneIsKept) {
  QTemporaryDir dir;
  const HistoryLocation location = SqliteIn(dir);
  PagerHistory history(location, kSourceWindow, kShortBusyMs);
  ASSERT_TRUE(RecordWrite(history).kept);
  {
    // Another program in the middle of a long write.
    QProcess other;
    other.start(QStringLiteral("sqlite3"), {location.target});
    ASSERT_TRUE(other.waitForStarted());
    other.write(
        "BEGIN IMMEDIATE; INSERT INTO pager_history (time_utc, user_name, host_name, source, operation, "
        "outcome, status, detail, serial, port, file) VALUES ('x','u','h','s','o','o','s','','','','');\n"
        "SELECT 'locked';\n");
    ASSERT_TRUE(other.waitForReadyRead(5000));
    const RecordResult locked = RecordWrite(history);
    EXPECT_FALSE(locked.kept);
    EXPECT_TRUE(locked.warnings.join('\n').contains(QLatin1String("database is locked")))
        << locked.warnings.join('\n').toStdString();
    other.write("ROLLBACK;\n.quit\n");
    other.closeWriteChannel();
    ASSERT_TRUE(other.waitForFinished(5000));
  }
  EXPECT_TRUE(RecordWrite(history).kept) << "the store is opened afresh after a failure";
  EXPECT_EQ(Sqlite3(location.target, QStringLiteral("SELECT count(*) FROM pager_history")), QStringLiteral("2"));
}

TEST(HistoryFailure, DamagedFileIsSetAsideAndANewHistoryBegins) {
  QTemporaryDir dir;
  const HistoryLocation location = SqliteIn(dir);
  QByteArray garbage(8192, '\x5A');
  garbage.replace(0, 16, "not a database!!");
  {
    QFile file(location.target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
  }
  PagerHistory history(location, kSourceCommandLine);
  const RecordResult result = RecordWrite(history);
  EXPECT_TRUE(result.kept);
  ASSERT_EQ(result.warnings.size(), 1);
  const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("history.sqlite.damaged-*")}, QDir::Files);
  ASSERT_EQ(aside.size(), 1);
  EXPECT_EQ(ReadAll(dir.filePath(aside[0])), garbage) << "the damaged file is kept as it was";
  EXPECT_EQ(result.warnings[0], QStringLiteral("history: %1 was damaged; it is kept as %2 and a new history begins")
                                    .arg(location.target, dir.filePath(aside[0])));
  EXPECT_EQ(Sqlite3(location.target, QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM pager_history;")),
            QStringLiteral("ok\n1"));
}

TEST(HistoryFailure, StoresThatCannotBeReachedLoseTheRecordWithAWarning) {
  QTemporaryDir dir;
  QFile plain(dir.filePath(QStringLiteral("plain")));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  struct Case {
    const char* name;
    HistoryLocation location;
    const char* said;
    const char* neverSaid;
  };
  const Case cases[] = {
      {"folder that cannot be made",
       {HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("plain/sub/h.sqlite"))},
       "the folder cannot be made",
       nullptr},
      {"unreachable PostgreSQL server",
       ParseHistoryLocation(
           QStringLiteral("host=%1 dbname=m84 user=m84 password=secret").arg(dir.filePath(QStringLiteral("nosocket")))),
       "PostgreSQL host=", "secret"},
      {"PostgreSQL URI with a password",
       ParseHistoryLocation(
           QStringLiteral("postgresql://m84:secret@/m84?host=%1").arg(dir.filePath(QStringLiteral("nosocket")))),
       "connect", "secret"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PagerHistory history(c.location, kSourceWindow);
    const RecordResult result = RecordWrite(history);
    EXPECT_FALSE(result.kept);
    const QString said = result.warnings.join('\n');
    EXPECT_TRUE(said.contains(QLatin1String(c.said))) << said.toStdString();
    if (c.neverSaid) EXPECT_FALSE(said.contains(QLatin1String(c.neverSaid))) << said.toStdString();
  }
}

mode_t ModeOf(const QString& path) {
  struct stat status {};
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 01000000;
}

// Whole images, passwords among them: another local user must not read them, whatever the umask.
TEST(HistoryPrivacy, FileAndTheFoldersItMakesAreTheUsersAloneWhateverTheUmask) {
  QTemporaryDir dir;
  const mode_t old = ::umask(0);
  const QString file = dir.filePath(QStringLiteral("made/here/history.sqlite"));
  PagerHistory history({HistoryLocation::Backend::SQLite, file}, kSourceCommandLine);
  const RecordResult result = RecordWrite(history);
  ::umask(old);
  ASSERT_TRUE(result.kept) << result.warnings.join('\n').toStdString();
  EXPECT_EQ(ModeOf(dir.filePath(QStringLiteral("made"))), 0700u);
  EXPECT_EQ(ModeOf(dir.filePath(QStringLiteral("made/here"))), 0700u);
  EXPECT_EQ(ModeOf(file), 0600u);
  ASSERT_TRUE(QFile::exists(file + QStringLiteral("-wal")));
  EXPECT_EQ(ModeOf(file + QStringLiteral("-wal")), 0600u);
  EXPECT_EQ(ModeOf(file + QStringLiteral("-shm")), 0600u);
}

TEST(HistoryPrivacy, ASymbolicLinkInTheStoresPlaceIsRefusedAndItsTargetLeftAlone) {
  QTemporaryDir dir;
  const QString other = dir.filePath(QStringLiteral("other.db"));
  ASSERT_EQ(Sqlite3(other, QStringLiteral("CREATE TABLE mine (x); PRAGMA journal_mode;")), QStringLiteral("delete"));
  const QByteArray otherBefore = ReadAll(other);
  const QString store = dir.filePath(QStringLiteral("history.sqlite"));
  struct Case {
    const char* name;
    const char* linked;  // the store's name, or one of its companions
    QString target;
  };
  const Case cases[] = {
      {"link to another database", "", other},
      {"dangling link", "", dir.filePath(QStringLiteral("made-by-the-link"))},
      {"write-ahead log linked", "-wal", dir.filePath(QStringLiteral("wal-target"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString link = store + QLatin1String(c.linked);
    ASSERT_TRUE(QFile::link(c.target, link));
    PagerHistory history({HistoryLocation::Backend::SQLite, store}, kSourceCommandLine);
    const RecordResult result = RecordWrite(history);
    EXPECT_FALSE(result.kept);
    EXPECT_TRUE(result.warnings.join('\n').contains(QStringLiteral("%1 is a symbolic link").arg(link)))
        << result.warnings.join('\n').toStdString();
    EXPECT_EQ(ReadAll(other), otherBefore);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("made-by-the-link"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("wal-target"))));
    ASSERT_TRUE(QFile::remove(link));
    QFile::remove(store);
  }
  EXPECT_EQ(Sqlite3(other, QStringLiteral("PRAGMA journal_mode; SELECT name FROM sqlite_master;")),
            QStringLiteral("delete\nmine"));
}

// However a connection names its password, no message shows it.
TEST(HistoryLocation, EveryFormOfAPasswordIsMaskedInEveryMessage) {
  QTemporaryDir dir;
  for (const PasswordForm& c : PasswordForms(dir.filePath(QStringLiteral("nosocket")))) {
    SCOPED_TRACE(c.connection.toStdString());
    const HistoryLocation location = ParseHistoryLocation(c.connection);
    ASSERT_EQ(location.backend, HistoryLocation::Backend::PostgreSql);
    PagerHistory history(location, kSourceCommandLine);
    const RecordResult result = RecordWrite(history);
    EXPECT_FALSE(result.kept);
    const QString said = location.Describe() + QLatin1Char('\n') + result.warnings.join(QLatin1Char('\n'));
    EXPECT_TRUE(said.contains(c.shown)) << said.toStdString();
    for (const QString& secret : c.secrets) EXPECT_FALSE(said.contains(secret)) << said.toStdString();
  }
}

TEST(HistoryLocation, EnvironmentNamesTheStoreOrTurnsItOff) {
  struct Case {
    const char* value;
    HistoryLocation::Backend backend;
  };
  const Case cases[] = {
      {"/srv/shared/history.sqlite", HistoryLocation::Backend::SQLite},
      {"postgresql://bench@db.workshop/m84", HistoryLocation::Backend::PostgreSql},
      {"host=/run/postgresql dbname=m84", HistoryLocation::Backend::PostgreSql},
  };
  for (const Case& c : cases) {
    qputenv(kHistoryVariable, c.value);
    EXPECT_EQ(DefaultHistoryLocation().backend, c.backend) << c.value;
    EXPECT_EQ(DefaultHistoryLocation().target, QLatin1String(c.value));
  }
  // The variable before the preference, the preference before the data folder.
  EXPECT_EQ(DefaultHistoryLocation(QStringLiteral("/srv/preferred.sqlite")).target, QLatin1String(cases[2].value));
  qunsetenv(kHistoryVariable);
  EXPECT_EQ(DefaultHistoryLocation(QStringLiteral("/srv/preferred.sqlite")).target,
            QStringLiteral("/srv/preferred.sqlite"));
  EXPECT_EQ(DefaultHistoryLocation().target, DefaultHistoryFile());
  EXPECT_TRUE(DefaultHistoryFile().startsWith(qEnvironmentVariable("XDG_DATA_HOME") + QLatin1Char('/')))
      << "tests run with a private data folder";

  for (const char* value : {"1", "yes"}) {
    qputenv(kNoHistoryVariable, value);
    EXPECT_FALSE(HistoryEnabledByEnvironment()) << value;
    EXPECT_FALSE(PagerHistory::ForProgram(kSourceWindow, false).Enabled());
  }
  qputenv(kNoHistoryVariable, "0");
  EXPECT_TRUE(PagerHistory::ForProgram(kSourceWindow, false).Enabled());
  EXPECT_FALSE(PagerHistory::ForProgram(kSourceWindow, true).Enabled()) << "--no-history";
  qunsetenv(kNoHistoryVariable);
}

}  // namespace
