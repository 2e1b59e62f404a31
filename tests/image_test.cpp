#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "core/image/band_table.h"
#include "core/image/dat_file.h"
#include "core/image/pager_image.h"
#include "core/settings/settings_file.h"
#include "recording_host.h"

using namespace m84;

namespace {

std::vector<uint8_t> Bytes(const PagerImage& image, int from, int to) {
  return std::vector<uint8_t>(image.data() + from, image.data() + to + 1);
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PagerData ModifiedData() {
  PagerData data;
  for (int i = 0; i < kImageSize; ++i) data.image[i] = static_cast<uint8_t>(i * 7 + 3);
  data.selection[0] = 4;
  data.selection[8] = 0;
  data.selection[15] = 0x5A;
  return data;
}

}  // namespace

TEST(DefaultImage, MatchesTheTabledRegions) {
  const PagerImage image;
  EXPECT_EQ(Bytes(image, 0x000, 0x005), (std::vector<uint8_t>{0x5A, 0xC3, 0x01, 0x23, 0x45, 0x67}));
  EXPECT_EQ(Bytes(image, 0x01E, 0x021), (std::vector<uint8_t>{0x01, 0x23, 0x45, 0x74}));
  EXPECT_EQ(Bytes(image, 0x042, 0x05B),
            (std::vector<uint8_t>{0x04, 0x57, 0x57, 0x50, 0x00, 0x40, 0x27, 0x44, 0x11, 0x00, 0x02, 0x18, 0xC0,
                                  0x89, 0x46, 0x01, 0x00, 0x50, 0xC3, 0x00, 0xF5, 0x08, 0x51, 0x08, 0xAE, 0x07}));
  EXPECT_EQ(Bytes(image, 0x05C, 0x065), (std::vector<uint8_t>{'9', '4', '6', '2', 0, '7', '3', '9', '1', 0}));
  EXPECT_EQ(Bytes(image, 0x066, 0x06F),
            (std::vector<uint8_t>{0x0F, 0x0D, 0x00, 0x0F, 0x26, 0x20, 0x78, 0x00, 0xFF, 0xFF}));
  EXPECT_EQ(Bytes(image, 0x08A, 0x091), (std::vector<uint8_t>{0xCE, 0x02, 0, 0, 0, 0, 0x5A, 0xC3}));
  EXPECT_EQ(Bytes(image, 0x0A6, 0x0AF), (std::vector<uint8_t>{'8', '1', '5', '0', '6', '3', 0, 0, 0, 0}));
  EXPECT_EQ(Bytes(image, 0x12C, 0x12F), (std::vector<uint8_t>{0xFF, 0x01, 0x00, 0x08}));
  EXPECT_EQ(Bytes(image, 0x170, 0x173), (std::vector<uint8_t>{0xFF, 0x01, 0x00, 0x08}));
  EXPECT_EQ(Bytes(image, 0x164, 0x167), (std::vector<uint8_t>{0xF0, 0x01, 0x00, 0x08}));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x1C1, 7), QByteArray("BEEP-D\0", 7));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x1EF, 13), QByteArray("Tone Only -D\0", 13));
  const auto slot20 = Bytes(image, 0x1FC + 19 * 32, 0x1FC + 20 * 32 - 1);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(slot20.data()), 32),
            QByteArray("M82 CANNED MESSAGE ADDRESS -20\0\0", 32));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x50B, 13), QByteArray("PubHolder 12\0", 13));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x528, 16), QByteArray("DR. Nora Clifts\0", 16));
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()) + 0x548, 12), QByteArray("1234567890\0\0", 12));
  for (int i = 0x554; i < kImageSize; ++i) ASSERT_EQ(image[i], 0xFF) << i;
}

TEST(SelectionStateDefaults, AutoIncrementZeroAndKeepSerial) {
  const SelectionState s;
  for (int row = 0; row < 8; ++row) EXPECT_EQ(s.AutoIncrement(row), 2);
  EXPECT_TRUE(s.KeepSerial());
  for (int i = 9; i < 16; ++i) EXPECT_EQ(s[i], 0);
}

TEST(BandTable, FirstMatchingRowWins) {
  EXPECT_EQ(FindBand(1430000), 0);
  EXPECT_EQ(FindBand(1750000), 4);
  EXPECT_EQ(FindBand(1750001), std::nullopt);
  EXPECT_EQ(FindBand(4575750), 10);
  EXPECT_EQ(FindBand(9320001), std::nullopt);
}

TEST(Checksum, KnownVectorAndXorSum) {
  DatChecksum sum;
  sum.Feed(reinterpret_cast<const uint8_t*>("abc"), 3);
  EXPECT_EQ(sum.Value(), 0x7C749DD6u);
  DatChecksum check;
  check.Feed(reinterpret_cast<const uint8_t*>("123456789"), 9);
  EXPECT_EQ(check.Value() & 0xFFFF, 0x31C3u);  // CRC-16/XMODEM check value
  const uint8_t run[] = {0x12, 0x34, 0x56};
  EXPECT_EQ(XorSum(run, 3), 0x12 ^ 0x34 ^ 0x56);
  EXPECT_EQ(XorSum(run, 0), 0);
}

TEST(DatFile, RoundTripsUnderEveryKindOfKeyOffset) {
  const PagerData data = ModifiedData();
  for (int k : {0, 1, 255, 256, 1024, 2047}) {
    const QByteArray file = EncodeDatFile(data, k);
    ASSERT_EQ(file.size(), kDatFileSize);
    EXPECT_EQ(file.left(7), QByteArray("M82V121"));
    EXPECT_EQ(uint8_t(file[13]) * 256 + uint8_t(file[14]), k);
    const auto loaded = DecodeDatFile(file);
    ASSERT_TRUE(loaded) << k;
    EXPECT_EQ(loaded->image, data.image);
    EXPECT_EQ(loaded->selection, data.selection);
  }
  EXPECT_NE(EncodeDatFile(data, 5).mid(16, 2048), EncodeDatFile(data, 6).mid(16, 2048));
}

TEST(DatFile, RefusesTamperedShortOrForeignFiles) {
  const QByteArray good = EncodeDatFile(PagerData(), 300);
  for (int i = 0; i < kDatFileSize; ++i) {
    QByteArray bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0x01);
    ASSERT_FALSE(DecodeDatFile(bad)) << "byte " << i;
  }
  EXPECT_FALSE(DecodeDatFile(good.left(kDatFileSize - 1)));
  EXPECT_FALSE(DecodeDatFile(QByteArray(kDatFileSize, '\0')));
  EXPECT_TRUE(DecodeDatFile(good + QByteArray("trailing bytes are ignored")));
}

// A file of the default data whose tag byte was altered, with the checksum made right again.
QByteArray ResealedWithTagByte(int index, char value) {
  QByteArray file = EncodeDatFile(PagerData(), 0);
  file[index] = value;
  PagerData plain;
  DatChecksum sum;
  sum.Feed(reinterpret_cast<const uint8_t*>(file.constData()), 16);
  sum.Feed(plain.image.data(), kImageSize);
  sum.Feed(plain.selection.data(), kSelectionSize);
  for (int i = 0; i < 4; ++i) file[2080 + i] = static_cast<char>(sum.Value() >> (8 * i));
  return file;
}

TEST(DatFile, OnlyTheTagsFirstThirteenBytesAreCompared) {
  EXPECT_FALSE(DecodeDatFile(ResealedWithTagByte(0, 'X')));
  EXPECT_FALSE(DecodeDatFile(ResealedWithTagByte(12, 1)));
  EXPECT_TRUE(DecodeDatFile(ResealedWithTagByte(15, 0x55)));
}

TEST(DatFileFlows, SaveThenLoadReportsAndRestores) {
  QTemporaryDir dir;
  PagerData data = ModifiedData();
  RecordingHost saveHost;
  ASSERT_TRUE(SaveSettingsFromPages(dir.filePath("settings"), data, saveHost, saveHost));
  EXPECT_EQ(saveHost.statuses, QStringList{"File Saved ok"});
  EXPECT_EQ(saveHost.beeps, std::vector<Beep>{Beep::Confirm});
  EXPECT_EQ(saveHost.exchanges, std::vector<Direction>{Direction::Store});
  EXPECT_TRUE(QFile::exists(dir.filePath("settings.DAT")));

  PagerData other;
  RecordingHost loadHost;
  ASSERT_TRUE(LoadSettingsIntoPages(dir.filePath("settings.DAT"), other, loadHost, loadHost));
  EXPECT_EQ(other.image, data.image);
  EXPECT_EQ(other.selection, data.selection);
  EXPECT_EQ(loadHost.statuses, QStringList{"File Loaded ok"});
  EXPECT_EQ(loadHost.exchanges, std::vector<Direction>{Direction::Load});
  EXPECT_EQ(loadHost.beeps, std::vector<Beep>{Beep::Confirm});
}

TEST(DatFileFlows, RefusalsLeaveTheDataUntouched) {
  QTemporaryDir dir;
  QFile junk(dir.filePath("junk.DAT"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write(QByteArray(kDatFileSize, 'x'));
  junk.close();
  QFile shortImage(dir.filePath("short.BIN"));
  ASSERT_TRUE(shortImage.open(QIODevice::WriteOnly));
  shortImage.write(QByteArray(100, '\0'));
  shortImage.close();
  QFile badText(dir.filePath("bad.yaml"));
  ASSERT_TRUE(badText.open(QIODevice::WriteOnly));
  badText.write("general: [unclosed\n");
  badText.close();

  struct Case {
    QString path;
    QString status;
    std::vector<Beep> beeps;
  };
  const Case cases[] = {
      {dir.filePath("missing.DAT"), "Open data file error", {}},
      {dir.filePath("junk.DAT"), "File Loaded error", {Beep::Error}},
      {dir.path(), "Open data file error", {}},
      {dir.filePath("short.BIN"), "File Loaded error", {}},
      {dir.filePath("bad.yaml"), "File Loaded error", {Beep::Error}},
  };
  for (const Case& c : cases) {
    PagerData data = ModifiedData();
    RecordingHost host;
    const Outcome loaded = LoadSettingsIntoPages(c.path, data, host, host);
    ASSERT_FALSE(loaded) << c.path.toStdString();
    // The failure carries what the host was shown.
    EXPECT_EQ(loaded.failure().status, c.status) << c.path.toStdString();
    EXPECT_FALSE(loaded.failure().reason.isEmpty()) << c.path.toStdString();
    EXPECT_EQ(host.statuses, QStringList{c.status}) << c.path.toStdString();
    EXPECT_EQ(host.beeps, c.beeps);
    EXPECT_TRUE(host.exchanges.empty());
    EXPECT_EQ(data.image, ModifiedData().image);
    EXPECT_EQ(data.selection, ModifiedData().selection);
  }
}

TEST(DatFileFlows, FailedSaveKeepsTheOldFileAndNeverSaysSaved) {
  QTemporaryDir dir;
  const QString path = dir.filePath("old.DAT");
  PagerData data;
  RecordingHost first;
  ASSERT_TRUE(bool(SaveDataFile(path, data, first)));
  const QByteArray before = ReadAll(path);

  // A folder that can no longer be written to: the temporary file cannot be made there.
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
  PagerData changed = ModifiedData();
  RecordingHost host;
  const bool saved = bool(SaveDataFile(path, changed, host));
  QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (saved) GTEST_SKIP() << "running with rights that ignore folder permissions";
  EXPECT_EQ(host.statuses, QStringList{"Save data file error"});
  EXPECT_TRUE(host.beeps.empty());
  EXPECT_EQ(ReadAll(path), before);
}

TEST(DatFileFlows, SaveOverADirectoryFails) {
  QTemporaryDir dir;
  QDir(dir.path()).mkdir("taken.DAT");
  PagerData data;
  RecordingHost host;
  EXPECT_FALSE(bool(SaveDataFile(dir.filePath("taken.DAT"), data, host)));
  EXPECT_EQ(host.statuses, QStringList{"Save data file error"});
  EXPECT_TRUE(QFileInfo(dir.filePath("taken.DAT")).isDir());
}

TEST(DatFileFlows, DefaultExtensionOnlyForBareNames) {
  EXPECT_EQ(WithDefaultExtension("/a/b/name", ".DAT"), "/a/b/name.DAT");
  EXPECT_EQ(WithDefaultExtension("/a/b/name.txt", ".DAT"), "/a/b/name.txt");
  EXPECT_EQ(WithDefaultExtension("/a/b.d/name", ".DAT"), "/a/b.d/name.DAT");
  EXPECT_EQ(WithDefaultExtension("/a/name.dat", ".DAT"), "/a/name.dat");
}
