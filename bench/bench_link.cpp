// Pager read, and write with verify, against the simulated adapter pacing every byte at 9600
// baud over a pseudo-terminal: how close the link runs to the line's own speed, and what it
// costs in CPU time.
//
//   bench_link [--runs N]
//
// Also the cost of the drain every open does (input still arriving is discarded until the line
// is quiet): on a quiet line, which is every ordinary open, and after an exchange cut short.
// Wire time: the bytes that crossed the line (both directions) at 10 bits a byte. Program CPU:
// the thread that runs the transfer (the simulator's thread is counted apart).

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"
#include "core/link/simulator_host.h"

namespace {

using namespace m84;

constexpr double kWallTarget = 1.10;       // wall time at most this many times the wire time
constexpr double kCpuTargetPercent = 5.0;  // program CPU time under this share of the wall time
constexpr double kDrainTargetMs = 20.0;    // the drain's cost per ordinary open
constexpr int kOpens = 20;

class QuietHost : public TransferHost {
 public:
  void ShowStatus(const QString& text) override { last = text; }
  void Sound(Beep) override {}
  QString last;
};

double ThreadCpuSeconds() {
  timespec used{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

struct Figures {
  double wall;
  double wire;
  double programCpu;
  double simulatorCpu;
  bool ok;
};

Figures Measure(SimulatorHost& simulator, const std::function<bool()>& operation) {
  const SimulatorHost::LineCounts before = simulator.Line();
  const double simulatorBefore = simulator.ServingCpuSeconds();
  const double cpuBefore = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = operation();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double programCpu = ThreadCpuSeconds() - cpuBefore;
  const SimulatorHost::LineCounts after = simulator.Line();
  const double bytes = static_cast<double>((after.received - before.received) + (after.sent - before.sent));
  return {wall, bytes * kByteLineMs / 1000.0, programCpu, simulator.ServingCpuSeconds() - simulatorBefore, ok};
}

void Print(const char* name, const Figures& f) {
  const double ratio = f.wall / f.wire;
  const double cpuPercent = 100.0 * f.programCpu / f.wall;
  std::printf("%-14s %8.3f %8.3f %8.3f %12.4f %8.2f %% %10.4f   %s\n", name, f.wall, f.wire, ratio, f.programCpu,
              cpuPercent, f.simulatorCpu,
              !f.ok                                                      ? "FAILED"
              : (ratio <= kWallTarget && cpuPercent < kCpuTargetPercent) ? "within targets"
                                                                         : "OFF TARGET");
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Every open on a quiet line, and every open right after a block read was cut off after its
// acknowledgement (the rest of the block still arriving): the drain's time and the whole open's.
bool MeasureDrain(SerialPort& port) {
  double quietDrain = 0, quietOpen = 0, cutDrain = 0, cutOpen = 0, worstQuiet = 0;
  int cutBytes = 0;
  for (int i = 0; i < kOpens; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (!port.OpenAdapterPort()) return false;
    quietOpen += MillisecondsSince(start);
    quietDrain += port.DrainMs();
    worstQuiet = std::max(worstQuiet, port.DrainMs());

    const AdapterFrame read = ReadBlockFrame(0x100);
    port.Write(read.data(), kFrameSize);
    uint8_t ack = 0;
    if (port.ReadWithTimeout(&ack, 1, kReplyLimitMs) != 1) return false;
    start = std::chrono::steady_clock::now();
    if (!port.OpenAdapterPort()) return false;
    cutOpen += MillisecondsSince(start);
    cutDrain += port.DrainMs();
    cutBytes += port.DrainedBytes();
  }
  std::printf("\ndrain on open (target: under %.0f ms on a quiet line), mean of %d opens\n", kDrainTargetMs, kOpens);
  std::printf("%-26s %9s %9s %12s %10s\n", "line", "drain ms", "open ms", "worst drain", "discarded");
  std::printf("%-26s %9.2f %9.2f %12.2f %10.1f   %s\n", "quiet (every ordinary open)", quietDrain / kOpens,
              quietOpen / kOpens, worstQuiet, 0.0,
              quietDrain / kOpens < kDrainTargetMs ? "within target" : "OFF TARGET");
  std::printf("%-26s %9.2f %9.2f %12s %10.1f\n", "block cut off after ack", cutDrain / kOpens, cutOpen / kOpens, "-",
              double(cutBytes) / kOpens);
  return quietDrain / kOpens < kDrainTargetMs;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int runs = 1;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));

  SimulatorOptions options;
  options.pace = true;
  SimulatorHost simulator(options);
  if (const Outcome started = simulator.Start(); !started) {
    std::fprintf(stderr, "bench_link: %s\n", qPrintable(started.failure().reason));
    return 1;
  }
  SerialPort port(simulator.DevicePath());
  AdapterLink link(port);
  if (link.PresenceCheck() != AdapterState::Ready) {
    std::fprintf(stderr, "bench_link: the simulated adapter does not answer: %s\n", qPrintable(link.LastFailure()));
    return 1;
  }

  std::printf("targets: wall <= %.2f x wire, program CPU < %.0f %% of wall\n", kWallTarget, kCpuTargetPercent);
  std::printf("%-14s %8s %8s %8s %12s %10s %10s\n", "operation", "wall s", "wire s", "wall/wire", "program CPU s",
              "CPU/wall", "sim CPU s");
  bool allOk = true;
  for (int run = 0; run < runs; ++run) {
    PagerData data;
    QuietHost host;
    const WriteOptions options{data.selection.KeepSerial()};
    const Figures read = Measure(simulator, [&] {
      const Result<PagerImage> pager = link.ReadPager(host);
      if (pager) TakeRead(*pager, data.image);
      return bool(pager);
    });
    Print("read", read);
    data.image[0x518] ^= 0x01;  // something to write
    const Figures write = Measure(simulator, [&] {
      const WriteResult written = link.WritePager(data.image, options, host);
      TakeWrite(written, data.image);
      return bool(written.outcome);
    });
    Print("write+verify", write);
    allOk = allOk && read.ok && write.ok;
  }
  allOk = MeasureDrain(port) && allOk;
  return allOk ? 0 : 1;
}
