#pragma once
// One pager read or write as the history keeps it: who, when, where, how it ended, the columns
// that are searched (serial number, capcodes, frequency) and the whole image with its selection
// block, from which any earlier state of a pager can be restored.

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "core/image/pager_image.h"

namespace m84 {

enum class HistoryOperation { Read, Write, Backup };

// As stored and printed: "read", "write", "backup" (the read before a write --backup).
QString OperationName(HistoryOperation operation);

inline const QString kOutcomeOk = QStringLiteral("ok");
inline const QString kOutcomeFailed = QStringLiteral("failed");
inline const QString kOutcomeInterrupted = QStringLiteral("interrupted");

constexpr int kHistoryCapcodeCount = 8;

struct HistoryRecord {
  qint64 id = 0;   // given by the store
  QDateTime time;  // UTC
  QString user;
  QString host;
  QString source;               // "window", "command line" or "batch"
  QString operation;            // OperationName
  QString outcome;              // kOutcomeOk, kOutcomeFailed or kOutcomeInterrupted
  QString status;               // the last status text shown, e.g. "DPT Verify ok !"
  std::optional<int> exitCode;  // the command's; the window has none
  QString detail;               // why it failed, e.g. "block 0x140: no acknowledgement within 1000 ms"
  QString serial;
  // Only the enabled rows: a disabled row's number is no address the pager answers.
  std::array<std::optional<int>, kHistoryCapcodeCount> capcodes;
  std::optional<qint64> frequencyHz;
  QString port;
  QString file;
  // A read that failed has no image to keep.
  std::optional<PagerData> data;
};

// The serial number, enabled capcodes and receive frequency of the record's image.
void FillSearchColumns(HistoryRecord& record);

// "1234567, 1234568": the enabled capcodes.
QString CapcodeList(const HistoryRecord& record);

}  // namespace m84
