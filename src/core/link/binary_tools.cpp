#include "core/link/binary_tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "core/image/dat_file.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

constexpr int kGroupSize = 4;  // an extra blank after every fourth byte of a listing row
constexpr char kFirstPrintable = 0x20;
constexpr char kLastPrintable = 0x7E;
const char kLineEnd[] = "\r\n";
constexpr char kHexDigits[] = "0123456789ABCDEF";

char Printable(uint8_t byte) {
  const char c = static_cast<char>(byte);
  return byte >= kFirstPrintable && byte <= kLastPrintable ? c : '.';
}

void AppendHex(QByteArray& out, unsigned value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out.append(kHexDigits[(value >> shift) & 0xF]);
}

bool EndsGroup(int column) { return (column + 1) % kGroupSize == 0 && column + 1 < kDumpRowSize; }

// Both inputs at full size, the missing tail filled; never longer than the memory.
QByteArray ToDumpSize(const QByteArray& file) {
  QByteArray bytes = file.left(kDumpSize);
  bytes.append(kDumpSize - bytes.size(), static_cast<char>(kMissingCompareByte));
  return bytes;
}

uint8_t ByteAt(const QByteArray& bytes, int offset) { return static_cast<uint8_t>(bytes[offset]); }

void AppendLineA(QByteArray& out, const QByteArray& file1, int row) {
  out.append('[');
  AppendHex(out, static_cast<unsigned>(row), 4);
  out.append("]: ");
  for (int column = 0; column < kDumpRowSize; ++column) {
    AppendHex(out, ByteAt(file1, row + column), 2);
    out.append(' ');
    if (EndsGroup(column)) out.append(' ');
  }
  out.append(' ');
  for (int column = 0; column < kDumpRowSize; ++column) out.append(Printable(ByteAt(file1, row + column)));
  out.append(kLineEnd);
}

void AppendLineB(QByteArray& out, const QByteArray& file1, const QByteArray& file2, int row) {
  out.append("        ");  // under "[XXXX]: "
  for (int column = 0; column < kDumpRowSize; ++column) {
    const uint8_t byte = ByteAt(file2, row + column);
    if (byte == ByteAt(file1, row + column)) {
      out.append("   ");
    } else {
      AppendHex(out, byte, 2);
      out.append(' ');
    }
    if (EndsGroup(column)) out.append(' ');
  }
  out.append(' ');
  for (int column = 0; column < kDumpRowSize; ++column) {
    const uint8_t byte = ByteAt(file2, row + column);
    out.append(byte == ByteAt(file1, row + column) ? ' ' : Printable(byte));
  }
  out.append(kLineEnd);
}

bool RowDiffers(const QByteArray& file1, const QByteArray& file2, int row) {
  return file1.mid(row, kDumpRowSize) != file2.mid(row, kDumpRowSize);
}

struct CompareInput {
  QString path;
  QByteArray bytes;                         // at most kDumpSize of them
  qint64 size = 0;                          // the file's whole size
  QString failure;                          // why it would not open; empty when it did
  std::optional<SelectionState> selection;  // a data file's selection block
};

// A data file is compared on its image, as the pager holds it: its scrambled bytes change with
// every save, so two saves of the same settings would differ nearly everywhere.
CompareInput ReadCompareInput(const QString& chosenPath) {
  CompareInput input;
  input.path = ComparedPath(chosenPath);
  if (const std::optional<FileProblem> problem = InputPathProblem(input.path)) {
    input.failure = problem->reason;
    return input;
  }
  QFile file(input.path);
  if (!file.open(QIODevice::ReadOnly)) {
    input.failure = OpenFailure(file);
    return input;
  }
  const QByteArray head = file.read(std::max(kDumpSize, kDatFileSize));
  input.size = std::max<qint64>(file.size(), head.size());
  if (const std::optional<PagerData> data = input.size == kDatFileSize ? DecodeDatFile(head) : std::nullopt) {
    input.bytes = QByteArray(reinterpret_cast<const char*>(data->image.data()), kImageSize);
    input.size = kImageSize;
    input.selection = data->selection;
    return input;
  }
  input.bytes = head.left(kDumpSize);
  return input;
}

void CompareSelections(const CompareInput& first, const CompareInput& second, CompareSummary& summary) {
  if (!first.selection || !second.selection) return;
  summary.selectionDiffering = 0;
  for (int i = 0; i < kSelectionSize; ++i) {
    if ((*first.selection)[i] == (*second.selection)[i]) continue;
    if (summary.firstSelectionDifference < 0) summary.firstSelectionDifference = i;
    ++summary.selectionDiffering;
  }
}

QString InputErrorText(int fileNumber) { return kOpenNumberedDataFileError.arg(fileNumber); }

}  // namespace

QByteArray CArrayDump(const uint8_t* memory) {
  QByteArray out;
  for (int row = 0; row < kDumpSize; row += kDumpRowSize) {
    for (int column = 0; column < kDumpRowSize; ++column) {
      out.append("0x");
      AppendHex(out, memory[row + column], 2);
      out.append(',');
    }
    out.append(" //");
    AppendHex(out, static_cast<unsigned>(row), 3);
    out.append(' ');
    for (int column = 0; column < kDumpRowSize; ++column) out.append(Printable(memory[row + column]));
    out.append(kLineEnd);
  }
  return out;
}

QByteArray CompareListing(const QByteArray& file1, const QByteArray& file2) {
  const QByteArray a = ToDumpSize(file1);
  const QByteArray b = ToDumpSize(file2);
  QByteArray out;
  for (int row = 0; row < kDumpSize; row += kDumpRowSize) {
    AppendLineA(out, a, row);
    if (RowDiffers(a, b, row)) AppendLineB(out, a, b, row);
  }
  return out;
}

CompareSummary SummarizeCompare(const QByteArray& file1, const QByteArray& file2) {
  CompareSummary summary;
  summary.size1 = static_cast<int>(std::min<qsizetype>(file1.size(), kDumpSize));
  summary.size2 = static_cast<int>(std::min<qsizetype>(file2.size(), kDumpSize));
  const QByteArray a = ToDumpSize(file1);
  const QByteArray b = ToDumpSize(file2);
  for (int offset = 0; offset < kDumpSize; ++offset) {
    if (a[offset] == b[offset]) continue;
    if (summary.firstDifference < 0) summary.firstDifference = offset;
    ++summary.differing;
  }
  return summary;
}

// A name that exists is the file meant, even without an extension.
QString ComparedPath(const QString& chosenPath) {
  return QFileInfo::exists(chosenPath) ? chosenPath : WithDefaultExtension(chosenPath, kBinaryExtension);
}

QString CompareDialogTitle(int fileNumber) { return QStringLiteral("Select Compare Binary File %1").arg(fileNumber); }

CompareResult BinaryCompare(const ChooseFile& chooseFile, const std::optional<QString>& listingPath,
                            OperationHost& host, const SaveListing& save) {
  CompareResult result;
  CompareInput inputs[2];
  for (int number = 1; number <= 2; ++number) {
    const QString chosen = chooseFile(CompareDialogTitle(number));
    if (chosen.isEmpty()) return result;
    CompareInput& input = inputs[number - 1];
    input = ReadCompareInput(chosen);
    if (!input.failure.isEmpty()) {
      host.ShowStatus(InputErrorText(number));
      host.ShowFileProblem(input.path, input.failure);
      result.outcome = CompareOutcome::InputFailed;
      return result;
    }
  }
  // A desktop program has no meaningful current folder: the listing goes beside file 1.
  result.listingPath =
      listingPath ? *listingPath : QFileInfo(inputs[0].path).absoluteDir().filePath(kCompareListingName);
  result.summary = SummarizeCompare(inputs[0].bytes, inputs[1].bytes);
  result.summary.fileSize1 = inputs[0].size;
  result.summary.fileSize2 = inputs[1].size;
  CompareSelections(inputs[0], inputs[1], result.summary);
  if (const Outcome written = save(result.listingPath, CompareListing(inputs[0].bytes, inputs[1].bytes)); !written) {
    host.ShowStatus(kOpenCompareResultError);
    host.ShowFileProblem(result.listingPath, written.failure().reason);
    result.outcome = CompareOutcome::OutputFailed;
    return result;
  }
  host.Sound(Beep::Confirm);
  result.outcome = CompareOutcome::Written;
  return result;
}

}  // namespace m84
