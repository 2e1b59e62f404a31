#pragma once
// "simulate --terminal snpp|tap": a simulated paging terminal instead of the simulated adapter.

#include "cli/command_line.h"

namespace m84 {

struct SimulatedTerminalOptions {
  SimulatedTerminalOptions();
  void AddTo(CommandParser& parser) const;
  // "--air is for --terminal" where one of the terminal's options came without it; else empty.
  QString MisplacedOption(const CommandParser& parser) const;

  QCommandLineOption terminal;
  QCommandLineOption air;
  QCommandLineOption baud;
  QCommandLineOption refuse;
};

// Serves the terminal until Ctrl+C (or, for --refuse hang-up over TAP, until the line drops).
int RunSimulatedTerminal(const CommandParser& parser, const SimulatedTerminalOptions& options);

}  // namespace m84
