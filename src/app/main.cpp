#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include <pwd.h>
#include <unistd.h>

#include "app/window_run.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "core/preferences.h"
#include "gui/report_printer.h"

namespace {

// Only printing needs fonts. The other commands run on a core application: the platform
// plugin's start and its font set-up at exit cost more than a whole probe of the adapter.
bool DrawsText(const QString& command) { return command == QLatin1String("report"); }

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// A command names every failure itself, with the file and the reason, on standard error. Qt's own
// warnings (a runtime folder that is not set, a painter that could not begin on a file already
// reported) would only stand beside that as noise; what is critical still gets through.
void CommandMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "m84dpt: %s\n", message.toLocal8Bit().constData());
}

// Qt makes $TMPDIR/runtime-USER for a GUI application when XDG_RUNTIME_DIR is unset; printing puts
// nothing in it. A folder this run made is taken away again at its end, however it ends, when it
// is still empty (rmdir removes nothing else).
std::string g_madeRuntimeFolder;

void NoteRuntimeFolder() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  const struct passwd* user = ::getpwuid(::geteuid());
  if (!user) return;
  const QString folder = QDir::tempPath() + QStringLiteral("/runtime-") + QString::fromLocal8Bit(user->pw_name);
  if (!QFileInfo::exists(folder)) g_madeRuntimeFolder = QFile::encodeName(folder).toStdString();
}

void RemoveMadeRuntimeFolder() {
  if (!g_madeRuntimeFolder.empty()) ::rmdir(g_madeRuntimeFolder.c_str());
}

// Memory can run out where no handler of ours is on the stack (a thread of Qt's, a function that
// may not throw): that too ends with the message and exit code 1, not an abort. Nothing is left
// behind by it: the commands keep no scratch folder.
[[noreturn]] void EndOnTerminate() {
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::bad_alloc&) {
      std::fflush(stdout);
      static const char kOutOfMemory[] = "m84dpt: out of memory\n";
      static_cast<void>(::write(STDERR_FILENO, kOutOfMemory, sizeof kOutOfMemory - 1));
      RemoveMadeRuntimeFolder();
      std::_Exit(1);
    } catch (...) {
    }
  }
  std::abort();
}

// Platforms that draw without a display server (offscreen, minimal, linuxfb, ...) need none.
bool NeedsDisplayServer() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  return platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
}

// Qt would abort inside its platform plugin, with advice about reinstalling; the commands still
// work, so say that instead.
bool DisplayMissing() {
  if (!NeedsDisplayServer() || !qEnvironmentVariableIsEmpty("DISPLAY") ||
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return false;
  std::fputs(
      "m84dpt: no display (DISPLAY and WAYLAND_DISPLAY are unset); the commands work without one: "
      "m84dpt --help\n",
      stderr);
  return true;
}

// The user's data folder (the programming history) is named after the preferences' key path.
void NameTheProgram() {
  const QString keyPath = m84::PreferenceKeyPath();
  const qsizetype split = keyPath.indexOf(QLatin1Char('/'));
  QCoreApplication::setOrganizationName(keyPath.left(split));
  QCoreApplication::setApplicationName(keyPath.mid(split + 1));
}

}  // namespace

int main(int argc, char** argv) {
  // A save that meets the file size limit fails with "File too large" and keeps the old file,
  // instead of the program dying silently half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  const QStringList arguments = ArgumentsOf(argc, argv);
  NameTheProgram();
  if (const m84::CommandEntry* command = m84::FindCommand(arguments)) {
    qInstallMessageHandler(CommandMessages);
    std::set_terminate(EndOnTerminate);
    m84::UsePdfReportPrinter(&m84::PrintReportToPdf);
    // Memory running out (a low ulimit -v, a hostile input) ends a command with a message and
    // exit code 1, never an abort; the command's objects unwind, removing their scratch files.
    try {
      if (!DrawsText(arguments[1])) {
        QCoreApplication app(argc, argv);
        return command->run(arguments.mid(2));
      }
      // Commands run without a display; printing to PDF still needs fonts, hence a GUI application.
      if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      NoteRuntimeFolder();
      QGuiApplication app(argc, argv);
      const int exitCode = command->run(arguments.mid(2));
      RemoveMadeRuntimeFolder();
      return exitCode;
    } catch (const std::bad_alloc&) {
      std::fputs("m84dpt: out of memory\n", stderr);
      RemoveMadeRuntimeFolder();
      return 1;
    }
  }
  // Help, version and usage errors are settled before the window's application object, which
  // would need a display.
  m84::WindowArguments window;
  if (const std::optional<int> exitCode = m84::ParseWindowArguments(arguments, window)) return *exitCode;
  if (DisplayMissing()) return 1;
  QApplication app(argc, argv);
  // Lets a Wayland desktop match the window to the installed entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.m84dpt.Programmer"));
  return m84::RunWindowProgram(app, window);
}
