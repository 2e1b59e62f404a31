#include "cli/simulated_terminal.h"

#include <csignal>
#include <cstdio>

#include <pthread.h>

#include "cli/console_host.h"
#include "core/paging/pocsag_transmission.h"
#include "core/paging/terminal_simulator.h"

namespace m84 {

namespace {
constexpr int kDefaultAirBaud = 1200;
}  // namespace

SimulatedTerminalOptions::SimulatedTerminalOptions()
    : terminal(QStringLiteral("terminal"),
               QStringLiteral("Serve a simulated paging terminal instead: snpp (on 127.0.0.1, its port printed) or "
                              "tap (on a pseudo-terminal, its path printed)."),
               QStringLiteral("PROTOCOL")),
      air(QStringLiteral("air"),
          QStringLiteral("With --terminal: write the transmission of each page taken (.wav, .txt or .bits)."),
          QStringLiteral("FILE")),
      baud(QStringLiteral("baud"), QStringLiteral("With --terminal: the transmission's bit rate: 512, 1200 or 2400."),
           QStringLiteral("RATE")),
      refuse(QStringLiteral("refuse"),
             QStringLiteral("With --terminal: misbehave on purpose: ") + paging::RefusalNames() + QLatin1Char('.'),
             QStringLiteral("HOW")) {}

void SimulatedTerminalOptions::AddTo(CommandParser& parser) const {
  for (const QCommandLineOption* option : {&terminal, &air, &baud, &refuse}) parser.addOption(*option);
}

QString SimulatedTerminalOptions::MisplacedOption(const CommandParser& parser) const {
  for (const QCommandLineOption* option : {&air, &baud, &refuse})
    if (parser.isSet(*option)) return QStringLiteral("--%1 is for --terminal").arg(option->names().first());
  return {};
}

int RunSimulatedTerminal(const CommandParser& parser, const SimulatedTerminalOptions& options) {
  paging::TerminalSimulatorOptions simulated;
  const QString protocol = parser.value(options.terminal);
  if (protocol == QLatin1String("snpp"))
    simulated.protocol = paging::TerminalProtocol::Snpp;
  else if (protocol == QLatin1String("tap"))
    simulated.protocol = paging::TerminalProtocol::Tap;
  else
    return parser.UsageError(QStringLiteral("--terminal is snpp or tap"));
  for (const char* adapterOnly : {"memory", "pace", "fault", "swap"})
    if (parser.isSet(QLatin1String(adapterOnly)))
      return parser.UsageError(QStringLiteral("--%1 is for the simulated adapter, not --terminal").arg(adapterOnly));
  if (parser.isSet(options.refuse)) {
    const std::optional<paging::TerminalRefusal> refusal = paging::RefusalNamed(parser.value(options.refuse));
    if (!refusal) return parser.UsageError(QStringLiteral("--refuse is one of ") + paging::RefusalNames());
    if (*refusal == paging::TerminalRefusal::BadChecksum && simulated.protocol == paging::TerminalProtocol::Snpp)
      return parser.UsageError(QStringLiteral("--refuse bad-checksum is for TAP: SNPP has no checksum"));
    simulated.refusal = *refusal;
  }
  simulated.baud = parser.isSet(options.baud) ? parser.value(options.baud).toInt() : kDefaultAirBaud;
  if (!pocsag::IsBaudRate(simulated.baud)) return parser.UsageError(QStringLiteral("--baud is 512, 1200 or 2400"));
  simulated.airFile = parser.value(options.air);
  if (!simulated.airFile.isEmpty() && !pocsag::TransmissionFormOf(simulated.airFile))
    return parser.UsageError(QStringLiteral("--air ends in .wav, .txt or .bits"));
  simulated.paged = [](const paging::TerminalPage& page) {
    std::fprintf(stderr, "m84dpt simulate: paged capcode %s: %s\n", qPrintable(page.pagerId), qPrintable(page.message));
    std::fflush(stderr);
  };

  // Blocked before the serving thread starts, so that only this thread takes them, in sigwait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, signal);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  paging::TerminalSimulator simulator(simulated);
  if (const Outcome started = simulator.Start(); !started) {
    PrintReason(started.failure().reason);
    return 1;
  }
  std::printf("%s\n", qPrintable(simulator.Address()));
  std::fflush(stdout);
  PrintReason(QStringLiteral("simulated paging terminal (%1) on %2; stop it with Ctrl+C")
                  .arg(protocol.toUpper(), simulator.Address()));
  int received = 0;
  sigwait(&stopSignals, &received);
  simulator.Stop();
  return 0;
}

}  // namespace m84
