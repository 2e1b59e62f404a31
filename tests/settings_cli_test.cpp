// The settings text from the command line: every command that saves settings writes it, every
// command that loads them reads it (over --base), a refused text writes nothing, and `diff` with
// its exit codes and its patch.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "core/image/dat_file.h"
#include "qstring_printer.h"

using namespace m84;

namespace {

constexpr int kRunPatienceMs = 30000;

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

class SettingsCommands : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }
  bool Write(const char* name, const QByteArray& bytes) const { return bool(WriteFileAtomically(Path(name), bytes)); }
  QByteArray Read(const char* name) const {
    QFile file(Path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  Outcome Run(const QStringList& arguments) const {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    Outcome outcome;
    if (!process.waitForFinished(kRunPatienceMs)) return outcome;
    outcome.exitCode = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
  }

  // Runs and expects the exit code, showing what the program said otherwise.
  Outcome Expect(int exitCode, const QStringList& arguments) const {
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.exitCode, exitCode) << arguments.join(' ').toStdString() << "\n"
                                          << outcome.out.toStdString() << outcome.err.toStdString();
    return outcome;
  }

  QTemporaryDir dir;
};

TEST_F(SettingsCommands, ConvertThroughTextLosesNothing) {
  Expect(0, {"new", "default.yaml"});
  EXPECT_TRUE(Read("default.yaml").startsWith("# M84 DPT settings, written by m84dpt "));
  // A varied image: every byte that no page owns must survive as well.
  QByteArray image(kImageSize, '\0');
  for (int i = 0; i < kImageSize; ++i) image[i] = char((i * 37 + 11) & 0xFF);
  ASSERT_TRUE(Write("varied.BIN", image));
  Expect(0, {"convert", "varied.BIN", "direct.BIN"});
  Expect(0, {"convert", "varied.BIN", "varied.yml"});
  Expect(0, {"convert", "varied.yml", "back.BIN"});
  EXPECT_EQ(Read("back.BIN"), Read("direct.BIN"));
  Expect(0, {"convert", "varied.yml", "back.DAT"});
  const std::optional<PagerData> dat = DecodeDatFile(Read("back.DAT"));
  ASSERT_TRUE(dat);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(dat->image.data()), kImageSize), Read("direct.BIN"));
  // The report reads it as well.
  const Outcome report = Expect(0, {"report", "default.yaml"});
  EXPECT_TRUE(report.out.contains("LCD Contrast:")) << report.out.toStdString();
}

TEST_F(SettingsCommands, APartialTextIsReadOverTheBaseAndARefusedOneWritesNothing) {
  Expect(0, {"new", "base.DAT"});
  ASSERT_TRUE(Write("change.yaml", "format: m84-settings/1\ndisplay:\n  contrast: Level 11\n"));
  Expect(0, {"convert", "--base", "base.DAT", "change.yaml", "changed.yaml"});
  EXPECT_TRUE(Read("changed.yaml").contains("  contrast: \"Level 11\"\n"));

  ASSERT_TRUE(Write("typo.yaml", "format: m84-settings/1\ndisplay:\n  lcd_contrast: Level 11\n"));
  const Outcome typo = Expect(1, {"convert", "typo.yaml", "out.DAT"});
  EXPECT_EQ(typo.out, "File Loaded error\n");
  EXPECT_TRUE(typo.err.contains("typo.yaml:3:3: unknown key 'lcd_contrast' on page 'display'; did you mean contrast?"))
      << typo.err.toStdString();
  EXPECT_FALSE(QFile::exists(Path("out.DAT")));
}

TEST_F(SettingsCommands, DiffSaysWhatDiffersAndPrintsAPatch) {
  Expect(0, {"new", "a.DAT"});
  ASSERT_TRUE(Write("b.yaml", "format: m84-settings/1\ndisplay:\n  contrast: Level 11\ncarried:\n  0x600: \"00\"\n"));
  Expect(0, {"convert", "b.yaml", "b.BIN"});

  EXPECT_EQ(Expect(0, {"diff", "a.DAT", "a.DAT"}).out, "");
  EXPECT_EQ(Expect(1, {"diff", "a.DAT", "b.BIN"}).out,
            QStringLiteral("Display / LCD Contrast: Level 15 \u2192 Level 11\nCarried 0x600: FF \u2192 00\n"));
  Expect(2, {"diff", "a.DAT", "missing.DAT"});
  Expect(2, {"diff", "a.DAT"});

  const Outcome patch = Expect(1, {"diff", "--yaml", "a.DAT", "b.BIN"});
  ASSERT_TRUE(Write("patch.yaml", patch.out.toUtf8()));
  Expect(0, {"convert", "--base", "a.DAT", "patch.yaml", "patched.BIN"});
  EXPECT_EQ(Read("patched.BIN"), Read("b.BIN"));
  Expect(0, {"diff", "patched.BIN", "b.yaml"});
}

}  // namespace
