#include "core/link/simulator_process.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/prctl.h>
#endif

namespace m84 {

namespace {
constexpr int kStartLimitMs = 5000;
constexpr int kStopLimitMs = 2000;
}  // namespace

SimulatorProcess::~SimulatorProcess() { Stop(); }

Outcome SimulatorProcess::Start(const QStringList& simulateArguments, const QString& program) {
  process_.setProgram(program.isEmpty() ? QCoreApplication::applicationFilePath() : program);
  process_.setArguments(QStringList{QStringLiteral("simulate")} + simulateArguments);
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
  // A window that crashes must not leave a simulated adapter behind.
  process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
  process_.start();
  if (!process_.waitForStarted(kStartLimitMs))
    return Failed({}, QStringLiteral("the simulated adapter did not start: %1").arg(process_.errorString()));
  const QDeadlineTimer deadline(kStartLimitMs);
  while (!process_.canReadLine() && process_.state() == QProcess::Running && !deadline.hasExpired())
    process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
  devicePath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
  if (devicePath_.isEmpty()) {
    Stop();
    return Failed({}, QStringLiteral("the simulated adapter gave no device path"));
  }
  return Succeeded();
}

void SimulatorProcess::Stop() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.terminate();
  if (!process_.waitForFinished(kStopLimitMs)) {
    process_.kill();
    process_.waitForFinished(kStopLimitMs);
  }
}

}  // namespace m84
