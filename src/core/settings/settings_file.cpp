#include "core/settings/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "core/image/dat_file.h"
#include "core/settings/settings_document.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

// A settings text is never this long (a whole document is some 20 KiB): a bigger file is some other
// file, taken by mistake, or one made to cost the parser memory and time (a flow sequence of a
// million items).
constexpr qint64 kLargestSettingsText = 64 * 1024;

const QString kAsReadWarning = QStringLiteral("as read from a pager, past the window's check: ");

bool HasSuffix(const QString& path, const char* suffix) {
  return QFileInfo(path).suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

Outcome Loaded(const PagerData& loaded, PagerData& data, OperationHost& host) {
  data = loaded;
  host.ShowStatus(kFileLoadedOk);
  host.Sound(Beep::Confirm);
  return Succeeded();
}

// The problem is shown against where (the file, or its line and column).
Outcome LoadRefused(const QString& where, const QString& reason, OperationHost& host) {
  host.ShowStatus(kFileLoadedError);
  host.ShowFileProblem(where, reason);
  host.Sound(Beep::Error);
  return Failed(kFileLoadedError, reason);
}

// The whole file, or its failure after the status text and reason are out. At most limit + 1
// bytes are read, so a caller can tell a file that is too long.
Result<QByteArray> ReadWhole(const QString& path, qint64 limit, OperationHost& host) {
  QFile file(path);
  if (const Outcome opened = OpenInput(file, host); !opened) return opened.failure();
  return file.read(limit + 1);
}

Outcome LoadTextBytes(const QString& path, const QByteArray& text, PagerData& data, OperationHost& host,
                      const PagerData& base) {
  if (text.size() > kLargestSettingsText)
    return LoadRefused(path, QStringLiteral("too long for a settings text"), host);
  const SettingsReadResult read = ReadSettingsDocument(text, base, path);
  if (!read)
    return LoadRefused(QStringLiteral("%1:%2:%3").arg(path).arg(read.error.line).arg(read.error.column),
                       read.error.message, host);
  // Taken as the pager held them, but never silently: the window would refuse them.
  for (const QString& asRead : read.asRead) host.ShowFileProblem(path, kAsReadWarning + asRead);
  return Loaded(*read.data, data, host);
}

Outcome LoadSettingsText(const QString& path, PagerData& data, OperationHost& host, const PagerData& base) {
  const Result<QByteArray> text = ReadWhole(path, kLargestSettingsText, host);
  if (!text) return text.failure();
  return LoadTextBytes(path, *text, data, host, base);
}

Outcome SaveRefused(const QString& path, const QString& reason, OperationHost& host) {
  host.ShowStatus(kSaveDataFileError);
  host.ShowFileProblem(path, reason);
  return Failed(kSaveDataFileError, reason);
}

Outcome SaveBytes(const QString& path, const QByteArray& bytes, OperationHost& host) {
  if (const Outcome saved = WriteFileAtomically(path, bytes); !saved)
    return SaveRefused(path, saved.failure().reason, host);
  host.ShowStatus(kFileSavedOk);
  host.ShowFileSaved(path);
  host.Sound(Beep::Confirm);
  return Succeeded();
}

}  // namespace

SettingsFileForm SettingsFileFormOf(const QString& path) {
  if (HasSuffix(path, "BIN")) return SettingsFileForm::RawImage;
  if (HasSuffix(path, "yaml") || HasSuffix(path, "yml")) return SettingsFileForm::Text;
  return SettingsFileForm::DataFile;
}

QString DefaultExtensionOf(const QString& path) {
  return SettingsFileFormOf(path) == SettingsFileForm::DataFile ? kDatExtension : QString();
}

Outcome LoadSettingsFile(const QString& path, PagerData& data, OperationHost& host, const PagerData& base) {
  switch (SettingsFileFormOf(path)) {
    case SettingsFileForm::RawImage: {
      const Result<PagerImage> image = LoadRawImage(path, host);
      if (!image) return image.failure();
      data.image = *image;
      return Succeeded();
    }
    case SettingsFileForm::Text: return LoadSettingsText(path, data, host, base);
    case SettingsFileForm::DataFile: break;
  }
  const Result<PagerData> loaded = LoadDataFile(path, host);
  if (!loaded) return loaded.failure();
  data = *loaded;
  return Succeeded();
}

qint64 LargestSettingsInput() { return std::max<qint64>(kLargestSettingsText, kDatFileSize); }

Outcome LoadSettingsBytes(const QString& name, const QByteArray& bytes, PagerData& data, OperationHost& host,
                          const PagerData& base) {
  if (bytes.isEmpty()) return LoadRefused(name, QStringLiteral("empty: nothing was read"), host);
  if (bytes.size() > LargestSettingsInput())
    return LoadRefused(name, QStringLiteral("too long for a data file or a settings text"), host);
  if (bytes.size() == kImageSize) {
    std::copy(bytes.begin(), bytes.end(), data.image.data());
    host.ShowStatus(kFileLoadedOk);
    return Succeeded();
  }
  // A data file's loader reads its first bytes alone, and so does this.
  if (const std::optional<PagerData> decoded = DecodeDatFile(bytes.left(kDatFileSize)))
    return Loaded(*decoded, data, host);
  return LoadTextBytes(name, bytes, data, host, base);
}

Outcome SaveSettingsFile(const QString& path, const PagerData& data, OperationHost& host) {
  const SettingsFileForm form = SettingsFileFormOf(path);
  if (form == SettingsFileForm::DataFile) return SaveDataFile(path, data, host);
  if (const std::optional<FileProblem> problem = OutputPathProblem(path, QString()))
    return SaveRefused(problem->path, problem->reason, host);
  if (form == SettingsFileForm::RawImage)
    return SaveBytes(path, QByteArray(reinterpret_cast<const char*>(data.image.data()), kImageSize), host);
  Outcome saved = SaveBytes(path, WriteSettingsDocument(data), host);
  // Saved whole, but a value the window would refuse is said beside the file, never silently.
  if (saved)
    for (const QString& asRead : SettingsGivenAsRead(data)) host.ShowFileProblem(path, kAsReadWarning + asRead);
  return saved;
}

Outcome LoadSettingsIntoPages(const QString& path, PagerData& data, PageExchange& pages, OperationHost& host,
                              const PagerData& base) {
  Outcome loaded = LoadSettingsFile(path, data, host, base);
  if (loaded) pages.ExchangeAllPages(Direction::Load);
  return loaded;
}

Outcome SaveSettingsFromPages(const QString& path, PagerData& data, PageExchange& pages, OperationHost& host) {
  pages.ExchangeAllPages(Direction::Store);
  return SaveSettingsFile(path, data, host);
}

}  // namespace m84
