#include "app/startup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

namespace m84 {

namespace {

// A store that names this very program file as the newer one would have every start hand over to
// itself, without end.
bool IsThisProgram(const QString& candidate, const QString& programPath) {
  const QString canonical = QFileInfo(candidate).canonicalFilePath();
  return !canonical.isEmpty() && canonical == QFileInfo(programPath).canonicalFilePath();
}

// The lock goes first, so that the started program can claim it. The selection block just read is
// written back at exit as in every other path that holds the lock.
StartupPath HandOver(const StartupParts& parts, const StoredPreferences& stored, const PagerData& data) {
  parts.guard.Release();
  if (stored.programPath && !IsThisProgram(*stored.programPath, parts.programPath))
    parts.startProgram(*stored.programPath);
  parts.store.WriteSelection(data.selection);
  return StartupPath::HandedOver;
}

}  // namespace

StartupPath RunStartup(const StartupParts& parts, PagerData& data) {
  const InstanceGuard::Role role = parts.guard.Claim();
  if (role == InstanceGuard::Role::Second) {
    // This copy never read "prg", so it writes nothing: its defaults would overwrite the running
    // copy's block.
    parts.guard.RequestActivation();
    return StartupPath::ActivatedRunningCopy;
  }

  const StoredPreferences stored = parts.store.Read();
  if (stored.selection) data.selection = *stored.selection;
  if (stored.generation && stored.generation->IsNewerThanOurs()) return HandOver(parts, stored, data);

  parts.store.WriteGeneration(parts.programPath);
  if (role == InstanceGuard::Role::First) parts.guard.Listen();
  parts.runWindow(data, parts.guard);
  parts.store.WriteSelection(data.selection);
  parts.guard.Release();
  return StartupPath::Ran;
}

int RunWindowPath(const std::function<void(PagerData& data, InstanceGuard& guard)>& runWindow) {
  const PreferenceStore store = PreferenceStore::UserStore();
  InstanceGuard guard;
  PagerData data;
  const StartupParts parts{store, guard, QCoreApplication::applicationFilePath(),
                           [](const QString& program) { QProcess::startDetached(program, {}); }, runWindow};
  RunStartup(parts, data);
  return 0;
}

}  // namespace m84
