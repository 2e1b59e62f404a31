#pragma once
// Where the programming history lives and the one table it keeps there: an SQLite file in the
// user's data folder, or a PostgreSQL database that the benches of a workshop share. Both hold
// the same versioned schema. Every failure is a plain result, so that a pager operation never
// depends on the history.
//
//   HistoryStore store(DefaultHistoryLocation());
//   if (Outcome opened = store.Open(); !opened) ... opened.failure().reason, IsDamagedHistory(...)
//   store.Append(record);  Result<std::vector<HistoryRecord>> listed = store.List(filter);
//   Result<std::optional<HistoryRecord>> found = store.Find(id);

#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/history/history_page.h"
#include "core/history/history_record.h"
#include "core/result.h"

namespace m84 {

// M84DPT_HISTORY (or the preference "history") names the store instead of the user's data folder; M84DPT_NO_HISTORY
// (any value but "0") turns recording off.
inline constexpr char kHistoryVariable[] = "M84DPT_HISTORY";
inline constexpr char kNoHistoryVariable[] = "M84DPT_NO_HISTORY";

// Raised with every step added to the schema (history_store.cpp); a store of an older version is
// brought up to it step by step when it is opened.
constexpr int kHistorySchemaVersion = 5;
// How long a write waits for another program's write to the same SQLite file.
constexpr int kHistoryBusyTimeoutMs = 5000;

struct HistoryLocation {
  enum class Backend { SQLite, PostgreSql };
  Backend backend = Backend::SQLite;
  QString target;  // the SQLite file, or the PostgreSQL connection as given
  // For messages: the file, or the connection without its password.
  QString Describe() const;
};

// A PostgreSQL connection as it may be shown: every password libpq would take from it replaced by
// "...", in each of its forms (password='...' with quotes and escapes, a URI's user:password@, a
// URI parameter whose name or value is percent-encoded, pass%77ord=...).
QString MaskedConnection(const QString& connection);

// "postgresql://..." and "postgres://..." URIs and libpq's "host=... dbname=..." form name a
// PostgreSQL server; anything else is the path of an SQLite file.
HistoryLocation ParseHistoryLocation(const QString& text);
// history.sqlite in the user's data folder.
QString DefaultHistoryFile();
// M84DPT_HISTORY when it is set, otherwise the preference (same forms), otherwise the default
// file.
HistoryLocation DefaultHistoryLocation(const QString& preference = {});
// True unless M84DPT_NO_HISTORY turns recording off.
bool HistoryEnabledByEnvironment();

struct HistoryFilter {
  QString serial;              // empty: any
  std::optional<int> capcode;  // in any of the eight enabled rows
  std::optional<QDateTime> since;
  int limit = 0;  // 0: all
};

// A failure of the store has no status text of its own (the reason says where and why), except
// this one: the SQLite file is no database, or a damaged one, and can only be set aside.
inline const QString kHistoryDamagedStatus = QStringLiteral("history damaged");
inline bool IsDamagedHistory(const Failure& failure) { return failure.status == kHistoryDamagedStatus; }

// The number of signals (Ctrl+C, a hang-up) the program has heard so far, as whoever handles
// them counts; nothing: none are counted. A PostgreSQL store's wait on a lock or a statement is
// cancelled as soon as the count grows, so that a signal is heard there too.
void SetHistoryWaitSignals(int (*signalsHeard)());

class HistoryStore {
 public:
  explicit HistoryStore(HistoryLocation location, int busyTimeoutMs = kHistoryBusyTimeoutMs);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  const HistoryLocation& Location() const { return location_; }

  // Connects and brings the schema up to this program's version. A store made by a newer
  // program is left as it is and refused.
  Outcome Open();
  bool IsOpen() const { return open_; }
  void Close();

  // Adds the record and gives it its id; the time, user and host are the caller's.
  Outcome Append(HistoryRecord& record);
  // Many records in one transaction: all or none.
  Outcome AppendAll(std::vector<HistoryRecord>& records);
  // Newest first, without the images.
  Result<std::vector<HistoryRecord>> List(const HistoryFilter& filter);
  // With its image; nothing when no record has the id.
  Result<std::optional<HistoryRecord>> Find(qint64 id);
  // Up to count records from the offset-th on, as the query filters and sorts them, without the
  // images. In time order a page may start after the last row of the one before instead.
  Result<std::vector<HistoryPageRow>> ListPage(const HistoryPageQuery& query, int offset, int count,
                                               const HistoryPageRow* after = nullptr);

  // The open connection, for the tables kept beside the records (an order's rows, core/fleet);
  // usable on this thread only, as every Qt SQL connection.
  Result<QSqlDatabase> Connection();
  // A statement's failure in the store's words ("LOCATION: what: the driver's reason").
  Failure StatementFailure(const QString& what, const class QSqlError& error) const {
    return DriverFailure(what, error);
  }

  // A damaged SQLite file (with its -wal and -shm files) renamed aside, so that the next Open
  // starts a new one: its new name; an empty name when another program has already replaced
  // it; a failure when it cannot be renamed.
  Result<QString> SetDamagedFileAside();

 private:
  Outcome OpenSQLite();
  // For List and Find: a store this user may read but not write (a file of mode 0400, a folder
  // or filesystem that is read-only) is opened read-only, as it is, with nothing made or changed.
  Outcome OpenForReading();
  Outcome OpenSQLiteReadOnly();
  Outcome OpenPostgreSql();
  Outcome MigrateSQLite();
  Outcome MigratePostgreSql();
  // "LOCATION: what: the driver's reason", marked when the driver finds the file damaged.
  Failure DriverFailure(const QString& what, const class QSqlError& error) const;
  Outcome Insert(class QSqlQuery& query, HistoryRecord& record) const;

  HistoryLocation location_;
  int busyTimeoutMs_;
  QString connection_;
  QSqlDatabase db_;
  bool open_ = false;
  std::unique_ptr<class WaitCanceller> canceller_;  // PostgreSQL's, while connected
  unsigned long long fileId_ = 0;                   // the SQLite file's inode when it was opened
};

}  // namespace m84
