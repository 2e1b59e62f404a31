#include "cli/link_options.h"

#include "cli/console_host.h"
#include "cli/transfer_interrupt.h"

namespace m84 {

QCommandLineOption PortOption(const QString& description) {
  return QCommandLineOption(QStringLiteral("port"), description, QStringLiteral("DEVICE"));
}

QCommandLineOption SimulatorOption() {
  return QCommandLineOption(QStringLiteral("simulator"),
                            QStringLiteral("Attach the built-in simulated adapter and pager."));
}

QCommandLineOption TraceOption() {
  return QCommandLineOption(QStringLiteral("trace"),
                            QStringLiteral("Append every byte on the adapter line, both ways, to FILE (for support)."),
                            QStringLiteral("FILE"));
}

bool StartTrace(const CommandParser& parser, const QString& command, SerialPort& port, SerialTrace& trace,
                const QStringList& ownFiles) {
  const QString path = parser.value(QStringLiteral("trace"));
  if (path.isEmpty()) return true;
  trace.SetLossReport(PrintReason);
  if (const Outcome opened = trace.Open(path, QStringLiteral("m84dpt ") + command, ownFiles); !opened) {
    PrintReason(QStringLiteral("the trace cannot be written: ") + opened.failure().reason);
    return false;
  }
  port.SetObserver(&trace);
  return true;
}

int WithTraceOutcome(const SerialTrace& trace, int exitCode) { return exitCode == 0 && trace.Lost() ? 1 : exitCode; }

std::optional<bool> KeepSerialChoice(const CommandParser& parser) {
  if (parser.isSet(QStringLiteral("keep-serial"))) return true;
  if (parser.isSet(QStringLiteral("no-keep-serial"))) return false;
  return std::nullopt;
}

int ReportWriteFailure(const AdapterLink& link) {
  if (!link.LastFailure().isEmpty()) PrintReason(link.LastFailure());
  const QString held = DescribeWriteProgress(link.LastWrite());
  if (!held.isEmpty()) PrintReason(held);
  return link.Interrupted() ? kInterruptedExitCode : 1;
}

}  // namespace m84
