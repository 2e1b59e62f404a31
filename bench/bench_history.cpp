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
#include "generated_history.h"

namespace {

using namespace m84;
using bench::Clock;
using bench::Figures;
using bench::GeneratedRecord;
using bench::MsSince;
using bench::Summary;

constexpr double kRecordTargetMs = 5.0;
constexpr double kSearchTargetMs = 100.0;
constexpr int kDefaultRecords = 100000;
constexpr int kRecordRuns = 40;
constexpr int kSearchRuns = 20;

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

  if (!bench::GenerateHistory(location, records, "bench_history")) return 1;

  std::printf("Recording one pager operation (SQLite file, WAL, synchronous=NORMAL):\n");
  std::vector<double> command;
  std::vector<double> window;
  PagerHistory open(location, kSourceWindow);
  for (int run = 0; run < kRecordRuns; ++run) {
    auto start = Clock::now();
    {
      PagerHistory history(location, kSourceCommandLine);  // a command: opened for its one record
      if (!history.Record(GeneratedRecord(records + run)).kept) return 1;
    }
    command.push_back(MsSince(start));
    start = Clock::now();
    if (!open.Record(GeneratedRecord(records + run)).kept) return 1;
    window.push_back(MsSince(start));
  }
  PrintLine("a command (open, check schema, record, close)", Summary(command), kRecordTargetMs);
  PrintLine("the window (store kept open)", Summary(window), kRecordTargetMs);

  std::printf("\nhistory --serial on %d records (about %d matches each):\n", records,
              records / bench::kGeneratedSerials);
  std::vector<double> search;
  size_t found = 0;
  for (int run = 0; run < kSearchRuns; ++run) {
    const auto start = Clock::now();
    HistoryStore store(location);
    HistoryFilter filter;
    filter.serial = bench::GeneratedSerialNumber(run * 37);
    const Result<std::vector<HistoryRecord>> listed = store.List(filter);
    if (!listed) return 1;
    search.push_back(MsSince(start));
    found += listed->size();
  }
  PrintLine("open and search by serial number", Summary(search), kSearchTargetMs);
  std::printf("  (%.1f records per search)\n", double(found) / kSearchRuns);
  return 0;
}
