#include "app/command_line.h"

#include "app/commands.h"

namespace m84 {

namespace {
const CommandEntry kCommands[] = {
    {"new", RunNewCommand},
    {"convert", RunConvertCommand},
    {"report", RunReportCommand},
    {"read", RunReadCommand},
    {"write", RunWriteCommand},
    {"probe", RunProbeCommand},
    {"simulate", RunSimulateCommand},
    {"dump", RunDumpCommand},
    {"compare", RunCompareCommand},
    {"udev-rule", RunUdevRuleCommand},
};
}  // namespace

const CommandEntry* FindCommand(const QStringList& arguments) {
  if (arguments.size() < 2) return nullptr;
  for (const CommandEntry& entry : kCommands)
    if (arguments[1] == QLatin1String(entry.name)) return &entry;
  return nullptr;
}

}  // namespace m84
