#pragma once
// The pager's whole 2048-byte memory saved as a binary file or as a C-array text.
//
// The window's "RS" (busy set around it, like a pager read): ReadMemory on the transfer's thread,
// then the save dialog and SaveMemory on the window's. The command line:
//   MemoryDump(link, adapterReady, [&](const QString& title) { return out; }, host);

#include <QByteArray>
#include <QString>

#include "core/link/adapter_link.h"
#include "core/link/binary_tools.h"

namespace m84 {

inline const QString kDumpFilter = QStringLiteral("Data File (*.BIN);;Data File (*.TXT);;All File (*.*)");
inline const QString kDumpDialogTitle = QStringLiteral("Save Data File");

enum class DumpOutcome { ReadFailed, Cancelled, SaveFailed, Saved };

// The file's contents for a chosen name: the C-array text when its extension is TXT in any
// case, otherwise the raw bytes.
QByteArray DumpFileContents(const QString& path, const uint8_t* memory);

// The "RS" flow. The port is used as the presence check left it: adapterReady false (no
// adapter answered) fails like a failed block read. The image is never touched.
DumpOutcome MemoryDump(AdapterLink& link, bool adapterReady, const ChooseFile& chooseSaveFile, TransferHost& host);

// Its two halves, for a caller that reads on one thread and asks for the file on another: the
// whole memory, or "Read Pager error !"; then the memory saved under the chosen name (empty: the
// dialog was cancelled).
Result<PagerImage> ReadMemory(AdapterLink& link, bool adapterReady, TransferHost& host);
DumpOutcome SaveMemory(const PagerImage& memory, const QString& chosen, TransferHost& host);

}  // namespace m84
