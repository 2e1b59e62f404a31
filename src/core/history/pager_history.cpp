#include "core/history/pager_history.h"

#include <pwd.h>
#include <unistd.h>
#include <QSysInfo>

#include "core/link/adapter_frame.h"
#include "core/link/adapter_link.h"

namespace m84 {

namespace {

QString OutcomeOf(bool succeeded, const AdapterLink& link) {
  if (succeeded) return kOutcomeOk;
  return link.Interrupted() ? kOutcomeInterrupted : kOutcomeFailed;
}

}  // namespace

QString CurrentUserName() {
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name)
    return QString::fromLocal8Bit(entry->pw_name);
  return qEnvironmentVariable("USER");
}

PagerHistory::PagerHistory(HistoryLocation location, QString source, int busyTimeoutMs)
    : store_(std::make_unique<HistoryStore>(std::move(location), busyTimeoutMs)), source_(std::move(source)) {}

PagerHistory PagerHistory::ForProgram(const QString& source, bool off, const QString& preference) {
  if (off || !HistoryEnabledByEnvironment()) return PagerHistory();
  return PagerHistory(DefaultHistoryLocation(preference), source);
}

HistoryRecord RecordOf(const PagerTransfer& transfer, const AdapterLink& link, const std::optional<QString>& serial) {
  HistoryRecord record;
  record.operation = OperationName(transfer.operation);
  record.outcome = OutcomeOf(transfer.succeeded, link);
  record.status = link.LastStatus();
  record.exitCode = transfer.exitCode;
  record.detail = transfer.succeeded ? QString() : link.LastFailure();
  record.port = link.DeviceName();
  record.file = transfer.file;
  if (transfer.data) record.data = *transfer.data;
  FillSearchColumns(record);
  if (serial) record.serial = *serial;
  return record;
}

std::optional<QString> FailedWriteSerial(bool written, const WriteResult& result,
                                         const std::optional<QByteArray>& readBefore) {
  if (written || result.reachedVerify) return std::nullopt;
  const std::optional<QByteArray>& read = result.keptSerial ? result.keptSerial : readBefore;
  if (!read) return QString();
  QString serial;
  for (int i = 0; i < kSerialLast - kSerialFirst && i < read->size() && (*read)[i] != 0; ++i)
    serial.append(QChar(uchar((*read)[i])));
  return serial;
}

RecordResult PagerHistory::Record(const PagerTransfer& transfer, const AdapterLink& link,
                                  const std::optional<QString>& serial) {
  if (!Enabled()) return {};
  return Record(RecordOf(transfer, link, serial));
}

RecordResult PagerHistory::Record(HistoryRecord record) {
  if (!Enabled()) return {};
  record.time = QDateTime::currentDateTimeUtc();
  record.user = CurrentUserName();
  record.host = QSysInfo::machineHostName();
  record.source = source_;
  RecordResult result;
  Outcome appended = store_->Append(record);
  const bool file = store_->Location().backend == HistoryLocation::Backend::SQLite;
  if (!appended && IsDamagedHistory(appended.failure()) && file) {
    const Result<QString> aside = store_->SetDamagedFileAside();
    if (!aside) {
      result.warnings << QStringLiteral("history: the file is damaged and %1").arg(aside.failure().reason);
    } else {
      if (!aside->isEmpty())
        result.warnings << QStringLiteral("history: %1 was damaged; it is kept as %2 and a new history begins")
                               .arg(store_->Location().target, *aside);
      appended = store_->Append(record);
    }
  }
  if (!appended) {
    // Opened afresh next time: the server may be back, the lock gone, the disk emptied.
    store_->Close();
    result.kept = false;
    result.warnings
        << QStringLiteral("history: this %1 was not recorded: %2").arg(record.operation, appended.failure().reason);
  }
  return result;
}

}  // namespace m84
