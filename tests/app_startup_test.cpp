// Start-up against a settings store in a temporary folder: first run, the generation record's
// run/hand-over cases, "prg" written back at exit, unusable values and stores, and a second copy.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <vector>

#include "app/single_instance.h"
#include "app/startup.h"
#include "core/preferences.h"

using namespace m84;

namespace {

// The user store must never be the real user's: Qt's test locations before any test runs.
struct TestLocations : ::testing::Environment {
  void SetUp() override { QStandardPaths::setTestModeEnabled(true); }
};
const auto* const kTestLocations = ::testing::AddGlobalTestEnvironment(new TestLocations);

// An executable file at path, with the folders on the way.
QString MakeProgram(const QString& path, QFile::Permissions permissions = QFile::ReadOwner | QFile::ExeOwner) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write("#!/bin/sh\n");
  file.close();
  file.setPermissions(permissions);
  return path;
}

QByteArray Bytes(std::initializer_list<uint8_t> bytes) {
  return QByteArray(reinterpret_cast<const char*>(std::data(bytes)), static_cast<qsizetype>(bytes.size()));
}

QByteArray Bytes(const SelectionState& selection) {
  return QByteArray(reinterpret_cast<const char*>(selection.data()), kSelectionSize);
}

SelectionState Chosen(int autoIncrement, bool keepSerial) {
  SelectionState selection;
  for (int row = 0; row < 8; ++row) selection.SetAutoIncrement(row, (autoIncrement + row) % 10);
  selection.SetKeepSerial(keepSerial);
  return selection;
}

struct StartupFixture : ::testing::Test {
  QTemporaryDir dir;
  QString storePath = dir.filePath(QStringLiteral("preferences.ini"));
  PreferenceStore store = PreferenceStore::FileStore(storePath);
  InstanceName name{dir.filePath(QStringLiteral("instance.lock")), dir.filePath(QStringLiteral("instance.sock"))};
  InstanceGuard guard{name};
  QString programPath = QStringLiteral("/usr/local/bin/m84dpt");
  QTemporaryDir programs;
  const QString newerProgram = MakeProgram(programs.filePath(QStringLiteral("m84dpt-newer/m84dpt")));
  const QStringList arguments{QStringLiteral("--simulator"), QStringLiteral("--port"), QStringLiteral("/dev/x")};

  QStringList started;
  std::vector<QStringList> startedWith;
  QStringList explained;
  std::vector<bool> lockFreeAtStart;
  std::vector<SelectionState> windowSaw;
  // What the user chooses while the window runs; nothing when unset.
  std::optional<SelectionState> userChoice;

  StartupPath Run(PagerData& data) {
    const auto startProgram = [this](const QString& p, const QStringList& given) {
      started << p;
      startedWith.push_back(given);
      // The started program must find the lock free, or it would only try to activate this copy.
      InstanceGuard probe(name);
      lockFreeAtStart.push_back(probe.Claim() == InstanceGuard::Role::First);
    };
    const StartupParts parts{store,
                             guard,
                             programPath,
                             arguments,
                             startProgram,
                             [this](const QString& reason) { explained << reason; },
                             [this](PagerData& d, InstanceGuard&) {
                               windowSaw.push_back(d.selection);
                               if (userChoice) d.selection = *userChoice;
                             }};
    return RunStartup(parts, data);
  }
  StartupPath Run() {
    PagerData data;
    return Run(data);
  }

  void Seed(const QString& value, const QVariant& content) {
    QSettings settings(storePath, QSettings::IniFormat);
    settings.setValue(value, content);
  }
  QVariant Stored(const QString& value) const { return QSettings(storePath, QSettings::IniFormat).value(value); }
  void SeedGeneration(std::initializer_list<uint8_t> bytes) { Seed(GenerationValueName(), Bytes(bytes)); }
};

}  // namespace

TEST_F(StartupFixture, FirstRunStartsWithDefaultsAndLeavesTheRecordPathAndLastSelection) {
  userChoice = Chosen(5, false);
  EXPECT_EQ(Run(), StartupPath::Ran);

  ASSERT_EQ(windowSaw.size(), 1u);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(windowSaw[0].AutoIncrement(row), 2) << "row " << row;
  EXPECT_TRUE(windowSaw[0].KeepSerial());

  EXPECT_EQ(Stored("prg").toByteArray(), Bytes(*userChoice));
  EXPECT_EQ(Stored(GenerationValueName()).toByteArray(), Bytes({1, 24, 0, 0}));
  EXPECT_EQ(Stored("exe").toString(), programPath);

  // The next start begins where the last one ended.
  userChoice.reset();
  EXPECT_EQ(Run(), StartupPath::Ran);
  EXPECT_EQ(windowSaw.back(), Chosen(5, false));
}

TEST_F(StartupFixture, GenerationRecordDecidesBetweenRunningAndHandingOver) {
  struct Case {
    std::initializer_list<uint8_t> record;
    bool handsOver;
  };
  const Case cases[] = {
      {{1, 24, 0, 0}, false}, {{1, 0, 0, 0}, false}, {{0, 24, 0, 0}, false}, {{1, 24, 0xFF, 0xFF}, false},
      {{1, 25, 0, 0}, true},  {{2, 0, 0, 0}, true},  {{0, 25, 0, 0}, true},  {{0xFF, 0, 0, 0}, true},
  };
  const SelectionState storedChoice = Chosen(7, false);
  for (const Case& c : cases) {
    const QByteArray record = Bytes(c.record);
    SCOPED_TRACE(record.toHex(',').toStdString());
    QFile::remove(storePath);
    Seed("prg", Bytes(storedChoice));
    Seed(GenerationValueName(), record);
    Seed("exe", newerProgram);
    started.clear();
    lockFreeAtStart.clear();
    windowSaw.clear();
    userChoice = Chosen(3, true);

    PagerData data;
    EXPECT_EQ(Run(data), c.handsOver ? StartupPath::HandedOver : StartupPath::Ran);
    if (c.handsOver) {
      EXPECT_EQ(started, QStringList{newerProgram});
      EXPECT_EQ(lockFreeAtStart, std::vector<bool>{true});
      EXPECT_TRUE(windowSaw.empty());
      EXPECT_EQ(Stored(GenerationValueName()).toByteArray(), record);
      EXPECT_EQ(Stored("exe").toString(), newerProgram);
      EXPECT_EQ(Stored("prg").toByteArray(), Bytes(storedChoice));
      EXPECT_EQ(data.selection, storedChoice);
    } else {
      EXPECT_TRUE(started.isEmpty());
      ASSERT_EQ(windowSaw.size(), 1u);
      EXPECT_EQ(windowSaw[0], storedChoice);
      EXPECT_EQ(Stored(GenerationValueName()).toByteArray(), Bytes({1, 24, 0, 0}));
      EXPECT_EQ(Stored("exe").toString(), programPath);
      EXPECT_EQ(Stored("prg").toByteArray(), Bytes(*userChoice));
    }
    // Whichever way it went, the lock is free again for the next start.
    InstanceGuard next(name);
    EXPECT_EQ(next.Claim(), InstanceGuard::Role::First);
  }
}

TEST_F(StartupFixture, HandsOverOnlyToAnotherExecutableProgramFileWithThisCopysArguments) {
  programPath = MakeProgram(programs.filePath(QStringLiteral("m84dpt")));
  // The longest "exe" that fits its buffer with the terminating zero: 259 bytes, a real file.
  const QString longFolder = QString(kProgramPathBuffer - 1 - programs.path().size() - 8, QLatin1Char('p'));
  const QString longest = MakeProgram(programs.filePath(longFolder + QStringLiteral("/m84dpt")));
  ASSERT_EQ(longest.size(), kProgramPathBuffer - 1);
  const QString notExecutable = MakeProgram(programs.filePath(QStringLiteral("plain/m84dpt")), QFile::ReadOwner);

  struct Case {
    const char* what;
    std::optional<QVariant> exe;
    const char* reason;  // what standard error says when this copy runs instead; none: hands over
  };
  const Case cases[] = {
      {"missing", std::nullopt, "no usable program file is registered"},
      {"empty", QString(), "no usable program file is registered"},
      {"one byte too long", longest + QLatin1Char('p'), "no usable program file is registered"},
      {"bytes, not a text", newerProgram.toUtf8(), "no usable program file is registered"},
      {"removed since", programs.filePath(QStringLiteral("gone/m84dpt")), "does not exist"},
      {"a folder", programs.filePath(QStringLiteral("m84dpt-newer")), "is not an executable file"},
      {"not executable", notExecutable, "is not an executable file"},
      {"this program, spelled otherwise", programs.path() + QStringLiteral("/./m84dpt"), "is this program"},
      {"the longest that fits with its zero", longest, nullptr},
      {"a path with blanks and a comma", MakeProgram(programs.filePath(QStringLiteral("M84 DPT, new/m84dpt"))),
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(storePath);
    SeedGeneration({1, 25, 0, 0});
    if (c.exe) Seed("exe", *c.exe);
    started.clear();
    startedWith.clear();
    explained.clear();
    windowSaw.clear();

    if (!c.reason) {
      EXPECT_EQ(Run(), StartupPath::HandedOver);
      EXPECT_EQ(started, QStringList{c.exe->toString()});
      EXPECT_EQ(startedWith, std::vector<QStringList>{arguments});
      EXPECT_TRUE(windowSaw.empty());
      EXPECT_TRUE(explained.isEmpty());
      EXPECT_EQ(Stored(GenerationValueName()).toByteArray(), Bytes({1, 25, 0, 0}));
      continue;
    }
    // A stale record neither blocks the start nor stays: this copy runs and replaces it.
    EXPECT_EQ(Run(), StartupPath::Ran);
    EXPECT_TRUE(started.isEmpty());
    EXPECT_EQ(windowSaw.size(), 1u);
    ASSERT_EQ(explained.size(), 1);
    EXPECT_TRUE(explained[0].contains(QLatin1String(c.reason))) << explained[0].toStdString();
    EXPECT_EQ(Stored(GenerationValueName()).toByteArray(), Bytes({1, 24, 0, 0}));
    EXPECT_EQ(Stored("exe").toString(), programPath);
  }
}

TEST_F(StartupFixture, ValuesOfTheWrongKindOrSizeAreIgnored) {
  const QString prg = QStringLiteral("prg");
  const QString gen = GenerationValueName();
  const std::pair<QString, QVariant> cases[] = {
      {prg, Bytes(Chosen(4, false)).left(15)},
      {prg, Bytes(Chosen(4, false)) + '\0'},
      {prg, QStringLiteral("0123456789abcdef")},
      {gen, Bytes({2, 0, 0})},
      {gen, Bytes({2, 0, 0, 0, 0})},
      {gen, QString::fromLatin1(Bytes({2, 25, 0, 0}))},
  };
  for (const auto& [value, content] : cases) {
    SCOPED_TRACE((value + QStringLiteral(" = ") + content.toString()).toStdString());
    QFile::remove(storePath);
    Seed(value, content);
    Seed("exe", newerProgram);
    windowSaw.clear();
    started.clear();

    EXPECT_EQ(Run(), StartupPath::Ran);
    ASSERT_EQ(windowSaw.size(), 1u);
    EXPECT_EQ(windowSaw[0], SelectionState());
    EXPECT_TRUE(started.isEmpty());
  }
}

TEST_F(StartupFixture, AStoreThatCannotBeReadOrWrittenIsSilentlyDoneWithout) {
  // Its folder is a plain file, so nothing can be read from it or written to it.
  const QString blocker = dir.filePath(QStringLiteral("not-a-folder"));
  QFile(blocker).open(QIODevice::WriteOnly);
  store = PreferenceStore::FileStore(blocker + QStringLiteral("/preferences.ini"));
  userChoice = Chosen(6, false);

  EXPECT_EQ(Run(), StartupPath::Ran);
  ASSERT_EQ(windowSaw.size(), 1u);
  EXPECT_EQ(windowSaw[0], SelectionState());
  EXPECT_FALSE(store.WriteSelection(*userChoice));
  EXPECT_FALSE(store.Read().selection.has_value());
}

TEST_F(StartupFixture, ASecondCopyNeitherRunsAWindowNorTouchesTheStore) {
  // A running copy that is still starting: it holds the lock but does not listen yet.
  InstanceGuard running(name);
  ASSERT_EQ(running.Claim(), InstanceGuard::Role::First);
  Seed("prg", Bytes(Chosen(8, false)));
  userChoice = Chosen(1, true);

  EXPECT_EQ(Run(), StartupPath::ActivatedRunningCopy);
  EXPECT_TRUE(windowSaw.empty());
  EXPECT_EQ(Stored("prg").toByteArray(), Bytes(Chosen(8, false)));
  EXPECT_FALSE(Stored(GenerationValueName()).isValid());
  EXPECT_FALSE(Stored("exe").isValid());
}

TEST(UserStore, LivesInThisUsersConfigurationFolderUnderTheProgramsKey) {
  const PreferenceStore store = PreferenceStore::UserStore();
  const QString configFolder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  EXPECT_EQ(store.Location(), configFolder + QStringLiteral("/Tarnwell/M84DPT.conf"));

  const SelectionState choice = Chosen(9, false);
  ASSERT_TRUE(store.WriteSelection(choice));
  ASSERT_TRUE(store.WriteGeneration(QStringLiteral("/usr/bin/m84dpt")));
  const StoredPreferences read = store.Read();
  EXPECT_EQ(read.selection, choice);
  EXPECT_EQ(read.generation, GenerationRecord::Ours());
  EXPECT_EQ(read.programPath, QStringLiteral("/usr/bin/m84dpt"));
  QFile::remove(store.Location());
}
