// The history dialog on a store of 100,000 records: how long from opening the dialog to its
// first rows painted, and from each keystroke in a filter to the rows it leaves painted, with how
// late a 10 ms timer on the window's thread comes meanwhile (the dialog runs on that thread, over
// the window); then a sort by each column and a page more when the table scrolls to its end. The
// records are generated here into a temporary SQLite file (about 220 MB: every record keeps its
// whole image).
//
//   bench_history_dialog [--records N]      (QT_QPA_PLATFORM=offscreen where there is no display)

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/history/pager_history.h"
#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"
#include "generated_history.h"
#include "gui/file_dialogs.h"
#include "gui/history_dialog.h"
#include "gui/main_window.h"

namespace {

using namespace m84;
using bench::Clock;
using bench::Figures;
using bench::GeneratedRecord;
using bench::MsSince;
using bench::Summary;

constexpr double kTargetMs = 50.0;
constexpr int kDefaultRecords = 100000;
constexpr int kOpenRuns = 10;
constexpr int kTickMs = 10;
// Between two steps, as long as a person takes at the fastest: the timer ticks meanwhile.
constexpr int kPauseMs = 40;

void PrintLine(const QString& what, const Figures& f) {
  std::printf("  %-46s median %7.2f ms, worst %7.2f ms  (target < %.0f ms: %s)\n", qPrintable(what), f.median, f.worst,
              kTargetMs, f.worst < kTargetMs ? "met" : "NOT met");
}

class SilentTones : public TonePlayer {
 public:
  void Play(const std::vector<ToneStep>&) override {}
};

// How late each tick of a 10 ms timer on this thread comes, while it runs.
class TimerLateness {
 public:
  TimerLateness() {
    tick_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick_, &QTimer::timeout, [this] {
      late_.push_back(std::max(0.0, double(since_.nsecsElapsed()) / 1e6 - kTickMs));
      since_.restart();
    });
  }
  void Start() {
    late_.clear();
    since_.start();
    tick_.start(kTickMs);
  }
  Figures Stop() {
    tick_.stop();
    std::sort(late_.begin(), late_.end());
    if (late_.empty()) return {};
    return {late_[std::min(late_.size() - 1, size_t(double(late_.size()) * 0.99))], late_.back()};
  }
  size_t Ticks() const { return late_.size(); }

 private:
  QTimer tick_;
  QElapsedTimer since_;
  std::vector<double> late_;
};

void PrintLateness(const QString& what, const Figures& f, size_t ticks) {
  std::printf("  %-46s p99 %7.2f ms, worst %7.2f ms over %zu ticks  (target < %.0f ms: %s)\n", qPrintable(what),
              f.median, f.worst, ticks, kTargetMs, f.worst < kTargetMs ? "met" : "NOT met");
}

// The event loop runs for a while: the timer's ticks come, the window paints.
void Pause() {
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < kPauseMs) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, kPauseMs);
}

// Painted now, as the next frame would paint it.
void Paint(HistoryDialog& dialog) {
  dialog.Table()->viewport()->repaint();
  QCoreApplication::processEvents();
}

// Types text into the filter a key at a time, each key's time to the rows painted.
std::vector<double> Type(HistoryDialog& dialog, QLineEdit* filter, const QString& text, int* shownAfter) {
  filter->clear();
  Paint(dialog);
  std::vector<double> keys;
  for (const QChar key : text) {
    const auto start = Clock::now();
    filter->insert(QString(key));
    Paint(dialog);
    keys.push_back(MsSince(start));
    Pause();
  }
  *shownAfter = dialog.Model()->rowCount();
  return keys;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int records = kDefaultRecords;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--records") == 0) records = std::max(1, std::atoi(argv[i + 1]));
  QTemporaryDir dir;
  const HistoryLocation location{HistoryLocation::Backend::SQLite, dir.filePath(QStringLiteral("history.sqlite"))};

  if (!bench::GenerateHistory(location, records, "bench_history_dialog")) return 1;

  const auto shared = std::make_shared<QtFileDialogs>();
  // The window the dialog opens over, as History, Records... opens it.
  PagerData windowData;
  WindowOptions options{shared, std::make_shared<SilentTones>(), dir.filePath(QStringLiteral("no-port"))};
  options.historyLocation = location;
  MainWindow window(windowData, options);
  window.show();
  Pause();
  TimerLateness lateness;
  std::printf("Opening the dialog (store opened, first page fetched, rows painted), %d times:\n", kOpenRuns);
  std::vector<double> opening;
  lateness.Start();
  for (int run = 0; run < kOpenRuns; ++run) {
    const auto start = Clock::now();
    HistoryDialog dialog(location, {}, shared, &window);
    dialog.resize(1000, 600);
    dialog.show();
    Paint(dialog);
    opening.push_back(MsSince(start));
    if (dialog.Model()->rowCount() == 0) {
      std::fprintf(stderr, "bench_history_dialog: no rows shown: %s\n", qPrintable(dialog.StatusText()));
      return 1;
    }
    Pause();
  }
  PrintLine(QStringLiteral("to the first rows shown"), Summary(opening));
  std::printf("  (the first open, with a cold connection: %.2f ms)\n", opening.front());
  const size_t openTicks = lateness.Ticks();
  PrintLateness(QStringLiteral("the window's timer meanwhile"), lateness.Stop(), openTicks);

  HistoryDialog dialog(location, {}, shared, &window);
  dialog.resize(1000, 600);
  dialog.show();
  Paint(dialog);

  std::printf("\nA filter keystroke to the rows painted:\n");
  struct Typing {
    const char* what;
    QLineEdit* filter;
    QString text;
  };
  const Typing typings[] = {
      {"serial number", dialog.SerialFilter(), bench::GeneratedSerialNumber(512)},
      {"capcode", dialog.CapcodeFilter(), QString::number(bench::GeneratedCapcode(records / 2, 3))},
      {"date", dialog.DateFilter(), QStringLiteral("2020-02-15 13")},
  };
  lateness.Start();
  for (const Typing& typing : typings) {
    int shown = 0;
    const std::vector<double> keys = Type(dialog, typing.filter, typing.text, &shown);
    PrintLine(QStringLiteral("%1 \"%2\", %3 keys").arg(QLatin1String(typing.what), typing.text).arg(keys.size()),
              Summary(keys));
    std::printf("    per key:");
    for (double key : keys) std::printf(" %.1f", key);
    std::printf(" ms; %d row(s) in the first page at the end\n", shown);
    typing.filter->clear();
  }
  const size_t typingTicks = lateness.Ticks();
  PrintLateness(QStringLiteral("the window's timer meanwhile"), lateness.Stop(), typingTicks);

  std::printf("\nSorting by a column (a click on its heading) to the first rows painted:\n");
  for (int column = 0; column < HistoryTableModel::kColumnCount; ++column) {
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      const auto start = Clock::now();
      dialog.Table()->horizontalHeader()->setSortIndicator(column, order);
      Paint(dialog);
      const double ms = MsSince(start);
      std::printf("  %-14s %-10s %8.2f ms%s\n",
                  qPrintable(dialog.Model()->headerData(column, Qt::Horizontal).toString()),
                  order == Qt::AscendingOrder ? "ascending" : "descending", ms, ms < kTargetMs ? "" : "  (over 50 ms)");
    }
  }

  std::printf("\nScrolling: one page more (%d rows) at the table's end, newest first:\n", HistoryTableModel::kPageSize);
  dialog.Table()->horizontalHeader()->setSortIndicator(HistoryTableModel::kTime, Qt::DescendingOrder);
  std::vector<double> pages;
  for (int page = 0; page < 50 && dialog.Model()->canFetchMore({}); ++page) {
    const auto start = Clock::now();
    dialog.Model()->fetchMore({});
    dialog.Table()->scrollToBottom();
    Paint(dialog);
    pages.push_back(MsSince(start));
  }
  PrintLine(QStringLiteral("a page more, over the first 50 pages"), Summary(pages));
  return 0;
}
