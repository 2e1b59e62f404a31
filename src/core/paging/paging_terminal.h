#pragma once
// Sending a page through a paging terminal, as the terminal takes it from a computer: by SNPP
// over TCP or by TAP over a serial line. Every wait blocks on the socket or the port with a
// deadline; a refusal, a silence or a line that drops is a failure that says which.

#include <QString>

#include "core/paging/terminal_protocols.h"
#include "core/result.h"

namespace m84::paging {

// host: a name or address; port: kSnppPort unless the site says otherwise.
Outcome SendBySnpp(const QString& host, quint16 port, const TerminalPage& page);

// device: the serial port the terminal's modem or line is on (1200 baud, 7 data bits, even
// parity, as TAP's lines are); password: the terminal's, when it wants one (up to 6 characters).
Outcome SendByTap(const QString& device, const TerminalPage& page, const QString& password = {});

// Why a page cannot go through a terminal as it stands (a pager id that is no capcode, characters
// a terminal does not take, too long for one block); empty when it can.
QString TerminalPageFault(const TerminalPage& page);

}  // namespace m84::paging
