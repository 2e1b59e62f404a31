#pragma once
// The serial ports of this computer, with their USB ids, and which of them has an adapter that
// answers the probe: the first thing to look at when the window shows no " OK". The command line
// prints it (`m84dpt ports`) and the window shows it (Pager, Adapter Ports...), byte for byte alike.
//
//   const std::vector<PortProbe> probes = ProbeSerialPorts(AdapterPortName(option));
//   std::fputs(PortListing(probes).constData(), stdout);
//
// Each probe opens its port and waits for the adapter's answer: off the window's thread.

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/link/port_information.h"

namespace m84 {

struct PortProbe {
  SerialDeviceInfo device;
  bool answered = false;
  QString found;  // "adapter answers", "no adapter answer", "cannot open: ..."
};

// Every port the system lists, and the one named when the system does not list it (a
// pseudo-terminal, a port behind a link); each probed in turn.
std::vector<PortProbe> ProbeSerialPorts(const QString& named = {});

// One line a port: its path, its USB ids (vendor:product, "-" when unknown) and what the probe found.
QByteArray PortListing(const std::vector<PortProbe>& probes);

bool AnyAdapterAnswers(const std::vector<PortProbe>& probes);

}  // namespace m84
