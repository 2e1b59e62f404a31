#include "app/window_run.h"

#include <memory>

#include "app/startup.h"
#include "cli/cli_history.h"
#include "cli/console_host.h"
#include "core/link/serial_trace.h"
#include "core/link/simulator_process.h"
#include "gui/main_window.h"

namespace m84 {

namespace {

// The window is still useful without its trace: a trace that cannot be written is said, on
// standard error and in the window's status line, and left. No path: no trace, and no failure.
Result<std::shared_ptr<SerialTrace>> OpenWindowTrace(const QString& path) {
  if (path.isEmpty()) return std::shared_ptr<SerialTrace>();
  auto trace = std::make_shared<SerialTrace>();
  const Outcome opened = trace->Open(path, QStringLiteral("m84dpt window"));
  if (!opened) return Failed({}, QStringLiteral("the trace cannot be written: ") + opened.failure().reason);
  trace->SummarizePresenceChecks();
  return trace;
}

}  // namespace

int RunWindowProgram(QApplication& app, const WindowArguments& arguments) {
  return RunWindowPath(arguments.given, arguments.file, [&](PagerData& data, InstanceGuard& guard) {
    WindowOptions options;
    options.portName = arguments.portName;
    const Result<std::shared_ptr<SerialTrace>> trace = OpenWindowTrace(arguments.traceFile);
    if (trace)
      options.lineObserver = *trace;
    else
      PrintReason(trace.failure().reason);
    options.history = std::make_shared<PagerHistory>(
        PagerHistory::ForProgram(kSourceWindow, arguments.noHistory, PreferredHistoryLocation()));
    SimulatorProcess simulator;
    if (arguments.simulator) {
      if (const Outcome started = simulator.Start(); started)
        options.portName = simulator.DevicePath();
      else
        PrintReason(QStringLiteral("the simulated adapter did not start: %1").arg(started.failure().reason));
    }
    options.preferences = std::make_shared<PreferenceStore>(PreferenceStore::UserStore());
    if (options.history->Enabled()) options.historyLocation = DefaultHistoryLocation(PreferredHistoryLocation());
    MainWindow window(data, options);
    QObject::connect(&guard, &InstanceGuard::ActivationRequested, &window, &MainWindow::BringToFront);
    QObject::connect(&guard, &InstanceGuard::OpenRequested, &window, &MainWindow::OpenFileAskingFirst);
    window.show();
    if (!arguments.file.isEmpty()) window.OpenFile(arguments.file);
    // Last, so that it is what the status line shows.
    if (!trace) window.ShowStatus(trace.failure().reason);
    app.exec();
  });
}

}  // namespace m84
