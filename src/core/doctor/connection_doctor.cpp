#include "core/doctor/connection_doctor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cstring>

#include "core/history/pager_history.h"
#include "core/link/adapter_link.h"
#include "core/link/port_information.h"
#include "core/link/serial_port.h"
#include "core/link/udev_rule.h"

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace m84 {

namespace {

const QString kInstallRule =
    QStringLiteral("sudo m84dpt udev-rule --install, then unplug the adapter and plug it in again");

struct UsbSerial {
  QString tty;  // ttyACM0
  UsbIds ids;
  QString maker;
  QString product;
};

QString ReadLine(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(file.readLine(256)).trimmed();
}

QString Hex4(uint16_t id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')); }

QString Describe(const UsbSerial& device) {
  QString text = QStringLiteral("USB %1:%2").arg(Hex4(device.ids.vendor), Hex4(device.ids.product));
  const QString name = QStringList{device.maker, device.product}.join(QLatin1Char(' ')).trimmed();
  if (!name.isEmpty()) text += QStringLiteral(" (%1)").arg(name);
  return text;
}

// The USB devices with a serial line, as the kernel lists them: a CDC-ACM interface holds
// tty/ttyACMn, a USB-serial converter's interface holds ttyUSBn itself.
QList<UsbSerial> UsbSerials(const QString& sysfs) {
  QList<UsbSerial> found;
  const QDir devices(sysfs + QStringLiteral("/bus/usb/devices"));
  for (const QString& name : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QDir device(devices.filePath(name));
    bool vendorOk = false, productOk = false;
    const uint16_t vendor = ReadLine(device.filePath(QStringLiteral("idVendor"))).toUShort(&vendorOk, 16);
    const uint16_t product = ReadLine(device.filePath(QStringLiteral("idProduct"))).toUShort(&productOk, 16);
    if (!vendorOk || !productOk) continue;
    for (const QString& interface : device.entryList({name + QStringLiteral(":*")}, QDir::Dirs)) {
      QStringList ttys =
          QDir(device.filePath(interface + QStringLiteral("/tty"))).entryList({QStringLiteral("tty*")}, QDir::Dirs);
      for (const QString& tty : QDir(device.filePath(interface)).entryList({QStringLiteral("tty?*")}, QDir::Dirs))
        ttys << tty;
      for (const QString& tty : ttys)
        found.append({tty, UsbIds{vendor, product}, ReadLine(device.filePath(QStringLiteral("manufacturer"))),
                      ReadLine(device.filePath(QStringLiteral("product")))});
    }
  }
  std::sort(found.begin(), found.end(), [](const UsbSerial& a, const UsbSerial& b) { return a.tty < b.tty; });
  return found;
}

enum class RuleState { Missing, OtherAdapter, Matching };

struct RuleFinding {
  RuleState state = RuleState::Missing;
  QString file;
};

// Any rule file that names both ids on one line counts: a packaged rule may carry another name.
RuleFinding FindRule(const QStringList& folders, const UsbIds& ids) {
  const QString vendor = QStringLiteral("ATTRS{idVendor}==\"%1\"").arg(Hex4(ids.vendor));
  const QString product = QStringLiteral("ATTRS{idProduct}==\"%1\"").arg(Hex4(ids.product));
  RuleFinding finding;
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.rules")}, QDir::Files, QDir::Name)) {
      QFile file(dir.filePath(name));
      if (!file.open(QIODevice::ReadOnly)) continue;
      for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(QLatin1Char('#'))) continue;
        if (text.contains(vendor, Qt::CaseInsensitive) && text.contains(product, Qt::CaseInsensitive))
          return {RuleState::Matching, file.fileName()};
      }
      if (name == QLatin1String(kUdevRuleFileName) && finding.file.isEmpty())
        finding = {RuleState::OtherAdapter, file.fileName()};
    }
  }
  return finding;
}

// "m84dpt simulate ...", by its command line.
bool IsSimulator(const QString& proc, qint64 pid) {
  QFile file(QStringLiteral("%1/%2/cmdline").arg(proc).arg(pid));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QList<QByteArray> arguments = file.read(4096).split('\0');
  return arguments.size() > 1 &&
         QFileInfo(QString::fromLocal8Bit(arguments[0])).fileName() == QLatin1String("m84dpt") &&
         arguments[1] == "simulate";
}

QString OwnUserName(const DoctorRoots& roots, const QMap<QString, QString>& environment) {
  if (roots.userId) return roots.userName;
#ifdef Q_OS_UNIX
  if (const struct passwd* entry = ::getpwuid(::geteuid())) return QString::fromLocal8Bit(entry->pw_name);
#endif
  return environment.value(QStringLiteral("USER"));
}

// The members a group file lists for the group.
QStringList GroupMembers(const QString& groupFile, const QString& group) {
  QFile file(groupFile);
  if (!file.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.trimmed().split(':');
    if (fields.size() >= 4 && QString::fromLocal8Bit(fields[0]) == group)
      return QString::fromLocal8Bit(fields[3]).split(QLatin1Char(','), Qt::SkipEmptyParts);
  }
  return {};
}

QList<unsigned> SessionGroups(const DoctorRoots& roots) {
  if (!roots.sessionGroups.isEmpty()) return roots.sessionGroups;
  QList<unsigned> groups;
#ifdef Q_OS_UNIX
  groups << ::getegid();
  gid_t list[256];
  const int count = ::getgroups(256, list);
  for (int i = 0; i < count; ++i) groups << list[i];
#endif
  return groups;
}

struct NodeFacts {
  QString group;
  unsigned gid = 0;
  unsigned mode = 0;
};

NodeFacts FactsOf(const QString& node) {
  NodeFacts facts;
#ifdef Q_OS_UNIX
  struct stat status {};
  if (::stat(node.toLocal8Bit().constData(), &status) != 0) return facts;
  facts.gid = status.st_gid;
  facts.mode = status.st_mode & 07777;
  const struct group* entry = ::getgrgid(status.st_gid);
  facts.group = entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(status.st_gid);
#endif
  return facts;
}

bool MayOpen(const QString& node, const DoctorRoots& roots) {
#ifdef Q_OS_UNIX
  if (!roots.userId) return ::access(node.toLocal8Bit().constData(), R_OK | W_OK) == 0;
  struct stat status {};
  if (::stat(node.toLocal8Bit().constData(), &status) != 0) return false;
  if (*roots.userId == 0) return true;
  if (status.st_uid == *roots.userId) return (status.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
  if (SessionGroups(roots).contains(status.st_gid))
    return (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  return (status.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH);
#else
  return QFileInfo(node).isWritable();
#endif
}

// A process that has the device open or that a lock names, by the name the system gives it.
struct Holder {
  QString name;
  qint64 pid = 0;
  QString lock;          // the lock file that names it, if one does
  bool hasOpen = false;  // seen with the device open among its files
};

QString HolderText(const Holder& holder) {
  QString text = QStringLiteral("%1 (pid %2)")
                     .arg(holder.name.isEmpty() ? QStringLiteral("a program") : holder.name)
                     .arg(holder.pid);
  QStringList what;
  if (!holder.lock.isEmpty()) what << QStringLiteral("holds the lock %1").arg(holder.lock);
  if (holder.hasOpen) what << QStringLiteral("has it open");
  return text + QLatin1Char(' ') + what.join(QStringLiteral(" and "));
}

// The system's first process (init) never takes a serial port and must never be killed: a lock
// naming it is false, whatever else is written in it.
constexpr qint64 kInitPid = 1;

QString HolderMend(const Holder& holder) {
  if (holder.pid == kInitPid && !holder.hasOpen)
    return QStringLiteral(
               "the lock %1 names pid 1, the system's own first process, which takes no serial port: "
               "the lock is false; remove it: sudo rm '%1'")
        .arg(holder.lock);
  if (holder.pid == kInitPid)
    return QStringLiteral(
        "pid 1 is the system's own first process and must not be stopped: find which of its "
        "services uses the port (systemctl) and stop that service");
  const QString name = holder.name.toLower();
  if (name == QLatin1String("modemmanager"))
    return QStringLiteral("ModemManager tries every new serial device as a modem: ") + kInstallRule +
           QStringLiteral(" (the rule keeps it away), or stop it: sudo systemctl stop ModemManager");
  if (name.startsWith(QLatin1String("brltty")))
    return QStringLiteral(
        "brltty takes USB serial adapters for braille displays: unless one is in use here, "
        "remove it (sudo apt remove brltty) and plug the adapter in again");
  if (name == QLatin1String("m84dpt"))
    return QStringLiteral("another m84dpt (a window or a command) uses the adapter: let it finish or close it");
  // Only a process seen with this very device open is worth a kill; a lock alone may be old.
  if (holder.hasOpen) return QStringLiteral("close %1 (pid %2); if it hangs: kill %2").arg(holder.name).arg(holder.pid);
  return QStringLiteral(
             "close %1 (pid %2); it was not seen with the port open, so if the lock is left over, remove it: "
             "sudo rm '%3'")
      .arg(holder.name)
      .arg(holder.pid)
      .arg(holder.lock);
}

DoctorCheck Check(const char* id, const char* title) {
  DoctorCheck check;
  check.id = QLatin1String(id);
  check.title = QLatin1String(title);
  return check;
}

DoctorCheck Skip(DoctorCheck check, const QString& found) {
  check.state = CheckState::Skipped;
  check.found = found;
  return check;
}

DoctorCheck Fail(DoctorCheck check, const QString& found, const QString& mend) {
  check.state = CheckState::Failed;
  check.found = found;
  check.mend = mend;
  return check;
}

DoctorCheck Pass(DoctorCheck check, const QString& found) {
  check.found = found;
  return check;
}

class Doctor {
 public:
  explicit Doctor(const DoctorOptions& options) : options_(options), roots_(options.roots) {}

  std::vector<DoctorCheck> Run() {
    std::vector<DoctorCheck> checks;
    checks.push_back(UsbDevice());
    checks.push_back(DeviceAccess());
    checks.push_back(UdevRule());
    checks.push_back(OtherPrograms());
    checks.push_back(AdapterAnswer());
    checks.push_back(History());
    checks.push_back(Printing());
    checks.push_back(Sound());
    checks.push_back(Display());
    return checks;
  }

 private:
  QString NamedPath() const {
    return options_.port.startsWith(QLatin1Char('/')) ? options_.port : roots_.dev + QLatin1Char('/') + options_.port;
  }

  DoctorCheck UsbDevice() {
    DoctorCheck check = Check("usb-device", "USB device");
    const QList<UsbSerial> devices = UsbSerials(roots_.sysfs);
    const QString seeList = QStringLiteral("m84dpt ports lists the serial devices the system sees");
    if (options_.port.isEmpty()) {
      if (devices.isEmpty())
        return Fail(check, QStringLiteral("no USB serial device is plugged in"),
                    QStringLiteral("plug the adapter in (try another cable or USB port); ") + seeList);
      usb_ = devices.first();
      node_ = roots_.dev + QLatin1Char('/') + usb_->tty;
      QString found = QStringLiteral("%1 at %2").arg(Describe(*usb_), node_);
      if (devices.size() > 1)
        found +=
            QStringLiteral("; %1 more USB serial devices (name the adapter's with --port)").arg(devices.size() - 1);
      return Pass(check, found);
    }
    node_ = NamedPath();
    const QFileInfo named(node_);
    const QString tty = named.exists() ? QFileInfo(named.canonicalFilePath()).fileName() : named.fileName();
    for (const UsbSerial& device : devices)
      if (device.tty == tty || device.tty == named.fileName()) {
        usb_ = device;
        return Pass(check, QStringLiteral("%1 at %2").arg(Describe(device), node_));
      }
    if (!named.exists()) {
      const QString missing = node_;
      node_.clear();
      return Fail(check, QStringLiteral("nothing at %1").arg(missing),
                  QStringLiteral("plug the adapter in, or name its device with --port; ") + seeList);
    }
    return Skip(check,
                QStringLiteral("%1 is no USB device (a pseudo-terminal or built-in port): used as named").arg(node_));
  }

  DoctorCheck DeviceAccess() {
    DoctorCheck check = Check("device-access", "device node and rights");
    if (node_.isEmpty()) return Skip(check, QStringLiteral("no device to look at"));
    if (!QFileInfo::exists(node_))
      return Fail(check, QStringLiteral("no device node %1").arg(node_),
                  QStringLiteral("unplug the adapter and plug it in again; if no node appears, see what the kernel "
                                 "said: sudo dmesg | tail"));
    const NodeFacts facts = FactsOf(node_);
    const QString found =
        QStringLiteral("%1: group %2, mode %3").arg(node_, facts.group).arg(facts.mode, 4, 8, QLatin1Char('0'));
    if (MayOpen(node_, roots_)) return Pass(check, found + QStringLiteral("; this user may read and write it"));
    const QString user = OwnUserName(roots_, options_.environment);
    const bool inSession = SessionGroups(roots_).contains(facts.gid);
    const bool listed = GroupMembers(roots_.groupFile, facts.group).contains(user);
    QString mend;
    if (usb_ && FindRule(roots_.udevRules, usb_->ids).state != RuleState::Matching)
      mend = QStringLiteral("install the udev rule: ") + kInstallRule;
    else if (!inSession && listed)
      mend = QStringLiteral("%1 joined %2 after this session began: log out and in (or restart) to take it up")
                 .arg(user, facts.group);
    else if (!inSession)
      mend = QStringLiteral("sudo usermod -aG %1 %2, then log out and in").arg(facts.group, user);
    else
      mend = QStringLiteral("the device's mode gives its group no read and write: ") + kInstallRule;
    return Fail(check, found + QStringLiteral("; this user (%1) may not open it").arg(user), mend);
  }

  DoctorCheck UdevRule() {
    DoctorCheck check = Check("udev-rule", "udev rule");
    if (!usb_) return Skip(check, QStringLiteral("no USB adapter to match"));
    const QString ids = QStringLiteral("USB %1:%2").arg(Hex4(usb_->ids.vendor), Hex4(usb_->ids.product));
    const RuleFinding rule = FindRule(roots_.udevRules, usb_->ids);
    switch (rule.state) {
      case RuleState::Matching: return Pass(check, QStringLiteral("%1 matches %2").arg(rule.file, ids));
      case RuleState::OtherAdapter:
        return Fail(check, QStringLiteral("%1 is for another adapter, not %2").arg(rule.file, ids), kInstallRule);
      case RuleState::Missing: break;
    }
    return Fail(check, QStringLiteral("no rule for %1 in %2").arg(ids, roots_.udevRules.join(QStringLiteral(", "))),
                kInstallRule);
  }

  DoctorCheck OtherPrograms() {
    DoctorCheck check = Check("other-programs", "no other program on it");
    if (node_.isEmpty() || !QFileInfo::exists(node_)) return Skip(check, QStringLiteral("no device to look at"));
    // Every process has /dev/null open: only a terminal line is held by having it open.
    if (const QString kind = NoSerialPortKind(node_); !kind.isEmpty())
      return Skip(check, QStringLiteral("%1 is no serial port (%2): no program holds it as one").arg(node_, kind));
    QStringList targets{QFileInfo(node_).absoluteFilePath()};
    if (const QString canonical = QFileInfo(node_).canonicalFilePath(); !targets.contains(canonical))
      targets << canonical;
    std::vector<Holder> holders;
    QStringList notes;
    int unseen = 0;
#ifdef Q_OS_UNIX
    const qint64 self = ::getpid();
#else
    const qint64 self = 0;
#endif
    const QDir proc(roots_.proc);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      bool isPid = false;
      const qint64 pid = entry.toLongLong(&isPid);
      if (!isPid || pid == self) continue;
      const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
      if (!fds.isReadable()) {
        ++unseen;
        // Those most likely to take the port run as root: at least say that they run.
        const QString name = ProcessName(pid, roots_.proc);
        if (name.compare(QLatin1String("ModemManager"), Qt::CaseInsensitive) == 0 ||
            name.startsWith(QLatin1String("brltty")))
          notes
              << QStringLiteral("%1 runs (pid %2); whether it has the port open only root can see").arg(name).arg(pid);
        continue;
      }
      for (const QString& fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (targets.contains(QFile::symLinkTarget(fds.filePath(fd)))) {
          // The simulated adapter keeps its own pseudo-terminal open: it is the other end, no rival.
          if (IsSimulator(roots_.proc, pid))
            notes << QStringLiteral("served by the simulated adapter, pid %1").arg(pid);
          else
            holders.push_back({ProcessName(pid, roots_.proc), pid, {}, true});
          break;
        }
    }
    QStringList lockNames{QStringLiteral("LCK..") + LockDeviceName()};
    for (const QString& name : LockFileNames(node_))
      if (!lockNames.contains(name)) lockNames << name;
    const QStringList folders = roots_.lockFolders.isEmpty() ? SerialLockFolders() : roots_.lockFolders;
    QList<QPair<dev_t, ino_t>> seen;  // one lock reached through two folders is one lock
    for (const QString& lockName : lockNames)
      for (const QString& folder : folders) {
        const QString lock = QDir(folder).filePath(lockName);
        const QFileInfo info(lock);
        if (!info.exists() && !info.isSymLink()) continue;
        if (info.isSymLink() || !info.isFile())
          return Fail(check, QStringLiteral("the lock %1 is no regular file").arg(lock),
                      QStringLiteral("remove it: sudo rm -r %1").arg(lock));
        QFile file(lock);
        if (!file.open(QIODevice::ReadOnly)) {
          notes << QStringLiteral("the lock %1 cannot be read").arg(lock);
          continue;
        }
#ifdef Q_OS_UNIX
        struct stat status {};
        if (::fstat(file.handle(), &status) == 0) {
          if (seen.contains({status.st_dev, status.st_ino})) continue;
          seen.append({status.st_dev, status.st_ino});
        }
#endif
        const std::optional<qint64> pid = LockFilePid(file.read(128));
        if (!pid || *pid <= 0 || !QFileInfo::exists(QStringLiteral("%1/%2").arg(roots_.proc).arg(*pid))) {
          notes << QStringLiteral("a stale lock %1 (its holder is gone) goes on the next open").arg(lock);
          continue;
        }
        const auto known =
            std::find_if(holders.begin(), holders.end(), [&](const Holder& holder) { return holder.pid == *pid; });
        if (known != holders.end() && known->lock.isEmpty())
          known->lock = lock;
        else if (known == holders.end())
          holders.push_back({ProcessName(*pid, roots_.proc), *pid, lock, false});
      }
    if (!holders.empty()) {
      QStringList found, mends;
      for (const Holder& holder : holders) {
        found << HolderText(holder);
        if (!mends.contains(HolderMend(holder))) mends << HolderMend(holder);
      }
      return Fail(check, QStringLiteral("%1: ").arg(node_) + found.join(QStringLiteral("; ")),
                  mends.join(QStringLiteral("; ")));
    }
    QString found = QStringLiteral("no other program has %1 open or locked").arg(node_);
    if (unseen > 0) notes << QStringLiteral("%1 processes of other users could not be looked into").arg(unseen);
    if (!notes.isEmpty()) found += QStringLiteral(" (%1)").arg(notes.join(QStringLiteral("; ")));
    return Pass(check, found);
  }

  // The lock's name as the serial layer makes it for the node as named: the path under /dev,
  // slashes as underscores.
  QString LockDeviceName() const {
    const QString prefix = roots_.dev + QLatin1Char('/');
    QString name = node_.startsWith(prefix) ? node_.mid(prefix.size()) : QFileInfo(node_).fileName();
    return name.replace(QLatin1Char('/'), QLatin1Char('_'));
  }

  DoctorCheck AdapterAnswer() {
    DoctorCheck check = Check("adapter-answer", "adapter answers");
    if (node_.isEmpty() || !QFileInfo::exists(node_)) return Skip(check, QStringLiteral("no device to ask"));
    SerialPort port(node_);
    AdapterLink link(port);
    QElapsedTimer timer;
    timer.start();
    const AdapterState state = link.PresenceCheck();
    const qint64 ms = timer.elapsed();
    link.ClosePort();
    if (state == AdapterState::Ready)
      return Pass(check, QStringLiteral("the adapter at %1 answered in %2 ms").arg(node_).arg(ms));
    QString found = link.LastFailure().isEmpty() ? QStringLiteral("no answer") : link.LastFailure();
    found += QStringLiteral(" (after %1 ms)").arg(ms);
    if (state == AdapterState::Held)
      return Fail(check, found, QStringLiteral("close the program that holds the port (see above)"));
    if (state == AdapterState::Absent)
      return Fail(check, found, QStringLiteral("the port could not be opened: mend the checks above first"));
    return Fail(check, found,
                QStringLiteral("the port opened but the adapter did not answer: check that it is the adapter's "
                               "port (--port), unplug the adapter and plug it in again"));
  }

  DoctorCheck History() {
    DoctorCheck check = Check("history", "history store");
    if (!options_.history) return Skip(check, QStringLiteral("recording is off (M84DPT_NO_HISTORY)"));
    const HistoryLocation& location = *options_.history;
    const bool sqlite = location.backend == HistoryLocation::Backend::SQLite;
    const QString mend = sqlite ? QStringLiteral(
                                      "make sure the folder %1 is yours and writable (ls -ld), or name another store "
                                      "with M84DPT_HISTORY; a damaged file is set aside by m84dpt history")
                                      .arg(QFileInfo(location.target).absolutePath())
                                : QStringLiteral(
                                      "check that the server is running and reachable (pg_isready) and that this user "
                                      "may insert into its table; or name another store with M84DPT_HISTORY");
    HistoryStore store(location, 2000);
    if (const Outcome opened = store.Open(); !opened) return Fail(check, opened.failure().reason, mend);
    Result<QSqlDatabase> connection = store.Connection();
    if (!connection) return Fail(check, connection.failure().reason, mend);
    QSqlDatabase db = *connection;
    QSqlQuery query(db);
    int schema = -1;
    if (query.exec(sqlite ? QStringLiteral("PRAGMA user_version")
                          : QStringLiteral("SELECT version FROM history_schema")) &&
        query.next())
      schema = query.value(0).toInt();
    query.finish();
    // A record written and taken back: the store proves it can be written and keeps nothing of it.
    HistoryRecord record;
    record.time = QDateTime::currentDateTimeUtc();
    record.user = CurrentUserName();
    record.source = kSourceCommandLine;
    record.operation = OperationName(HistoryOperation::Read);
    record.outcome = kOutcomeFailed;
    record.detail = QStringLiteral("connection check");
    if (!db.transaction())
      return Fail(check, store.StatementFailure(QStringLiteral("record"), db.lastError()).reason, mend);
    QElapsedTimer timer;
    timer.start();
    const Outcome appended = store.Append(record);
    const qint64 ms = timer.elapsed();
    db.rollback();
    if (!appended) return Fail(check, appended.failure().reason, mend);
    return Pass(check, QStringLiteral("%1: schema %2; one record written in %3 ms and taken back")
                           .arg(location.Describe())
                           .arg(schema)
                           .arg(ms));
  }

  DoctorCheck Printing() {
    DoctorCheck check = Check("printing", "printer or PDF");
    if (options_.pdfPrinter)
      return Pass(check, QStringLiteral("reports print into a PDF (report --pdf); the window's Print offers the "
                                        "printers the system knows"));
    return Fail(check, QStringLiteral("this program was built without printing"),
                QStringLiteral("use the m84dpt that comes with the window for PDF reports; meanwhile m84dpt report "
                               "FILE gives the report as text"));
  }

  DoctorCheck Sound() {
    DoctorCheck check = Check("sound", "sound for the beeps");
    QStringList cards;
    QFile list(roots_.proc + QStringLiteral("/asound/cards"));
    if (list.open(QIODevice::ReadOnly))
      for (const QByteArray& line : list.readAll().split('\n'))
        if (const qsizetype colon = line.indexOf("]: "); colon > 0)
          cards << QString::fromLocal8Bit(line.mid(colon + 3)).trimmed();
    const QDir snd(roots_.dev + QStringLiteral("/snd"));
    const QStringList playback = snd.entryList({QStringLiteral("pcmC*D*p")}, QDir::System | QDir::Files);
    const QString cardText =
        cards.isEmpty() ? QStringLiteral("no sound card listed") : cards.join(QStringLiteral(", "));
    if (playback.isEmpty())
      return Fail(check, QStringLiteral("no playback device in %1 (%2)").arg(snd.path(), cardText),
                  QStringLiteral("the beeps stay silent (the pager work does not need them): plug in speakers or "
                                 "headphones, or load the sound card's driver; aplay -l lists what ALSA sees"));
    const bool usable = std::any_of(playback.begin(), playback.end(),
                                    [&](const QString& name) { return MayOpen(snd.filePath(name), roots_); });
    if (!usable)
      return Fail(
          check,
          QStringLiteral("%1 playback devices in %2, none this user may open").arg(playback.size()).arg(snd.path()),
          QStringLiteral("sudo usermod -aG audio %1, then log out and in")
              .arg(OwnUserName(roots_, options_.environment)));
    return Pass(check, QStringLiteral("%1 (%2 playback devices)").arg(cardText).arg(playback.size()));
  }

  DoctorCheck Display() {
    DoctorCheck check = Check("display", "display for the window");
    for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
      const QString value = options_.environment.value(QLatin1String(variable));
      if (!value.isEmpty()) return Pass(check, QStringLiteral("%1=%2").arg(QLatin1String(variable), value));
    }
    return Fail(check, QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set"),
                QStringLiteral("the window needs a desktop: start m84dpt there, or over ssh -X; every command works "
                               "without one"));
  }

  const DoctorOptions& options_;
  const DoctorRoots& roots_;
  QString node_;
  std::optional<UsbSerial> usb_;
};

// Device names and product strings come from the system and reach a terminal: no control bytes.
QString Printable(const QString& text) {
  QString printable;
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F || (c.unicode() >= 0x80 && c.unicode() < 0xA0))
      printable += QStringLiteral("\\x%1")
                       .arg(c.unicode(), 2, 16, QLatin1Char('0'))
                       .toUpper()
                       .replace(QLatin1String("\\X"), QLatin1String("\\x"));
    else
      printable += c;
  }
  return printable;
}

QString Mark(CheckState state) {
  switch (state) {
    case CheckState::Passed: return QStringLiteral("\u2713");
    case CheckState::Failed: return QStringLiteral("\u2717");
    case CheckState::Skipped: break;
  }
  return QStringLiteral("-");
}

}  // namespace

DoctorOptions SystemDoctorOptions(const QString& port, const QString& historyPreference, bool pdfPrinter) {
  DoctorOptions options;
  options.port = AdapterPortName(port);
  if (HistoryEnabledByEnvironment()) options.history = DefaultHistoryLocation(historyPreference);
  options.pdfPrinter = pdfPrinter;
  const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "USER"})
    options.environment.insert(QLatin1String(name), environment.value(QLatin1String(name)));
  return options;
}

std::vector<DoctorCheck> RunConnectionDoctor(const DoctorOptions& options) { return Doctor(options).Run(); }

QString CheckStateName(CheckState state) {
  switch (state) {
    case CheckState::Passed: return QStringLiteral("pass");
    case CheckState::Failed: return QStringLiteral("fail");
    case CheckState::Skipped: break;
  }
  return QStringLiteral("skipped");
}

bool AllPassed(const std::vector<DoctorCheck>& checks) {
  return std::none_of(checks.begin(), checks.end(),
                      [](const DoctorCheck& check) { return check.state == CheckState::Failed; });
}

QString DoctorTable(const std::vector<DoctorCheck>& checks) {
  qsizetype width = 0;
  for (const DoctorCheck& check : checks) width = std::max(width, check.title.size());
  const QString indent(width + 4, QLatin1Char(' '));
  QString text;
  int failed = 0;
  for (const DoctorCheck& check : checks) {
    text += Mark(check.state) + QLatin1Char(' ') + check.title.leftJustified(width + 2) + Printable(check.found) +
            QLatin1Char('\n');
    if (check.state == CheckState::Failed) {
      ++failed;
      text += indent + QStringLiteral("mend: ") + Printable(check.mend) + QLatin1Char('\n');
    }
  }
  text += failed == 0 ? QStringLiteral("All checks passed.\n")
                      : QStringLiteral("%1 of %2 checks failed.\n").arg(failed).arg(checks.size());
  return text;
}

}  // namespace m84
