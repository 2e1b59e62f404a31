// "ports": the serial ports of this computer, with their USB ids, and which of them has an
// adapter that answers the probe: the first thing to look at when the window shows no " OK".
#include <QStringList>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/link_options.h"
#include "core/link/port_listing.h"
#include "core/link/serial_port.h"

namespace m84 {

int RunPortsCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("ports"));
  const QCommandLineOption portOption = PortOption(
      QStringLiteral("Also probe this device, one the system does not list as a serial port (default: $M84DPT_PORT)."));
  parser.addOption(portOption);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;

  const std::vector<PortProbe> probes = ProbeSerialPorts(AdapterPortName(parser.value(portOption)));
  if (probes.empty()) {
    std::fputs("m84dpt: no serial port found\n", stderr);
    return 1;
  }
  const QByteArray listing = PortListing(probes);
  std::fwrite(listing.constData(), 1, size_t(listing.size()), stdout);
  std::fflush(stdout);
  return AnyAdapterAnswers(probes) ? 0 : 1;
}

}  // namespace m84
