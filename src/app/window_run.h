#pragma once
#include <QApplication>
#include <QStringList>
#include <optional>

namespace m84 {

// What the window's options asked for.
struct WindowArguments {
  QString portName;
  bool simulator = false;
  QString traceFile;  // empty: no trace
  bool noHistory = false;
  QString file;       // a data file or raw image to open in the window; empty: none
  // Everything after the program's name, for a newer program this copy hands over to.
  QStringList given;
};

// The program's options without a command: --help, --help-all and --version print and give the
// exit code, as does a usage error; nothing means the window should open. Needs no application
// object, so that it works where there is no display.
std::optional<int> ParseWindowArguments(const QStringList& arguments, WindowArguments& window);

// The window path of the program: start-up, the main window until it closes.
int RunWindowProgram(QApplication& app, const WindowArguments& window);

}  // namespace m84
