#include "app/startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "cli/console_host.h"

namespace m84 {

namespace {

bool IsThisProgram(const QString& candidate, const QString& programPath) {
  const QString canonical = QFileInfo(candidate).canonicalFilePath();
  return !canonical.isEmpty() && canonical == QFileInfo(programPath).canonicalFilePath();
}

// The lock goes first, so that the started program can claim it. The selection block just read is
// written back at exit as in every other path that holds the lock.
StartupPath HandOver(const StartupParts& parts, const QString& program, const PagerData& data) {
  parts.guard.Release();
  parts.startProgram(program, parts.arguments);
  parts.store.WriteSelection(data.selection);
  return StartupPath::HandedOver;
}

}  // namespace

QString HandOverObstacle(const std::optional<QString>& registered, const QString& programPath) {
  if (!registered) return QStringLiteral("no usable program file is registered for it");
  const QFileInfo program(*registered);
  if (!program.exists()) return QStringLiteral("its program file %1 does not exist").arg(*registered);
  if (!program.isFile() || !program.isExecutable())
    return QStringLiteral("its program file %1 is not an executable file").arg(*registered);
  if (IsThisProgram(*registered, programPath))
    return QStringLiteral("its program file %1 is this program").arg(*registered);
  return QString();
}

StartupPath RunStartup(const StartupParts& parts, PagerData& data) {
  const InstanceGuard::Role role = parts.guard.Claim();
  if (role == InstanceGuard::Role::Second) {
    // This copy never read "prg", so it writes nothing: its defaults would overwrite the running
    // copy's block.
    const bool reached = parts.guard.RequestActivation(parts.file);
    if (parts.file.isEmpty()) return StartupPath::ActivatedRunningCopy;
    if (reached) return StartupPath::HandedFileToRunningCopy;
    parts.explain(QStringLiteral("%1 was not opened: the window already open did not answer").arg(parts.file));
    return StartupPath::ActivatedRunningCopy;
  }

  const StoredPreferences stored = parts.store.Read();
  if (stored.selection) data.selection = *stored.selection;
  if (stored.generation && stored.generation->IsNewerThanOurs()) {
    // A stale record (a newer copy that was removed, say) must not stop every start for ever:
    // this copy runs instead and its own record replaces the stale one.
    const QString obstacle = HandOverObstacle(stored.programPath, parts.programPath);
    if (obstacle.isEmpty()) return HandOver(parts, *stored.programPath, data);
    parts.explain(QStringLiteral("not handing over to a newer version: %1; running this one").arg(obstacle));
  }

  parts.store.WriteGeneration(parts.programPath);
  if (role == InstanceGuard::Role::First) parts.guard.Listen();
  parts.runWindow(data, parts.guard);
  parts.store.WriteSelection(data.selection);
  parts.guard.Release();
  return StartupPath::Ran;
}

int RunWindowPath(const QStringList& arguments, const QString& file,
                  const std::function<void(PagerData& data, InstanceGuard& guard)>& runWindow) {
  const PreferenceStore store = PreferenceStore::UserStore();
  InstanceGuard guard;
  PagerData data;
  const StartupParts parts{
      store,
      guard,
      QCoreApplication::applicationFilePath(),
      arguments,
      [](const QString& program, const QStringList& given) { QProcess::startDetached(program, given); },
      [](const QString& reason) { PrintReason(reason); },
      runWindow,
      file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath()};
  switch (RunStartup(parts, data)) {
    case StartupPath::HandedFileToRunningCopy:
      std::printf("m84dpt: %s handed to the window already open\n", parts.file.toLocal8Bit().constData());
      return 0;
    case StartupPath::ActivatedRunningCopy: return parts.file.isEmpty() ? 0 : 1;
    case StartupPath::Ran:
    case StartupPath::HandedOver: break;
  }
  return 0;
}

}  // namespace m84
