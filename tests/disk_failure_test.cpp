// A save over an existing data file that fails at any step leaves the old file byte for byte,
// says "Save data file error" with the system's reason beside it, and leaves nothing else
// behind in the folder. The failures are ones that stop root as well (tests run as root in CI,
// and root ignores folder permissions):
// a read-only filesystem, a full filesystem, a file size limit, no file descriptor left, and a
// target that cannot be replaced.
//
// Each case runs in a child process, so that its resource limits and mounts (in a mount
// namespace of its own) end with it. Cases that need a mount are skipped where the system
// allows no private mount namespace.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <iterator>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/image/dat_file.h"
#include "private_mounts.h"
#include "recording_host.h"

using namespace m84;

namespace {

const QString kOldName = QStringLiteral("old.DAT");

PagerData ChangedData() {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = static_cast<uint8_t>(i * 5 + 1);
  data.selection[0] = 4;
  return data;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file that is a mount point cannot be renamed over.
bool PinFile(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  return ::mount(name.constData(), name.constData(), nullptr, MS_BIND, nullptr) == 0;
}

bool LimitFileSize(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the process
  const rlimit limit{bytes, bytes};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

rlimit savedDescriptorLimit{};

// Every descriptor below the limit is taken, so the next open fails.
bool UseUpDescriptors() {
  const int lowestFree = ::dup(0);
  if (lowestFree < 0 || ::getrlimit(RLIMIT_NOFILE, &savedDescriptorLimit) != 0) return false;
  ::close(lowestFree);
  const rlimit limit{static_cast<rlim_t>(lowestFree), savedDescriptorLimit.rlim_max};
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

// The sanitizers' own checks open descriptors too.
void GiveDescriptorsBack() { ::setrlimit(RLIMIT_NOFILE, &savedDescriptorLimit); }

struct FailureCase {
  const char* name;
  const char* reason;  // what the host is told beside the status text, after the file's path
  bool needsMounts;
  // Runs before the old file is saved, in the child.
  std::function<bool(const QString& folder)> prepare;
  // Runs after the old file is saved, just before the failing save.
  std::function<bool(const QString& folder)> breakSave;
  // Runs right after the failing save, where the child itself needs what the case took away.
  std::function<void()> mend = nullptr;
};

// What the child saw, as key=value lines.
using Findings = QMap<QString, QString>;

QByteArray Describe(const Findings& findings) {
  QByteArray text;
  for (auto it = findings.begin(); it != findings.end(); ++it) text += (it.key() + '=' + it.value() + '\n').toUtf8();
  return text;
}

Findings Parse(const QByteArray& text) {
  Findings findings;
  for (const QByteArray& line : text.split('\n')) {
    const int at = line.indexOf('=');
    if (at > 0) findings.insert(QString::fromUtf8(line.left(at)), QString::fromUtf8(line.mid(at + 1)));
  }
  return findings;
}

Findings SaveOverOldFile(const FailureCase& c, const QString& folder) {
  if (c.needsMounts && !EnterPrivateMountNamespace()) return {{"unavailable", "no private mount namespace"}};
  if (c.prepare && !c.prepare(folder)) return {{"unavailable", "cannot prepare the folder"}};
  const QString path = QDir(folder).filePath(kOldName);
  PagerData old;
  RecordingHost first;
  if (!SaveDataFile(path, old, first)) return {{"error", "the old file could not be saved"}};
  const QByteArray before = ReadAll(path);
  if (!c.breakSave(folder)) return {{"unavailable", "cannot break the save"}};

  PagerData changed = ChangedData();
  RecordingHost host;
  const bool saved = bool(SaveDataFile(path, changed, host));
  if (c.mend) c.mend();
  Findings findings;
  findings["saved"] = saved ? "yes" : "no";
  findings["status"] = host.statuses.join('|');
  findings["problem"] = host.fileProblems.join('|');
  findings["beeps"] = QString::number(host.beeps.size());
  findings["old file intact"] = ReadAll(path) == before && before.size() == kDatFileSize ? "yes" : "no";
  findings["folder"] = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).join(',');
  findings["image unchanged"] = changed.image == ChangedData().image ? "yes" : "no";
  return findings;
}

// Runs the case in a child process and collects what it saw.
Findings RunInChild(const FailureCase& c, const QString& folder) {
  const std::optional<QByteArray> report = RunInChildProcess([&] { return Describe(SaveOverOldFile(c, folder)); });
  if (!report) return {{"error", "the child did not finish"}};
  return Parse(*report);
}

const FailureCase kCases[] = {
    {"read-only filesystem", "Read-only file system", true,
     [](const QString& f) { return MountSmallFilesystem(f, "size=64k"); },
     [](const QString& f) { return RemountReadOnly(f); }},
    // One page: the old file fills it, the new one finds no room.
    {"full filesystem", "No space left on device", true,
     [](const QString& f) { return MountSmallFilesystem(f, "size=4k"); }, [](const QString&) { return true; }},
    {"target cannot be replaced", "Device or resource busy", true, nullptr,
     [](const QString& f) { return PinFile(QDir(f).filePath(kOldName)); }},
    {"file size limit", "File too large", false, nullptr,
     [](const QString&) { return LimitFileSize(kDatFileSize / 2); }},
    {"no file descriptor left", "Too many open files", false, nullptr,
     [](const QString&) { return UseUpDescriptors(); }, GiveDescriptorsBack},
};

}  // namespace

TEST(DiskFailure, FailedSaveKeepsTheOldFileByteForByte) {
  int skipped = 0;
  for (const FailureCase& c : kCases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const Findings findings = RunInChild(c, folder.path());
    if (findings.contains("unavailable")) {
      ++skipped;
      std::printf("[ SKIPPED  ] %s: %s\n", c.name, qPrintable(findings["unavailable"]));
      continue;
    }
    ASSERT_FALSE(findings.contains("error")) << findings.value("error").toStdString();
    const auto seen = [&](const char* key) { return findings.value(key).toStdString(); };
    EXPECT_EQ(seen("saved"), "no");
    EXPECT_EQ(seen("status"), "Save data file error");
    EXPECT_EQ(seen("problem"),
              (QDir(folder.path()).filePath(kOldName) + QStringLiteral(": ") + c.reason).toStdString());
    EXPECT_EQ(seen("beeps"), "0");
    EXPECT_EQ(seen("old file intact"), "yes");
    EXPECT_EQ(seen("folder"), kOldName.toStdString()) << "a failed save left files behind";
    EXPECT_EQ(seen("image unchanged"), "yes");
  }
  if (skipped == static_cast<int>(std::size(kCases))) GTEST_SKIP() << "no failure could be set up here";
}
