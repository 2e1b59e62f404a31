#include "core/link/memory_dump.h"

#include <QFileInfo>

#include "core/image/dat_file.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

constexpr int kDumpFirst = 0x000;
constexpr int kDumpLast = kDumpSize - 1;
const QString kTextSuffix = QStringLiteral("TXT");

bool IsTextDump(const QString& path) { return QFileInfo(path).suffix().toUpper() == kTextSuffix; }

void Show(TransferHost& host, const QString& text) {
  host.ShowStatus(text);
  host.Pump();
}

DumpOutcome Finish(TransferHost& host, DumpOutcome outcome) {
  host.SetProgress(0);
  host.Pump();
  return outcome;
}

}  // namespace

QByteArray DumpFileContents(const QString& path, const uint8_t* memory) {
  if (IsTextDump(path)) return CArrayDump(memory);
  return QByteArray(reinterpret_cast<const char*>(memory), kDumpSize);
}

Result<PagerImage> ReadMemory(AdapterLink& link, bool adapterReady, TransferHost& host) {
  Show(host, kReadingPager);
  PagerImage memory;
  if (!adapterReady || !link.ReadBlocks(kDumpFirst, kDumpLast, memory.data(), &host)) {
    // Left alone, "Reading Pager ... " would look like a transfer still running.
    Show(host, kReadPagerError);
    host.Sound(Beep::Error);
    Finish(host, DumpOutcome::ReadFailed);
    return Failed(kReadPagerError, link.LastFailure());
  }
  return memory;
}

DumpOutcome MemoryDump(AdapterLink& link, bool adapterReady, const ChooseFile& chooseSaveFile, TransferHost& host) {
  const Result<PagerImage> memory = ReadMemory(link, adapterReady, host);
  if (!memory) return DumpOutcome::ReadFailed;
  return SaveMemory(*memory, chooseSaveFile(kDumpDialogTitle), host);
}

DumpOutcome SaveMemory(const PagerImage& memory, const QString& chosen, TransferHost& host) {
  if (chosen.isEmpty()) return Finish(host, DumpOutcome::Cancelled);
  const QString path = WithDefaultExtension(chosen, kBinaryExtension);
  const std::optional<FileProblem> problem = OutputPathProblem(chosen, kBinaryExtension);
  const Outcome saved = problem ? Outcome(Failed(QString(), problem->reason))
                                : WriteFileAtomically(path, DumpFileContents(path, memory.data()));
  if (!saved) {
    Show(host, kSaveDataFileError);
    host.ShowFileProblem(problem ? problem->path : path, saved.failure().reason);
    return Finish(host, DumpOutcome::SaveFailed);
  }
  Show(host, kFileSavedOk);
  host.ShowFileSaved(path);
  host.Sound(Beep::Confirm);
  return Finish(host, DumpOutcome::Saved);
}

}  // namespace m84
