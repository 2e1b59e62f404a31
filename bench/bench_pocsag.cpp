// POCSAG: what making a page and hearing an hour of audio cost. Prints the median time to make an
// 80-character page (its codewords, and codewords to WAVE audio), then decodes an hour of
// 22,050 Hz receiver audio (a page every ten seconds at the three speeds, in noise) from a
// temporary file on one core, and multimon-ng on the same file in the same run.
//
//   bench_pocsag [--minutes N] [--runs N]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "core/paging/pocsag_audio_input.h"
#include "core/paging/pocsag_decoder.h"
#include "core/paging/pocsag_transmission.h"

namespace {

using namespace m84;
using namespace m84::pocsag;

constexpr double kEncodeTargetMs = 1.0;
constexpr double kDecodeHourTargetSeconds = 20.0;
constexpr int kSecondsBetweenPages = 10;
// The receiver's noise under the signal's level of 12000: a usable, not a clean, signal.
constexpr double kNoiseDeviation = 3000;

double MedianMs(int runs, const std::function<void()>& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer timer;
    timer.start();
    run();
    times.push_back(double(timer.nsecsElapsed()) / 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double ThreadCpuSeconds() {
  timespec used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString EightyCharacters() {
  return QStringLiteral("Fire alarm, building 7, floor 3: evacuate by the east stairs and call 555-0134 now");
}

// "capcode message", to match what a decoder heard against what was sent.
QString PageKey(uint32_t capcode, const QString& message) { return QStringLiteral("%1 %2").arg(capcode).arg(message); }

// minutes of noise with a page every kSecondsBetweenPages, written as raw samples (as rtl_fm
// writes them); the pages sent, or nothing when the file cannot be written.
std::optional<QSet<QString>> WriteAudio(const QString& path, int minutes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return std::nullopt;
  QSet<QString> sent;
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, kNoiseDeviation);
  const QString message = EightyCharacters();
  int pages = 0;
  std::vector<int16_t> block;
  for (int second = 0; second < minutes * 60; second += kSecondsBetweenPages) {
    block.assign(size_t(kSampleRate) * kSecondsBetweenPages, 0);
    const int baud = kBaudRates[pages % 3];
    const Page page{uint32_t(100000 + pages), 3, PageKind::Text, message.left(20 + pages % 61)};
    const std::vector<int16_t> air = DiscriminatorAudio(TransmissionBits(*TransmissionCodewords({page})), baud);
    std::copy(air.begin(), air.begin() + std::min(air.size(), block.size()), block.begin() + kSampleRate);
    sent << PageKey(page.capcode, page.message);
    ++pages;
    for (int16_t& sample : block) sample = int16_t(std::clamp(sample + noise(random), -32768.0, 32767.0));
    file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * sizeof(int16_t)));
  }
  return sent;
}

const char* Verdict(double value, double target) { return value < target ? "within target" : "OVER TARGET"; }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  const auto option = [&](const char* name, int fallback) {
    const int at = int(arguments.indexOf(QLatin1String(name)));
    return at > 0 && at + 1 < arguments.size() ? std::max(1, arguments[at + 1].toInt()) : fallback;
  };
  const int minutes = option("--minutes", 60);
  const int runs = option("--runs", 1000);

  const Page page{1234567, 3, PageKind::Text, EightyCharacters()};
  const double codewordsMs = MedianMs(runs, [&] { (void)TransmissionCodewords({page}); });
  const double audioMs = MedianMs(
      runs, [&] { (void)WavFile(DiscriminatorAudio(TransmissionBits(*TransmissionCodewords({page})), 1200)); });
  std::printf("making an 80-character page (median of %d)\n", runs);
  std::printf("  codewords                        %8.4f ms   (target < %.0f ms: %s)\n", codewordsMs, kEncodeTargetMs,
              Verdict(codewordsMs, kEncodeTargetMs));
  std::printf("  codewords to 1200-baud WAVE      %8.4f ms   (%zu bytes of audio)\n", audioMs,
              size_t(WavFile(DiscriminatorAudio(TransmissionBits(*TransmissionCodewords({page})), 1200)).size()));

  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("hour.raw"));
  const std::optional<QSet<QString>> sent = WriteAudio(path, minutes);
  if (!sent) {
    std::fprintf(stderr, "bench_pocsag: cannot write %s\n", qPrintable(path));
    return 1;
  }
  std::printf("\ndecoding %d minutes of 22,050 Hz audio (%d pages sent, %lld MB raw)\n", minutes, int(sent->size()),
              QFile(path).size() / 1000000);

  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  int heard = 0;
  int heardRight = 0;
  PocsagDecoder decoder([&](const HeardPage& page) {
    ++heard;
    heardRight += sent->contains(PageKey(page.page.capcode, page.page.message)) ? 1 : 0;
  });
  QElapsedTimer wall;
  wall.start();
  const double cpuBefore = ThreadCpuSeconds();
  const Outcome listened = ListenTo(fd, decoder);
  const double cpu = ThreadCpuSeconds() - cpuBefore;
  const double ourWall = double(wall.nsecsElapsed()) / 1e9;
  ::close(fd);
  if (!listened) std::printf("  ours failed: %s\n", qPrintable(listened.failure().Text()));
  const double hourScale = 60.0 / minutes;
  std::printf(
      "  ours         %7.2f s CPU, %7.2f s wall  %4d pages heard, %4d as sent  (an hour: %.2f s CPU; target < %.0f s: "
      "%s)\n",
      cpu, ourWall, heard, heardRight, cpu * hourScale, kDecodeHourTargetSeconds,
      Verdict(cpu * hourScale, kDecodeHourTargetSeconds));

  const QString multimon = QStandardPaths::findExecutable(QStringLiteral("multimon-ng"));
  if (multimon.isEmpty()) {
    std::printf("  multimon-ng  not installed (Debian package multimon-ng): no comparison\n");
    return 0;
  }
  QProcess process;
  process.setStandardOutputFile(dir.filePath(QStringLiteral("multimon.txt")));
  const double childrenBefore = ChildrenCpuSeconds();
  wall.restart();
  process.start(multimon, {QStringLiteral("-q"), QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("raw"),
                           QStringLiteral("-a"), QStringLiteral("POCSAG512"), QStringLiteral("-a"),
                           QStringLiteral("POCSAG1200"), QStringLiteral("-a"), QStringLiteral("POCSAG2400"),
                           QStringLiteral("-f"), QStringLiteral("alpha"), path});
  process.waitForFinished(-1);
  const double theirWall = double(wall.nsecsElapsed()) / 1e9;
  const double theirCpu = ChildrenCpuSeconds() - childrenBefore;
  QFile lines(dir.filePath(QStringLiteral("multimon.txt")));
  int theirs = 0;
  int theirsRight = 0;
  static const QRegularExpression line(
      QStringLiteral("^POCSAG\\d+: Address:\\s*(\\d+)\\s+Function: \\d\\s*Alpha:   (.*)$"));
  static const QRegularExpression fill(QStringLiteral("(<EOT>|<NUL>)+$"));
  if (lines.open(QIODevice::ReadOnly))
    for (const QString& text : QString::fromUtf8(lines.readAll()).split(QLatin1Char('\n'))) {
      if (!text.startsWith(QLatin1String("POCSAG"))) continue;
      ++theirs;
      const QRegularExpressionMatch m = line.match(text);
      QString message = m.captured(2);
      // Our text's closing end-of-text character and the fill after it, as multimon-ng shows them.
      message.remove(fill);
      theirsRight += m.hasMatch() && sent->contains(PageKey(m.captured(1).toUInt(), message)) ? 1 : 0;
    }
  std::printf("  multimon-ng  %7.2f s CPU, %7.2f s wall  %4d pages heard, %4d as sent\n", theirCpu, theirWall, theirs,
              theirsRight);
  return 0;
}
