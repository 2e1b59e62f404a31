// The single-instance guard across real processes: a second copy activates the first and ends
// without a window, and a copy that crashed does not block the next start.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "app/single_instance.h"
#include "app/startup.h"
#include "core/preferences.h"

using namespace m84;

namespace {

constexpr int kPatienceMs = 15000;

// Serves this process's events (the guard's socket among them) until done() or the patience ends.
bool ServeUntil(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(kPatienceMs);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

QByteArray SelectionBytes(const SelectionState& selection) {
  return QByteArray(reinterpret_cast<const char*>(selection.data()), kSelectionSize);
}

struct InstanceFixture : ::testing::Test {
  QTemporaryDir dir;
  InstanceName name{dir.filePath(QStringLiteral("instance.lock")), dir.filePath(QStringLiteral("instance.sock"))};
  QString storePath = dir.filePath(QStringLiteral("preferences.ini"));

  // Starts the helper and waits for it to end; its standard output.
  QString RunHelper(const QStringList& arguments, int* exitCode) {
    QProcess helper;
    helper.start(QStringLiteral(M84_INSTANCE_HELPER), arguments);
    if (!helper.waitForStarted()) return QStringLiteral("<did not start>");
    // The helper waits for us to read its request, so keep serving while it runs.
    ServeUntil([&] { return helper.state() == QProcess::NotRunning; });
    *exitCode = helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1;
    return QString::fromLocal8Bit(helper.readAllStandardOutput());
  }
  QString RunSecondCopy(int* exitCode, const QString& file = QString()) {
    QStringList arguments{QStringLiteral("second"), name.lockFilePath, name.serverName, storePath};
    if (!file.isEmpty()) arguments << file;
    return RunHelper(arguments, exitCode);
  }
};

}  // namespace

TEST_F(InstanceFixture, TheLockGoesToOneCopyAtATime) {
  InstanceGuard first(name);
  InstanceGuard second(name);
  ASSERT_EQ(first.Claim(), InstanceGuard::Role::First);
  EXPECT_EQ(second.Claim(), InstanceGuard::Role::Second);
  EXPECT_FALSE(second.Listen());

  // A window stays open for hours: the lock's age alone never makes it stale.
  QFile lockFile(name.lockFilePath);
  ASSERT_TRUE(lockFile.open(QIODevice::ReadWrite));
  ASSERT_TRUE(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
  lockFile.close();
  EXPECT_EQ(second.Claim(), InstanceGuard::Role::Second);

  first.Release();
  EXPECT_EQ(second.Claim(), InstanceGuard::Role::First);
}

TEST_F(InstanceFixture, ALockThatCannotBeMadeLetsTheCopyRunUnguarded) {
  InstanceGuard guard({dir.filePath(QStringLiteral("no-such-folder/instance.lock")), name.serverName});
  EXPECT_EQ(guard.Claim(), InstanceGuard::Role::Unguarded);
  EXPECT_FALSE(guard.Listen());
}

TEST_F(InstanceFixture, ASecondProcessActivatesTheRunningCopyAndEndsWithoutAWindow) {
  const SelectionState runningChoice = [] {
    SelectionState s;
    s.SetAutoIncrement(0, 7);
    s.SetKeepSerial(false);
    return s;
  }();
  QSettings(storePath, QSettings::IniFormat).setValue(QStringLiteral("prg"), SelectionBytes(runningChoice));

  const PreferenceStore store = PreferenceStore::FileStore(storePath);
  InstanceGuard guard(name);
  QSignalSpy activations(&guard, &InstanceGuard::ActivationRequested);
  int helperExit = -1;
  QString helperSaid;
  SelectionState lastChoice;
  lastChoice.SetAutoIncrement(5, 9);

  const StartupParts parts{store,
                           guard,
                           QStringLiteral("/usr/local/bin/m84dpt"),
                           {},
                           [](const QString&, const QStringList&) {},
                           [](const QString&) {},
                           [&](PagerData& data, InstanceGuard&) {
                             helperSaid = RunSecondCopy(&helperExit);
                             ServeUntil([&] { return !activations.isEmpty(); });
                             // The second copy must have left the running copy's block alone.
                             EXPECT_EQ(store.Read().selection, runningChoice);
                             data.selection = lastChoice;
                           }};
  PagerData data;
  EXPECT_EQ(RunStartup(parts, data), StartupPath::Ran);

  EXPECT_EQ(helperExit, 0);
  EXPECT_EQ(helperSaid, QStringLiteral("activated running copy\n"));
  EXPECT_EQ(activations.size(), 1);
  EXPECT_EQ(store.Read().selection, lastChoice);
}

TEST_F(InstanceFixture, ACrashedCopyDoesNotBlockTheNextStart) {
  int crashExit = -1;
  EXPECT_EQ(RunHelper({QStringLiteral("crash"), name.lockFilePath, name.serverName}, &crashExit),
            QStringLiteral("claimed\n"));
  EXPECT_EQ(crashExit, 3);
  ASSERT_TRUE(QFile::exists(name.lockFilePath)) << "the crash should have left its lock behind";
  ASSERT_TRUE(QFile::exists(name.serverName)) << "the crash should have left its socket behind";

  InstanceGuard next(name);
  ASSERT_EQ(next.Claim(), InstanceGuard::Role::First);
  ASSERT_TRUE(next.Listen());

  // And the new copy is the one that later copies reach.
  QSignalSpy activations(&next, &InstanceGuard::ActivationRequested);
  int secondExit = -1;
  EXPECT_EQ(RunSecondCopy(&secondExit), QStringLiteral("activated running copy\n"));
  EXPECT_EQ(secondExit, 0);
  EXPECT_TRUE(ServeUntil([&] { return !activations.isEmpty(); }));
}

// "m84dpt FILE" with a window open: the running copy is handed the file, whatever its name holds.
TEST_F(InstanceFixture, ASecondProcessHandsItsFileToTheRunningCopy) {
  InstanceGuard running(name);
  ASSERT_EQ(running.Claim(), InstanceGuard::Role::First);
  ASSERT_TRUE(running.Listen());
  QSignalSpy opened(&running, &InstanceGuard::OpenRequested);
  QSignalSpy activations(&running, &InstanceGuard::ActivationRequested);
  for (const QString& file :
       {QStringLiteral("/home/dealer/night.yaml"), QStringLiteral("/tmp/a folder/100% Zürich\nnew.DAT")}) {
    opened.clear();
    int exitCode = -1;
    EXPECT_EQ(RunSecondCopy(&exitCode, file), QStringLiteral("handed file to running copy\n"));
    EXPECT_EQ(exitCode, 0);
    ASSERT_TRUE(ServeUntil([&] { return !opened.isEmpty(); })) << file.toStdString();
    EXPECT_EQ(opened.takeFirst().at(0).toString(), file);
  }
  EXPECT_TRUE(activations.isEmpty());
}
