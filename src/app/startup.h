#pragma once
// The window path from start to exit: the single-instance guard, the stored preferences, the
// hand-over to a newer program generation, the window's run and the write-back of the selection
// block. Everything it touches comes in from outside, so every path runs without a window.

#include <QString>
#include <functional>

#include "app/preferences.h"
#include "app/single_instance.h"
#include "image/pager_image.h"

namespace m84 {

enum class StartupPath {
  Ran,                   // this copy ran the window
  ActivatedRunningCopy,  // another copy runs: it was asked to come to the front
  HandedOver,            // the store names a newer generation: its program file was started
};

struct StartupParts {
  const PreferenceStore& store;
  InstanceGuard& guard;
  QString programPath;  // this program file, written as "exe"
  // Starts a program file detached; failures are not reported.
  std::function<void(const QString& programPath)> startProgram;
  // Runs the window on the data until the user closes it. The guard's ActivationRequested is
  // meant for the window's BringToFront.
  std::function<void(PagerData& data, InstanceGuard& guard)> runWindow;
};

// data.selection takes the stored "prg" when there is one and is written back at exit.
StartupPath RunStartup(const StartupParts& parts, PagerData& data);

// main()'s window path with the user's store, this user's guard and this program file.
// Returns the process exit code: 0, whichever path was taken.
int RunWindowPath(const std::function<void(PagerData& data, InstanceGuard& guard)>& runWindow);

}  // namespace m84
