// The built program as a user runs it: exit code, standard output and standard error for typos,
// help, the version, outputs that cannot be files, raw images of the wrong size, missing inputs
// and a folder that cannot be written. Every run is in a scratch folder, so the texts hold
// the relative names as typed.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "cli/command_line.h"
#include "core/image/dat_file.h"
#include "core/preferences.h"

using namespace m84;

namespace {

// Long enough for a slow sanitizer build; a window that opened by mistake never ends by itself.
constexpr int kRunPatienceMs = 30000;

struct CommandOutcome {
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
  CommandOutcome Run(const QStringList& arguments, const QStringList& prefix = {}) const {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    if (prefix.isEmpty())
      process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    else
      process.start(prefix[0], prefix.mid(1) + QStringList{QStringLiteral(M84DPT_PROGRAM)} + arguments);
    CommandOutcome outcome;
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

void ExpectOutcome(const CommandOutcome& got, const Case& c) {
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
      {"--prot P", 2, "", "m84dpt: unknown option '--prot'\nUsage: m84dpt \\[FILE\\] \\[options\\]\n.*"},
      {"READ x.DAT", 2, "", "m84dpt: unknown command 'READ'; did you mean 'read'\\?\n.*"},
      {"--simulator --port /dev/ttyUSB0", 2, "", "m84dpt: --simulator and --port exclude each other\n.*"},
      {"write good.DAT --count 2 --count 3", 2, "", "m84dpt write: --count given more than once\n.*"},
      {"write good.DAT --increment --increment", 2, "", "m84dpt write: --increment given more than once\n.*"},
      {"report good.DAT --pdf a.pdf --pdf b.pdf", 2, "", "m84dpt report: --pdf given more than once\n.*"},
      // An option forgotten its value does not take the next option for it.
      {"read x.DAT --port --no-history", 2, "", "m84dpt read: --port needs a value before --no-history\n.*"},
      {"write good.DAT --base --backup", 2, "", "m84dpt write: --base needs a value before --backup\n.*"},
      {"write good.DAT --increment --same-capcodes", 2, "",
       "m84dpt write: --increment and --same-capcodes exclude each other\n.*"},
      {"write good.DAT --count 3", 2, "",
       "m84dpt write: --count 3 would program 3 pagers with the same capcodes; give --increment to step them, or "
       "--same-capcodes to mean it\n.*"},
      {"--simulator stray", 2, "", "m84dpt: unknown command 'stray'\n.*"},
      {"read x.DAT --prot P", 2, "",
       "m84dpt read: unknown option '--prot'\nUsage: m84dpt read OUT \\[options\\]\nTry 'm84dpt read --help' for "
       "more.\n"},
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
    const CommandOutcome got = Run({QString::fromLatin1(help)});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_TRUE(got.err.isEmpty()) << got.err.toStdString();
    for (const CommandEntry& entry : AllCommands()) {
      const QRegularExpression line(
          QStringLiteral("\n  %1 +%2\n")
              .arg(QLatin1String(entry.name), QRegularExpression::escape(QLatin1String(entry.summary))));
      EXPECT_TRUE(line.match(got.out).hasMatch()) << entry.name;
    }
    for (const char* option : {"--port DEVICE", "--simulator", "--no-history", "--version", "--help-all"})
      EXPECT_TRUE(got.out.contains(QLatin1String(option))) << option;
  }

  // Some options of each command, as its own declarations give them.
  const std::pair<const char*, QStringList> commandOptions[] = {
      {"new", {"FILE"}},
      {"convert", {"IN", "OUT", "--basic", "--base FILE"}},
      {"report", {"FILE", "--basic", "--pdf OUT"}},
      {"read", {"OUT", "--port DEVICE", "--base FILE"}},
      {"write",
       {"FILE", "--keep-serial", "--no-keep-serial", "--port DEVICE", "--same-capcodes", "--backup", "--no-history"}},
      {"fleet",
       {"ACTION", "ORDER", "[OUT]", "--template FILE", "--order NAME", "--port DEVICE", "--redo ROW", "--retry-failed",
        "--claim-timeout SECONDS"}},
      {"history",
       {"[ACTION]", "[ID]", "[OUT]", "--serial NUMBER", "--capcode CAPCODE", "--since DATE", "--limit N", "--csv"}},
      {"probe", {"--port DEVICE"}},
      {"simulate", {"--memory FILE", "--pace", "--fault SPEC"}},
      {"page", {"encode", "decode", "send", "check"}},
      {"dump", {"OUT", "--port DEVICE"}},
      {"compare", {"FILE1", "FILE2", "--output OUT"}},
      {"ports", {"--port DEVICE"}},
      {"diff", {"A", "B", "--yaml", "--base FILE"}},
      {"udev-rule", {"--install", "--port DEVICE"}},
      {"doctor", {"--port DEVICE", "--json"}},
      {"help", {"[COMMAND]"}},
  };
  ASSERT_EQ(std::size(commandOptions), AllCommands().size());
  for (const auto& [command, options] : commandOptions) {
    SCOPED_TRACE(command);
    for (const QStringList& arguments : {QStringList{QLatin1String(command), QStringLiteral("--help")},
                                         QStringList{QStringLiteral("help"), QLatin1String(command)}}) {
      const CommandOutcome got = Run(arguments);
      EXPECT_EQ(got.exitCode, 0);
      EXPECT_TRUE(got.err.isEmpty()) << got.err.toStdString();
      EXPECT_TRUE(got.out.startsWith(QStringLiteral("Usage: m84dpt %1 ").arg(QLatin1String(command))))
          << got.out.toStdString();
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
  for (const char* section : {".SH \"EXIT STATUS\"", ".SH ENVIRONMENT", ".SH FILES", ".SH EXAMPLES"})
    EXPECT_TRUE(man.contains(QLatin1String(section))) << section;
  for (const char* named : {"M84DPT_PORT", "M84DPT_HISTORY", "M84DPT_NO_HISTORY", "history.sqlite"})
    EXPECT_TRUE(man.contains(QLatin1String(named))) << named;
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
      {"compare image.BIN image.BIN --output adir", 2, "Open compare result error\n", "m84dpt: adir: Is a directory\n"},
      {"report good.DAT --pdf adir/", 1, "", "m84dpt: adir/: Is a directory\n"},
      // A device is no output, nor a name for one with the extension added.
      {"new /dev/null", 1, "Save data file error\n", "m84dpt: /dev/null: not a regular file\n"},
      {"read /dev/stdout", 1, "Save data file error\n", "m84dpt: /dev/stdout: not a regular file\n"},
      // Inputs.
      {"convert missing.DAT out.DAT", 1, "Open data file error\n", "m84dpt: missing.DAT: No such file or directory\n"},
      {"convert adir out.DAT", 1, "Open data file error\n", "m84dpt: adir: Is a directory\n"},
      {"report missing.DAT", 1, "Open data file error\n", "m84dpt: missing.DAT: No such file or directory\n"},
      {"compare image missing", 2, "Open data file 2 error\n", "m84dpt: missing.BIN: No such file or directory\n"},
      {"missing.DAT", 1, "", "m84dpt: missing.DAT: No such file or directory\n"},
      {"convert short.BIN out.DAT", 1, "File Loaded error\n",
       "m84dpt: short.BIN: holds 2047 bytes; a raw image holds exactly 2048\n"},
      {"convert long.BIN out.DAT", 1, "File Loaded error\n",
       "m84dpt: long.BIN: holds 2049 bytes; a raw image holds exactly 2048\n"},
      {"report short.BIN", 1, "File Loaded error\n",
       "m84dpt: short.BIN: holds 2047 bytes; a raw image holds exactly 2048\n"},
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
  EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/dev/null.DAT")));
  for (const char* command : {"new", "read"}) {
    SCOPED_TRACE(command);
    const CommandOutcome empty = Run({QLatin1String(command), QString()});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.err, "m84dpt: '': an empty name is no file name\n");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral(".DAT"))));
  }
  EXPECT_FALSE(Exists(QStringLiteral("adir/.DAT")));
  EXPECT_FALSE(Exists(QStringLiteral("adir.DAT")));
  EXPECT_FALSE(Exists(QStringLiteral("adir.BIN")));
  EXPECT_EQ(
      QDir(dir.filePath(QStringLiteral("adir"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
      QStringList());
}

// report reads what convert reads: a raw image reports as the data file convert makes of it.
TEST_F(CommandLine, ReportTakesARawImageAsConvertDoes) {
  ASSERT_EQ(Run(Split("convert image.BIN image.DAT")).exitCode, 0);
  const CommandOutcome fromImage = Run(Split("report image.BIN"));
  const CommandOutcome fromDataFile = Run(Split("report image.DAT"));
  EXPECT_EQ(fromImage.exitCode, 0) << fromImage.err.toStdString();
  EXPECT_EQ(fromImage.out, fromDataFile.out);
  EXPECT_TRUE(fromImage.out.contains(QLatin1String("LCD Contrast:   Level 11\n")));  // a zero byte
}

// cmp's exit codes: 0 equal, 1 different, 2 trouble. Data files are compared on what they hold,
// never on their scrambled bytes, which change with every save.
TEST_F(CommandLine, CompareExitsAsCmpDoesAndComparesDataFilesOnTheirSettings) {
  PagerData otherImage;
  otherImage.image[0x100] ^= 0x01;
  PagerData otherSelection;
  otherSelection.selection.SetKeepSerial(!otherSelection.selection.KeepSerial());
  ASSERT_TRUE(Write("resaved.DAT", EncodeDatFile(PagerData(), 700)));
  ASSERT_TRUE(Write("image2.DAT", EncodeDatFile(otherImage, 5)));
  ASSERT_TRUE(Write("selection2.DAT", EncodeDatFile(otherSelection, 0)));
  ASSERT_TRUE(Write("plain", QByteArray(reinterpret_cast<const char*>(PagerData().image.data()), kImageSize)));
  ASSERT_TRUE(Write("plain.BIN", Zeros(kImageSize)));
  const Case cases[] = {
      {"compare image.BIN long.BIN --output c.txt", 1, "",
       "m84dpt: the files differ in size: image.BIN holds 2048 bytes, long.BIN holds 2049 bytes\n"
       "m84dpt: no compared byte differs; listing in c.txt\n"},
      {"compare image.BIN short.BIN --output c.txt", 1, "",
       "m84dpt: short.BIN holds 2047 of 2048 bytes; the rest counts as 0x00\n"
       "m84dpt: the files differ in size: image.BIN holds 2048 bytes, short.BIN holds 2047 bytes\n"
       "m84dpt: no compared byte differs; listing in c.txt\n"},
      {"compare image.BIN image.BIN --output c.txt", 0, "", "m84dpt: the files are equal; listing in c.txt\n"},
      {"compare good.DAT resaved.DAT --output c.txt", 0, "", "m84dpt: the files are equal; listing in c.txt\n"},
      {"compare good.DAT image2.DAT --output c.txt", 1, "",
       "m84dpt: 1 byte\\(s\\) differ, the first at 0x100; listing in c.txt\n"},
      {"compare good.DAT selection2.DAT --output c.txt", 1, "",
       "m84dpt: the selection blocks differ in 1 byte\\(s\\), the first at 0x08\n"
       "m84dpt: no compared byte differs; listing in c.txt\n"},
      // A data file against the image it holds.
      {"compare good.DAT plain --output c.txt", 0, "", "m84dpt: the files are equal; listing in c.txt\n"},
      {"compare image.BIN image.BIN --output -", 0, "(\\[[0-9A-F]{4}\\]: [^\n]*\r\n){128}",
       "m84dpt: the files are equal; listing in standard output\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
}

// A device, FIFO or socket is no file of ours: as an output it would be replaced by one, as an
// input a read could wait for ever. "-" is standard output; a listing goes into a character
// device as into standard output.
TEST_F(CommandLine, SpecialFilesAreRefusedWithoutBlocking) {
  for (const char* name : {"fifo", "fifo.DAT", "fifo.BIN"})
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QLatin1String(name))).constData(), 0600), 0);
  const Case cases[] = {
      {"report good.DAT --pdf fifo", 1, "", "m84dpt: fifo: not a regular file\n"},
      {"new fifo", 1, "Save data file error\n", "m84dpt: fifo.DAT: not a regular file\n"},
      {"convert good.DAT fifo.BIN", 1, "Save data file error\n", "m84dpt: fifo.BIN: not a regular file\n"},
      {"compare image.BIN image.BIN --output fifo", 2, "Open compare result error\n",
       "m84dpt: fifo: not a regular file\n"},
      {"read fifo", 1, "Save data file error\n", "m84dpt: fifo.DAT: not a regular file\n"},
      {"dump fifo.BIN", 1, "Save data file error\n", "m84dpt: fifo.BIN: not a regular file\n"},
      {"report fifo.DAT", 1, "Open data file error\n", "m84dpt: fifo.DAT: not a regular file\n"},
      {"convert fifo.BIN out.DAT", 1, "Open data file error\n", "m84dpt: fifo.BIN: not a regular file\n"},
      {"write fifo.DAT", 1, "Open data file error\n", "m84dpt: fifo.DAT: not a regular file\n"},
      {"read out --base fifo.DAT", 1, "Open data file error\n", "m84dpt: fifo.DAT: not a regular file\n"},
      {"compare fifo image.BIN", 2, "Open data file 1 error\n", "m84dpt: fifo: not a regular file\n"},
      {"fifo.DAT", 1, "", "m84dpt: fifo.DAT: not a regular file\n"},
      {"report good.DAT --pdf -", 0, "%PDF-.*", ""},
      {"compare image.BIN image.BIN --output /dev/null", 0, "", "m84dpt: the files are equal; listing in /dev/null\n"},
      // A port that is no serial port says so, and what to check.
      {"probe --port /dev/null", 1, "",
       "m84dpt: /dev/null: no serial port \\(a character device that is no terminal line\\); check that --port or "
       "M84DPT_PORT names the adapter's device, such as /dev/ttyUSB0 \\(m84dpt ports lists the serial ports\\)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
  for (const char* name : {"fifo", "fifo.DAT", "fifo.BIN"})
    EXPECT_TRUE(QFileInfo(dir.filePath(QLatin1String(name))).exists() &&
                !QFileInfo(dir.filePath(QLatin1String(name))).isFile());
  EXPECT_FALSE(Exists(QStringLiteral("out.DAT")));
}

TEST_F(CommandLine, DeviceNodesStayDeviceNodes) {
  if (::geteuid() != 0) GTEST_SKIP() << "mknod needs root";
  const dev_t full = makedev(1, 7);
  for (const char* name : {"full", "full.DAT"})
    ASSERT_EQ(::mknod(QFile::encodeName(dir.filePath(QLatin1String(name))).constData(), S_IFCHR | 0666, full), 0);
  const Case cases[] = {
      {"report good.DAT --pdf full", 1, "", "m84dpt: full: not a regular file\n"},
      {"new full.DAT", 1, "Save data file error\n", "m84dpt: full.DAT: not a regular file\n"},
      {"convert good.DAT full.DAT", 1, "Save data file error\n", "m84dpt: full.DAT: not a regular file\n"},
      // A listing is written into a device as it stands (this one is always full), never over it.
      {"compare image.BIN image.BIN --output full", 2, "Open compare result error\n",
       "m84dpt: full: No space left on device\n"},
      {"report full.DAT", 1, "Open data file error\n", "m84dpt: full.DAT: not a regular file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    ExpectOutcome(Run(Split(c.arguments)), c);
  }
  for (const char* name : {"full", "full.DAT"}) {
    struct stat node {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(QLatin1String(name))).constData(), &node), 0);
    EXPECT_TRUE(S_ISCHR(node.st_mode)) << name;
  }
}

// A file size limit makes the save fail with the system's reason; the old file stays.
TEST_F(CommandLine, AFileSizeLimitFailsTheSaveAndKeepsTheOldFile) {
  const QByteArray before = Zeros(100);
  ASSERT_TRUE(Write("big.DAT", before));
  const QStringList limited{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                            QStringLiteral("ulimit -f 1; exec \"$0\" \"$@\"")};
  ExpectOutcome(Run({QStringLiteral("new"), QStringLiteral("big.DAT")}, limited),
                {"", 1, "Save data file error\n", "m84dpt: big.DAT: File too large\n"});
  QFile file(dir.filePath(QStringLiteral("big.DAT")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}

// Memory that runs out while a PDF is printed ends the command with a message and exit code 1,
// never an abort or a crash (Qt's PDF writer does not check its allocations when it embeds the
// fonts), and nothing is left in TMPDIR: no scratch folder, and without XDG_RUNTIME_DIR no empty
// runtime folder of Qt's. Where the limit falls in the printing differs between machines, so a
// range of limits is tried, among them one that crashed in the font embedding here.
TEST_F(CommandLine, APdfReportOutOfMemoryEndsWithAMessageAndLeavesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than any limit here";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "AddressSanitizer needs more address space than any limit here";
#endif
#endif
  const QString scratch = dir.filePath(QStringLiteral("tmp"));
  ASSERT_TRUE(QDir().mkdir(scratch));
  // Fontconfig short of memory finds no fonts in a folder, and would keep that finding in the
  // machine's font cache, which root may write: every later program would lose those fonts. The
  // limited runs keep their font cache here.
  ASSERT_TRUE(Write("fonts.conf", QStringLiteral("<?xml version=\"1.0\"?><fontconfig><cachedir>%1</cachedir>"
                                                 "<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>"
                                                 "</fontconfig>\n")
                                      .arg(dir.filePath(QStringLiteral("fontcache")))
                                      .toUtf8()));
  int outOfMemory = 0;
  for (const int kib : {100000, 102000, 110000, 120000, 130000, 140000, 150000}) {
    SCOPED_TRACE(kib);
    const QStringList limited{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                              QStringLiteral("ulimit -v %1; unset XDG_RUNTIME_DIR; TMPDIR=\"%2\" "
                                             "FONTCONFIG_FILE=\"%3\" exec \"$0\" \"$@\"")
                                  .arg(kib)
                                  .arg(scratch, dir.filePath(QStringLiteral("fonts.conf")))};
    const CommandOutcome run = Run(Split("report good.DAT --pdf r.pdf"), limited);
    ASSERT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode << " " << run.err.toStdString();
    if (run.exitCode == 1) {
      ++outOfMemory;
      EXPECT_TRUE(run.err.endsWith("m84dpt: out of memory\n")) << run.err.toStdString();
      EXPECT_FALSE(Exists(QStringLiteral("r.pdf")));
    }
    EXPECT_EQ(QDir(scratch).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    QFile::remove(dir.filePath(QStringLiteral("r.pdf")));
  }
  if (outOfMemory == 0) GTEST_SKIP() << "no limit tried ran the printing out of memory here";
}

// An order or a settings text at a FIFO whose writer holds it open and says nothing never holds a
// command: each one that takes such a file refuses it at once, or reads it and still ends at once
// on SIGINT and on SIGTERM.
TEST_F(CommandLine, AFifoOrderOrSettingsTextNeverHoldsACommandPastASignal) {
  const QString fifo = dir.filePath(QStringLiteral("f"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  // Read and write: a writer is there, so a reader would wait for its bytes.
  const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("M84DPT_HISTORY"), dir.filePath(QStringLiteral("history.sqlite")));
  environment.remove(QStringLiteral("M84DPT_NO_HISTORY"));
  const char* const commands[] = {
      "fleet run f --port /dev/null",
      "fleet check f",
      "fleet status f",
      "fleet check good.csv --template f",
      "fleet run good.csv --template f --port /dev/null",
      "write f --port /dev/null",
      "convert f x.yaml",
      "report f",
      "diff f good.DAT",
  };
  for (const char* command : commands)
    for (const int signal : {SIGINT, SIGTERM}) {
      SCOPED_TRACE(std::string(command) + (signal == SIGINT ? " SIGINT" : " SIGTERM"));
      QProcess process;
      process.setWorkingDirectory(dir.path());
      process.setProcessEnvironment(environment);
      process.start(QStringLiteral(M84DPT_PROGRAM), Split(command));
      ASSERT_TRUE(process.waitForStarted());
      bool ended = process.waitForFinished(300);
      if (!ended) {
        ::kill(pid_t(process.processId()), signal);
        // A command that waits on the FIFO would wait for ever; a loaded machine may be slow to start one.
        ended = process.waitForFinished(10000);
      }
      EXPECT_TRUE(ended) << "still waiting on the FIFO";
      process.kill();
      process.waitForFinished();
    }
  ::close(writer);
}

TEST_F(CommandLine, TheWindowWithoutADisplaySaysSoBeforeQtStarts) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QLatin1String(name));
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(M84DPT_PROGRAM), {});
  ASSERT_TRUE(process.waitForFinished(kRunPatienceMs));
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_EQ(QString::fromLocal8Bit(process.readAllStandardError()),
            QStringLiteral("m84dpt: no display (DISPLAY and WAYLAND_DISPLAY are unset); the commands work without one: "
                           "m84dpt --help\n"));
}

// A file manager knows a data file by its tag, not by a name that many programs use.
TEST_F(CommandLine, TheDataFileMimeTypeMatchesTheTag) {
  const QString update = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (update.isEmpty() || xdgMime.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty())
    GTEST_SKIP() << "shared-mime-info, xdg-utils or gio missing";
  const QString packages = dir.filePath(QStringLiteral("prefix/mime/packages"));
  ASSERT_TRUE(QDir().mkpath(packages));
  ASSERT_TRUE(QFile::copy(QStringLiteral(M84_MIME_XML), packages + QStringLiteral("/org.m84dpt.Programmer.xml")));
  const QString base = QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml");
  if (QFile::exists(base)) ASSERT_TRUE(QFile::copy(base, packages + QStringLiteral("/freedesktop.org.xml")));
  QProcess updating;
  updating.start(update, {dir.filePath(QStringLiteral("prefix/mime"))});
  ASSERT_TRUE(updating.waitForFinished(kRunPatienceMs));
  EXPECT_EQ(updating.exitCode(), 0) << updating.readAllStandardError().toStdString();

  // The model text alone is not the tag: six zero bytes follow it.
  QByteArray almost = EncodeDatFile(PagerData(), 0);
  almost[9] = 'X';
  ASSERT_TRUE(Write("almost.DAT", almost));
  ASSERT_TRUE(Write("renamed", EncodeDatFile(PagerData(), 300)));
  const std::pair<const char*, const char*> files[] = {
      {"good.DAT", "application/x-m84dpt-data"},
      {"renamed", "application/x-m84dpt-data"},
      {"almost.DAT", "application/octet-stream"},
  };
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_DATA_DIRS"), dir.filePath(QStringLiteral("prefix")));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("nothing")));
  environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));  // xdg-mime asks gio
  for (const auto& [name, type] : files) {
    SCOPED_TRACE(name);
    QProcess query;
    query.setProcessEnvironment(environment);
    query.setWorkingDirectory(dir.path());
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("filetype"), QLatin1String(name)});
    ASSERT_TRUE(query.waitForFinished(kRunPatienceMs));
    EXPECT_EQ(QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed(), QLatin1String(type));
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
    ASSERT_TRUE(QFile::setPermissions(dir.filePath(QLatin1String(name)),
                                      QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("locked")));
  ASSERT_TRUE(QFile::setPermissions(dir.filePath(QStringLiteral("locked")), readable & ~QFile::WriteOwner));

  const Case cases[] = {
      {"new locked/a.DAT", 1, "Save data file error\n", "m84dpt: locked/a.DAT: Permission denied\n"},
      {"convert good.DAT locked/a.BIN", 1, "File Loaded ok\nSave data file error\n",
       "m84dpt: locked/a.BIN: Permission denied\n"},
      {"compare image.BIN image.BIN --output locked/c.txt", 2, "Open compare result error\n",
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
                                           "exist; running this one\n")
                                .arg(removed)))
      << said.toStdString();
  EXPECT_EQ(exe, program);
  EXPECT_EQ(QSettings(store, QSettings::IniFormat).value(GenerationValueName()).toByteArray(),
            QByteArray("\x01\x18\x00\x00", 4));
  window.kill();
  window.waitForFinished();
}

// Texts of the image may hold any byte; on a terminal a raw carriage return or escape would
// overwrite the report or change the terminal.
TEST_F(CommandLine, TheTextReportShowsControlBytesAsEscapes) {
  PagerData data;
  data.image[0x549] = 0x0D;
  data.image[0x54A] = 0x1B;
  ASSERT_TRUE(Write("control.DAT", EncodeDatFile(data, 0)));
  const CommandOutcome got = Run({QStringLiteral("report"), QStringLiteral("control.DAT")});
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_TRUE(got.out.contains(QStringLiteral("Serial Number: [1\\x0D\\x1B4567890]"))) << got.out.toStdString();
  EXPECT_FALSE(got.out.contains(QLatin1Char('\r')));
  EXPECT_FALSE(got.out.contains(QChar(0x1B)));
  EXPECT_TRUE(got.out.contains(QStringLiteral("\n\f\n")));  // the page break stays
}
