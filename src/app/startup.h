#pragma once
// The window path from start to exit: the single-instance guard, the stored preferences, the
// hand-over to a newer program generation, the window's run and the write-back of the selection
// block. Everything it touches comes in from outside, so every path runs without a window.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "app/single_instance.h"
#include "core/image/pager_image.h"
#include "core/preferences.h"

namespace m84 {

enum class StartupPath {
  Ran,                      // this copy ran the window
  ActivatedRunningCopy,     // another copy runs: it was asked to come to the front
  HandedFileToRunningCopy,  // another copy runs: it was handed the file to open
  HandedOver,               // the store names a newer generation: its program file was started
};

// Why the newer generation's registered program file cannot be started, or an empty text when it
// can: it must exist, be an executable file and not be this program (that would hand over to
// itself at every start).
QString HandOverObstacle(const std::optional<QString>& registered, const QString& programPath);

struct StartupParts {
  const PreferenceStore& store;
  InstanceGuard& guard;
  QString programPath;    // this program file, written as "exe"
  QStringList arguments;  // this copy's arguments, passed on by a hand-over
  // Starts a program file detached with the arguments; failures are not reported.
  std::function<void(const QString& programPath, const QStringList& arguments)> startProgram;
  // Told why a newer generation was not handed over to (this copy then runs normally), or why
  // the running copy did not get the file.
  std::function<void(const QString& reason)> explain;
  // Runs the window on the data until the user closes it. The guard's ActivationRequested is
  // meant for the window's BringToFront.
  std::function<void(PagerData& data, InstanceGuard& guard)> runWindow;
  // The file this copy was started with, absolute; empty: none. A running copy is handed it.
  QString file = QString();
};

// data.selection takes the stored "prg" when there is one and is written back at exit.
// A file that cannot be handed to a running copy is explained, and the path is still
// ActivatedRunningCopy.
StartupPath RunStartup(const StartupParts& parts, PagerData& data);

// main()'s window path with the user's store, this user's guard and this program file; a
// hand-over passes the arguments on, and a reason not to hand over goes to standard error. A file
// handed to a running copy is said on standard output.
// Returns the process exit code: 0, whichever path was taken, but 1 when the file could not be
// handed over.
int RunWindowPath(const QStringList& arguments, const QString& file,
                  const std::function<void(PagerData& data, InstanceGuard& guard)>& runWindow);

}  // namespace m84
