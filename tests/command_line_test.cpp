// The built program as a user runs it: exit code, standard output and standard error for typos,
// help, the version, outputs that cannot be files, raw images of the wrong size, missing inputs
// and a folder that cannot be written. Every run is in a scratch folder, so the texts hold
// the relative names as typed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include "app/command_line.h"
#include "app/preferences.h"
#include "image/dat_file.h"

using namespace m84;

namespace {

// Long enough for a slow sanitizer build; a window that opened by mistake never ends by itself.
constexpr int kRunPatienceMs = 30000;

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

QByteArray Zeros(int size) { return QByteArray(size, '\0'); }

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("adir")));
    ASSERT_TRUE(Write("short.BIN", Zeros(kImageSize - 1)));
    ASSERT_TRUE(Write("long.BIN", Zeros(kImageSize + 1)));
    ASSERT_TRUE(Write("image.BIN", Zeros(kImageSize)));
    ASSERT_TRUE(Write("good.DAT", EncodeDatFile(PagerData(), 0)));
  }

  bool Write(const char* name, const QByteArray& bytes) {
    return static_cast<bool>(WriteFileAtomically(dir.filePath(QLatin1String(name)), bytes));
  }
  bool Exists(const QString& name) const { return QFileInfo::exists(dir.filePath(name)); }

  // Runs the program, as another user when prefix says so, in the scratch folder.
  Outcome Run(const QStringList& arguments, const QStringList& prefix = {}) const {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    if (prefix.isEmpty())
      process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    else
      process.start(prefix[0], prefix.mid(1) + QStringList{QStringLiteral(M84DPT_PROGRAM)} + arguments);
    Outcome outcome;
    if (!process.waitForFinished(kRunPatienceMs)) {
      process.kill();
      process.waitForFinished();
      return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
    return outcome;
  }

  QTemporaryDir dir;
};

struct Case {
  const char* arguments;  // split at blanks
  int exitCode;
  const char* out;  // patterns the whole text must match
  const char* err;
};

void ExpectOutcome(const Outcome& got, const Case& c) {
  EXPECT_EQ(got.exitCode, c.exitCode);
  const auto whole = [](const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern)),
                              QRegularExpression::DotMatchesEverythingOption);
  };
  EXPECT_TRUE(whole(c.out).match(got.out).hasMatch()) << "stdout: " << got.out.toStdString();
  EXPECT_TRUE(whole(c.err).match(got.err).hasMatch()) << "stderr: " << got.err.toStdString();
}

QStringList Split(const char* arguments) {
  return QString::fromUtf8(arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A user who is not root, where the tests run as root; nothing when there is no way to be one.
std::optional<QStringList> NotRoot() {
  if (::geteuid() != 0) return QStringList{};
  const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
  if (setpriv.isEmpty()) return std::nullopt;
  return QStringList{setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups")};
}

}  // namespace

TEST_F(CommandLine, MistakesNeverOpenTheWindowAndExitWith2) {
  const Case cases[] = {
      {"raed x.DAT", 2, "", "m84dpt: unknown command 'raed'; did you mean 'read'\\?\nTry 'm84dpt --help' for more.\n"},
      {"comapre a b", 2, "", "m84dpt: unknown command 'comapre'; did you mean 'compare'\\?\n.*"},
      {"xyzzy", 2, "", "m84dpt: unknown command 'xyzzy'\nTry 'm84dpt --help' for more.\n"},
      {"help raed", 2, "", "m84dpt: unknown command 'raed'; did you mean 'read'\\?\n.*"},
      {"--prot P", 2, "", "m84dpt: unknown option '--prot'\nUsage: m84dpt \\[options\\]\n.*"},
      {"--simulator stray", 2, "", "m84dpt: unknown command 'stray'\n.*"},
      {"read x.DAT --prot P", 2, "",
       "m84dpt read: unknown option '--prot'\nUsage: m84dpt read OUT \\[options\\]\nTry 'm84dpt read --help' for more.\n"},
      {"read x.DAT -prot", 2, "", "m84dpt read: unknown option '--prot'\n.*"},
      {"read x.DAT --port", 2, "", "m84dpt read: missing value after '--port'\n.*"},
      {"new", 2, "", "m84dpt new: missing FILE\nUsage: m84dpt new FILE \\[options\\]\n.*"},
      {"new a.DAT b.DAT", 2, "", "m84dpt new: unexpected argument 'b.DAT'\n.*"},
      {"probe extra", 2, "", "m84dpt probe: unexpected argument 'extra'\n.*"},
      {"write good.DAT --keep-serial --no-keep-serial", 2, "",
       "m84dpt write: --keep-serial and --no-keep-serial exclude each other\n.*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
  EXPECT_FALSE(Exists(QStringLiteral("a.DAT")));
}

TEST_F(CommandLine, HelpListsEveryCommandAndEachCommandDescribesItsOwnArgumentsAndOptions) {
  for (const char* help : {"--help", "-h", "help"}) {
    SCOPED_TRACE(help);
    const Outcome got = Run({QString::fromLatin1(help)});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_TRUE(got.err.isEmpty()) << got.err.toStdString();
    for (const CommandEntry& entry : AllCommands()) {
      const QRegularExpression line(QStringLiteral("\n  %1 +%2\n").arg(QLatin1String(entry.name),
                                                                     QRegularExpression::escape(QLatin1String(entry.summary))));
      EXPECT_TRUE(line.match(got.out).hasMatch()) << entry.name;
    }
    for (const char* option : {"--port DEVICE", "--simulator", "--no-history", "--version", "--help-all"})
      EXPECT_TRUE(got.out.contains(QLatin1String(option))) << option;
  }

  // Some options of each command, as its own declarations give them.
  const std::pair<const char*, QStringList> commandOptions[] = {
      {"new", {"FILE"}},
      {"convert", {"IN", "OUT", "--basic"}},
      {"report", {"FILE", "--basic", "--pdf OUT"}},
      {"read", {"OUT", "--port DEVICE", "--base FILE"}},
      {"write", {"FILE", "--keep-serial", "--no-keep-serial", "--port DEVICE", "--backup", "--no-history"}},
      {"history", {"[ACTION]", "[ID]", "[OUT]", "--serial NUMBER", "--capcode CAPCODE", "--since DATE", "--limit N", "--csv"}},
      {"probe", {"--port DEVICE"}},
      {"simulate", {"--memory FILE", "--pace", "--fault SPEC"}},
      {"dump", {"OUT", "--port DEVICE"}},
      {"compare", {"FILE1", "FILE2", "--output OUT"}},
      {"udev-rule", {"--install", "--port DEVICE"}},
      {"help", {"[COMMAND]"}},
  };
  ASSERT_EQ(std::size(commandOptions), AllCommands().size());
  for (const auto& [command, options] : commandOptions) {
    SCOPED_TRACE(command);
    for (const QStringList& arguments : {QStringList{QLatin1String(command), QStringLiteral("--help")},
                                         QStringList{QStringLiteral("help"), QLatin1String(command)}}) {
      const Outcome got = Run(arguments);
      EXPECT_EQ(got.exitCode, 0);
      EXPECT_TRUE(got.err.isEmpty()) << got.err.toStdString();
      EXPECT_TRUE(got.out.startsWith(QStringLiteral("Usage: m84dpt %1 ").arg(QLatin1String(command)))) << got.out.toStdString();
      EXPECT_TRUE(got.out.contains(QLatin1String(FindCommandNamed(QLatin1String(command))->summary)));
      for (const QString& option : options) EXPECT_TRUE(got.out.contains(option)) << option.toStdString();
    }
  }
}

TEST_F(CommandLine, VersionComesFromTheBuild) {
  ExpectOutcome(Run({QStringLiteral("--version")}), {"", 0, "m84dpt " M84_PROJECT_VERSION "\n", ""});
}

// The man page is made from --help-all: every command and option of the help is in it.
TEST_F(CommandLine, ManPageHoldsEveryCommandsHelp) {
  QFile page(QStringLiteral(M84_MANPAGE));
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  // Without roff's font changes ("\fB...\fR") and hyphens ("\-").
  const QString man = QString::fromUtf8(page.readAll())
                          .remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")))
                          .remove(QLatin1Char('\\'));
  EXPECT_TRUE(man.contains(QStringLiteral("M84DPT \"1\"")));
  EXPECT_TRUE(man.contains(QStringLiteral(M84_PROJECT_VERSION)));
  for (const CommandEntry& entry : AllCommands())
    EXPECT_TRUE(man.contains(QStringLiteral("Command %1:").arg(QLatin1String(entry.name)))) << entry.name;
  for (const char* option : {"--keep-serial", "--fault SPEC", "--output OUT", "--simulator"})
    EXPECT_TRUE(man.contains(QLatin1String(option))) << option;
}

TEST_F(CommandLine, FileFailuresNameTheFileAndTheReasonBesideTheStatusText) {
  const QString longName = QString(300, QLatin1Char('x')) + QStringLiteral(".DAT");
  const QByteArray longCase = QStringLiteral("new %1").arg(longName).toUtf8();
  const QByteArray longReason = QStringLiteral("m84dpt: %1: File name too long\n").arg(longName).toUtf8();
  const Case cases[] = {
      // A folder as output is refused before anything is read or written.
      {"new /", 1, "Save data file error\n", "m84dpt: /: Is a directory\n"},
      {"new adir/", 1, "Save data file error\n", "m84dpt: adir/: Is a directory\n"},
      {"new adir", 1, "Save data file error\n", "m84dpt: adir: Is a directory\n"},
      {"read adir", 1, "Save data file error\n", "m84dpt: adir: Is a directory\n"},
      {"dump adir/", 1, "Save data file error\n", "m84dpt: adir/: Is a directory\n"},
      {"convert missing.DAT adir", 1, "Save data file error\n", "m84dpt: adir: Is a directory\n"},
      {"compare image.BIN image.BIN --output adir", 1, "Open compare result error\n", "m84dpt: adir: Is a directory\n"},
      {"report good.DAT --pdf adir/", 1, "", "m84dpt: adir/: Is a directory\n"},
      // Inputs.
      {"convert missing.DAT out.DAT", 1, "Open data file error\n", "m84dpt: missing.DAT: No such file or directory\n"},
      {"convert adir out.DAT", 1, "Open data file error\n", "m84dpt: adir: Is a directory\n"},
      {"report missing.DAT", 1, "Open data file error\n", "m84dpt: missing.DAT: No such file or directory\n"},
      {"compare image missing", 1, "Open data file 2 error\n", "m84dpt: missing.BIN: No such file or directory\n"},
      {"convert short.BIN out.DAT", 1, "File Loaded error\n",
       "m84dpt: short.BIN: holds 2047 bytes; a raw image holds exactly 2048\n"},
      {"convert long.BIN out.DAT", 1, "File Loaded error\n",
       "m84dpt: long.BIN: holds 2049 bytes; a raw image holds exactly 2048\n"},
      // Outputs the system refuses.
      {longCase.constData(), 1, "Save data file error\n", longReason.constData()},
      {"new nowhere/x.DAT", 1, "Save data file error\n", "m84dpt: nowhere/x.DAT: No such file or directory\n"},
      // Success names the file written; the default extension is part of its name.
      {"new fresh", 0, "File Saved ok\n", "m84dpt: saved fresh.DAT\n"},
      {"convert image.BIN out.DAT", 0, "File Loaded ok\nFile Saved ok\n", "m84dpt: saved out.DAT\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/.DAT")));
  EXPECT_FALSE(Exists(QStringLiteral("adir/.DAT")));
  EXPECT_FALSE(Exists(QStringLiteral("adir.DAT")));
  EXPECT_FALSE(Exists(QStringLiteral("adir.BIN")));
  EXPECT_EQ(QDir(dir.filePath(QStringLiteral("adir"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList());
}

TEST_F(CommandLine, CompareSaysWhenTheSizesDiffer) {
  const Case cases[] = {
      {"compare image.BIN long.BIN --output c.txt", 0, "",
       "m84dpt: the files differ in size: image.BIN holds 2048 bytes, long.BIN holds 2049 bytes\n"
       "m84dpt: no compared byte differs; listing in c.txt\n"},
      {"compare image.BIN short.BIN --output c.txt", 0, "",
       "m84dpt: short.BIN holds 2047 of 2048 bytes; the rest counts as 0x00\n"
       "m84dpt: the files differ in size: image.BIN holds 2048 bytes, short.BIN holds 2047 bytes\n"
       "m84dpt: no compared byte differs; listing in c.txt\n"},
      {"compare image.BIN image.BIN --output c.txt", 0, "", "m84dpt: the files are equal; listing in c.txt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
}

TEST_F(CommandLine, AFolderThatCannotBeWrittenGivesTheSystemsReason) {
  const std::optional<QStringList> asUser = NotRoot();
  if (!asUser) GTEST_SKIP() << "no way to run as a user who is not root";
  // The other user must reach the scratch folder and read its files, but not write the folder.
  const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                        QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(dir.path(), readable));
  for (const char* name : {"good.DAT", "image.BIN"})
    ASSERT_TRUE(QFile::setPermissions(dir.filePath(QLatin1String(name)), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
  ASSERT_TRUE(QFile::setPermissions(dir.filePath(QStringLiteral("locked")), readable & ~QFile::WriteOwner));

  const Case cases[] = {
      {"new locked/a.DAT", 1, "Save data file error\n", "m84dpt: locked/a.DAT: Permission denied\n"},
      {"convert good.DAT locked/a.BIN", 1, "File Loaded ok\nSave data file error\n",
       "m84dpt: locked/a.BIN: Permission denied\n"},
      {"compare image.BIN image.BIN --output locked/c.txt", 1, "Open compare result error\n",
       "m84dpt: locked/c.txt: Permission denied\n"},
      // Nothing from the printer either ("QPainter::begin(): Returned false").
      {"report good.DAT --pdf locked/r.pdf", 1, "", "m84dpt: locked/r.pdf: Permission denied\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments), *asUser), c);
  }
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("locked"))).isEmpty());
}

// The preferences name a newer version whose program file was removed since. The window opens
// all the same, says why it did not hand over, and its own record replaces the stale one.
TEST_F(CommandLine, AStaleHandOverRecordNoLongerStopsEveryStart) {
  const QString config = dir.filePath(QStringLiteral("config"));
  const QString runtime = dir.filePath(QStringLiteral("runtime"));
  ASSERT_TRUE(QDir().mkpath(runtime));
  ASSERT_TRUE(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  const QString store = config + QStringLiteral("/Tarnwell/M84DPT.conf");
  const QString removed = dir.filePath(QStringLiteral("removed/m84dpt"));
  {
    QSettings settings(store, QSettings::IniFormat);
    settings.setValue(GenerationValueName(), QByteArray("\x01\x19\x00\x00", 4));
    settings.setValue(QStringLiteral("exe"), removed);
  }

  QProcess window;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  window.setProcessEnvironment(environment);
  window.start(QStringLiteral(M84DPT_PROGRAM), {});
  const QString program = QFileInfo(QStringLiteral(M84DPT_PROGRAM)).canonicalFilePath();

  QString said;
  QString exe;
  const QDeadlineTimer deadline(kRunPatienceMs);
  while (!deadline.hasExpired() && window.state() != QProcess::NotRunning && exe != program) {
    window.waitForReadyRead(100);
    said += QString::fromLocal8Bit(window.readAllStandardError());
    exe = QSettings(store, QSettings::IniFormat).value(QStringLiteral("exe")).toString();
  }
  EXPECT_EQ(window.state(), QProcess::Running) << "the window did not stay open; it said: " << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("m84dpt: not handing over to a newer version: its program file %1 does not "
                                           "exist; running this one\n").arg(removed)))
      << said.toStdString();
  EXPECT_EQ(exe, program);
  EXPECT_EQ(QSettings(store, QSettings::IniFormat).value(GenerationValueName()).toByteArray(),
            QByteArray("\x01\x18\x00\x00", 4));
  window.kill();
  window.waitForFinished();
}
