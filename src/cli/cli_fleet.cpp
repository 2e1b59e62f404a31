// "fleet": an order of pagers, each with its own settings from a row of a CSV table, checked,
// programmed on one adapter or several, and followed in the programming history.
#include <QHash>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "core/fleet/fleet_order.h"

namespace m84 {

namespace {

using namespace fleet;

const QString kCheckAction = QStringLiteral("check");
const QString kRunAction = QStringLiteral("run");
const QString kStatusAction = QStringLiteral("status");

void Print(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stdout);
  std::fflush(stdout);
}

void PrintError(const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stderr);
  std::fflush(stderr);
}

struct FleetOptions {
  QCommandLineOption templateFile{QStringLiteral("template"),
                                  QStringLiteral("Every setting a row does not give comes from this data file, raw "
                                                 "image (.BIN) or settings text (.yaml); default: the default "
                                                 "settings."),
                                  QStringLiteral("FILE")};
  QCommandLineOption order{QStringLiteral("order"),
                           QStringLiteral("The order's name in the history; default: ORDER's file name without its "
                                          "folder and extension, so that every bench's copy is the same order."),
                           QStringLiteral("NAME")};
};

// The order read over its template, or the exit code after its faults were printed.
struct LoadedOrder {
  std::optional<Order> order;
  int exitCode = 0;
};

LoadedOrder ReadAndCheck(const QString& path, const QString& templatePath, const QString& name) {
  const Result<PagerData> templateData = LoadOrderTemplate(templatePath);
  if (!templateData) {
    PrintReason(QStringLiteral("template %1").arg(templateData.failure().reason));
    return {std::nullopt, 1};
  }
  Result<Order> order = LoadOrder(path, *templateData);
  if (!order) {
    PrintReason(order.failure().reason);
    return {std::nullopt, 1};
  }
  Order checked = std::move(order).value();
  if (!name.isEmpty()) checked.name = name;
  for (const OrderFault& fault : checked.faults) PrintError(fault.Text(path) + QLatin1Char('\n'));
  return {std::move(checked), 0};
}

int Check(const QString& path, const QString& templatePath, const QString& name) {
  LoadedOrder loaded = ReadAndCheck(path, templatePath, name);
  if (!loaded.order) return loaded.exitCode;
  const Order& order = *loaded.order;
  if (order.Refused()) return 1;
  Print(QStringLiteral("%1: %2 row(s) ready\n").arg(path).arg(order.rows.size()));
  return 0;
}

}  // namespace

int RunFleetCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("fleet"));
  parser.addPositionalArgument(
      QStringLiteral("ACTION"),
      QStringLiteral("\"check\": check every row as a settings text is checked and report every fault as "
                     "ORDER:ROW:COLUMN: message; nothing is written."));
  parser.addPositionalArgument(QStringLiteral("ORDER"),
                               QStringLiteral("The order: a CSV table (UTF-8) with a header row of settings keys "
                                              "(general.capcodes[1].capcode, display.standby_text_1, general.serial; "
                                              "\"label\" for free text) and one row per pager."));
  const FleetOptions options;
  parser.addOption(options.templateFile);
  parser.addOption(options.order);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString action = parser.positionalArguments()[0];
  const QString path = parser.positionalArguments()[1];
  if (action == kCheckAction) return Check(path, parser.value(options.templateFile), parser.value(options.order));
  return parser.UsageError(QStringLiteral("unknown action '%1'; use check").arg(action));
}

}  // namespace m84
