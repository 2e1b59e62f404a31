// "doctor": what stands between this user and a working adapter, as a table or as JSON for support.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/doctor_command.h"
#include "cli/link_options.h"
#include "core/link/serial_port.h"

namespace m84 {

namespace {

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

QString Table(const std::vector<DoctorCheck>& checks) {
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

QString Json(const std::vector<DoctorCheck>& checks) {
  QJsonArray list;
  for (const DoctorCheck& check : checks) {
    QJsonObject entry{{QStringLiteral("id"), check.id},
                      {QStringLiteral("title"), check.title},
                      {QStringLiteral("status"), CheckStateName(check.state)},
                      {QStringLiteral("found"), check.found}};
    if (check.state == CheckState::Failed) entry.insert(QStringLiteral("mend"), check.mend);
    list.append(entry);
  }
  const QJsonObject document{{QStringLiteral("passed"), AllPassed(checks)}, {QStringLiteral("checks"), list}};
  return QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
}

}  // namespace

int RunDoctor(const QStringList& arguments, DoctorOptions defaults, QString& output) {
  CommandParser parser(QStringLiteral("doctor"));
  const QCommandLineOption portOption = PortOption();
  const QCommandLineOption jsonOption(QStringLiteral("json"),
                                      QStringLiteral("Give the checks as JSON, for support, instead of a table."));
  parser.addOption(portOption);
  parser.addOption(jsonOption);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  if (parser.isSet(portOption)) defaults.port = parser.value(portOption);
  const std::vector<DoctorCheck> checks = RunConnectionDoctor(defaults);
  output = parser.isSet(jsonOption) ? Json(checks) : Table(checks);
  return AllPassed(checks) ? 0 : 1;
}

int RunDoctorCommand(const QStringList& arguments) {
  QString output;
  const int exitCode = RunDoctor(
      arguments, SystemDoctorOptions(AdapterPortName(), PreferredHistoryLocation(), PdfReportPrinterSet()), output);
  std::fputs(output.toUtf8().constData(), stdout);
  std::fflush(stdout);
  return exitCode;
}

}  // namespace m84
