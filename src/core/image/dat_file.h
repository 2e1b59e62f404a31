#pragma once
// The scrambled ".DAT" data file: 16-byte tag, scrambled image, selection block, checksum.

#include <QByteArray>
#include <QFile>
#include <QFileDevice>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"
#include "core/result.h"

namespace m84 {

constexpr int kDatTagSize = 16;
constexpr int kDatFileSize = kDatTagSize + kImageSize + kSelectionSize + 4;  // 2084

inline const QString kDatExtension = QStringLiteral(".DAT");

// CRC-16/CCITT table step on a register that is never cut to 16 bits.
class DatChecksum {
 public:
  void Feed(const uint8_t* bytes, size_t count);
  uint32_t Value() const { return register_; }

 private:
  uint32_t register_ = 0;
};

QByteArray EncodeDatFile(const PagerData& data, int keyOffset);
// The file's image and selection block, or nothing when its tag or checksum is wrong or it is short.
std::optional<PagerData> DecodeDatFile(const QByteArray& file);

int DrawKeyOffset();

// A name typed without an extension gets the default one; any extension is kept as typed.
QString WithDefaultExtension(const QString& path, const QString& extension);

// Why a file cannot be opened, in the system's words; a folder gets the system's "Is a
// directory" rather than Qt's own wording.
QString OpenFailure(const QFileDevice& file);

// A file that cannot be used, and why.
struct FileProblem {
  QString path;
  QString reason;
};

// Why an output typed as this cannot be a file, before anything is read or written: it names a
// folder, or ends in a path separator (a default extension would turn "adir/" into the hidden
// file "adir/.DAT"). Nothing when it can.
std::optional<FileProblem> OutputPathProblem(const QString& typed, const QString& defaultExtension);

// The reason an existing output or input is refused when it is a device, a FIFO or a socket:
// a save would replace the node with a file, and a read could wait for ever.
inline const QString kNotARegularFile = QStringLiteral("not a regular file");

// Why an input cannot be read as a file without waiting: it exists and is a device, a FIFO or a
// socket. Nothing for a regular file, a folder or a missing name (opening says why).
std::optional<FileProblem> InputPathProblem(const QString& path);

// Writes through a temporary file and renames it over the target, so a failure anywhere
// leaves an existing file as it was.
// A failure carries the system's reason ("No space left on device") and no status text: the
// caller's operation has its own.
Outcome WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Whether a save of `size` bytes to path would get through, checked the way the save itself does
// it (its temporary file in the target's folder, the bytes written, then dropped) and before
// anything irreversible, such as a pager write, depends on it.
Outcome CheckReplaceable(const QString& path, qsizetype size);

// The Save and Load flows after their dialogs, done on "File Saved ok" / "File Loaded ok" with
// the failure's status text and reason otherwise. The caller stores its pages into data before a
// save and loads them from the file's data after a load.
Outcome SaveDataFile(const QString& chosenPath, const PagerData& data, OperationHost& host);
Result<PagerData> LoadDataFile(const QString& path, OperationHost& host);

// Opens an input for reading without ever waiting: a FIFO would wait for a writer in open(2),
// deaf to the signals a command counts, so the name is opened without blocking and kept only when
// it is a regular file; a device, FIFO or socket is refused as kNotARegularFile. The reason it
// was not opened, or nothing.
std::optional<QString> OpenRegularInput(QFile& file);

// Opens an input for reading, or shows "Open data file error" and why; a device or FIFO is
// refused, as above.
Outcome OpenInput(QFile& file, OperationHost& host);

// A raw image: exactly the 2048 bytes of the pager memory, with no selection block (the caller's
// stays as it is). "File Loaded ok" / "File Loaded error", as a data file.
Result<PagerImage> LoadRawImage(const QString& path, OperationHost& host);

}  // namespace m84
