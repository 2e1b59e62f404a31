// A second process for the single-instance tests.
//   second LOCK SOCKET STORE [FILE]   start up as the window path does, with FILE given, and print
//                                     which way it went
//   crash LOCK SOCKET          claim the lock, listen, and die without cleaning up
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "app/single_instance.h"
#include "app/startup.h"

using namespace m84;

namespace {

void Say(const char* text) {
  std::puts(text);
  std::fflush(stdout);
}

const char* PathName(StartupPath path) {
  switch (path) {
    case StartupPath::Ran: return "ran";
    case StartupPath::ActivatedRunningCopy: return "activated running copy";
    case StartupPath::HandedOver: return "handed over";
    case StartupPath::HandedFileToRunningCopy: return "handed file to running copy";
  }
  return "?";
}

int StartUp(const InstanceName& name, const QString& storePath, const QString& file) {
  const PreferenceStore store = PreferenceStore::FileStore(storePath);
  InstanceGuard guard(name);
  PagerData data;
  const StartupParts parts{store,
                           guard,
                           QCoreApplication::applicationFilePath(),
                           {},
                           [](const QString&, const QStringList&) { Say("started a program"); },
                           [](const QString&) {},
                           [](PagerData&, InstanceGuard&) { Say("window"); },
                           file};
  Say(PathName(RunStartup(parts, data)));
  return 0;
}

int Crash(const InstanceName& name) {
  InstanceGuard guard(name);
  if (guard.Claim() != InstanceGuard::Role::First || !guard.Listen()) return 1;
  Say("claimed");
  std::_Exit(3);  // no destructors: the lock file and the socket stay behind
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if ((args.size() == 4 || args.size() == 5) && args[0] == QLatin1String("second"))
    return StartUp({args[1], args[2]}, args[3], args.value(4));
  if (args.size() == 3 && args[0] == QLatin1String("crash")) return Crash({args[1], args[2]});
  std::fputs("usage: app_instance_helper second LOCK SOCKET STORE [FILE] | crash LOCK SOCKET\n", stderr);
  return 2;
}
