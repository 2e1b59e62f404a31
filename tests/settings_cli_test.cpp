// The settings text from the command line: every command that saves settings writes it, every
// command that loads them reads it (over --base), a refused text writes nothing, and `diff` with
// its exit codes and its patch.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "core/image/dat_file.h"
#include "core/pages/basic_page.h"
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
  // Its settings the window refuses are kept as read, marked, and said on standard error both ways:
  // the text gives back what the data file does, byte for byte.
  const Outcome toText = Expect(0, {"convert", "varied.BIN", "varied.yml"});
  EXPECT_TRUE(Read("varied.yml").contains(": {as_read: ")) << Read("varied.yml").toStdString();
  EXPECT_FALSE(Read("varied.yml").contains("not kept"));
  EXPECT_TRUE(toText.err.contains("varied.yml: as read from a pager, past the window's check: "))
      << toText.err.toStdString();
  Expect(0, {"convert", "varied.BIN", "direct.DAT"});
  Expect(0, {"convert", "direct.DAT", "direct.BIN"});
  const Outcome fromText = Expect(0, {"convert", "varied.yml", "back.BIN"});
  EXPECT_TRUE(fromText.err.contains("varied.yml: as read from a pager, past the window's check: general."))
      << fromText.err.toStdString();
  EXPECT_EQ(Read("back.BIN"), Read("direct.BIN"));
  EXPECT_TRUE(Read("varied.yml").contains("\ncarried:\n")) << "bytes no page reads travel too";
  // A file and its own text are the same settings; a patch between two files gives the second.
  Expect(0, {"diff", "direct.DAT", "varied.yml"});
  Expect(0, {"new", "default.DAT"});
  const Outcome patch = Expect(1, {"diff", "--yaml", "default.DAT", "direct.DAT"});
  ASSERT_TRUE(Write("patch.yaml", patch.out.toUtf8()));
  Expect(0, {"convert", "--base", "default.DAT", "patch.yaml", "patched.BIN"});
  EXPECT_EQ(Read("patched.BIN"), Read("direct.BIN"));
  // Values the window would refuse go to a pager only without --strict: refused before any port.
  for (const QStringList& strict : {QStringList{"write", "varied.yml", "--strict", "--port", "/nonexistent/tty"},
                                    QStringList{"fleet", "run", "none.csv", "--template", "varied.yml", "--strict",
                                                "--port", "/nonexistent/tty"}}) {
    const Outcome refused = Expect(1, strict);
    EXPECT_TRUE(refused.err.contains("varied.yml: as read from a pager, past the window's check: general."))
        << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("hold a value the window would refuse; --strict writes none of them"))
        << refused.err.toStdString();
  }
  // The report reads it as well.
  const Outcome report = Expect(0, {"report", "default.yaml"});
  EXPECT_TRUE(report.out.contains("LCD Contrast:")) << report.out.toStdString();
}

// Basic mode stores the Basic page alone: through a settings text it must give the same data file
// as between data files, bytes the other pages' stores would write their own way included.
TEST_F(SettingsCommands, BasicModeThroughTextEqualsBasicModeBetweenDataFiles) {
  PagerData data;
  data.image[0x71] = 0x33;  // half the display time, which the Display page writes from the time
  data.image[0x86] = 45;    // a display time its list does not have
  data.image[0x89] = 0x00;  // the Over The Air page always sets bit 0
  data.image[kDisplayOptionsOffset] ^= kShowDateBit | kShowTimeBit | 0x04;  // 0x04: preview mode
  data.image[kAlternativeScreenOffset] ^= kAlternativeScreenBit;
  ASSERT_TRUE(Write("pager.BIN", QByteArray(reinterpret_cast<const char*>(data.image.data()), kImageSize)));
  Expect(0, {"convert", "--basic", "pager.BIN", "direct.DAT"});
  Expect(0, {"convert", "--basic", "pager.BIN", "pager.yaml"});
  Expect(0, {"convert", "--basic", "pager.yaml", "back.DAT"});
  const std::optional<PagerData> direct = DecodeDatFile(Read("direct.DAT"));
  const std::optional<PagerData> back = DecodeDatFile(Read("back.DAT"));
  ASSERT_TRUE(direct && back);
  for (int i = 0; i < kImageSize; ++i) EXPECT_EQ(back->image[i], direct->image[i]) << "image byte " << i;
  EXPECT_TRUE(back->selection == direct->selection);
  const QByteArray text = Read("pager.yaml");
  EXPECT_TRUE(text.contains(QByteArrayLiteral("\nbasic:\n  show_date: ") +
                            (data.image[kDisplayOptionsOffset] & kShowDateBit ? "true" : "false")))
      << text.toStdString();
  // A setting changed in the text has the bytes the store writes for it, not the carried ones
  // that went with the old value: the half time follows a new display time.
  ASSERT_TRUE(text.contains("display_time: \"10 seconds\"")) << text.toStdString();
  ASSERT_TRUE(
      Write("edited.yaml", QByteArray(text).replace("display_time: \"10 seconds\"", "display_time: \"30 seconds\"")));
  Expect(0, {"convert", "--basic", "edited.yaml", "edited.BIN"});
  const QByteArray edited = Read("edited.BIN");
  ASSERT_EQ(edited.size(), kImageSize);
  EXPECT_EQ(uint8_t(edited[0x86]), 30);
  EXPECT_EQ(uint8_t(edited[0x71]), 15);
  const Outcome report = Expect(0, {"report", "--basic", "pager.yaml"});
  EXPECT_TRUE(report.out.contains(QStringLiteral("Display alternative screen: ") +
                                  (data.image[kAlternativeScreenOffset] & kAlternativeScreenBit ? "Yes" : "No")))
      << report.out.toStdString();
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

  // Two files alike give a patch all the same, one that changes nothing.
  const Outcome empty = Expect(0, {"diff", "--yaml", "a.DAT", "a.DAT"});
  EXPECT_TRUE(empty.out.contains("\nformat: m84-settings/1\n")) << empty.out.toStdString();
  ASSERT_TRUE(Write("empty.yaml", empty.out.toUtf8()));
  Expect(0, {"convert", "--base", "a.DAT", "empty.yaml", "same.BIN"});
  Expect(0, {"convert", "a.DAT", "a.BIN"});
  EXPECT_EQ(Read("same.BIN"), Read("a.BIN"));
}

// A text kept under version control changes only when the settings do: its header has no time.
TEST_F(SettingsCommands, TheSameSettingsWriteTheSameText) {
  Expect(0, {"new", "first.yaml"});
  QThread::msleep(1100);
  Expect(0, {"new", "second.yaml"});
  EXPECT_EQ(Read("first.yaml"), Read("second.yaml"));
  const QByteArray header = Read("first.yaml").left(Read("first.yaml").indexOf('\n'));
  EXPECT_TRUE(header.startsWith("# M84 DPT settings, written by m84dpt ")) << header.toStdString();
  EXPECT_FALSE(QString::fromUtf8(header).contains(QRegularExpression(QStringLiteral("\\d:\\d\\d|UTC"))))
      << header.toStdString();
}

// A pager's text or a typed key may hold terminal controls (a title change, a screen clear): what
// the commands print shows them as "\x1B", never raw.
TEST_F(SettingsCommands, ControlCharactersArePrintedEscaped) {
  Expect(0, {"new", "a.BIN"});
  QByteArray image = Read("a.BIN");
  const QByteArray hostile("\x1B]0;pwn\x07\x1B[2J\x9B", 12);
  image.replace(kStartupTextOffset, hostile.size(), hostile);
  ASSERT_TRUE(Write("b.BIN", image));
  ASSERT_TRUE(Write("key.yaml", "format: m84-settings/1\n\"\\e]0;pwn\\a\": 1\n"));
  ASSERT_TRUE(Write("page.yaml", "format: m84-settings/1\ndisplay:\n  \"con\\e[2J\\x9Btrast\": 1\n"));
  struct Case {
    QStringList arguments;
    int exitCode;
    QString shown;
  };
  const Case cases[] = {
      {{"diff", "a.BIN", "b.BIN"}, 1, QStringLiteral("\"\\x1B]0;pwn\\x07\\x1B[2J")},
      {{"convert", "key.yaml", "k.BIN"}, 1, QStringLiteral("unknown key '\\x1B]0;pwn\\x07'")},
      {{"diff", "a.BIN", "page.yaml"}, 2, QStringLiteral("unknown key 'con\\x1B[2J\\x9Btrast'")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Outcome outcome = Expect(c.exitCode, c.arguments);
    const QString said = outcome.out + outcome.err;
    EXPECT_TRUE(said.contains(c.shown)) << said.toStdString();
    for (const QChar control : {QChar(0x1B), QChar(0x07), QChar(0x9B)})
      EXPECT_FALSE(said.contains(control)) << said.toStdString();
  }
}

// A text says what the pager gets, or is refused: never read in part, never with a character the
// window would not take.
TEST_F(SettingsCommands, HostileTextsAreRefusedWithThePlace) {
  const QByteArray head = "format: m84-settings/1\ndisplay:\n";
  struct Case {
    const char* name;
    QByteArray text;
    const char* said;  // after "hostile.yaml:"
  };
  const Case cases[] = {
      {"a second document", head + "  contrast: Level 11\n---\nformat: m84-settings/1\n",
       "5:1: a settings text is one document: another begins here"},
      {"text after the end marker", head + "  contrast: Level 11\n...\ndisplay: {contrast: Level 3}\n",
       "5:1: a settings text is one document: another begins here"},
      {"an empty second document", head + "  contrast: Level 11\n---\n", "5:1: a settings text is one document"},
      {"a double quote never closed", head + "  startup_text: \"abc\n", "3:17: the quote opened here is never closed"},
      {"a single quote never closed", head + "  startup_text: 'abc''\n", "3:17: the quote opened here is never closed"},
      {"NUL inside a text", head + "  startup_text: \"ab\\0cd\"\n", "3:17: Startup Text: control character U+0000"},
      {"CR", head + "  startup_text: \"ab\\rcd\"\n", "3:17: Startup Text: control character U+000D"},
      {"LF", head + "  startup_text: \"ab\\ncd\"\n", "3:17: Startup Text: control character U+000A"},
      {"TAB", head + "  startup_text: \"ab\\tcd\"\n", "3:17: Startup Text: control character U+0009"},
      {"0x01", head + "  startup_text: \"ab\\x01cd\"\n", "3:17: Startup Text: control character U+0001"},
      {"DEL", head + "  startup_text: \"ab\\x7Fcd\"\n", "3:17: Startup Text: control character U+007F"},
      {"CSI", head + "  standby_text_1: \"ab\\x9Bcd\"\n", "3:19: Standby Text 1ST: control character U+009B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Write("hostile.yaml", c.text));
    const Outcome refused = Expect(1, {"convert", "hostile.yaml", "out.DAT"});
    EXPECT_EQ(refused.out, "File Loaded error\n");
    EXPECT_TRUE(refused.err.contains(QStringLiteral("hostile.yaml:") + QLatin1String(c.said)))
        << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("out.DAT")));
  }
  // What is still one document, with its quotes closed, reads as before.
  for (const QByteArray& text : {head + "  contrast: Level 11\n...\n# a note after the end\n",
                                 head + "  startup_text: 'it''s \"ok\"'\n", head + "  startup_text: \"a\\\"b\"\n"}) {
    SCOPED_TRACE(text.toStdString());
    ASSERT_TRUE(Write("fine.yaml", text));
    Expect(0, {"convert", "fine.yaml", "fine.DAT"});
  }
}

// As the key reference says: trailing blanks are no part of a text, in the pager or back from it.
TEST_F(SettingsCommands, TrailingBlanksAreNoPartOfAText) {
  ASSERT_TRUE(Write("blanks.yaml",
                    "format: m84-settings/1\ndisplay:\n  standby_text_1: \"Hi  \"\n"
                    "hand_program_canned_msg:\n  canned_1: \"Bye  \"\n"));
  Expect(0, {"convert", "blanks.yaml", "blanks.BIN"});
  EXPECT_EQ(Read("blanks.BIN").mid(kStandbyText1Offset, 3), QByteArray("Hi\0", 3));
  Expect(0, {"convert", "blanks.BIN", "back.yaml"});
  const QByteArray back = Read("back.yaml");
  EXPECT_TRUE(back.contains("  standby_text_1: \"Hi\"\n")) << back.toStdString();
  EXPECT_TRUE(back.contains("  canned_1: \"Bye\"\n")) << back.toStdString();
  EXPECT_FALSE(back.contains("carried:")) << back.toStdString();
  Expect(0, {"convert", "back.yaml", "back.BIN"});
  EXPECT_EQ(Read("back.BIN"), Read("blanks.BIN"));
}

// Carried bytes stand beside the settings: bytes that would change one are refused, naming the key
// to give instead, so the window's checks cannot be got round.
TEST_F(SettingsCommands, CarriedBytesNeverStandInASettingsPlace) {
  Expect(0, {"new", "base.BIN"});
  const QByteArray head = "format: m84-settings/1\ncarried:\n";
  struct Case {
    const char* name;
    QByteArray carried;
    const char* said;  // empty: read
  };
  const Case cases[] = {
      {"a hand password the window refuses", "  0x05C: \"41 42 1B 00\"\n",
       "hostile.yaml:3:3: carried bytes at 0x05C would change Hand Program/Canned MSG / "},
      {"one byte of a text", "  0x518: \"58\"\n", "hostile.yaml:3:3: carried bytes at 0x518 would change Display / "},
      {"the same offset written as a number", "  1304: \"58\"\n", "hostile.yaml:3:3: carried bytes at 0x518 would "},
      {"a run reaching into a text", "  0x510: \"00 00 00 00 00 00 00 00 58\"\n", "carried bytes at 0x510 would "},
      {"a byte no setting reads", "  0x600: \"00\"\n", ""},
      {"a text's own bytes, unchanged", "  0x518: \"57 65 6C\"\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Write("hostile.yaml", head + c.carried));
    QFile::remove(Path("out.BIN"));
    if (*c.said == '\0') {
      Expect(0, {"convert", "--base", "base.BIN", "hostile.yaml", "out.BIN"});
      continue;
    }
    const Outcome refused = Expect(1, {"convert", "--base", "base.BIN", "hostile.yaml", "out.BIN"});
    EXPECT_TRUE(refused.err.contains(QLatin1String(c.said))) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(" instead\n")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("out.BIN")));
  }
  ASSERT_TRUE(Write("hostile.yaml", head + cases[0].carried));
  const Outcome password = Expect(1, {"convert", "hostile.yaml", "out.BIN"});
  EXPECT_TRUE(password.err.contains(": give it as hand_program_canned_msg.hand_password instead"))
      << password.err.toStdString();
}

// What a run cost: its exit code, what it said, its peak memory and the processor time it took.
struct Cost {
  int exitCode = -1;
  QString err;
  double megabytes = 0;
  double seconds = 0;
};

// With input, the run reads that file on its standard input.
Cost Measured(const QString& folder, const QStringList& arguments, const QString& input = QString()) {
  QProcess python;
  python.setWorkingDirectory(folder);
  if (!input.isEmpty()) python.setStandardInputFile(input);
  python.start(QStringLiteral("python3"),
               QStringList{QStringLiteral("-c"),
                           QStringLiteral("import json, resource, subprocess, sys\n"
                                          "p = subprocess.run(sys.argv[1:], capture_output=True, stdin=sys.stdin)\n"
                                          "r = resource.getrusage(resource.RUSAGE_CHILDREN)\n"
                                          "print(json.dumps([p.returncode, p.stderr.decode('utf-8', 'replace'), "
                                          "r.ru_maxrss / 1024, r.ru_utime + r.ru_stime]))\n"),
                           QStringLiteral(M84DPT_PROGRAM)} +
                   arguments);
  if (!python.waitForFinished(60000)) return {};
  const QJsonArray figures = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
  return {figures[0].toInt(-1), figures[1].toString(), figures[2].toDouble(), figures[3].toDouble()};
}

// Whatever its size or shape, a text is refused or read at a small cost: never an abort, never
// memory or time in proportion to a hostile shape.
TEST_F(SettingsCommands, HostileShapesCostLittle) {
  const QByteArray head = "format: m84-settings/1\n";
  QByteArray aliases = head + "a: &a [1, 1, 1, 1, 1, 1, 1, 1, 1]\n";
  for (char name = 'b'; name <= 'h'; ++name) {
    const QByteArray previous = QByteArray("*") + char(name - 1);
    aliases +=
        QByteArray(1, name) + ": &" + QByteArray(1, name) + " [" + (QList<QByteArray>(9, previous)).join(", ") + "]\n";
  }
  struct Case {
    const char* name;
    QByteArray text;
    const char* said;
  };
  const Case cases[] = {
      {"four MiB of a flow sequence",
       head + "carried: [" + QByteArray(2 * 1024 * 1024, '1').replace("1", "1,") + "1]\n",
       "too long for a settings text"},
      {"just too long", head + "# " + QByteArray(64 * 1024, 'x') + "\n", "too long for a settings text"},
      {"a long flow sequence", head + "carried: [" + QByteArray(30000, '1').replace("1", "1,") + "1]\n",
       "'carried' is a mapping of keys to values"},
      {"nesting", head + "carried: " + QByteArray(30000, '[') + QByteArray(30000, ']') + "\n", ""},
      {"aliases nested eight deep", aliases, "unknown key 'a' at the top of the document"},
      {"an alias under a page", aliases + "display: *h\n", ""},
  };
  ASSERT_TRUE(Write("plain.yaml", head + "display:\n  contrast: Level 11\n"));
  const Cost plain = Measured(dir.path(), {"convert", "plain.yaml", "plain.BIN"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err.toStdString();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Write("hostile.yaml", c.text));
    const Cost cost = Measured(dir.path(), {"convert", "hostile.yaml", "out.BIN"});
    EXPECT_EQ(cost.exitCode, 1) << cost.err.toStdString();
    EXPECT_TRUE(cost.err.startsWith("m84dpt: hostile.yaml")) << cost.err.toStdString();
    EXPECT_TRUE(cost.err.contains(QLatin1String(c.said))) << cost.err.toStdString();
    EXPECT_LT(cost.megabytes, 100) << cost.err.toStdString();
    EXPECT_LT(cost.seconds - plain.seconds, 0.5) << cost.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("out.BIN")));
    // Standard input is bounded as a file is.
    const Cost piped = Measured(dir.path(), {"convert", "-", "out.BIN"}, Path("hostile.yaml"));
    EXPECT_EQ(piped.exitCode, 1) << piped.err.toStdString();
    EXPECT_TRUE(piped.err.startsWith("m84dpt: standard input")) << piped.err.toStdString();
    EXPECT_LT(piped.megabytes, 100) << piped.err.toStdString();
    EXPECT_LT(piped.seconds - plain.seconds, 0.5) << piped.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("out.BIN")));
  }
}

// "-" is standard input for diff, convert and report, its form told by its bytes; diff also reads
// a pipe ("<(...)") once, without seeking. Each gives what the same bytes in a file give.
TEST_F(SettingsCommands, StandardInputAndPipesReadAsFiles) {
  Expect(0, {"new", "a.DAT"});
  PagerData changed;
  changed.image[kDisplayOptionsOffset] ^= kShowDateBit;
  ASSERT_TRUE(Write("b.BIN", QByteArray(reinterpret_cast<const char*>(changed.image.data()), kImageSize)));
  Expect(0, {"convert", "b.BIN", "b.yaml"});
  ASSERT_TRUE(Write("empty", QByteArray()));
  const auto runWithInput = [this](const QString& input, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.setStandardInputFile(Path(qPrintable(input)));
    process.start(QStringLiteral(M84DPT_PROGRAM), arguments);
    Outcome outcome;
    if (!process.waitForFinished(kRunPatienceMs)) return outcome;
    outcome.exitCode = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
  };
  const Outcome fileDiff = Expect(1, {"diff", "a.DAT", "b.BIN"});
  EXPECT_TRUE(fileDiff.out.contains(QStringLiteral("Basic / Display current date: off \u2192 on\n")))
      << fileDiff.out.toStdString();
  struct Case {
    const char* input;
    QStringList arguments;
    int exitCode;
    QString out;  // empty: what the same command on files prints
    QStringList sameAs;
  };
  const Case cases[] = {
      {"a.DAT", {"diff", "-", "b.BIN"}, 1, fileDiff.out, {}},
      {"b.yaml", {"diff", "a.DAT", "-"}, 1, fileDiff.out, {}},
      {"b.BIN", {"report", "-"}, 0, {}, {"report", "b.BIN"}},
      {"b.yaml", {"report", "--basic", "-"}, 0, {}, {"report", "--basic", "b.yaml"}},
      {"b.BIN", {"convert", "-", "c.yaml"}, 0, "File Loaded ok\nFile Saved ok\n", {}},
      {"a.DAT", {"diff", "-", "-"}, 2, "", {}},
      {"empty", {"convert", "-", "d.DAT"}, 1, "File Loaded error\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const Outcome got = runWithInput(QLatin1String(c.input), c.arguments);
    EXPECT_EQ(got.exitCode, c.exitCode) << got.err.toStdString();
    EXPECT_EQ(got.out, c.sameAs.isEmpty() ? c.out : Run(c.sameAs).out);
  }
  EXPECT_EQ(Read("c.yaml"), Read("b.yaml"));
  EXPECT_EQ(runWithInput(QStringLiteral("empty"), {"convert", "-", "d.DAT"}).err,
            "m84dpt: standard input: empty: nothing was read\n");
  EXPECT_FALSE(QFile::exists(Path("d.DAT")));
  // A pipe the shell makes, read once without seeking.
  QProcess shell;
  shell.setWorkingDirectory(dir.path());
  shell.start(QStringLiteral("bash"),
              {QStringLiteral("-c"), QStringLiteral("\"$0\" diff a.DAT <(cat b.BIN)"), QStringLiteral(M84DPT_PROGRAM)});
  ASSERT_TRUE(shell.waitForFinished(kRunPatienceMs));
  EXPECT_EQ(shell.exitCode(), 1) << shell.readAllStandardError().toStdString();
  EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()), fileDiff.out);
}

}  // namespace
