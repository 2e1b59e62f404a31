// "m84dpt dump" and "m84dpt compare": where the files go and which results give exit code 0.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "cli/commands.h"
#include "core/image/dat_file.h"
#include "core/link/binary_tools.h"
#include "core/link/simulator_host.h"

using namespace m84;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Raw(const PagerImage& image) { return QByteArray(reinterpret_cast<const char*>(image.data()), kDumpSize); }

class ServiceCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    PagerImage changed;
    changed[0x013] = 'A';
    ASSERT_TRUE(WriteFileAtomically(Path("one.BIN"), Raw(PagerImage())));
    ASSERT_TRUE(WriteFileAtomically(Path("two.BIN"), Raw(changed)));
  }

  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
};

// The working folder for one test, given back afterwards.
class CurrentFolder {
 public:
  explicit CurrentFolder(const QString& path) : saved_(QDir::currentPath()) { QDir::setCurrent(path); }
  ~CurrentFolder() { QDir::setCurrent(saved_); }

 private:
  QString saved_;
};

}  // namespace

TEST_F(ServiceCommands, CompareWritesCmpTxtInTheCurrentFolderOrWhereTold) {
  QTemporaryDir elsewhere;
  PagerImage changed;
  changed[0x013] = 'A';
  const QByteArray listing = CompareListing(Raw(PagerImage()), Raw(changed));
  {
    CurrentFolder here(elsewhere.path());
    EXPECT_EQ(RunCompareCommand({Path("one"), Path("two.BIN")}), 1);  // cmp's "they differ"
  }
  EXPECT_EQ(ReadAll(elsewhere.filePath(QStringLiteral("CMP.TXT"))), listing);
  EXPECT_FALSE(QFile::exists(Path("CMP.TXT")));

  EXPECT_EQ(RunCompareCommand({Path("one.BIN"), Path("two.BIN"), QStringLiteral("--output"), Path("diff.txt")}), 1);
  EXPECT_EQ(ReadAll(Path("diff.txt")), listing);
}

// cmp's "trouble", 2, for an input or a listing that cannot be used, as for a usage error.
TEST_F(ServiceCommands, CompareFailuresAndUsageErrors) {
  EXPECT_EQ(RunCompareCommand({Path("one.BIN"), Path("absent.BIN"), QStringLiteral("--output"), Path("out.TXT")}), 2);
  EXPECT_FALSE(QFile::exists(Path("out.TXT")));
  EXPECT_EQ(RunCompareCommand({Path("one.BIN"), Path("two.BIN"), QStringLiteral("--output"), Path("none/out.TXT")}), 2);
  EXPECT_EQ(RunCompareCommand({Path("one.BIN")}), 2);
  EXPECT_EQ(RunCompareCommand({Path("one.BIN"), Path("two.BIN"), QStringLiteral("--bogus")}), 2);
}

TEST_F(ServiceCommands, DumpSavesThePagerMemoryAndFailsOnAnyFault) {
  struct Case {
    const char* faults;
    const char* out;
    int exitCode;
  };
  const Case cases[] = {
      {"", "pager", 0},
      {"", "pager.Txt", 0},
      {"read-nak:30", "failed.BIN", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    SimulatorOptions options;
    options.faults = *ParseFaultPlan(QString::fromLatin1(c.faults));
    SimulatorHost simulator(options);
    const Outcome started = simulator.Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
    EXPECT_EQ(RunDumpCommand({Path(c.out), QStringLiteral("--port"), simulator.DevicePath()}), c.exitCode);
    const QString written = WithDefaultExtension(Path(c.out), kBinaryExtension);
    if (c.exitCode != 0) {
      EXPECT_FALSE(QFile::exists(written));
      continue;
    }
    const PagerImage memory = simulator.Memory();
    EXPECT_EQ(ReadAll(written), written.endsWith(QStringLiteral(".BIN")) ? Raw(memory) : CArrayDump(memory.data()));
  }
}

TEST_F(ServiceCommands, DumpWithoutAnAdapterPortFails) {
  EXPECT_EQ(RunDumpCommand({Path("pager.BIN"), QStringLiteral("--port"), Path("no-such-device")}), 1);
  EXPECT_FALSE(QFile::exists(Path("pager.BIN")));
  EXPECT_EQ(RunDumpCommand({}), 2);
}
