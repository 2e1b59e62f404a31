// "udev-rule": a udev rule that lets the desktop user open the plugged-in adapter without root.
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/udev_rule_command.h"
#include "core/image/dat_file.h"
#include "core/link/serial_port.h"
#include "core/link/udev_rule.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace m84 {

namespace {

constexpr int kUdevadmMs = 30000;

class SystemUdev : public UdevSystem {
 public:
  const PortInformation& Ports() const override { return ports_; }

  bool IsRoot() const override {
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
  }

  Outcome WriteRuleFile(const QString& path, const QString& text) override {
    // Readable by all, as udev's own rules are, whatever the umask.
    if (WriteFileAtomically(path, text.toUtf8()) &&
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther))
      return Succeeded();
    return Failed({}, QStringLiteral("%1 could not be written").arg(path));
  }

  Outcome ReloadRules() override {
    if (Outcome reloaded = Udevadm({QStringLiteral("control"), QStringLiteral("--reload-rules")}); !reloaded)
      return reloaded;
    return Udevadm({QStringLiteral("trigger"), QStringLiteral("--subsystem-match=tty")});
  }

  void Print(const QString& text) override {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
  }

  void Note(const QString& reason) override { PrintReason(reason); }

 private:
  static Outcome Udevadm(const QStringList& arguments) {
    QProcess udevadm;
    udevadm.setProcessChannelMode(QProcess::ForwardedChannels);
    udevadm.start(QStringLiteral("udevadm"), arguments);
    const QString command = QStringLiteral("udevadm ") + arguments.join(QLatin1Char(' '));
    if (!udevadm.waitForFinished(kUdevadmMs))
      return Failed({}, QStringLiteral("%1: %2").arg(command, udevadm.errorString()));
    if (udevadm.exitStatus() == QProcess::NormalExit && udevadm.exitCode() == 0) return Succeeded();
    return Failed({}, QStringLiteral("%1 failed (exit code %2)").arg(command).arg(udevadm.exitCode()));
  }

  SystemPortInformation ports_;
};

}  // namespace

int RunUdevRule(const QStringList& arguments, UdevSystem& system) {
  CommandParser parser(QStringLiteral("udev-rule"));
  const QCommandLineOption installOption(QStringLiteral("install"),
                                         QStringLiteral("Write the rule to /etc/udev/rules.d and reload udev (root)."));
  const QCommandLineOption portOption = PortOption();
  parser.addOption(installOption);
  parser.addOption(portOption);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString named = AdapterPortName(parser.value(portOption));
  const std::optional<SerialDeviceInfo> adapter = PluggedAdapter(system.Ports(), named);
  if (!adapter) {
    system.Note(named.isEmpty() ? QStringLiteral("no adapter is plugged in (no USB serial device found)")
                                : QStringLiteral("no adapter is plugged in at %1").arg(named));
    return 1;
  }
  if (!adapter->ids) {
    system.Note(
        QStringLiteral("%1: its USB vendor and product id are unknown (is udev running?)").arg(adapter->location));
    return 1;
  }
  const QString rule = UdevRuleText(*adapter->ids);
  system.Print(rule);
  if (!parser.isSet(installOption)) return 0;

  const QString path = QDir(QLatin1String(kUdevRuleFolder)).filePath(QLatin1String(kUdevRuleFileName));
  if (!system.IsRoot()) {
    system.Note(QStringLiteral("installing the rule in %1 needs root; run: sudo m84dpt udev-rule --install").arg(path));
    return 1;
  }
  if (const Outcome written = system.WriteRuleFile(path, rule); !written) {
    system.Note(written.failure().reason);
    return 1;
  }
  if (const Outcome reloaded = system.ReloadRules(); !reloaded) {
    system.Note(
        QStringLiteral("the rule is in %1, but udev did not take it up: %2").arg(path, reloaded.failure().reason));
    return 1;
  }
  system.Note(QStringLiteral("the rule is in %1 and applies to %2 now").arg(path, adapter->location));
  return 0;
}

int RunUdevRuleCommand(const QStringList& arguments) {
  SystemUdev system;
  return RunUdevRule(arguments, system);
}

}  // namespace m84
