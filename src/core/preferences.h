#pragma once
// The stored preferences: the selection block "prg", the generation record and "exe", the path of
// the program file that last started normally. They live in the platform's per-user settings store
// (an INI file under the user's configuration folder on Linux, QSettings' native store elsewhere).
// Every failure is a plain result; the start-up ignores them all.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/image/pager_image.h"

class QSettings;

namespace m84 {

// The 4-byte record that tells copies of different generations apart.
struct GenerationRecord {
  static constexpr int kSize = 4;
  static constexpr uint8_t kOurMajor = 1;
  static constexpr uint8_t kOurMinor = 24;

  std::array<uint8_t, kSize> bytes{};

  static GenerationRecord Ours() { return {{kOurMajor, kOurMinor, 0, 0}}; }
  // Either byte above ours on its own counts, so 0, 25 is newer just as 2, 0 is.
  bool IsNewerThanOurs() const { return bytes[0] > kOurMajor || bytes[1] > kOurMinor; }
  bool operator==(const GenerationRecord& other) const { return bytes == other.bytes; }
};

// "exe" is read into a buffer of this many bytes, its terminating zero included.
constexpr int kProgramPathBuffer = 260;

// What a read found. A value that is missing, of the wrong kind or of the wrong size is absent.
struct StoredPreferences {
  std::optional<SelectionState> selection;
  std::optional<GenerationRecord> generation;
  // Absent as well when empty or when it would not fit the buffer with its terminating zero.
  std::optional<QString> programPath;
};

class PreferenceStore {
 public:
  // The platform's normal place for this user's settings, under the program's key path.
  static PreferenceStore UserStore();
  // An INI file at an explicit path: for tests and for running beside a real installation.
  static PreferenceStore FileStore(const QString& path);

  // The file (or, for a native store, the registry path) that holds the values.
  QString Location() const;

  // Nothing at all when the store cannot be read.
  StoredPreferences Read() const;
  // The record 1, 24, 0, 0 and "exe" = programPath.
  bool WriteGeneration(const QString& programPath) const;
  bool WriteSelection(const SelectionState& selection) const;
  // "history": where the programming history lives (a file, or a PostgreSQL connection shared by
  // the benches of a workshop); empty when not set or not a text.
  QString HistoryLocation() const;
  // "recent": the settings files the window loaded or saved, the latest first; empty when not set.
  QStringList RecentFiles() const;
  bool WriteRecentFiles(const QStringList& files) const;
  // "review": the window's Write reviews the changes first; off when not set.
  bool ReviewEveryWrite() const;
  bool WriteReviewEveryWrite(bool review) const;

 private:
  explicit PreferenceStore(const QString& filePath) : filePath_(filePath) {}

  std::unique_ptr<QSettings> Open() const;

  QString filePath_;  // empty: the user store
};

// The key path ("organisation/program") and the record's value name, assembled at run time.
QString PreferenceKeyPath();
QString GenerationValueName();

}  // namespace m84
