#pragma once
// The command-line commands. Each takes the arguments after its own name and returns the exit
// code: 0 success, 1 the operation failed, 2 usage error.

#include <QStringList>

#include "core/report/report_layout.h"

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
int RunPortsCommand(const QStringList& arguments);
int RunHistoryCommand(const QStringList& arguments);
int RunFleetCommand(const QStringList& arguments);
int RunDoctorCommand(const QStringList& arguments);
int RunPageCommand(const QStringList& arguments);
int RunHelpCommand(const QStringList& arguments);

// Printing a report into a PDF needs fonts and a paint device, which the command line does not
// link: the program hands "report --pdf" the window's printer before any command runs. Without
// one, "report --pdf" says that this build cannot print.
using PdfReportPrinter = bool (*)(const QString& path, DisplayMode mode, const SectionPrinter& printSection);
void UsePdfReportPrinter(PdfReportPrinter printer);
// Whether a printer was handed over: what "doctor" reports for printing.
bool PdfReportPrinterSet();

}  // namespace m84
