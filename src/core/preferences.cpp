#include "core/preferences.h"

#include <QFile>
#include <QSettings>
#include <QVariant>

namespace m84 {

namespace {

// Kept reversed and assembled at run time, so that neither name stands in the program file as a
// readable string.
constexpr char kKeyPathReversed[] = {'T', 'P', 'D', '4', '8', 'M', '/', 'l', 'l', 'e', 'w', 'n', 'r', 'a', 'T'};
constexpr char kGenerationNameReversed[] = {'n', 'e', 'g'};

const QString kSelectionValue = QStringLiteral("prg");
const QString kProgramPathValue = QStringLiteral("exe");
const QString kHistoryValue = QStringLiteral("history");

template <size_t N>
QString Assemble(const char (&reversed)[N]) {
  QString text;
  text.reserve(static_cast<qsizetype>(N));
  for (size_t i = N; i > 0; --i) text.append(QLatin1Char(reversed[i - 1]));
  return text;
}

// Binary values must come back as bytes of exactly their size; a text that happens to have the
// right length is somebody else's value, not ours.
std::optional<QByteArray> ReadBytes(const QSettings& settings, const QString& name, int size) {
  const QVariant value = settings.value(name);
  if (value.typeId() != QMetaType::QByteArray) return std::nullopt;
  const QByteArray bytes = value.toByteArray();
  if (bytes.size() != size) return std::nullopt;
  return bytes;
}

std::optional<SelectionState> ReadSelection(const QSettings& settings) {
  const auto bytes = ReadBytes(settings, kSelectionValue, kSelectionSize);
  if (!bytes) return std::nullopt;
  SelectionState selection;
  std::copy_n(bytes->constData(), kSelectionSize, selection.data());  // the size was checked
  return selection;
}

std::optional<GenerationRecord> ReadGeneration(const QSettings& settings) {
  const auto bytes = ReadBytes(settings, GenerationValueName(), GenerationRecord::kSize);
  if (!bytes) return std::nullopt;
  GenerationRecord record;
  std::copy_n(bytes->constData(), GenerationRecord::kSize, record.bytes.begin());  // the size was checked
  return record;
}

// A path that would not fit the buffer with its terminating zero is never used cut short.
std::optional<QString> ReadProgramPath(const QSettings& settings) {
  const QVariant value = settings.value(kProgramPathValue);
  if (value.typeId() != QMetaType::QString) return std::nullopt;
  const QString path = value.toString();
  if (path.isEmpty() || QFile::encodeName(path).size() >= kProgramPathBuffer) return std::nullopt;
  return path;
}

QByteArray AsBytes(const uint8_t* data, int size) { return QByteArray(reinterpret_cast<const char*>(data), size); }

bool Commit(QSettings& settings) {
  settings.sync();
  return settings.status() == QSettings::NoError;
}

}  // namespace

QString PreferenceKeyPath() { return Assemble(kKeyPathReversed); }
QString GenerationValueName() { return Assemble(kGenerationNameReversed); }

PreferenceStore PreferenceStore::UserStore() { return PreferenceStore(QString()); }

PreferenceStore PreferenceStore::FileStore(const QString& path) { return PreferenceStore(path); }

QString PreferenceStore::Location() const { return Open()->fileName(); }

StoredPreferences PreferenceStore::Read() const {
  const auto settings = Open();
  if (settings->status() != QSettings::NoError) return {};
  return {ReadSelection(*settings), ReadGeneration(*settings), ReadProgramPath(*settings)};
}

bool PreferenceStore::WriteGeneration(const QString& programPath) const {
  const auto settings = Open();
  const GenerationRecord ours = GenerationRecord::Ours();
  settings->setValue(GenerationValueName(), AsBytes(ours.bytes.data(), GenerationRecord::kSize));
  settings->setValue(kProgramPathValue, programPath);
  return Commit(*settings);
}

bool PreferenceStore::WriteSelection(const SelectionState& selection) const {
  const auto settings = Open();
  settings->setValue(kSelectionValue, AsBytes(selection.data(), kSelectionSize));
  return Commit(*settings);
}

QString PreferenceStore::HistoryLocation() const {
  const QVariant value = Open()->value(kHistoryValue);
  return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QStringList PreferenceStore::RecentFiles() const {
  const QVariant value = Open()->value(QStringLiteral("recent"));
  return value.canConvert<QStringList>() ? value.toStringList() : QStringList();
}

bool PreferenceStore::WriteRecentFiles(const QStringList& files) const {
  const auto settings = Open();
  settings->setValue(QStringLiteral("recent"), files);
  return Commit(*settings);
}

bool PreferenceStore::ReviewEveryWrite() const { return Open()->value(QStringLiteral("review")).toBool(); }

bool PreferenceStore::WriteReviewEveryWrite(bool review) const {
  const auto settings = Open();
  settings->setValue(QStringLiteral("review"), review);
  return Commit(*settings);
}

// Opened afresh for every read and write, as another copy may have written in between.
// The user scope on purpose: a machine-wide store is not writable for ordinary users, and its
// writes would fail silently and lose the preferences.
std::unique_ptr<QSettings> PreferenceStore::Open() const {
  if (!filePath_.isEmpty()) return std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
  const QString keyPath = PreferenceKeyPath();
  const qsizetype split = keyPath.indexOf(QLatin1Char('/'));
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, keyPath.left(split),
                                     keyPath.mid(split + 1));
}

}  // namespace m84
