// The settings text against the data file, as a user runs them: whole `m84dpt` processes of
// convert between data files, convert to and from the settings text, and diff, each the median
// of several runs, for the fuzz seed `pattern` and an erased pager (all 0xFF). Also the
// document's own cost in the process (write, read, diff), to tell the text's part from the
// program's start-up.
//
//   bench_settings_text PATH/TO/m84dpt [--runs N]

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "core/image/dat_file.h"
#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"

namespace {

using namespace m84;

constexpr double kExtraTargetMs = 20.0;  // at most this much longer than convert between data files

// Wall time, and the processor time of this thread and of the processes it waited for: on a
// machine shared with other work the wall time grows with the load, the processor time hardly.
struct Timing {
  double wallMs = 0;
  double cpuMs = 0;
};

double CpuMs() {
  timespec thread{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &thread);
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return double(thread.tv_sec) * 1e3 + double(thread.tv_nsec) / 1e6 + ms(children.ru_utime) + ms(children.ru_stime);
}

Timing Median(int runs, const std::function<void()>& run) {
  std::vector<double> walls;
  std::vector<double> cpus;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    const double cpu = CpuMs();
    timer.start();
    run();
    walls.push_back(double(timer.nsecsElapsed()) / 1e6);
    cpus.push_back(CpuMs() - cpu);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

// An image as `convert` makes it of these bytes (image, then selection block).
PagerData Converted(uint8_t (*byteAt)(int)) {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = byteAt(i);
  for (int i = 0; i < kSelectionSize; ++i) data.selection[i] = byteAt(kImageSize + i);
  ModelPageSet pages(data);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);
  return data;
}

// The settings text fuzzer's seed `pattern` as a raw image: every page shows settings, most of
// which the window would refuse, and many bytes are carried. And an erased pager, all 0xFF.
struct BenchImage {
  const char* name;
  PagerData data;
};

std::vector<BenchImage> BenchImages() {
  return {{"pattern", Converted([](int i) { return uint8_t((i * 37 + 11) & 0xFF); })},
          {"all 0xFF", Converted([](int) { return uint8_t(0xFF); })}};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: bench_settings_text PATH/TO/m84dpt [--runs N]\n");
    return 2;
  }
  const QString program = arguments[1];
  const int at = int(arguments.indexOf(QStringLiteral("--runs")));
  const int runs = at > 0 && at + 1 < arguments.size() ? std::max(1, arguments[at + 1].toInt()) : 15;

  QTemporaryDir dir;
  for (const BenchImage& image : BenchImages()) {
    const PagerData& data = image.data;
    const auto path = [&dir](const char* name) { return dir.filePath(QLatin1String(name)); };
    if (!WriteFileAtomically(path("a.DAT"), EncodeDatFile(data, 0)) ||
        !WriteFileAtomically(path("a.yaml"), WriteSettingsDocument(data))) {
      std::fprintf(stderr, "bench_settings_text: cannot write the inputs into %s\n", qPrintable(dir.path()));
      return 1;
    }
    bool failed = false;
    const auto process = [&](const QStringList& args) {
      return [&, args] {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitCode() > 1) failed = true;
      };
    };

    const Timing datToDat = Median(runs, process({"convert", path("a.DAT"), path("b.DAT")}));
    const Timing datToText = Median(runs, process({"convert", path("a.DAT"), path("b.yaml")}));
    const Timing textToDat = Median(runs, process({"convert", path("a.yaml"), path("c.DAT")}));
    const Timing diff = Median(runs, process({"diff", path("a.DAT"), path("a.yaml")}));
    if (failed) {
      std::fprintf(stderr, "bench_settings_text: a run of %s failed\n", qPrintable(program));
      return 1;
    }
    const QByteArray text = WriteSettingsDocument(data);
    const Timing write = Median(runs, [&] { WriteSettingsDocument(data); });
    const Timing read = Median(runs, [&] { ReadSettingsDocument(text, PagerData()); });
    const Timing differences = Median(runs, [&] { SettingsDifferences(PagerData(), data); });

    std::printf("%s: whole processes, median of %d runs (target: at most %.0f ms over convert .DAT -> .DAT)\n",
                image.name, runs, kExtraTargetMs);
    const auto row = [&](const char* what, const Timing& t) {
      const double extra = t.wallMs - datToDat.wallMs;
      std::printf("  %-28s %7.1f ms  %+6.1f ms  %-4s  (processor %6.1f ms, %+6.1f ms)\n", what, t.wallMs, extra,
                  extra <= kExtraTargetMs ? "ok" : "OVER", t.cpuMs, t.cpuMs - datToDat.cpuMs);
    };
    row("convert .DAT -> .DAT", datToDat);
    row("convert .DAT -> .yaml", datToText);
    row("convert .yaml -> .DAT", textToDat);
    row("diff .DAT .yaml", diff);
    std::printf("%s: in the process, median of %d runs (a %lld-byte document; target: at most %.0f ms)\n", image.name,
                runs, static_cast<long long>(text.size()), kExtraTargetMs);
    const auto inProcess = [&](const char* what, const Timing& t) {
      std::printf("  %-28s %7.2f ms  %-4s  (processor %6.2f ms)\n", what, t.wallMs,
                  t.wallMs <= kExtraTargetMs ? "ok" : "OVER", t.cpuMs);
    };
    inProcess("write the document", write);
    inProcess("read the document", read);
    inProcess("settings differences", differences);
  }
  return 0;
}
