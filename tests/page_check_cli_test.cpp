// "page check" and "--site" from the real program: every reason a pager stays silent, and every
// setting it shows for a page it alerts for, over data files made with convert --base from small
// settings texts; a site profile through page check and fleet check.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "core/image/dat_file.h"
#include "core/link/simulator_host.h"
#include "qstring_printer.h"

using namespace m84;

namespace {

constexpr int kRunPatienceMs = 30000;

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

class PageCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(Run({"new", "base.DAT"}).exitCode, 0);
  }

  bool Write(const QString& name, const QByteArray& bytes) const {
    return bool(WriteFileAtomically(dir.filePath(name), bytes));
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

  // The pager of the settings text, over the default settings, as a data file.
  void MakePager(const QByteArray& settings) const {
    ASSERT_TRUE(Write(QStringLiteral("pager.yaml"), "format: m84-settings/1\n" + settings));
    const Outcome made = Run({"convert", "pager.yaml", "pager.DAT", "--base", "base.DAT"});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
  }

  QTemporaryDir dir;
};

// Capcode row 1 holds 1234567, row 2 1234568, and so on; 512 baud, standard polarity,
// 457.5750 MHz; every capcode private, every function decoding Alpha.
struct Case {
  const char* what;
  QByteArray settings;
  QStringList arguments;
  int exitCode;
  QStringList lines;   // each a whole line of the output
  QStringList absent;  // no line starts with these
};

// Rows of a grid, the last one given: "    - {}\n" for each row before it.
QByteArray GridRow(const char* page, const char* grid, int row, const QByteArray& members) {
  QByteArray text = QByteArray(page) + ":\n  " + grid + ":\n";
  for (int before = 1; before < row; ++before) text += "    - {}\n";
  return text + "    - " + members + "\n";
}

TEST_F(PageCheck, SaysWhyAPagerStaysSilentAndWhatItsRowMakesOfAPage) {
  const Case cases[] = {
      {"a disabled row",
       GridRow("general", "capcodes", 1, "{enable: false}"),
       {"--capcode", "1234567"},
       1,
       {"silent: capcode row 1 holds 1234567 but is disabled"},
       {"alerts"}},
      {"no row holds the capcode", {}, {"--capcode", "2000000"}, 1, {"silent: no capcode row holds 2000000"}, {}},
      {"another speed",
       {},
       {"--capcode", "1234567", "--baud", "1200"},
       1,
       {"silent: listens at 512 baud; the page is sent at 1200"},
       {}},
      {"another polarity",
       "general:\n  polarity: \"Negative\"\n",
       {"--capcode", "1234567", "--polarity", "standard"},
       1,
       {"silent: listens for negative POCSAG polarity; the page is sent with standard"},
       {}},
      {"another frequency, every reason at once",
       GridRow("general", "capcodes", 1, "{enable: false}"),
       {"--capcode", "1234567", "--frequency", "457.55", "--baud", "2400"},
       1,
       {"silent: listens on 457.5750 MHz; the page is sent on 457.5500 MHz",
        "silent: listens at 512 baud; the page is sent at 2400", "silent: capcode row 1 holds 1234567 but is disabled"},
       {}},
      {"the first enabled row that holds it answers",
       "general:\n  capcodes:\n    - {enable: false}\n    - {}\n    - {}\n    - {capcode: 1234567}\n",
       {"--capcode", "1234567", "--baud", "512", "--polarity", "standard", "--frequency", "457.575"},
       0,
       {"alerts: capcode row 4 holds 1234567 (frame 7), tone-only page on function A"},
       {"silent", "mismatch", "  message"}},
      {"a text page with the row's codes, cadences, priority and descriptions",
       GridRow("alerting", "beep_code", 2, "{tone_c: \"S2B\"}") +
           GridRow("alerting", "vibrate_code", 2, "{tone_c: \"H\"}").mid(QByteArray("alerting:\n").size()) +
           GridRow("tones", "priority", 2, "{tone_c: \"Urgent\"}") +
           "cadence:\n  cadences:\n    - {}\n    - {duration: 20, m: 2, slot_2: false, slot_3: false, slot_4: "
           "false}\n" +
           "out_of_range_display_cap:\n  capcode_name_2: \"WARD 3\"\n  beep_code_name_1: \"CODE B\"\n",
       {"--capcode", "1234568", "--function", "C", "--text", "Call 4711 now, Dr. Ames"},
       0,
       {"alerts: capcode row 2 holds 1234568 (frame 0), text page on function C",
        "  beep code: S2B, cadence B (Y N N N Y Y Y N, M 2, G 0, 20 s)", "  priority: Urgent", "  decoding: Alpha",
        "  folder: none, the capcode is private", "  capcode description: \"WARD 3\"",
        "  beep code description: \"CODE B\"", "  message, 15 characters a line:", "      [Call 4711 now, ]",
        "      [Dr. Ames]"},
       {"mismatch"}},
      {"an over-the-air beep code has no description; the descriptions hidden",
       GridRow("alerting", "beep_code", 1, "{tone_d: \"K\"}") +
           "out_of_range_display_cap:\n  display_text_enable: false\n",
       {"--capcode", "1234567", "--text", "x"},
       0,
       {"  capcode description: \"CAP -1\" (not shown: display text is off)"},
       {"  beep code description"}},
      {"a text page to a function set to numeric decoding",
       GridRow("tones", "decoding", 1, "{tone_a: \"Numeric\"}"),
       {"--capcode", "1234567", "--function", "A", "--text", "HELLO"},
       0,
       {"mismatch: a text page to capcode row 1 function A, which decodes Numeric: the text shows as digits"},
       {"  message"}},
      {"a numeric page to a function set to text",
       {},
       {"--capcode", "1234567", "--numeric", "555-0100"},
       0,
       {"  decoding: Alpha",
        "mismatch: a numeric page to capcode row 1 function A, which decodes Alpha: the digits show as text"},
       {}},
      {"a numeric page as the pager shows it",
       GridRow("tones", "decoding", 3, "{tone_b: \"Numeric\"}"),
       {"--capcode", "1234569", "--function", "b", "--numeric", "555-0100 U"},
       0,
       {"  decoding: Numeric", "      [555-0100 U]"},
       {"mismatch"}},
      {"what a page cannot carry",
       GridRow("tones", "decoding", 1, "{tone_a: \"Numeric\"}"),
       {"--capcode", "1234567", "--numeric", "12AB"},
       0,
       {"mismatch: a numeric page carries only \"0123456789*U -[]\": 'A' cannot be sent"},
       {}},
      {"a tone-only function keeps the message back",
       GridRow("tones", "decoding", 1, "{tone_d: \"Tone only\"}"),
       {"--capcode", "1234567", "--text", "HELLO"},
       0,
       {"  message: not shown (decoding Tone only)"},
       {"mismatch", "      ["}},
      {"a public capcode's folder",
       "general:\n  capcodes:\n    - {}\n    - {}\n    - {}\n    - {}\n    - {private: false}\n" +
           GridRow("folders", "folders", 6, "{name: \"WARD 6\", alert: \"Short Beep\"}"),
       {"--capcode", "1234571", "--function", "B"},
       0,
       {"  folder: 6 \"WARD 6\", alert Short Beep"},
       {}},
      {"a public capcode without folders",
       GridRow("general", "capcodes", 1, "{private: false}"),
       {"--capcode", "1234567"},
       0,
       {"  folder: none: the public capcodes 4 to 6 have folders"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MakePager(c.settings);
    const Outcome outcome = Run(QStringList{"page", "check", "pager.DAT"} + c.arguments);
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.out.toStdString() << outcome.err.toStdString();
    const QStringList lines = outcome.out.split(QLatin1Char('\n'));
    for (const QString& line : c.lines)
      EXPECT_TRUE(lines.contains(line)) << line.toStdString() << " in\n" << outcome.out.toStdString();
    for (const QString& start : c.absent)
      for (const QString& line : lines) EXPECT_FALSE(line.startsWith(start)) << line.toStdString();
  }
}

TEST_F(PageCheck, RefusesAPageItCannotMake) {
  const QStringList refused[] = {
      {"page", "check", "base.DAT"},
      {"page", "check", "base.DAT", "--capcode", "7"},
      {"page", "check", "base.DAT", "--capcode", "1234567", "--function", "E"},
      {"page", "check", "base.DAT", "--capcode", "1234567", "--text", "a", "--numeric", "1"},
      {"page", "check", "base.DAT", "--capcode", "1234567", "--baud", "9600"},
      {"page", "check", "base.DAT", "--capcode", "1234567", "--frequency", "457.57501"},
      {"page", "check", "base.DAT", "--port", "/dev/null", "--capcode", "1234567"},
      {"page", "examine", "base.DAT"},
  };
  for (const QStringList& arguments : refused) {
    const Outcome outcome = Run(arguments);
    EXPECT_EQ(outcome.exitCode, 2) << arguments.join(' ').toStdString() << "\n" << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
  }
}

const QByteArray kSite =
    "name: North Hospital\n"
    "frequency: 457.575\n"
    "baud: 512\n"
    "polarity: standard\n"
    "capcodes:\n"
    "  \"Ames, J\": 1234567\n"
    "  All call: 1234568\n";

TEST_F(PageCheck, ReportsEveryRowThatWouldNotHearTheSite) {
  ASSERT_TRUE(Write(QStringLiteral("site.yaml"), kSite));
  // Row 2 takes a capcode the site does not send; the disabled rows are not meant to hear it.
  MakePager(
      "general:\n  capcodes:\n    - {}\n    - {capcode: 1234999}\n    - {enable: false}\n    - {enable: false}\n"
      "    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n");
  Outcome outcome = Run({"page", "check", "pager.DAT", "--site", "site.yaml", "--capcode", "Ames, J", "--text", "hi"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.out.section(QLatin1Char('\n'), 0, 0),
            QStringLiteral("alerts: capcode row 1 holds 1234567 (frame 7), text page on function D"));
  EXPECT_TRUE(outcome.out.endsWith(QStringLiteral(
      "\n  message, 15 characters a line:\n      [hi]\nsite: row 2: the site does not send capcode 1234999\n")))
      << outcome.out.toStdString();

  // The site's speed is the page's unless the command says otherwise.
  MakePager("general:\n  baud_rate: \"1200bps\"\n  capcodes:\n    - {}\n    - {}\n    - {capcode: 1234567}\n");
  outcome = Run({"page", "check", "pager.DAT", "--site", "site.yaml", "--capcode", "Ames, J"});
  EXPECT_EQ(outcome.exitCode, 1);
  const QStringList lines = outcome.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  EXPECT_EQ(lines.value(0), QStringLiteral("silent: listens at 1200 baud; the page is sent at 512"));
  EXPECT_TRUE(lines.contains(QStringLiteral("site: row 1 (Ames, J): listens at 1200 baud; the site sends at 512")));
  EXPECT_TRUE(lines.contains(QStringLiteral("site: row 3 (Ames, J): listens at 1200 baud; the site sends at 512")));
  EXPECT_TRUE(lines.contains(QStringLiteral("site: row 4: the site does not send capcode 1234570")));
  EXPECT_EQ(Run({"page", "check", "pager.DAT", "--site", "site.yaml", "--capcode", "Ames, J", "--baud", "1200"})
                .out.section(QLatin1Char('\n'), 0, 0),
            QStringLiteral("alerts: capcode row 1 holds 1234567 (frame 7), tone-only page on function A"));

  // A pager that hears the site on every row it has enabled: nothing to say.
  MakePager(
      "general:\n  capcodes:\n    - {}\n    - {}\n    - {enable: false}\n    - {enable: false}\n"
      "    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n");
  outcome = Run({"page", "check", "pager.DAT", "--site", "site.yaml"});
  EXPECT_EQ(outcome.exitCode, 0) << outcome.out.toStdString();
  EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
}

TEST_F(PageCheck, FleetCheckNamesTheOrderRowsThatWouldNotHearTheSite) {
  ASSERT_TRUE(Write(QStringLiteral("site.yaml"), kSite));
  // Capcode row 2 alone enabled: each order row gives it a capcode of its own.
  MakePager(
      "general:\n  capcodes:\n    - {enable: false}\n    - {}\n    - {enable: false}\n    - {enable: false}\n"
      "    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n");
  ASSERT_TRUE(Write(QStringLiteral("order.csv"),
                    "label,general.capcodes[2].capcode,general.baud_rate\n"
                    "Ames,1234567,512bps\n"
                    "Baker,1234568,2400bps\n"
                    "Cole,1234999,512bps\n"));
  const Outcome outcome = Run({"fleet", "check", "order.csv", "--template", "pager.DAT", "--site", "site.yaml"});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            (QStringList{"order.csv:3: row 2 (All call): listens at 2400 baud; the site sends at 512",
                         "order.csv:4: row 2: the site does not send capcode 1234999"}))
      << outcome.err.toStdString();
  // Without the site the order is fine.
  EXPECT_EQ(Run({"fleet", "check", "order.csv", "--template", "pager.DAT"}).exitCode, 0);
  EXPECT_EQ(Run({"fleet", "status", "order.csv", "--site", "site.yaml"}).exitCode, 2);
}

TEST_F(PageCheck, RefusesASiteProfileItCannotRead) {
  struct Refusal {
    QByteArray profile;
    QString message;
  };
  const Refusal refusals[] = {
      {"name: North\nbaudrate: 1200\n",
       "bad.yaml:2:1: unknown key 'baudrate'; a site profile has name, frequency, baud, polarity, capcodes"},
      {"frequncy: 457.575\n",
       "bad.yaml:1:1: unknown key 'frequncy'; a site profile has name, frequency, baud, polarity, capcodes; did you "
       "mean 'frequency'?"},
      {"baud: 9600\n", "bad.yaml:1:7: baud is 512, 1200 or 2400"},
      {"polarity: inverted\n", "bad.yaml:1:11: polarity is standard or negative"},
      {"frequency: 457,575\n", "bad.yaml:1:12: frequency is in MHz, with up to four decimals: 457.575"},
      {"capcodes:\n  Ames: 7\n", "bad.yaml:2:9: the capcode of 'Ames' is a whole number, 8 to 2097151"},
      {"capcodes:\n  Ames: 1234567\n  Ames: 1234568\n", "bad.yaml:3:3: 'Ames' is named twice"},
      {"capcodes: [1234567]\n", "bad.yaml:1:11: capcodes is a mapping of names to capcodes: \"Ames, J\": 1200100"},
      {"baud: 512\nbaud: 1200\n", "bad.yaml:2:1: 'baud' is given twice"},
  };
  for (const Refusal& refusal : refusals) {
    ASSERT_TRUE(Write(QStringLiteral("bad.yaml"), refusal.profile));
    const Outcome outcome = Run({"page", "check", "base.DAT", "--site", "bad.yaml", "--capcode", "1234567"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, QStringLiteral("m84dpt: ") + refusal.message + QLatin1Char('\n'));
    EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
  }
  EXPECT_EQ(Run({"page", "check", "base.DAT", "--site", "missing.yaml"}).exitCode, 1);
}

// The pager in the adapter: page check reads it as read does, and write --review names the rows
// of the settings about to be written that would not hear the site.
TEST_F(PageCheck, ThePagerInTheAdapter) {
  SimulatorHost simulator{SimulatorOptions()};
  const m84::Outcome started = simulator.Start();
  ASSERT_TRUE(started) << started.failure().reason.toStdString();
  const QString port = simulator.DevicePath();
  ASSERT_EQ(Run({"read", "pager.DAT", "--port", port}).exitCode, 0);
  const QStringList page = {"--capcode", "1234567", "--text", "hi"};
  const Outcome fromFile = Run(QStringList{"page", "check", "pager.DAT"} + page);
  const Outcome fromPager = Run(QStringList{"page", "check", "--port", port} + page);
  EXPECT_EQ(fromPager.exitCode, fromFile.exitCode);
  EXPECT_EQ(fromPager.out, fromFile.out);
  EXPECT_FALSE(fromPager.out.isEmpty());

  ASSERT_TRUE(Write(QStringLiteral("site.yaml"), kSite));
  MakePager(
      "general:\n  baud_rate: \"1200bps\"\n  capcodes:\n    - {}\n    - {enable: false}\n    - {enable: false}\n"
      "    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n    - {enable: false}\n"
      "    - {enable: false}\n");
  const Outcome review = Run({"write", "pager.DAT", "--dry-run", "--site", "site.yaml", "--port", port});
  EXPECT_EQ(review.exitCode, 1) << review.err.toStdString();
  EXPECT_TRUE(review.out.contains(QStringLiteral("General / BaudRate: "))) << review.out.toStdString();
  EXPECT_TRUE(
      review.err.contains(QStringLiteral("site: row 1 (Ames, J): listens at 1200 baud; the site sends at 512\n")))
      << review.err.toStdString();
  EXPECT_EQ(Run({"write", "pager.DAT", "--site", "site.yaml", "--port", port}).exitCode, 2);
}

}  // namespace
