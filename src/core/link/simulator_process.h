#pragma once
// The window's --simulator: runs "m84dpt simulate" as a child process (the window blocks its
// own thread during transfers, so the simulated adapter cannot live on it) and hands back the
// device path to open. The child ends with this object, or with the window if that dies first.

#include <QProcess>
#include <QString>
#include <QStringList>

#include "core/result.h"

namespace m84 {

class SimulatorProcess {
 public:
  SimulatorProcess() = default;
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // Starts program (default: this program) with "simulate" and the extra arguments, and waits
  // for the device path on its first line.
  Outcome Start(const QStringList& simulateArguments = {}, const QString& program = {});
  const QString& DevicePath() const { return devicePath_; }
  void Stop();

 private:
  QProcess process_;
  QString devicePath_;
};

}  // namespace m84
