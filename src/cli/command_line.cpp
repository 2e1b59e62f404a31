#include "cli/command_line.h"

#include <algorithm>
#include <cstdio>

#include "cli/commands.h"
#include "core/settings/edit_distance.h"

namespace m84 {

namespace {

const std::vector<CommandEntry> kCommands = {
    {"new", "Save the default settings as a data file.", RunNewCommand},
    {"convert", "Load a data file, raw image or settings text and save it as another.", RunConvertCommand},
    {"report", "Print a data file's settings report, as text or into a PDF.", RunReportCommand},
    {"read", "Read the pager through the adapter into a data file.", RunReadCommand},
    {"write", "Write a data file into the pager through the adapter.", RunWriteCommand},
    {"fleet", "Check, program and follow an order: many pagers, each with its own settings from a CSV row.",
     RunFleetCommand},
    {"history", "List the pagers read and written, show or restore an earlier state.", RunHistoryCommand},
    {"probe", "Check that the adapter answers.", RunProbeCommand},
    {"simulate", "Serve a simulated adapter and pager on a pseudo-terminal.", RunSimulateCommand},
    {"page",
     "Test pages: make a POCSAG page's transmission, read pages from a receiver's audio, send a page, and say "
     "whether a programmed pager alerts for a page.",
     RunPageCommand},
    {"dump", "Save the pager's whole memory as a binary file or a C-array text.", RunDumpCommand},
    {"compare", "Compare two memory files byte by byte into a listing; exit 1 when they differ.", RunCompareCommand},
    {"ports", "List the serial ports with their USB ids, and mark those where an adapter answers.", RunPortsCommand},
    {"diff", "Show which settings differ between two files, or print them as a settings text.", RunDiffCommand},
    {"udev-rule", "Print the udev rule that gives the plugged-in adapter to the desktop user, or install it.",
     RunUdevRuleCommand},
    {"doctor",
     "Check the adapter's device, rights and answer, the history, printing, sound and display; say how "
     "to mend each failure.",
     RunDoctorCommand},
    {"help", "Show the program's help, or a command's.", RunHelpCommand},
};

// A typo this many edits away, at most, still names the command meant.
constexpr int kNearestCommandDistance = 2;

const QCommandLineOption kHelpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));

// The program's --help-all asks every command for its help this way: as one section of the
// whole, a heading over it, the way the man page wants it.
QCommandLineOption SectionHelpOption() {
  QCommandLineOption option(QStringLiteral("help-all"),
                            QStringLiteral("Show this help as a section of the program's."));
  option.setFlags(QCommandLineOption::HiddenFromHelp);
  return option;
}
const QCommandLineOption kSectionHelpOption = SectionHelpOption();

// Two neighbouring letters swapped count as one slip, as in "raed".
bool IsTransposition(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  QList<qsizetype> differ;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) differ << i;
  return differ.size() == 2 && differ[1] == differ[0] + 1 && a[differ[0]] == b[differ[1]] &&
         a[differ[1]] == b[differ[0]];
}

QString OptionName(const QString& name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// "-h, --help" or "--port DEVICE".
QString OptionSyntax(const QCommandLineOption& option) {
  QStringList names;
  for (const QString& name : option.names()) names << OptionName(name);
  QString syntax = names.join(QStringLiteral(", "));
  if (!option.valueName().isEmpty()) syntax += QLatin1Char(' ') + option.valueName();
  return syntax;
}

// "  NAME   description" rows, the descriptions in one column.
QString Table(const QList<QPair<QString, QString>>& rows) {
  qsizetype width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  QString text;
  for (const auto& row : rows)
    text += QStringLiteral("  ") + row.first.leftJustified(width + 2) + row.second + QLatin1Char('\n');
  return text;
}

void PrintToStandardOutput(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

int PrintUsageError(const QString& invocation, const QString& message) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help' for more.\n", invocation.toLocal8Bit().constData(),
               message.toLocal8Bit().constData(), invocation.toLocal8Bit().constData());
  return 2;
}

}  // namespace

const std::vector<CommandEntry>& AllCommands() { return kCommands; }

const CommandEntry* FindCommandNamed(const QString& name) {
  for (const CommandEntry& entry : kCommands)
    if (name == QLatin1String(entry.name)) return &entry;
  return nullptr;
}

const CommandEntry* FindCommand(const QStringList& arguments) {
  return arguments.size() < 2 ? nullptr : FindCommandNamed(arguments[1]);
}

const CommandEntry* NearestCommand(const QString& typed) {
  const CommandEntry* nearest = nullptr;
  int best = kNearestCommandDistance + 1;
  // "READ" is the right word typed with Caps Lock on.
  const QString word = typed.toLower();
  for (const CommandEntry& entry : kCommands) {
    const QString name = QLatin1String(entry.name);
    const int distance = word == name ? 0 : IsTransposition(word, name) ? 1 : EditDistance(word, name);
    // A short name is never "close" to a word that shares only a letter or two with it.
    if (distance < best && distance < name.size() - 1) {
      best = distance;
      nearest = &entry;
    }
  }
  return nearest;
}

int UnknownCommand(const QString& typed) {
  QString message = QStringLiteral("unknown command '%1'").arg(typed);
  if (const CommandEntry* nearest = NearestCommand(typed))
    message += QStringLiteral("; did you mean '%1'?").arg(QLatin1String(nearest->name));
  return PrintUsageError(kProgramName, message);
}

CommandParser::CommandParser(const QString& command, const QString& summary) : command_(command), summary_(summary) {
  // "-prot" is one mistyped option, not the four options p, r, o and t.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void CommandParser::addOption(const QCommandLineOption& option) {
  parser_.addOption(option);
  options_ << option;
}

void CommandParser::ExcludeEachOther(const QCommandLineOption& first, const QCommandLineOption& second) {
  exclusions_.append({first, second});
}

void CommandParser::addPositionalArgument(const QString& name, const QString& description, bool optional) {
  arguments_ << Argument{name, description, optional};
}

std::optional<int> CommandParser::Parse(const QStringList& arguments) {
  parser_.addOption(kHelpOption);
  if (!command_.isEmpty()) parser_.addOption(kSectionHelpOption);
  if (!parser_.parse(QStringList{kProgramName} + arguments)) {
    const QStringList unknown = parser_.unknownOptionNames();
    if (!unknown.isEmpty()) return UsageError(QStringLiteral("unknown option '%1'").arg(OptionName(unknown[0])));
    QString reason = parser_.errorText();
    if (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
    if (!reason.isEmpty()) reason[0] = reason[0].toLower();
    return UsageError(reason);
  }
  if (parser_.isSet(kHelpOption)) {
    PrintToStandardOutput(HelpText());
    return 0;
  }
  if (!command_.isEmpty() && parser_.isSet(kSectionHelpOption)) {
    PrintToStandardOutput(HelpSection());
    return 0;
  }
  if (const QString conflict = OptionConflict(); !conflict.isEmpty()) return UsageError(conflict);
  // "read --port --no-history" would take the switch for the port's name: an option's value that
  // is another option of the command is an option forgotten its value.
  for (const QCommandLineOption& option : options_) {
    if (option.valueName().isEmpty() || !parser_.isSet(option)) continue;
    for (const QString& value : parser_.values(option))
      for (const QCommandLineOption& other : options_)
        for (const QString& name : other.names())
          if (value == OptionName(name))
            return UsageError(
                QStringLiteral("%1 needs a value before %2").arg(OptionName(option.names().last()), value));
  }
  const QStringList given = parser_.positionalArguments();
  const qsizetype required =
      std::count_if(arguments_.begin(), arguments_.end(), [](const Argument& a) { return !a.optional; });
  if (given.size() > arguments_.size()) {
    // The window takes no arguments: a word there is a command that does not exist.
    if (command_.isEmpty()) return UnknownCommand(given[0]);
    return UsageError(QStringLiteral("unexpected argument '%1'").arg(given[arguments_.size()]));
  }
  if (given.size() < required) return UsageError(QStringLiteral("missing %1").arg(arguments_[given.size()].name));
  return std::nullopt;
}

// Which of two values, or of a switch and its opposite, was meant is for the user to say: the
// last one given winning quietly has written pagers with the wrong count.
QString CommandParser::OptionConflict() const {
  const QStringList found = parser_.optionNames();
  for (const QCommandLineOption& option : options_) {
    if (repeatable_.contains(option.names().first())) continue;
    const qsizetype times =
        std::count_if(found.begin(), found.end(), [&](const QString& name) { return option.names().contains(name); });
    if (times > 1) return QStringLiteral("%1 given more than once").arg(OptionName(option.names().last()));
  }
  for (const auto& [first, second] : exclusions_)
    if (parser_.isSet(first) && parser_.isSet(second))
      return QStringLiteral("%1 and %2 exclude each other")
          .arg(OptionName(first.names().last()), OptionName(second.names().last()));
  return {};
}

int CommandParser::UsageError(const QString& message) const {
  return PrintUsageError(Invocation(), message + QStringLiteral("\n") + UsageLine());
}

QString CommandParser::Invocation() const {
  return command_.isEmpty() ? kProgramName : kProgramName + QLatin1Char(' ') + command_;
}

QString CommandParser::Summary() const {
  if (const CommandEntry* entry = FindCommandNamed(command_)) return QLatin1String(entry->summary);
  return summary_;
}

QString CommandParser::UsageLine() const {
  QString line = QStringLiteral("Usage: ") + Invocation();
  for (const Argument& argument : arguments_)
    line +=
        QLatin1Char(' ') + (argument.optional ? QLatin1Char('[') + argument.name + QLatin1Char(']') : argument.name);
  return line + QStringLiteral(" [options]");
}

QString CommandParser::ArgumentAndOptionRows() const {
  QList<QPair<QString, QString>> rows;
  for (const Argument& argument : arguments_) rows.append({argument.name, argument.description});
  for (const QCommandLineOption& option : options_)
    if (!(option.flags() & QCommandLineOption::HiddenFromHelp))
      rows.append({OptionSyntax(option), option.description()});
  rows.append({OptionSyntax(kHelpOption), kHelpOption.description()});
  return Table(rows);
}

QString CommandParser::HelpText() const {
  if (command_.isEmpty()) {
    QList<QPair<QString, QString>> commands;
    for (const CommandEntry& entry : kCommands)
      commands.append({QLatin1String(entry.name), QLatin1String(entry.summary)});
    return UsageLine() + QStringLiteral("\n  or:  %1 COMMAND [arguments] [options]\n").arg(kProgramName) +
           QStringLiteral("\nWithout a command, opens the window of the M84 pager programmer.\n\nCommands:\n") +
           Table(commands) + QStringLiteral("\nWindow options:\n") + ArgumentAndOptionRows() +
           QStringLiteral("\nRun '%1 COMMAND --help' for a command's arguments and options.\n").arg(kProgramName);
  }
  QString text = UsageLine() + QLatin1Char('\n');
  if (const QString summary = Summary(); !summary.isEmpty()) text += QLatin1Char('\n') + summary + QLatin1Char('\n');
  return text + QStringLiteral("\nArguments and options:\n") + ArgumentAndOptionRows();
}

QString CommandParser::HelpSection() const {
  QString text = QStringLiteral("\nCommand %1:\n  ").arg(command_);
  text += UsageLine().mid(QStringLiteral("Usage: ").size()) + QStringLiteral("\n\n  ");
  text += Summary();
  return text + QStringLiteral("\n\n") + ArgumentAndOptionRows();
}

}  // namespace m84
