#include "app/window_run.h"

#include <QCommandLineParser>

#include "app/console_host.h"
#include "app/startup.h"
#include "image/pager_image.h"
#include "link/serial_trace.h"
#include "link/simulator_process.h"
#include "ui/main_window.h"

namespace m84 {

int RunWindowProgram(QApplication& app, const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("M84 pager programmer"));
  parser.addHelpOption();
  const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("The adapter's serial device."),
                                      QStringLiteral("DEVICE"));
  const QCommandLineOption simulatorOption(QStringLiteral("simulator"),
                                           QStringLiteral("Attach the built-in simulated adapter and pager."));
  const QCommandLineOption traceOption(
      QStringLiteral("trace"), QStringLiteral("Append every byte on the adapter line, both ways, to FILE (for support)."),
      QStringLiteral("FILE"));
  parser.addOption(portOption);
  parser.addOption(simulatorOption);
  parser.addOption(traceOption);
  if (!parser.parse(arguments)) return UsageError(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);
  std::shared_ptr<SerialTrace> trace;
  if (parser.isSet(traceOption)) {
    trace = std::make_shared<SerialTrace>();
    QString error;
    // The window is still useful without its trace: say so and go on.
    if (!trace->Open(parser.value(traceOption), QStringLiteral("m84dpt window"), &error)) {
      PrintReason(QStringLiteral("the trace cannot be written: ") + error);
      trace.reset();
    }
  }

  return RunWindowPath([&](PagerData& data, InstanceGuard& guard) {
    WindowOptions options;
    options.portName = parser.value(portOption);
    options.lineObserver = trace;
    SimulatorProcess simulator;
    if (parser.isSet(simulatorOption)) {
      QString error;
      if (simulator.Start({}, &error))
        options.portName = simulator.DevicePath();
      else
        PrintReason(QStringLiteral("the simulated adapter did not start: %1").arg(error));
    }
    MainWindow window(data, options);
    QObject::connect(&guard, &InstanceGuard::ActivationRequested, &window, &MainWindow::BringToFront);
    window.show();
    app.exec();
  });
}

}  // namespace m84
