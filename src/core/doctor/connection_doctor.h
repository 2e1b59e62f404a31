#pragma once
// "Why does it not work here?": the checks a technician or support would make by hand before
// anything else, in the order one depends on the next (the USB device, its node and rights,
// other programs on it, the adapter's answer), then what the rest of the program needs (the
// history, printing, sound, a display). Each check says what it found and, when it failed, how
// to mend it.
//
// The system folders are roots that a test points into a scratch tree.

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "core/history/history_store.h"

namespace m84 {

struct DoctorRoots {
  QString sysfs = QStringLiteral("/sys");
  QString dev = QStringLiteral("/dev");
  QString proc = QStringLiteral("/proc");
  // Where the udev rule is looked for, the installed folder first.
  QStringList udevRules = {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
                           QStringLiteral("/usr/lib/udev/rules.d"), QStringLiteral("/lib/udev/rules.d")};
  QString groupFile = QStringLiteral("/etc/group");
  // Empty: the folders the serial layer keeps its locks in.
  QStringList lockFolders;
  // The groups this session runs with; empty: the process's own.
  QList<unsigned> sessionGroups;
  // Whose rights are checked: nothing for this process's (access(2), ACLs included); a user id
  // and name to judge a node by its mode bits alone, as that user would meet it.
  std::optional<unsigned> userId;
  QString userName;
};

enum class CheckState { Passed, Failed, Skipped };

struct DoctorCheck {
  QString id;     // stable, for support's scripts: "usb-device", "device-access", ...
  QString title;  // "USB device"
  CheckState state = CheckState::Passed;
  QString found;  // what was found, passed or not
  QString mend;   // how to mend a failure; empty otherwise
};

struct DoctorOptions {
  DoctorRoots roots;
  // The port named (--port, M84DPT_PORT); empty: the first USB serial device, as the commands choose.
  QString port;
  // Nothing: recording is off.
  std::optional<HistoryLocation> history;
  bool pdfPrinter = false;
  // DISPLAY, WAYLAND_DISPLAY, USER: the environment's, unless a test says otherwise.
  QMap<QString, QString> environment;
};

// The options for this machine: the real roots and environment, the history as the commands find it.
DoctorOptions SystemDoctorOptions(const QString& port, const QString& historyPreference, bool pdfPrinter);

std::vector<DoctorCheck> RunConnectionDoctor(const DoctorOptions& options);

// "pass", "fail", "skipped".
QString CheckStateName(CheckState state);

// True when no check failed.
bool AllPassed(const std::vector<DoctorCheck>& checks);

// The checks as `m84dpt doctor` prints them and the window shows them: a line a check, ✓, ✗ or -
// and what was found, a failure's mend below it, and the count of failures at the end.
QString DoctorTable(const std::vector<DoctorCheck>& checks);

}  // namespace m84
