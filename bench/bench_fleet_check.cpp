// "fleet check" and "fleet status" of long orders, as whole m84dpt processes: the wall time and
// the peak resident memory of orders of 1,000, 10,000 and 100,000 rows (each row its own
// capcode and standby text, the template's capcodes group calls), and the time a header of
// 100,000 columns takes to be refused.
//
//   bench_fleet_check PATH/TO/m84dpt [--rows N]...

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr double kCheckTargetSeconds10k = 2.0;
constexpr double kCheckTargetSeconds100k = 10.0;
constexpr double kMemoryTargetMb100k = 400.0;
constexpr int kWideHeaderColumns = 100000;

struct Figure {
  double seconds = 0;
  double cpuSeconds = 0;  // user and system: what the wall time is on an idle machine, at most
  double peakMb = 0;
  int exitCode = -1;
};

// The program run to its end, its output thrown away: its own wall time and peak memory.
Figure Measure(const QString& program, const QStringList& arguments) {
  std::vector<QByteArray> words{program.toLocal8Bit()};
  for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  QElapsedTimer timer;
  timer.start();
  pid_t pid = 0;
  Figure figure;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return figure;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  figure.seconds = double(timer.nsecsElapsed()) / 1e9;
  figure.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  figure.peakMb = double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  figure.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  posix_spawn_file_actions_destroy(&actions);
  return figure;
}

QByteArray Order(int rows) {
  QByteArray csv = "label,general.capcodes[1].capcode,display.standby_text_1\r\n";
  csv.reserve(rows * 40);
  for (int i = 0; i < rows; ++i)
    csv += "\"Ward " + QByteArray::number(i / 40 + 1) + ", bed " + QByteArray::number(i + 1) + "\"," +
           QByteArray::number(100000 + 8 * i) + ",OWNER " + QByteArray::number(i % 100000) + "\r\n";
  return csv;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr, "usage: bench_fleet_check PATH/TO/m84dpt [--rows N]...\n");
    return 2;
  }
  const QString program = arguments[1];
  std::vector<int> sizes;
  for (int i = 2; i + 1 < arguments.size(); ++i)
    if (arguments[i] == QStringLiteral("--rows")) sizes.push_back(arguments[i + 1].toInt());
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  QTemporaryDir dir;
  // A store of its own: the check compares the order's capcodes with the history's.
  qputenv("M84DPT_HISTORY", dir.filePath(QStringLiteral("history.sqlite")).toLocal8Bit());
  bool met = true;
  std::printf("%-8s %-7s %10s %12s %10s %5s\n", "rows", "action", "seconds", "CPU seconds", "peak MB", "exit");
  for (int rows : sizes) {
    const QString path = dir.filePath(QStringLiteral("order%1.csv").arg(rows));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Order(rows)) < 0) return 2;
    file.close();
    for (const char* action : {"check", "status"}) {
      const Figure figure = Measure(program, {QStringLiteral("fleet"), QLatin1String(action), path});
      std::printf("%-8d %-7s %10.2f %12.2f %10.1f %5d\n", rows, action, figure.seconds, figure.cpuSeconds,
                  figure.peakMb, figure.exitCode);
      if (rows == 10000 && QLatin1String(action) == QLatin1String("check") && figure.seconds > kCheckTargetSeconds10k)
        met = false;
      if (rows == 100000 && (figure.seconds > kCheckTargetSeconds100k || figure.peakMb > kMemoryTargetMb100k))
        met = false;
    }
  }
  QByteArray wide = "label";
  for (int i = 0; i < kWideHeaderColumns; ++i) wide += ",unknown" + QByteArray::number(i);
  wide += "\r\n";
  const QString widePath = dir.filePath(QStringLiteral("wide.csv"));
  QFile file(widePath);
  if (!file.open(QIODevice::WriteOnly) || file.write(wide) < 0) return 2;
  file.close();
  const Figure refused = Measure(program, {QStringLiteral("fleet"), QStringLiteral("check"), widePath});
  std::printf("a header of %d columns refused in %.2f s (exit %d)\n", kWideHeaderColumns, refused.seconds,
              refused.exitCode);
  std::printf("targets (10,000 rows checked within %.0f s; 100,000 within %.0f s and %.0f MB): %s\n",
              kCheckTargetSeconds10k, kCheckTargetSeconds100k, kMemoryTargetMb100k, met ? "met" : "missed");
  return 0;
}
