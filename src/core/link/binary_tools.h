#pragma once
// The technician's two file tools: the pager memory as a C-array text, and the byte-by-byte
// compare of two memory files into the listing "CMP.TXT".
//
// The window's "CF":
//   BinaryCompare([&](const QString& title) { return dialogs.OpenFileName(this, title, kCompareFilter); },
//                 std::nullopt, *this);   // "CMP.TXT" beside file 1

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "core/image/dat_file.h"
#include "core/image/operation_host.h"
#include "core/image/pager_image.h"

namespace m84 {

constexpr int kDumpSize = kImageSize;  // the pager's whole memory, 0x000-0x7FF
constexpr int kDumpRowSize = 16;
constexpr int kDumpRowCount = kDumpSize / kDumpRowSize;  // 128

// A compare input shorter than the memory counts as zero bytes from its end on: a fixed,
// visible value, so the listing never depends on what was in memory before.
constexpr uint8_t kMissingCompareByte = 0x00;

inline const QString kBinaryExtension = QStringLiteral(".BIN");
inline const QString kCompareListingName = QStringLiteral("CMP.TXT");
inline const QString kCompareFilter = QStringLiteral("Binary File (*.BIN);;All File (*.*)");

// 128 lines "0x5A,0xC3,...0x..., //000 Z.......\r\n": 16 bytes each, their offset, their characters.
QByteArray CArrayDump(const uint8_t* memory);

// Line A of every 16-byte row (file 1), and line B under it (file 2 where it differs) for
// rows with a difference. Both inputs are taken as kDumpSize bytes (see kMissingCompareByte).
QByteArray CompareListing(const QByteArray& file1, const QByteArray& file2);

// What a compare found, beyond the fixed status texts, for the command line.
struct CompareSummary {
  int differing = 0;         // bytes that differ, over the whole memory
  int firstDifference = -1;  // offset of the first, or -1
  int size1 = 0;             // bytes read from each input (at most kDumpSize)
  int size2 = 0;
  qint64 fileSize1 = 0;  // each input's whole size: bytes past kDumpSize are not compared
  qint64 fileSize2 = 0;  // (a data file counts as its image)
  // Two data files: their selection blocks compared too; -1 when either input is no data file.
  int selectionDiffering = -1;
  int firstSelectionDifference = -1;
  // Anything differs: a byte, a size, the selection blocks.
  bool Differ() const { return differing > 0 || fileSize1 != fileSize2 || selectionDiffering > 0; }
};
CompareSummary SummarizeCompare(const QByteArray& file1, const QByteArray& file2);

// The dialog titles, "Select Compare Binary File 1" and "... 2".
QString CompareDialogTitle(int fileNumber);

// Asks for a file under a dialog title; an empty text means cancelled.
using ChooseFile = std::function<QString(const QString& title)>;

enum class CompareOutcome { Cancelled, InputFailed, OutputFailed, Written };

struct CompareResult {
  CompareOutcome outcome = CompareOutcome::Cancelled;
  QString listingPath;  // where the listing went (or would have gone)
  CompareSummary summary;
};

// The "CF" flow: two files chosen, read (".BIN" added to a name without extension that does not
// exist as typed; at most kDumpSize bytes each, a data file taken as its image and selection block), compared into the
// listing at listingPath, or "CMP.TXT" in file 1's folder when none is given. Fixed status texts on failure, the
// confirm beep on success. The listing is saved with `save` (by default atomically, as every file of ours).
using SaveListing = std::function<Outcome(const QString& path, const QByteArray& bytes)>;
CompareResult BinaryCompare(const ChooseFile& chooseFile, const std::optional<QString>& listingPath,
                            OperationHost& host, const SaveListing& save = WriteFileAtomically);

// The file a compare reads for a chosen name: the name as typed when it exists, else with ".BIN".
QString ComparedPath(const QString& chosenPath);

}  // namespace m84
