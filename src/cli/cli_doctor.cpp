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
  output = parser.isSet(jsonOption) ? Json(checks) : DoctorTable(checks);
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
