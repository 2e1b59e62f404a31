// Any bytes of any length as a data file, through the real load flow. A refused file leaves the
// image and the selection block exactly as they were and says "File Loaded error" with the error
// beep; an accepted one says "File Loaded ok", and saving what it gave and loading that again
// gives the same image and selection block. Encoding what an accepted file gave with the file's
// own key offset also gives back its scrambled image and selection block byte for byte.
//
// Nearly every mutation breaks the checksum, so the mutator reseals half of them: the accepted
// path then sees arbitrary images, selection blocks and key offsets, not only the seeds.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/image/dat_file.h"
#include "core/image/key_table.h"
#include "core/settings/settings_file.h"

using namespace m84;

namespace {

constexpr int kKeyHighByte = 13;
constexpr int kKeyLowByte = 14;
constexpr int kImageAt = kDatTagSize;
constexpr int kSelectionAt = kImageAt + kImageSize;
constexpr int kChecksumAt = kSelectionAt + kSelectionSize;
constexpr char kExpectedTag[13] = {'M', '8', '2', 'V', '1', '2', '1', 0, 0, 0, 0, 0, 0};

// The load's host and its caller's pages.
struct RecordingHost : OperationHost, PageExchange {
  QStringList statuses;
  std::vector<Beep> beeps;
  std::vector<Direction> exchanges;
  void ShowStatus(const QString& text) override { statuses << text; }
  void Sound(Beep beep) override { beeps.push_back(beep); }
  void ExchangeAllPages(Direction direction) override { exchanges.push_back(direction); }
};

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "data file fuzzer: %s\n", what);
  std::abort();
}

// What the program held before the load: nothing like the defaults or a seed.
PagerData StateBefore() {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = static_cast<uint8_t>(i * 37 + 11);
  for (int i = 0; i < kSelectionSize; ++i) data.selection[i] = static_cast<uint8_t>(0xA0 + i);
  return data;
}

// In memory where the system offers it: every accepted input is saved, and a save syncs to disk.
const QTemporaryDir& ScratchDir() {
  static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                     ? QStringLiteral("/dev/shm/m84-dat-fuzz-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/m84-dat-fuzz-XXXXXX"));
  return dir;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(),
          "cannot write the scratch file");
}

bool SameData(const PagerData& a, const PagerData& b) { return a.image == b.image && a.selection == b.selection; }

void CheckRefusal(const PagerData& state, const RecordingHost& host) {
  Require(SameData(state, StateBefore()), "a refused file changed the image or the selection block");
  Require(host.statuses == QStringList{QStringLiteral("File Loaded error")}, "refusal status text");
  Require(host.beeps == std::vector<Beep>{Beep::Error}, "refusal beep");
  Require(host.exchanges.empty(), "the pages were reloaded after a refusal");
}

void CheckAcceptance(const QByteArray& input, const PagerData& state, const RecordingHost& host) {
  Require(input.size() >= kDatFileSize, "a short file was accepted");
  Require(std::memcmp(input.constData(), kExpectedTag, sizeof kExpectedTag) == 0, "a foreign tag was accepted");
  Require(host.statuses == QStringList{QStringLiteral("File Loaded ok")}, "acceptance status text");
  Require(host.beeps == std::vector<Beep>{Beep::Confirm}, "acceptance beep");
  Require(host.exchanges == std::vector<Direction>{Direction::Load}, "acceptance page reload");

  // The checksum covers the header as stored, so only the parts before it must come out the same.
  const auto* in = reinterpret_cast<const uint8_t*>(input.constData());
  const int keyOffset = (in[kKeyHighByte] * 256 + in[kKeyLowByte]) & (kImageSize - 1);
  const QByteArray rebuilt = EncodeDatFile(state, keyOffset);
  // Readers take the key offset modulo 2048; a save writes it back reduced.
  Require(rebuilt[kKeyHighByte] == static_cast<char>(in[kKeyHighByte] & 0x07), "key offset written back");
  Require(rebuilt.mid(kImageAt, kChecksumAt - kImageAt) == input.mid(kImageAt, kChecksumAt - kImageAt),
          "the accepted file's image and selection block are not what its contents encode to");

  const QString resaved = ScratchDir().filePath(QStringLiteral("resaved.DAT"));
  PagerData toSave = state;
  RecordingHost saveHost;
  Require(bool(SaveSettingsFromPages(resaved, toSave, saveHost, saveHost)),
          "saving an accepted file's contents failed");
  Require(SameData(toSave, state), "saving changed the image");
  PagerData reloaded = StateBefore();
  RecordingHost reloadHost;
  Require(bool(LoadSettingsIntoPages(resaved, reloaded, reloadHost, reloadHost)), "a saved file was refused");
  Require(SameData(reloaded, state), "save and load again gave another image or selection block");
}

void Reseal(uint8_t* file) {
  const int keyOffset = (file[kKeyHighByte] * 256 + file[kKeyLowByte]) & (kImageSize - 1);
  uint8_t image[kImageSize];
  for (int i = 0; i < kImageSize; ++i) image[i] = file[kImageAt + i] ^ kDatKeyTable[(keyOffset + i) & (kImageSize - 1)];
  DatChecksum sum;
  sum.Feed(file, kDatTagSize);
  sum.Feed(image, kImageSize);
  sum.Feed(file + kSelectionAt, kSelectionSize);
  for (int i = 0; i < 4; ++i) file[kChecksumAt + i] = static_cast<uint8_t>(sum.Value() >> (8 * i));
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (seed % 2 == 0 && size >= static_cast<size_t>(kDatFileSize)) Reseal(data);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QString path = ScratchDir().filePath(QStringLiteral("input.DAT"));
  WriteFile(path, input);

  PagerData state = StateBefore();
  RecordingHost host;
  const bool accepted = bool(LoadSettingsIntoPages(path, state, host, host));
  Require(accepted == DecodeDatFile(input).has_value(), "the load flow and the decoder disagree");
  if (accepted)
    CheckAcceptance(input, state, host);
  else
    CheckRefusal(state, host);
  return 0;
}
