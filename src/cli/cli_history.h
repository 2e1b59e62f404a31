#pragma once
// The command line's side of the programming history: --no-history and --backup on the pager
// commands, the recording after each read and write, and the "history" command.

#include <QCommandLineOption>

#include "cli/command_line.h"
#include "core/history/pager_history.h"
#include "core/link/adapter_link.h"

namespace m84 {

class TransferInterrupts;

QCommandLineOption NoHistoryOption();
QCommandLineOption BackupOption();

// The preference "history" of this user, for PagerHistory::ForProgram.
QString PreferredHistoryLocation();

// The command's history: off with --no-history or M84DPT_NO_HISTORY.
PagerHistory CommandHistory(const CommandParser& parser, const QString& source);

// Records the operation; what went wrong with the history goes to standard error, and the
// operation's own result stands. False when the record was not kept.
// serial: the one to file the record under where it is not the image's (FailedWriteSerial).
bool RecordTransfer(PagerHistory& history, const PagerTransfer& transfer, const AdapterLink& link,
                    const std::optional<QString>& serial = std::nullopt);

// --backup: reads the whole pager into a copy of `data` and records it as the pager's state
// before the write. False when the pager could not be read or its state could not be kept:
// the write must not start, since it could not be undone. serial: given the serial number the
// pager held, once it was read (the record of a write that fails is filed under it).
bool BackUpPager(AdapterLink& link, const PagerData& data, const QString& file, PagerHistory& history,
                 TransferInterrupts* interrupts, std::optional<QByteArray>* serial = nullptr);

// --backup cannot keep anything with the history off: the usage error's text, or empty.
QString BackupNeedsHistory(const CommandParser& parser);

}  // namespace m84
