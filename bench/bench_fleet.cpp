// Pagers per minute of a fleet order against paced simulated adapters that swap pagers after
// every write, for 1, 2 and 4 adapters, as a bench runs it: one `m84dpt fleet run` process with a
// --port per adapter, Enter answered at once. The program's CPU time is the whole process's
// (user and system), set against the wire time of the pagers it wrote.
//
//   bench_fleet PATH/TO/m84dpt [--pagers-per-adapter N]
//
// Also what claiming a row of an order costs while four benches claim from it at once, on
// SQLite, and on PostgreSQL when M84DPT_TEST_POSTGRES names a server (scripts/with_postgres.sh
// starts a scratch one: `scripts/with_postgres.sh build/bench/bench_fleet build/src/app/m84dpt`).

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_state.h"
#include "core/history/history_store.h"
#include "core/link/simulator_host.h"

namespace {

using namespace m84;

constexpr double kScalingTarget = 0.9;         // N adapters: at least this times N times one adapter
constexpr double kCpuTargetPercent = 2.0;      // program CPU per pager under this share of its wire time
constexpr double kClaimTargetMs = 20.0;        // median claim with four benches at work
constexpr double kWireSecondsPerPager = 3.90;  // one write with verify on the wire
constexpr int kFirstCapcode = 1200000;
constexpr int kCapcodeStep = 8;
constexpr int kBenches = 4;
constexpr int kClaimRows = 200;

double ChildrenCpuSeconds() {
  rusage used{};
  getrusage(RUSAGE_CHILDREN, &used);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(used.ru_utime) + seconds(used.ru_stime);
}

// One capcode a pager; the default settings' other seven rows are switched off, as an order's
// template would.
QString OrderText(int rows) {
  QString text = QStringLiteral("label,general.capcodes[1].capcode");
  for (int capcode = 2; capcode <= 8; ++capcode) text += QStringLiteral(",general.capcodes[%1].enable").arg(capcode);
  text += QLatin1Char('\n');
  for (int row = 0; row < rows; ++row) {
    text += QStringLiteral("pager %1,%2").arg(row + 1).arg(kFirstCapcode + row * kCapcodeStep);
    for (int capcode = 2; capcode <= 8; ++capcode) text += QStringLiteral(",false");
    text += QLatin1Char('\n');
  }
  return text;
}

bool WriteText(const QString& path, const QString& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

struct RunFigures {
  double wall = 0;
  double cpu = 0;
  int pagers = 0;
  bool ok = false;
};

RunFigures RunOrder(const QString& program, int adapters, int pagersPerAdapter) {
  QTemporaryDir scratch;
  std::vector<std::unique_ptr<SimulatorHost>> simulators;
  QStringList arguments = {QStringLiteral("fleet"), QStringLiteral("run"), scratch.filePath("order.csv")};
  for (int i = 0; i < adapters; ++i) {
    SimulatorOptions options;
    options.pace = true;
    options.swap = true;
    simulators.push_back(std::make_unique<SimulatorHost>(options));
    if (!simulators.back()->Start()) return {};
    arguments << QStringLiteral("--port") << simulators.back()->DevicePath();
  }
  const int pagers = adapters * pagersPerAdapter;
  if (!WriteText(scratch.filePath("order.csv"), OrderText(pagers))) return {};

  QProcess run;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("M84DPT_HISTORY"), scratch.filePath("history.sqlite"));
  run.setProcessEnvironment(environment);
  run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  run.start(program, arguments);
  if (!run.waitForStarted()) return {};
  // Every prompt is answered at once: a pager is always waiting at the bench.
  run.write(QByteArray(pagers + adapters + 1, '\n'));
  run.closeWriteChannel();
  run.waitForFinished(-1);
  RunFigures figures;
  figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpu = ChildrenCpuSeconds() - cpuBefore;
  figures.pagers = pagers;
  figures.ok = run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
  return figures;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Four benches claim every row of one order between them, each through its own connection, as fast as they
// can; the figure is the median time of one claim.
std::optional<double> MedianClaimMs(const QString& location) {
  const fleet::Order order =
      fleet::ReadOrder(OrderText(kClaimRows).toUtf8(), QStringLiteral("claims.csv"), PagerData());
  if (order.Refused()) return std::nullopt;
  // A server outlives the benchmark: an order of its own each time.
  const QString name = QStringLiteral("claims ") + fleet::NewRunId();
  {
    HistoryStore store(ParseHistoryLocation(location));
    if (const Outcome opened = store.Open(); !opened) {
      std::fprintf(stderr, "bench_fleet: %s\n", qPrintable(opened.failure().Text()));
      return std::nullopt;
    }
  }
  std::vector<std::vector<double>> times(kBenches);
  std::vector<std::thread> benches;
  for (int bench = 0; bench < kBenches; ++bench)
    benches.emplace_back([&, bench] {
      HistoryStore store(ParseHistoryLocation(location));
      if (!store.Open()) return;
      fleet::OrderState state(store, name);
      fleet::ClaimRules rules;
      rules.runId = fleet::NewRunId() + QStringLiteral(":%1").arg(bench);
      rules.port = QStringLiteral("bench %1").arg(bench);
      for (;;) {
        const auto start = std::chrono::steady_clock::now();
        const Result<std::optional<int>> row = state.Claim(order, rules);
        times[size_t(bench)].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        // A bench holds what it claimed, as while it writes: the next claim takes another row.
        if (!row || !*row) return;
      }
    });
  for (std::thread& bench : benches) bench.join();
  std::vector<double> all;
  for (const std::vector<double>& bench : times) all.insert(all.end(), bench.begin(), bench.end());
  return Median(all);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: bench_fleet PATH/TO/m84dpt [--pagers-per-adapter N]\n");
    return 2;
  }
  const int at = int(arguments.indexOf(QStringLiteral("--pagers-per-adapter")));
  const int perAdapter = at > 0 && at + 1 < arguments.size() ? std::max(1, arguments[at + 1].toInt()) : 4;

  std::printf(
      "fleet run against paced simulators that swap pagers (targets: N adapters >= %.1f x N x one "
      "adapter; program CPU < %.0f %% of the wire time per pager)\n",
      kScalingTarget, kCpuTargetPercent);
  std::printf("adapters  pagers   wall s  pagers/min  x one adapter  CPU s/pager  CPU/wire\n");
  double onePerMinute = 0;
  for (int adapters : {1, 2, 4}) {
    const RunFigures run = RunOrder(arguments[1], adapters, perAdapter);
    if (!run.ok) {
      std::printf("%8d  the run failed\n", adapters);
      continue;
    }
    const double perMinute = run.pagers * 60.0 / run.wall;
    if (adapters == 1) onePerMinute = perMinute;
    const double scaling = onePerMinute > 0 ? perMinute / onePerMinute : 0;
    const double cpuShare = 100.0 * run.cpu / run.pagers / kWireSecondsPerPager;
    const bool within = (adapters == 1 || scaling >= kScalingTarget * adapters) && cpuShare < kCpuTargetPercent;
    std::printf("%8d  %6d  %7.2f  %10.1f  %13.2f  %11.3f  %6.2f %%   %s\n", adapters, run.pagers, run.wall, perMinute,
                scaling, run.cpu / run.pagers, cpuShare, within ? "within targets" : "OFF TARGET");
  }

  std::printf("\nclaiming a row with %d benches at once, %d rows (target: median under %.0f ms)\n", kBenches,
              kClaimRows, kClaimTargetMs);
  QTemporaryDir scratch;
  const auto printClaims = [](const char* store, const std::optional<double>& ms) {
    if (!ms)
      std::printf("  %-10s  could not be measured\n", store);
    else
      std::printf("  %-10s  %7.2f ms   %s\n", store, *ms, *ms < kClaimTargetMs ? "within target" : "OFF TARGET");
  };
  printClaims("SQLite", MedianClaimMs(scratch.filePath("claims.sqlite")));
  const QString server = qEnvironmentVariable("M84DPT_TEST_POSTGRES");
  if (!server.isEmpty())
    printClaims("PostgreSQL", MedianClaimMs(server));
  else
    std::printf("  PostgreSQL  not measured (M84DPT_TEST_POSTGRES names no server)\n");
  return 0;
}
