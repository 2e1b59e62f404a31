#pragma once
// The command-line commands. Each takes the arguments after its own name and returns the exit
// code: 0 success, 1 the operation failed, 2 usage error.

#include <QStringList>

namespace m84 {

int RunNewCommand(const QStringList& arguments);
int RunConvertCommand(const QStringList& arguments);
int RunReportCommand(const QStringList& arguments);
int RunReadCommand(const QStringList& arguments);
int RunWriteCommand(const QStringList& arguments);
int RunProbeCommand(const QStringList& arguments);
int RunSimulateCommand(const QStringList& arguments);
int RunDumpCommand(const QStringList& arguments);
int RunCompareCommand(const QStringList& arguments);
int RunDiffCommand(const QStringList& arguments);
int RunUdevRuleCommand(const QStringList& arguments);
int RunHistoryCommand(const QStringList& arguments);
int RunPortsCommand(const QStringList& arguments);
int RunHelpCommand(const QStringList& arguments);

}  // namespace m84
