#include "core/image/dat_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/image/key_table.h"
#include "core/status_texts.h"

#if defined(__GNUC__) || defined(__clang__)
#define M84_NO_DYNAMIC_TYPE_CHECK __attribute__((no_sanitize("vptr")))
#else
#define M84_NO_DYNAMIC_TYPE_CHECK
#endif

namespace m84 {

namespace {

constexpr char kModelTag[] = "M82V121";
constexpr int kComparedTagBytes = 13;  // the model tag and six zero bytes; the key offset varies
constexpr int kKeyHighByte = 13;
constexpr int kKeyLowByte = 14;
constexpr int kTagCheckByte = 15;

constexpr int kImageAt = kDatTagSize;
constexpr int kSelectionAt = kImageAt + kImageSize;
constexpr int kChecksumAt = kSelectionAt + kSelectionSize;

std::array<uint32_t, 256> MakeCcittTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
    table[i] = crc & 0xFFFF;
  }
  return table;
}

const std::array<uint32_t, 256> kCcittTable = MakeCcittTable();

std::array<uint8_t, kDatTagSize> MakeTag(int keyOffset) {
  std::array<uint8_t, kDatTagSize> tag{};
  std::memcpy(tag.data(), kModelTag, sizeof kModelTag - 1);
  tag[kKeyHighByte] = static_cast<uint8_t>(keyOffset / 256);
  tag[kKeyLowByte] = static_cast<uint8_t>(keyOffset % 256);
  tag[kTagCheckByte] = XorSum(tag.data(), kTagCheckByte);
  return tag;
}

void Scramble(const uint8_t* in, uint8_t* out, int keyOffset) {
  for (int i = 0; i < kImageSize; ++i) out[i] = in[i] ^ kDatKeyTable[(keyOffset + i) & 0x7FF];
}

uint32_t ChecksumOf(const uint8_t* tag, const uint8_t* image, const uint8_t* selection) {
  DatChecksum sum;
  sum.Feed(tag, kDatTagSize);
  sum.Feed(image, kImageSize);
  sum.Feed(selection, kSelectionSize);
  return sum.Value();
}

}  // namespace

void DatChecksum::Feed(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint32_t t = (bytes[i] ^ (register_ >> 8)) & 0xFF;
    register_ = (register_ << 8) ^ kCcittTable[t];
  }
}

QByteArray EncodeDatFile(const PagerData& data, int keyOffset) {
  const auto tag = MakeTag(keyOffset & 0x7FF);
  QByteArray file(kDatFileSize, '\0');
  auto* out = reinterpret_cast<uint8_t*>(file.data());
  std::memcpy(out, tag.data(), kDatTagSize);
  Scramble(data.image.data(), out + kImageAt, keyOffset & 0x7FF);
  std::memcpy(out + kSelectionAt, data.selection.data(), kSelectionSize);
  const uint32_t sum = ChecksumOf(tag.data(), data.image.data(), data.selection.data());
  for (int i = 0; i < 4; ++i) out[kChecksumAt + i] = static_cast<uint8_t>(sum >> (8 * i));
  return file;
}

std::optional<PagerData> DecodeDatFile(const QByteArray& file) {
  if (file.size() < kDatFileSize) return std::nullopt;
  const auto* in = reinterpret_cast<const uint8_t*>(file.constData());
  const int keyOffset = (in[kKeyHighByte] * 256 + in[kKeyLowByte]) & 0x7FF;
  PagerData data;
  Scramble(in + kImageAt, data.image.data(), keyOffset);
  std::memcpy(data.selection.data(), in + kSelectionAt, kSelectionSize);
  uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(in[kChecksumAt + i]) << (8 * i);
  const auto expectedTag = MakeTag(0);
  const bool tagMatches = std::memcmp(in, expectedTag.data(), kComparedTagBytes) == 0;
  if (!tagMatches || ChecksumOf(in, data.image.data(), data.selection.data()) != stored) return std::nullopt;
  return data;
}

int DrawKeyOffset() { return static_cast<int>(QRandomGenerator::global()->bounded(kImageSize)); }

QString WithDefaultExtension(const QString& path, const QString& extension) {
  return QFileInfo(path).suffix().isEmpty() && !path.endsWith('.') ? path + extension : path;
}

namespace {

QString SystemReason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// A device, FIFO or socket that exists under the name (a link is followed to what it names).
bool IsSpecialFile(const QString& path) {
  const QFileInfo info(path);
  return info.exists() && !info.isFile() && !info.isDir();
}

// Qt words some failures its own way ("Existing file ... is not writable") or not at all
// ("Unknown error"); the system's reason is what a user can act on.
// This runs when the process may have no file descriptor left. The sanitizers' dynamic type
// check reads an object through a pipe of its own, finds no descriptor for it either, and would
// report the sound calls below as faults; it is left out here.
M84_NO_DYNAMIC_TYPE_CHECK
QString CannotCreate(const QSaveFile& file) {
  const QString path = file.fileName();
  if (QFileInfo(path).isDir()) return SystemReason(EISDIR);
#ifdef Q_OS_UNIX
  const QByteArray name = QFile::encodeName(path);
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  if (::access(name.constData(), F_OK) == 0) {
    if (::access(name.constData(), W_OK) != 0) return SystemReason(errno);
  } else if (errno != ENOENT) {
    return SystemReason(errno);
  } else if (::access(folder.constData(), W_OK | X_OK) != 0) {
    return SystemReason(errno);
  }
#endif
  return file.errorString();
}

// Written straight to the descriptor where there is one, so that a failure keeps its errno.
QString WriteAll(QSaveFile& file, const QByteArray& bytes) {
#ifdef Q_OS_UNIX
  const int descriptor = file.handle();
  for (qsizetype done = 0; done < bytes.size();) {
    const ssize_t written = ::write(descriptor, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return SystemReason(written < 0 ? errno : ENOSPC);
    done += written;
  }
  return QString();
#else
  // The bytes sit in the file's buffer until the flush: a full disk shows up only there, and
  // commit() would not notice it (it would rename a short file over the old one).
  if (file.write(bytes) != bytes.size() || !file.flush()) return file.errorString();
  return QString();
#endif
}

// Writes the bytes into an opened save file and renames it over the target. Every write is
// checked before the commit: commit() would not notice a write that failed, and would rename a
// short file over the old one.
Outcome Commit(QSaveFile& file, const QByteArray& bytes) {
  if (const QString failure = WriteAll(file, bytes); !failure.isEmpty()) {
    file.cancelWriting();
    return Failed(QString(), failure);
  }
  if (!file.commit()) return Failed(QString(), file.errorString());
  return Succeeded();
}

}  // namespace

QString OpenFailure(const QFileDevice& file) {
  if (QFileInfo(file.fileName()).isDir()) return SystemReason(EISDIR);
  return file.errorString();
}

std::optional<FileProblem> OutputPathProblem(const QString& typed, const QString& defaultExtension) {
  const QString isAFolder = SystemReason(EISDIR);
  // "" would become the hidden file ".DAT", and "/dev/stdout" the file "/dev/stdout.DAT".
  if (typed.isEmpty()) return FileProblem{QStringLiteral("''"), QStringLiteral("an empty name is no file name")};
  const bool endsInSeparator = typed.endsWith(QLatin1Char('/')) || typed.endsWith(QDir::separator());
  if (endsInSeparator || QFileInfo(typed).isDir()) return FileProblem{typed, isAFolder};
  const QString path = WithDefaultExtension(typed, defaultExtension);
  if (QFileInfo(path).isDir()) return FileProblem{path, isAFolder};
  if (IsSpecialFile(path)) return FileProblem{path, kNotARegularFile};
  if (IsSpecialFile(typed)) return FileProblem{typed, kNotARegularFile};
  return std::nullopt;
}

std::optional<FileProblem> InputPathProblem(const QString& path) {
  if (IsSpecialFile(path)) return FileProblem{path, kNotARegularFile};
  return std::nullopt;
}

Outcome WriteFileAtomically(const QString& path, const QByteArray& bytes) {
  if (IsSpecialFile(path)) return Failed(QString(), kNotARegularFile);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return Failed(QString(), CannotCreate(file));
  return Commit(file, bytes);
}

Outcome CheckReplaceable(const QString& path, qsizetype size) {
  if (const std::optional<FileProblem> problem = OutputPathProblem(path, QString()))
    return Failed(QString(), problem->reason);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return Failed(QString(), CannotCreate(file));
  const QString failure = WriteAll(file, QByteArray(size, '\0'));
  file.cancelWriting();
  if (!failure.isEmpty()) return Failed(QString(), failure);
  return Succeeded();
}

Outcome SaveDataFile(const QString& chosenPath, const PagerData& data, OperationHost& host) {
  const QString path = WithDefaultExtension(chosenPath, kDatExtension);
  const auto refuse = [&host](const QString& where, const QString& reason) -> Outcome {
    const QString status = kSaveDataFileError;
    host.ShowStatus(status);
    host.ShowFileProblem(where, reason);
    return Failed(status, reason);
  };
  if (const std::optional<FileProblem> problem = OutputPathProblem(chosenPath, kDatExtension))
    return refuse(problem->path, problem->reason);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return refuse(path, CannotCreate(file));
  // The target is left as it was; a save that did not reach the disk is never "ok".
  if (const Outcome saved = Commit(file, EncodeDatFile(data, DrawKeyOffset())); !saved)
    return refuse(path, saved.failure().reason);
  host.ShowStatus(kFileSavedOk);
  host.ShowFileSaved(path);
  host.Sound(Beep::Confirm);
  return Succeeded();
}

std::optional<QString> OpenRegularInput(QFile& file) {
#ifdef Q_OS_UNIX
  const QString path = file.fileName();
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return SystemReason(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    const bool folder = S_ISDIR(status.st_mode);
    ::close(fd);
    return folder ? SystemReason(EISDIR) : kNotARegularFile;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return std::nullopt;
  ::close(fd);
  return file.errorString();
#else
  if (const std::optional<FileProblem> problem = InputPathProblem(file.fileName())) return problem->reason;
  if (file.open(QIODevice::ReadOnly)) return std::nullopt;
  return OpenFailure(file);
#endif
}

Outcome OpenInput(QFile& file, OperationHost& host) {
  const QString path = file.fileName();  // a file opened by its descriptor keeps no name
  const std::optional<QString> problem = OpenRegularInput(file);
  if (!problem) return Succeeded();
  const Failure failure = Failed(kOpenDataFileError, *problem);
  host.ShowStatus(failure.status);
  host.ShowFileProblem(path, failure.reason);
  return failure;
}

// A file of another size is some other file, taken by mistake.
Result<PagerImage> LoadRawImage(const QString& path, OperationHost& host) {
  QFile file(path);
  if (const Outcome opened = OpenInput(file, host); !opened) return opened.failure();
  const QByteArray bytes = file.size() == kImageSize ? file.read(kImageSize + 1) : QByteArray();
  if (bytes.size() != kImageSize) {
    const QString status = kFileLoadedError;
    const QString reason = QStringLiteral("holds %1 bytes; a raw image holds exactly %2")
                               .arg(std::max<qint64>(file.size(), bytes.size()))
                               .arg(kImageSize);
    host.ShowStatus(status);
    host.ShowFileProblem(path, reason);
    return Failed(status, reason);
  }
  PagerImage image;
  std::copy(bytes.begin(), bytes.end(), image.data());
  host.ShowStatus(kFileLoadedOk);
  return image;
}

Result<PagerData> LoadDataFile(const QString& path, OperationHost& host) {
  QFile file(path);
  if (const Outcome opened = OpenInput(file, host); !opened) return opened.failure();
  const QByteArray bytes = file.read(kDatFileSize);
  file.close();
  const std::optional<PagerData> loaded = DecodeDatFile(bytes);
  if (!loaded) {
    const QString status = kFileLoadedError;
    const QString reason = bytes.size() < kDatFileSize
                               ? QStringLiteral("holds %1 bytes, a data file %2").arg(bytes.size()).arg(kDatFileSize)
                               : QStringLiteral("not a data file of this program, or damaged");
    host.ShowStatus(status);
    host.ShowFileProblem(path, reason);
    host.Sound(Beep::Error);
    return Failed(status, reason);
  }
  host.ShowStatus(kFileLoadedOk);
  host.Sound(Beep::Confirm);
  return *loaded;
}

}  // namespace m84
