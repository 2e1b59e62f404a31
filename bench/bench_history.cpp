// The programming history's costs: what recording adds to a pager read or write (a command
// opens the store for its one record; the window keeps it open), and how fast
// "history --serial" answers from a store of 100,000 records. The records are generated here,
// into a temporary SQLite file (about 220 MB: every record keeps its whole image).
//
//   bench_history [--records N]

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/history/pager_history.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"

namespace {

using namespace m84;

constexpr double kRecordTargetMs = 5.0;
constexpr double kSearchTargetMs = 100.0;
constexpr int kDefaultRecords = 100000;
constexpr int kSerials = 1000;  // so each serial number has about a hundred records
constexpr int kBatch = 5000;
constexpr int kRecordRuns = 40;
constexpr int kSearchRuns = 20;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QString SerialNumber(int n) { return QStringLiteral("84%1").arg(n % kSerials, 8, 10, QLatin1Char('0')); }

HistoryRecord Generated(int n) {
  HistoryRecord record;
  PagerData data;
  for (int row = 0; row < kCapcodeRowCount; ++row) WriteCapcode(data.image, row, uint32_t(8 + (n * 8 + row) % 2000000));
  WriteZeroPaddedText(SerialNumber(n), data.image, kSerialOffset, kSerialSize);
  record.data = data;
  record.time = QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(qint64(n) * 60);
  record.user = QStringLiteral("tech");
  record.host = QStringLiteral("bench-1");
  record.source = kSourceBatch;
  record.operation = n % 2 ? QStringLiteral("write") : QStringLiteral("backup");
  record.outcome = kOutcomeOk;
  record.status = QStringLiteral("DPT Verify ok !");
  record.exitCode = 0;
  record.port = QStringLiteral("/dev/ttyUSB0");
  record.file = QStringLiteral("/srv/pagers/batch.DAT");
  FillSearchColumns(record);
  return record;
}

struct Figures {
  double median = 0;
  double worst = 0;
};

Figures Summary(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

void PrintLine(const char* what, const Figures& f, double target) {
  std::printf("  %-44s median %7.2f ms, worst %7.2f ms  (target < %.0f ms: %s)\n", what, f.median, f.worst, target,
              f.median < target ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int records = kDefaultRecords;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--records") == 0) records = std::max(1, std::atoi(argv[i + 1]));
  QTemporaryDir dir;
  const HistoryLocation location{HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("history.sqlite"))};

  std::printf("Generating %d records ...\n", records);
  const auto generating = Clock::now();
  {
    HistoryStore store(location);
    for (int first = 0; first < records; first += kBatch) {
      std::vector<HistoryRecord> batch;
      for (int n = first; n < std::min(records, first + kBatch); ++n) batch.push_back(Generated(n));
      if (const Outcome appended = store.AppendAll(batch); !appended) {
        std::fprintf(stderr, "bench_history: %s\n", qPrintable(appended.failure().reason));
        return 1;
      }
    }
  }
  std::printf("  generated in %.1f s\n\n", MsSince(generating) / 1000.0);

  std::printf("Recording one pager operation (SQLite file, WAL, synchronous=NORMAL):\n");
  std::vector<double> command;
  std::vector<double> window;
  PagerHistory open(location, kSourceWindow);
  for (int run = 0; run < kRecordRuns; ++run) {
    auto start = Clock::now();
    {
      PagerHistory history(location, kSourceCommandLine);  // a command: opened for its one record
      if (!history.Record(Generated(records + run)).kept) return 1;
    }
    command.push_back(MsSince(start));
    start = Clock::now();
    if (!open.Record(Generated(records + run)).kept) return 1;
    window.push_back(MsSince(start));
  }
  PrintLine("a command (open, check schema, record, close)", Summary(command), kRecordTargetMs);
  PrintLine("the window (store kept open)", Summary(window), kRecordTargetMs);

  std::printf("\nhistory --serial on %d records (about %d matches each):\n", records, records / kSerials);
  std::vector<double> search;
  size_t found = 0;
  for (int run = 0; run < kSearchRuns; ++run) {
    const auto start = Clock::now();
    HistoryStore store(location);
    HistoryFilter filter;
    filter.serial = SerialNumber(run * 37);
    const Result<std::vector<HistoryRecord>> listed = store.List(filter);
    if (!listed) return 1;
    search.push_back(MsSince(start));
    found += listed->size();
  }
  PrintLine("open and search by serial number", Summary(search), kSearchTargetMs);
  std::printf("  (%.1f records per search)\n", double(found) / kSearchRuns);
  return 0;
}
