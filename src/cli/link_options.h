#pragma once
// What the commands that reach the adapter share: the options that name the port and the serial
// trace, declared here once, and the report of a failed write.

#include <QCommandLineOption>
#include <QString>
#include <optional>

#include "cli/command_line.h"
#include "core/link/adapter_link.h"
#include "core/link/serial_port.h"
#include "core/link/serial_trace.h"

namespace m84 {

// --port DEVICE. Each command says what the device is for it; most take the adapter's own words.
inline const QString kAdapterPortHelp =
    QStringLiteral("The adapter's serial device (default: $M84DPT_PORT, else the first USB serial device).");
QCommandLineOption PortOption(const QString& description = kAdapterPortHelp);
// --trace FILE.
QCommandLineOption TraceOption();
// --simulator: the built-in simulated adapter and pager instead of a port.
QCommandLineOption SimulatorOption();

// With --trace FILE: opens FILE for appending and puts the trace on the port. False (the
// reason printed) when FILE cannot be opened, is no trace of ours or is one of ownFiles (the
// command's input and output, as it will open them); true without the option.
bool StartTrace(const CommandParser& parser, const QString& command, SerialPort& port, SerialTrace& trace,
                const QStringList& ownFiles = {});
// The command's exit code once its trace is counted: 1 for an operation that went well but whose
// trace was lost (said on standard error when it was); any other code as it is.
int WithTraceOutcome(const SerialTrace& trace, int exitCode);

// --keep-serial (true), --no-keep-serial (false) or neither (nothing: the file's General page box
// decides, KeepPagerSerialNumber).
std::optional<bool> KeepSerialChoice(const CommandParser& parser);

// A write that did not end in "DPT Verify ok !": the reason, what the pager now holds when the
// write stopped part-way; the exit code, 130 after Ctrl+C as the shell expects.
int ReportWriteFailure(const AdapterLink& link);

}  // namespace m84
