#include "cli/window_arguments.h"

#include <QFileInfo>
#include <cstdio>
#include <memory>

#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "core/image/dat_file.h"
#include "core/settings/settings_file.h"
#include "version.h"

namespace m84 {

namespace {

const QCommandLineOption kPortOption = PortOption(QStringLiteral("The adapter's serial device."));
const QCommandLineOption kSimulatorOption = SimulatorOption();
const QCommandLineOption kTraceOption = TraceOption();
const QCommandLineOption kHelpAllOption(QStringLiteral("help-all"),
                                        QStringLiteral("Show this help and then every command's help."));
const QCommandLineOption kVersionOption(QStringLiteral("version"), QStringLiteral("Show the program's version."));

void DeclareWindowOptions(CommandParser& parser) {
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QStringLiteral("A data file (.DAT), raw image (.BIN) or settings text (.yaml) to open in the window."), true);
  for (const QCommandLineOption& option :
       {kPortOption, kSimulatorOption, kTraceOption, NoHistoryOption(), kHelpAllOption, kVersionOption})
    parser.addOption(option);
  parser.ExcludeEachOther(kSimulatorOption, kPortOption);
}

// The extensions the window opens: a data file, a raw image or a settings text.
bool NamesAWindowFile(const QString& name) {
  return QFileInfo(name).suffix().compare(QStringLiteral("DAT"), Qt::CaseInsensitive) == 0 ||
         SettingsFileFormOf(name) != SettingsFileForm::DataFile;
}

// A word that is no command may be a file to open: one that exists, or one named like a data
// file. Anything else is a mistyped command. Settled here, before there is a window.
std::optional<int> CheckWindowFile(const QString& name) {
  if (!QFileInfo::exists(name) && !NamesAWindowFile(name)) return UnknownCommand(name);
  if (!QFileInfo::exists(name)) {
    PrintReason(QStringLiteral("%1: No such file or directory").arg(name));
    return 1;
  }
  const QFileInfo info(name);
  if (std::optional<FileProblem> problem = InputPathProblem(name); problem || info.isDir()) {
    PrintReason(QStringLiteral("%1: %2").arg(name, problem ? problem->reason : QStringLiteral("Is a directory")));
    return 1;
  }
  return std::nullopt;
}

void Print(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

QString ProgramHelp() {
  CommandParser parser{QString()};
  DeclareWindowOptions(parser);
  return parser.HelpText();
}

// Each command prints its own help, from its own declarations.
void PrintEveryHelp() {
  Print(ProgramHelp());
  for (const CommandEntry& entry : AllCommands()) entry.run({QStringLiteral("--help-all")});
}

}  // namespace

std::optional<int> ParseWindowArguments(const QStringList& arguments, WindowArguments& window) {
  CommandParser parser{QString()};
  DeclareWindowOptions(parser);
  if (const std::optional<int> exitCode = parser.Parse(arguments.mid(1))) return exitCode;
  if (parser.isSet(kHelpAllOption)) {
    PrintEveryHelp();
    return 0;
  }
  if (parser.isSet(kVersionOption)) {
    Print(QStringLiteral("%1 %2\n").arg(kProgramName, QLatin1String(kProgramVersion)));
    return 0;
  }
  window.portName = parser.value(kPortOption);
  window.simulator = parser.isSet(kSimulatorOption);
  window.traceFile = parser.value(kTraceOption);
  window.noHistory = parser.isSet(NoHistoryOption());
  window.given = arguments.mid(1);
  if (!parser.positionalArguments().isEmpty()) {
    window.file = parser.positionalArguments()[0];
    if (const std::optional<int> exitCode = CheckWindowFile(window.file)) return exitCode;
  }
  return std::nullopt;
}

int RunHelpCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("help"));
  parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("The command to describe; none: the program."),
                               true);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  if (parser.positionalArguments().isEmpty()) {
    Print(ProgramHelp());
    return 0;
  }
  const QString name = parser.positionalArguments()[0];
  const CommandEntry* entry = FindCommandNamed(name);
  return entry ? entry->run({QStringLiteral("--help")}) : UnknownCommand(name);
}

}  // namespace m84
