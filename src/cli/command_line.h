#pragma once
// The command table and the parser every command (and the window) declares its arguments and
// options with. A command's --help, the program's --help and the man page (made from --help-all)
// all come from those declarations, so a command is one row of the table and an option is one
// addOption in its command.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>
#include <optional>
#include <vector>

namespace m84 {

inline const QString kProgramName = QStringLiteral("m84dpt");

struct CommandEntry {
  const char* name;
  const char* summary;  // one line in the program's help, and the first line of the command's
  int (*run)(const QStringList& arguments);
};

const std::vector<CommandEntry>& AllCommands();
// The command named by arguments[1], or nothing when arguments[1] names no command (the window).
const CommandEntry* FindCommand(const QStringList& arguments);
const CommandEntry* FindCommandNamed(const QString& name);
// The command a mistyped name most likely meant, or nothing when none is close.
const CommandEntry* NearestCommand(const QString& typed);

// "m84dpt: unknown command 'raed'", with the nearest command where one is close; exit code 2.
int UnknownCommand(const QString& typed);

// The parser of one command, or of the window when the name is empty. Its calls follow
// QCommandLineParser's, so that a command reads as before; Parse adds -h/--help, the argument
// count check and the error texts.
class CommandParser {
 public:
  // summary: the help's first line for a command that has no row of its own in the command
  // table ("page encode"); a command's row gives it otherwise.
  explicit CommandParser(const QString& command, const QString& summary = {});

  void addOption(const QCommandLineOption& option);
  // Two options that cannot be given together: Parse refuses them with a usage error.
  void ExcludeEachOther(const QCommandLineOption& first, const QCommandLineOption& second);
  // An option that may be given more than once (each value counts), unlike every other.
  void AllowRepeated(const QCommandLineOption& option) { repeatable_ << option.names(); }
  // A required argument, or an optional one (only after the required ones).
  void addPositionalArgument(const QString& name, const QString& description, bool optional = false);

  // Parses the arguments after the command's name (for the window: after the program's name).
  // Nothing when the command should go on; otherwise the exit code after its help (0) or a usage
  // error (2) was printed.
  std::optional<int> Parse(const QStringList& arguments);

  bool isSet(const QCommandLineOption& option) const { return parser_.isSet(option); }
  bool isSet(const QString& name) const { return parser_.isSet(name); }
  QString value(const QCommandLineOption& option) const { return parser_.value(option); }
  QString value(const QString& name) const { return parser_.value(name); }
  QStringList values(const QCommandLineOption& option) const { return parser_.values(option); }
  QStringList positionalArguments() const { return parser_.positionalArguments(); }

  // A usage error the command finds itself, such as two options that exclude each other.
  int UsageError(const QString& message) const;
  QString HelpText() const;
  // The help as one section of the program's --help-all (and so of the man page).
  QString HelpSection() const;

 private:
  struct Argument {
    QString name;
    QString description;
    bool optional;
  };

  QString Invocation() const;  // "m84dpt read" or "m84dpt"
  QString Summary() const;
  QString UsageLine() const;
  QString ArgumentAndOptionRows() const;
  // A usage error for an option given twice or two that exclude each other, or an empty text.
  QString OptionConflict() const;

  QString command_;
  QString summary_;
  QCommandLineParser parser_;
  QList<QCommandLineOption> options_;
  QList<Argument> arguments_;
  QList<QPair<QCommandLineOption, QCommandLineOption>> exclusions_;
  QStringList repeatable_;
};

}  // namespace m84
