// The command line linked with the core alone: it builds, and its commands run, without any of
// Qt's display libraries.
#include <QCoreApplication>

#include "cli/command_line.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  const m84::CommandEntry* command = m84::FindCommand(arguments);
  return command ? command->run(arguments.mid(2)) : m84::UnknownCommand(arguments.value(1));
}
