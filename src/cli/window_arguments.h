#pragma once
// The program's arguments when no command is named: the window's options, the program's help
// and version, and the help command, which prints them with every command's own.
#include <QStringList>
#include <optional>

namespace m84 {

// What the window's options asked for.
struct WindowArguments {
  QString portName;
  bool simulator = false;
  QString traceFile;  // empty: no trace
  QString file;       // a data file or raw image to open in the window; empty: none
  bool noHistory = false;
  // Everything after the program's name, for a newer program this copy hands over to.
  QStringList given;
};

// The program's options without a command: --help, --help-all and --version print and give the
// exit code, as does a usage error; nothing means the window should open. Needs no application
// object, so that it works where there is no display.
std::optional<int> ParseWindowArguments(const QStringList& arguments, WindowArguments& window);

}  // namespace m84
