#include <QApplication>
#include <QGuiApplication>

#include "app/command_line.h"
#include "app/window_run.h"

namespace {

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const QStringList arguments = ArgumentsOf(argc, argv);
  if (const m84::CommandEntry* command = m84::FindCommand(arguments)) {
    // Commands run without a display; printing to PDF still needs fonts, hence a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return command->run(arguments.mid(2));
  }
  QApplication app(argc, argv);
  // Lets a Wayland desktop match the window to the installed entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.m84dpt.Programmer"));
  return m84::RunWindowProgram(app, arguments);
}
