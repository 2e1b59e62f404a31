#pragma once
// A history store of many generated records, for the benchmarks that measure the history:
// one record a minute from 2020-01-01 on, writes and backups by four users on four benches, about
// a hundred records for each serial number, one in fifty failed. Every record keeps its whole
// image, as a real one does (100,000 records take about 220 MB).

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/history/pager_history.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"

namespace m84::bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The median and the worst of a series of times.
struct Figures {
  double median = 0;
  double worst = 0;
};

inline Figures Summary(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

constexpr int kGeneratedSerials = 1000;

inline QString GeneratedSerialNumber(int n) {
  return QStringLiteral("84%1").arg(n % kGeneratedSerials, 8, 10, QLatin1Char('0'));
}

inline int GeneratedCapcode(int n, int row) { return 8 + (n * 8 + row) % 2000000; }

inline HistoryRecord GeneratedRecord(int n) {
  HistoryRecord record;
  PagerData data;
  for (int row = 0; row < kCapcodeRowCount; ++row) WriteCapcode(data.image, row, uint32_t(GeneratedCapcode(n, row)));
  WriteZeroPaddedText(GeneratedSerialNumber(n), data.image, kSerialOffset, kSerialSize);
  record.data = data;
  record.time = QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(qint64(n) * 60);
  record.user = QStringLiteral("tech%1").arg(n % 4);
  record.host = QStringLiteral("bench-%1").arg(n % 4);
  record.source = kSourceBatch;
  record.operation = n % 2 ? QStringLiteral("write") : QStringLiteral("backup");
  record.outcome = n % 50 ? kOutcomeOk : kOutcomeFailed;
  record.status = QStringLiteral("DPT Verify ok !");
  record.exitCode = 0;
  record.port = QStringLiteral("/dev/ttyUSB0");
  record.file = QStringLiteral("/srv/pagers/batch-%1.DAT").arg(n % 97);
  FillSearchColumns(record);
  return record;
}

// Fills the store at `location` with `records` generated records, saying how long it took; on
// failure says why on standard error (as `program`) and returns false.
inline bool GenerateHistory(const HistoryLocation& location, int records, const char* program) {
  constexpr int kBatch = 5000;
  std::printf("Generating %d records ...\n", records);
  const auto generating = Clock::now();
  HistoryStore store(location);
  for (int first = 0; first < records; first += kBatch) {
    std::vector<HistoryRecord> batch;
    for (int n = first; n < std::min(records, first + kBatch); ++n) batch.push_back(GeneratedRecord(n));
    if (const Outcome appended = store.AppendAll(batch); !appended) {
      std::fprintf(stderr, "%s: %s\n", program, qPrintable(appended.failure().reason));
      return false;
    }
  }
  std::printf("  generated in %.1f s\n\n", MsSince(generating) / 1000.0);
  return true;
}

}  // namespace m84::bench
