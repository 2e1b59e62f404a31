#pragma once
// Where the window and the command line report every pager read and write, once each, with its
// outcome. Recording never stands in the way of the operation: whatever goes wrong with the
// history becomes a warning for the person, and the operation's result stands.
//
//   PagerHistory history = PagerHistory::ForProgram(kSourceCommandLine, parser.isSet(noHistory));
//   const bool ok = bool(link.WritePager(data.image, options, host).outcome);
//   RecordResult kept = history.Record({HistoryOperation::Write, ok, &data, exitCode, file}, link);
//   for (const QString& warning : kept.warnings) ...

#include <QStringList>
#include <memory>
#include <optional>

#include "core/history/history_record.h"
#include "core/history/history_store.h"

namespace m84 {

class AdapterLink;
struct WriteResult;

inline const QString kSourceWindow = QStringLiteral("window");
inline const QString kSourceCommandLine = QStringLiteral("command line");
inline const QString kSourceBatch = QStringLiteral("batch");

// What the caller knows of one pager operation beyond what the link knows.
struct PagerTransfer {
  HistoryOperation operation = HistoryOperation::Read;
  bool succeeded = false;
  const PagerData* data = nullptr;  // the image read or written; none after a failed read
  std::optional<int> exitCode;      // the command's; none from the window
  QString file;
};

struct RecordResult {
  bool kept = true;  // false: this operation is missing from the history
  QStringList warnings;
};

class PagerHistory {
 public:
  PagerHistory() = default;  // recording off
  PagerHistory(HistoryLocation location, QString source, int busyTimeoutMs = kHistoryBusyTimeoutMs);
  // The program's history: off with `off` (--no-history) or M84DPT_NO_HISTORY, else the store
  // M84DPT_HISTORY or the preference names, else the file in the user's data folder.
  static PagerHistory ForProgram(const QString& source, bool off, const QString& preference = {});

  bool Enabled() const { return store_ != nullptr; }
  // The status text, the reason of a failure, an interruption and the port come from the link.
  // serial: the one to file the record under where it is not the image's (FailedWriteSerial).
  RecordResult Record(const PagerTransfer& transfer, const AdapterLink& link,
                      const std::optional<QString>& serial = std::nullopt);
  // The record as it is, with the time, the user and the host filled in.
  RecordResult Record(HistoryRecord record);

 private:
  std::unique_ptr<HistoryStore> store_;
  QString source_;
};

// The record of a transfer, before the time, user, host and source are filled in.
HistoryRecord RecordOf(const PagerTransfer& transfer, const AdapterLink& link,
                       const std::optional<QString>& serial = std::nullopt);

// The serial number a write is recorded under, where it is not the image's: the write failed
// before the pager held the image, so the pager holds its own (the one read before, kept or
// looked at), or none when nothing was read from it.
std::optional<QString> FailedWriteSerial(bool written, const WriteResult& result,
                                         const std::optional<QByteArray>& readBefore = std::nullopt);

// The user whose programs write the history.
QString CurrentUserName();

}  // namespace m84
