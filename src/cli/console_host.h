#pragma once
// The command line's stand-in for the window: status texts on standard output, no beeps, the
// reasons and warnings on standard error, a progress bar on a terminal and the Ctrl+C rule of the
// command that runs. The commands keep their page models themselves (a ModelPageSet).

#include <QCommandLineOption>
#include "core/image/dat_file.h"

#include "cli/terminal_progress.h"
#include "core/link/adapter_link.h"

namespace m84 {

class TransferInterrupts;

class ConsoleHost : public TransferHost {
 public:
  void SetInterrupts(TransferInterrupts* interrupts) { interrupts_ = interrupts; }

  void ShowStatus(const QString& text) override;
  void Sound(Beep) override {}
  void SetProgress(int position) override { progress_.Show(position); }
  void ShowFileProblem(const QString& path, const QString& reason) override;
  void ShowFileSaved(const QString& path) override;
  bool StopRequested() override;
  void ShowWarning(const QString& text) override;

 private:
  TerminalProgress progress_;
  TransferInterrupts* interrupts_ = nullptr;
};

// A reason on standard error beside the status text, for scripts and people at a terminal.
void PrintReason(const QString& reason);

// An output that cannot be a file (a folder, a name ending in a separator) is refused before
// anything is read or written: the operation's status text, if it has one, on standard output
// and the reason on standard error. True when refused.
bool RefuseOutput(const QString& typed, const QString& defaultExtension, const QString& statusText);

// An output that a save could not replace (a folder that is missing or cannot be written, a
// disk that is full), found before a transfer that would be lost: refused like RefuseOutput.
bool RefuseUnwritable(const QString& path, qsizetype size, const QString& statusText);

// "-" as an output names standard output, as for other tools.
inline const QString kStandardOutputName = QStringLiteral("-");
// The bytes on standard output; the system's reason when they did not all get there (a closed
// pipe, a full disk behind a redirection).
Outcome WriteToStandardOutput(const QByteArray& bytes);
// Saves to standard output for "-" (and its names /dev/stdout, /dev/fd/1), straight into a
// character device (/dev/null, a terminal), which is never replaced, else atomically to the file.
Outcome SaveOutput(const QString& path, const QByteArray& bytes);
// An output that takes a stream (a listing, a PDF, a restored state): "-" and its names, or a
// character device, are accepted as they are; anything else as RefuseOutput says.
bool RefuseStreamOutput(const QString& typed, const QString& defaultExtension, const QString& statusText);
// "-" for a name of standard output, else the name as typed.
QString StreamOutputName(const QString& typed);
bool IsCharacterDevice(const QString& path);

// --base FILE: what a settings text is read over; the default settings without it.
QCommandLineOption BaseOption();
// --strict of write and fleet run: settings holding a value the window would refuse are not written.
QCommandLineOption StrictOption();
// Settings holding values the window would refuse (a settings text gives them marked as read from
// a pager): each is named on standard error unless its load named it already (`named`); true when
// `strict` refuses them, which says so.
bool RefusedAsRead(const QString& file, const PagerData& data, bool strict, bool named);
// The file's settings into data; a settings text is read over basePath's settings when one is
// named. False, with the status text and reason out, when either cannot be loaded.
Outcome LoadSettingsOverBase(const QString& basePath, const QString& path, PagerData& data, OperationHost& host);
// The same, where path may also be "-" (standard input) or, with pipes, a pipe (a FIFO, or the
// shell's "<(...)"): read once, never seeked, at most LargestSettingsInput() bytes, its form told
// by its size and shape.
Outcome LoadSettingsInput(const QString& basePath, const QString& path, PagerData& data, OperationHost& host,
                          bool pipes = false);
inline const QString kStandardInputName = QStringLiteral("-");

}  // namespace m84
