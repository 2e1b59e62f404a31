#include <QApplication>
#include <QGuiApplication>

#include "app/command_line.h"
#include "app/window_run.h"

namespace {

// Only printing needs fonts. The other commands run on a core application: the platform
// plugin's start and its font set-up at exit cost more than a whole probe of the adapter.
bool DrawsText(const QString& command) { return command == QLatin1String("report"); }

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const QStringList arguments = ArgumentsOf(argc, argv);
  if (const m84::CommandEntry* command = m84::FindCommand(arguments)) {
    if (!DrawsText(arguments[1])) {
      QCoreApplication app(argc, argv);
      return command->run(arguments.mid(2));
    }
    // Commands run without a display; printing to PDF still needs fonts, hence a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return command->run(arguments.mid(2));
  }
  QApplication app(argc, argv);
  return m84::RunWindowProgram(app, arguments);
}
