// "doctor" against a device tree made in a scratch folder (sysfs, /dev, /proc, the udev rules,
// the lock folder, the group file), the adapter's answer coming from the simulated adapter on a
// pseudo-terminal: each kind of failure is seen by its own check, with its mend, and the JSON
// reads back in Python's json module.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/doctor_command.h"
#include "core/doctor/connection_doctor.h"
#include "core/link/simulator_host.h"
#include "core/link/udev_rule.h"
#include "password_forms.h"

using namespace m84;
using namespace m84::password_forms;

namespace {

constexpr UsbIds kAdapterIds{0x2e8a, 0x000a};
constexpr unsigned kOtherUser = 4242;
constexpr unsigned kOtherGroup = 4243;

void WriteText(const QString& path, const QByteArray& text) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  file.write(text);
}

QString OwnGroupName() {
  const struct group* entry = ::getgrgid(::getegid());
  return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(::getegid());
}

class DoctorTree : public ::testing::Test {
 public:
  void SetUp() override {
    dir = std::make_unique<QTemporaryDir>();
    options = DoctorOptions();
    ASSERT_TRUE(dir->isValid());
    StartSimulator();
    const QString usb = Path("sys/bus/usb/devices/1-1");
    WriteText(usb + "/idVendor", "2e8a\n");
    WriteText(usb + "/idProduct", "000a\n");
    WriteText(usb + "/manufacturer", "Tarnwell\n");
    WriteText(usb + "/product", "DPT adapter\n");
    ASSERT_TRUE(QDir().mkpath(usb + "/1-1:1.0/tty/ttyACM0"));
    ASSERT_TRUE(QDir().mkpath(Path("dev")));
    ASSERT_TRUE(QFile::link(simulator->DevicePath(), Node()));
    WriteText(Path("udev/") + kUdevRuleFileName, UdevRuleText(kAdapterIds).toUtf8());
    WriteText(Path("group"), "root:x:0:\n");
    ASSERT_TRUE(QDir().mkpath(Path("proc")));
    ASSERT_TRUE(QDir().mkpath(Path("locks")));
    WriteText(Path("proc/asound/cards"), " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n");
    WriteText(Path("dev/snd/pcmC0D0p"), "");
    // As the uaccess rule leaves it for the desktop's user, whoever a case checks as.
    ASSERT_EQ(::chmod(Path("dev/snd/pcmC0D0p").toLocal8Bit().constData(), 0666), 0);
    WriteText(Path("dev/snd/controlC0"), "");

    options.roots.sysfs = Path("sys");
    options.roots.dev = Path("dev");
    options.roots.proc = Path("proc");
    options.roots.udevRules = {Path("udev")};
    options.roots.groupFile = Path("group");
    options.roots.lockFolders = {Path("locks")};
    options.history = ParseHistoryLocation(Path("history/history.sqlite"));
    options.pdfPrinter = true;
    options.environment.insert("DISPLAY", ":0");
  }

  void StartSimulator(const QString& faults = {}) {
    SimulatorOptions simulated;
    simulated.faults = *ParseFaultPlan(faults);
    simulator = std::make_unique<SimulatorHost>(simulated);
    const Outcome started = simulator->Start();
    ASSERT_TRUE(started) << started.failure().reason.toStdString();
  }

  QString Path(const QString& relative) const { return dir->filePath(relative); }
  QString Node() const { return Path("dev/ttyACM0"); }

  // A process of the fake /proc with the device open as fd 5.
  void Holding(qint64 pid, const QByteArray& name) {
    WriteText(Path(QStringLiteral("proc/%1/comm").arg(pid)), name + "\n");
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("proc/%1/fd").arg(pid))));
    ASSERT_TRUE(QFile::link(Node(), Path(QStringLiteral("proc/%1/fd/5").arg(pid))));
  }
  void Living(qint64 pid, const QByteArray& name) {
    WriteText(Path(QStringLiteral("proc/%1/comm").arg(pid)), name + "\n");
  }
  // The node as a plain file this process owns, judged as another user in a session with other groups.
  void NodeForOtherUser(unsigned mode, const QByteArray& groupLine) {
    ASSERT_TRUE(QFile::remove(Node()));
    WriteText(Node(), "");
    ASSERT_EQ(::chmod(Node().toLocal8Bit().constData(), mode), 0);
    options.roots.userId = kOtherUser;
    options.roots.userName = "ann";
    options.roots.sessionGroups = {kOtherGroup};
    WriteText(Path("group"), groupLine);
  }

  std::unique_ptr<QTemporaryDir> dir;
  std::unique_ptr<SimulatorHost> simulator;
  DoctorOptions options;
};

const DoctorCheck* Find(const std::vector<DoctorCheck>& checks, const QString& id) {
  for (const DoctorCheck& check : checks)
    if (check.id == id) return &check;
  return nullptr;
}

QStringList FailedIds(const std::vector<DoctorCheck>& checks) {
  QStringList ids;
  for (const DoctorCheck& check : checks)
    if (check.state == CheckState::Failed) ids << check.id;
  return ids;
}

}  // namespace

TEST_F(DoctorTree, AWorkingTreePassesEveryCheckInOrderAndTimesTheAdapter) {
  const std::vector<DoctorCheck> checks = RunConnectionDoctor(options);
  QStringList ids;
  for (const DoctorCheck& check : checks) {
    ids << check.id;
    EXPECT_EQ(check.state, CheckState::Passed) << check.id.toStdString() << ": " << check.found.toStdString();
    EXPECT_TRUE(check.mend.isEmpty());
  }
  EXPECT_EQ(ids, QStringList({"usb-device", "device-access", "udev-rule", "other-programs", "adapter-answer", "history",
                              "printing", "sound", "display"}));
  EXPECT_TRUE(Find(checks, "usb-device")->found.contains("USB 2e8a:000a (Tarnwell DPT adapter) at " + Node()));
  EXPECT_TRUE(Find(checks, "adapter-answer")->found.contains(QRegularExpression(" answered in \\d+ ms")));
  EXPECT_TRUE(Find(checks, "history")
                  ->found.contains(QRegularExpression(
                      QStringLiteral("schema %1; one record written in \\d+ ms").arg(kHistorySchemaVersion))));
  EXPECT_TRUE(Find(checks, "sound")->found.contains("HDA-Intel - HDA Intel PCH"));
  // The record written to prove the store takes writes is taken back.
  HistoryStore store(*options.history);
  const Result<std::vector<HistoryRecord>> records = store.List({});
  ASSERT_TRUE(records);
  EXPECT_TRUE(records->empty());
}

TEST_F(DoctorTree, EachKindOfFailureFailsItsOwnCheckWithItsMend) {
  struct Case {
    const char* name;
    std::function<void(DoctorTree&)> spoil;
    QStringList failed;  // every check that fails, in order
    QString found;       // in the first failed check's finding
    QString mend;        // in its mend
  };
  const QString own = OwnGroupName();
  const QByteArray groupWithAnn = QStringLiteral("%1:x:%2:bob,ann\n").arg(own).arg(::getegid()).toUtf8();
  const QByteArray groupWithoutAnn = QStringLiteral("%1:x:%2:bob\n").arg(own).arg(::getegid()).toUtf8();
  const Case cases[] = {
      {"no USB serial device",
       [](DoctorTree& t) { ASSERT_TRUE(QDir(t.Path("sys/bus/usb/devices/1-1")).removeRecursively()); },
       {"usb-device"},
       "no USB serial device",
       "plug the adapter in"},
      {"a USB device without a serial line",
       [](DoctorTree& t) { ASSERT_TRUE(QDir(t.Path("sys/bus/usb/devices/1-1/1-1:1.0/tty")).removeRecursively()); },
       {"usb-device"},
       "no USB serial device",
       "m84dpt ports"},
      {"no device node",
       [](DoctorTree& t) { ASSERT_TRUE(QFile::remove(t.Node())); },
       {"device-access"},
       "no device node",
       "plug it in again"},
      {"no udev rule",
       [](DoctorTree& t) { ASSERT_TRUE(QDir(t.Path("udev")).removeRecursively()); },
       {"udev-rule"},
       "no rule for USB 2e8a:000a",
       "sudo m84dpt udev-rule --install"},
      {"the rule of another adapter",
       [](DoctorTree& t) {
         WriteText(t.Path("udev/") + kUdevRuleFileName, UdevRuleText({0x0403, 0x6001}).toUtf8());
       },
       {"udev-rule"},
       "is for another adapter",
       "sudo m84dpt udev-rule --install"},
      {"not in the device's group",
       [&](DoctorTree& t) { t.NodeForOtherUser(0660, groupWithoutAnn); },
       {"device-access", "adapter-answer"},
       "this user (ann) may not open it",
       "sudo usermod -aG "},
      {"joined the group in another session",
       [&](DoctorTree& t) { t.NodeForOtherUser(0660, groupWithAnn); },
       {"device-access", "adapter-answer"},
       "may not open it",
       "joined " + OwnGroupName() + " after this session began: log out and in"},
      {"denied, and no rule to give it",
       [&](DoctorTree& t) {
         t.NodeForOtherUser(0660, groupWithoutAnn);
         ASSERT_TRUE(QDir(t.Path("udev")).removeRecursively());
       },
       {"device-access", "udev-rule", "adapter-answer"},
       "may not open it",
       "install the udev rule"},
      {"the group has no rights on the node",
       [&](DoctorTree& t) {
         t.NodeForOtherUser(0600, groupWithAnn);
         t.options.roots.sessionGroups = {unsigned(::getegid())};
       },
       {"device-access", "adapter-answer"},
       "mode 0600",
       "gives its group no read and write"},
      {"ModemManager has it open",
       [](DoctorTree& t) { t.Holding(812, "ModemManager"); },
       {"other-programs"},
       "ModemManager (pid 812) has it open",
       "sudo systemctl stop ModemManager"},
      {"brltty has it open",
       [](DoctorTree& t) { t.Holding(901, "brltty"); },
       {"other-programs"},
       "brltty (pid 901) has it open",
       "sudo apt remove brltty"},
      {"a live lock, pid as text, its holder with the port open",
       [](DoctorTree& t) {
         t.Holding(654, "minicom");
         WriteText(t.Path("locks/LCK..ttyACM0"), "       654\n");
       },
       {"other-programs"},
       "minicom (pid 654) holds the lock",
       "kill 654"},
      {"a live lock whose holder is not seen with the port open",
       [](DoctorTree& t) {
         t.Living(656, "minicom");
         WriteText(t.Path("locks/LCK..ttyACM0"), "       656\n");
       },
       {"other-programs"},
       "minicom (pid 656) holds the lock",
       "close minicom (pid 656); it was not seen with the port open, so if the lock is left over, remove it"},
      {"a live lock, pid in binary",
       [](DoctorTree& t) {
         t.Living(655, "cu");
         const int32_t pid = 655;
         WriteText(t.Path("locks/LCK..ttyACM0"), QByteArray(reinterpret_cast<const char*>(&pid), 4));
       },
       {"other-programs"},
       "cu (pid 655) holds the lock",
       "close cu (pid 655)"},
      {"a FIFO at the lock's name",
       [](DoctorTree& t) { ASSERT_EQ(::mkfifo(t.Path("locks/LCK..ttyACM0").toLocal8Bit().constData(), 0600), 0); },
       {"other-programs"},
       "is no regular file",
       "sudo rm -r "},
      {"a dangling link at the lock's name",
       [](DoctorTree& t) { ASSERT_TRUE(QFile::link(t.Path("nowhere"), t.Path("locks/LCK..ttyACM0"))); },
       {"other-programs"},
       "is no regular file",
       "sudo rm -r "},
      {"the adapter refuses the presence check",
       [](DoctorTree& t) { t.StartSimulator("probe:0x06"); },
       {"adapter-answer"},
       "ms)",
       "did not answer"},
      {"the history cannot be written",
       [](DoctorTree& t) { WriteText(t.Path("history"), "a file where the folder should be"); },
       {"history"},
       "history",
       "M84DPT_HISTORY"},
      {"no PDF printer",
       [](DoctorTree& t) { t.options.pdfPrinter = false; },
       {"printing"},
       "built without printing",
       "report FILE"},
      {"no sound card",
       [](DoctorTree& t) {
         ASSERT_TRUE(QDir(t.Path("dev/snd")).removeRecursively());
         WriteText(t.Path("proc/asound/cards"), "--- no soundcards ---\n");
       },
       {"sound"},
       "no playback device",
       "aplay -l"},
      {"no display",
       [](DoctorTree& t) { t.options.environment.clear(); },
       {"display"},
       "neither DISPLAY nor WAYLAND_DISPLAY",
       "ssh -X"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    // The simulator's link is refreshed when a case starts its own.
    if (std::string(c.name).find("presence") != std::string::npos) {
      c.spoil(*this);
      ASSERT_TRUE(QFile::remove(Node()));
      ASSERT_TRUE(QFile::link(simulator->DevicePath(), Node()));
    } else {
      c.spoil(*this);
    }
    const std::vector<DoctorCheck> checks = RunConnectionDoctor(options);
    EXPECT_EQ(FailedIds(checks).join(", ").toStdString(), c.failed.join(", ").toStdString());
    const DoctorCheck* first = Find(checks, c.failed.first());
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->found.contains(c.found)) << first->found.toStdString();
    EXPECT_TRUE(first->mend.contains(c.mend)) << first->mend.toStdString();
    EXPECT_FALSE(AllPassed(checks));
  }
}

// A lock file's words are anyone's to write: the holder is named by the system, once however many
// folders and names lead to its lock, and a kill is advised only for a process seen with this
// very device open that is not the system's first process.
TEST_F(DoctorTree, ALockIsBelievedOnlyAsFarAsTheSystemBearsItOut) {
  const auto mends = [](const std::vector<DoctorCheck>& checks) {
    QStringList all;
    for (const DoctorCheck& check : checks) all << check.found << check.mend;
    return all.join(QLatin1Char('\n'));
  };
  // Pid 1 in a hostile lock, reached through two lock folders (one a link to the other).
  Living(1, "systemd");
  WriteText(Path("locks/LCK..ttyACM0"), "1\n\x1b]0;brltty; sudo rm -rf /\x07\n");
  ASSERT_TRUE(QFile::link(Path("locks"), Path("locks-again")));
  options.roots.lockFolders = {Path("locks"), Path("locks-again")};
  std::vector<DoctorCheck> checks = RunConnectionDoctor(options);
  const DoctorCheck* other = Find(checks, "other-programs");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->state, CheckState::Failed);
  EXPECT_EQ(other->found,
            QStringLiteral("%1: systemd (pid 1) holds the lock %2").arg(Node(), Path("locks/LCK..ttyACM0")));
  EXPECT_TRUE(other->mend.contains("the lock is false; remove it")) << other->mend.toStdString();
  EXPECT_FALSE(mends(checks).contains("kill")) << mends(checks).toStdString();
  EXPECT_FALSE(mends(checks).contains("brltty")) << mends(checks).toStdString();
  EXPECT_FALSE(mends(checks).contains("rm -rf /")) << mends(checks).toStdString();

  // A binary pid's holder, with the port open and its lock: one holder, named by the system.
  ASSERT_TRUE(QFile::remove(Path("locks/LCK..ttyACM0")));
  Holding(2617, "cu");
  const int32_t pid = 2617;
  WriteText(Path("locks/LCK..ttyACM0"), QByteArray(reinterpret_cast<const char*>(&pid), 4));
  checks = RunConnectionDoctor(options);
  other = Find(checks, "other-programs");
  EXPECT_EQ(
      other->found,
      QStringLiteral("%1: cu (pid 2617) holds the lock %2 and has it open").arg(Node(), Path("locks/LCK..ttyACM0")));
  EXPECT_EQ(other->mend, QStringLiteral("close cu (pid 2617); if it hangs: kill 2617"));

  // /dev/null is open in every process, and held as a port by none.
  WriteText(Path("proc/777/comm"), "sshd\n");
  ASSERT_TRUE(QDir().mkpath(Path("proc/777/fd")));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), Path("proc/777/fd/0")));
  options.port = QStringLiteral("/dev/null");
  checks = RunConnectionDoctor(options);
  EXPECT_EQ(Find(checks, "other-programs")->state, CheckState::Skipped);
  EXPECT_FALSE(mends(checks).contains("kill")) << mends(checks).toStdString();
  EXPECT_FALSE(mends(checks).contains("sshd")) << mends(checks).toStdString();
}

TEST_F(DoctorTree, AStaleLockTheSimulatorsOwnEndAndOffRecordingDoNotFail) {
  WriteText(Path("locks/LCK..ttyACM0"), "  99999\n");  // no such process in the fake /proc
  Holding(700, "m84dpt");
  WriteText(Path("proc/700/cmdline"), QByteArray("/usr/bin/m84dpt\0simulate\0", 25));
  options.history.reset();
  const std::vector<DoctorCheck> checks = RunConnectionDoctor(options);
  EXPECT_TRUE(FailedIds(checks).isEmpty()) << FailedIds(checks).join(", ").toStdString();
  EXPECT_TRUE(Find(checks, "other-programs")->found.contains("stale lock"));
  EXPECT_TRUE(Find(checks, "other-programs")->found.contains("served by the simulated adapter, pid 700"));

  // Any other m84dpt on the port is a rival.
  WriteText(Path("proc/700/cmdline"), QByteArray("/usr/bin/m84dpt\0read\0", 21));
  EXPECT_EQ(FailedIds(RunConnectionDoctor(options)), QStringList{"other-programs"});
  EXPECT_EQ(Find(checks, "history")->state, CheckState::Skipped);
}

TEST_F(DoctorTree, ANamedPortIsUsedAsNamedOrReportedMissing) {
  QString output;
  // The simulator's pseudo-terminal is no USB device: the USB checks stand aside, the rest pass.
  EXPECT_EQ(RunDoctor({"--port", simulator->DevicePath()}, options, output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains("- USB device")) << output.toStdString();
  EXPECT_TRUE(output.contains(QStringLiteral("\u2713 adapter answers")));
  EXPECT_TRUE(output.contains("All checks passed."));

  EXPECT_EQ(RunDoctor({"--port", Path("dev/ttyUSB7")}, options, output), 1);
  EXPECT_TRUE(output.contains(QStringLiteral("\u2717 USB device")));
  EXPECT_TRUE(output.contains("nothing at " + Path("dev/ttyUSB7")));
  EXPECT_TRUE(output.contains("mend: plug the adapter in"));

  EXPECT_EQ(RunDoctor({"--json", "extra"}, options, output), 2);
}

namespace {

// Python's json module reads the document: "passed" and one "id status mend?" line per check.
QString ReadWithPython(const QString& json) {
  QProcess python;
  python.start("python3", {"-c",
                           "import json, sys\n"
                           "d = json.load(sys.stdin)\n"
                           "print('passed' if d['passed'] is True else 'failed' if d['passed'] is False else '?')\n"
                           "for c in d['checks']:\n"
                           "    print(c['id'], c['status'], 'mend' if c.get('mend') else '-', bool(c['found']))\n"});
  python.write(json.toUtf8());
  python.closeWriteChannel();
  EXPECT_TRUE(python.waitForFinished(30000));
  EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
  return QString::fromUtf8(python.readAllStandardOutput());
}

}  // namespace

TEST_F(DoctorTree, JsonReadsBackInPythonWithEveryCheck) {
  Holding(812, "ModemManager\x1b]0;x\x07");
  options.environment.clear();
  QString output;
  EXPECT_EQ(RunDoctor({"--json"}, options, output), 1);
  EXPECT_EQ(ReadWithPython(output),
            "failed\n"
            "usb-device pass - True\n"
            "device-access pass - True\n"
            "udev-rule pass - True\n"
            "other-programs fail mend True\n"
            "adapter-answer pass - True\n"
            "history pass - True\n"
            "printing pass - True\n"
            "sound pass - True\n"
            "display fail mend True\n");

  // The table shows the same process name with its control bytes escaped.
  EXPECT_EQ(RunDoctor({}, options, output), 1);
  EXPECT_TRUE(output.contains("ModemManager\\x1B]0;x\\x07 (pid 812)")) << output.toStdString();
  EXPECT_FALSE(output.contains(QChar(0x1b)));
  EXPECT_TRUE(output.contains("2 of 9 checks failed."));
}

// The history check says which store it tried: never with its password, in the table or the JSON.
TEST_F(DoctorTree, TheHistoryStoreIsShownWithoutItsPasswordInEveryForm) {
  options.port = QStringLiteral("/dev/null");  // the port's checks end at once
  for (const PasswordForm& c : PasswordForms(Path("nosocket"))) {
    SCOPED_TRACE(c.connection.toStdString());
    options.history = ParseHistoryLocation(c.connection);
    QString table, json;
    RunDoctor({}, options, table);
    RunDoctor({"--json"}, options, json);
    EXPECT_TRUE(table.contains(c.shown)) << table.toStdString();
    EXPECT_TRUE(json.contains(c.shown)) << json.toStdString();
    for (const QString& secret : c.secrets) {
      EXPECT_FALSE(table.contains(secret)) << table.toStdString();
      EXPECT_FALSE(json.contains(secret)) << json.toStdString();
    }
  }
}

TEST(DoctorProgram, GivesJsonAndAnExitThatAgreeOnThisMachine) {
  QProcess program;
  program.start(M84DPT_PROGRAM, {"doctor", "--json"});
  ASSERT_TRUE(program.waitForFinished(60000));
  const QString json = QString::fromUtf8(program.readAllStandardOutput());
  const QString read = ReadWithPython(json);
  ASSERT_FALSE(read.isEmpty());
  EXPECT_EQ(read.startsWith("passed\n"), program.exitCode() == 0) << read.toStdString();
  EXPECT_TRUE(program.exitCode() == 0 || program.exitCode() == 1);
  EXPECT_EQ(read.count('\n'), 10);
}
