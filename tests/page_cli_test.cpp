// "page encode" and "page decode" as a user runs them: the three forms of a transmission, audio
// from a file and from standard input, the same pages as multimon-ng hears in the same audio, and
// the refusals.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <random>

#include "core/paging/pocsag_codeword.h"
#include "core/paging/pocsag_transmission.h"
#include "multimon_reading.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::pocsag;

namespace {

constexpr int kPatienceMs = 60000;

struct Ran {
  int exitCode = -1;
  QString out;
  QString err;
};

Ran RunProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
  QProcess process;
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  Ran ran;
  if (!process.waitForFinished(kPatienceMs)) return ran;
  ran.exitCode = process.exitCode();
  ran.out = QString::fromUtf8(process.readAllStandardOutput());
  ran.err = QString::fromUtf8(process.readAllStandardError());
  return ran;
}

Ran M84(const QStringList& arguments, const QByteArray& input = {}) {
  return RunProgram(QStringLiteral(M84DPT_PROGRAM), QStringList{QStringLiteral("page")} + arguments, input);
}

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "1200 1234567 D text: Hello" for each page a line of ours names; the time is left out, since
// multimon-ng gives none.
QSet<QString> OurPages(const QString& out) {
  static const QRegularExpression line(
      QStringLiteral("^\\S+  (\\d+) baud  capcode (\\d+)  function ([A-D])  (tone only|numeric: |text: )(.*)$"));
  QSet<QString> pages;
  for (const QString& text : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QRegularExpressionMatch m = line.match(text);
    EXPECT_TRUE(m.hasMatch()) << text.toStdString();
    pages << QStringList{m.captured(1), m.captured(2), m.captured(3), m.captured(4) + m.captured(5)}.join(u' ');
  }
  return pages;
}

// The same from multimon-ng's lines, with its function as our letter.
QSet<QString> MultimonPages(const QString& out) {
  QSet<QString> pages;
  for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const std::optional<HeardPage> heard = MultimonPage(line);
    if (!heard) continue;
    const Page& page = heard->page;
    const QString kind = page.kind == PageKind::Tone   ? QStringLiteral("tone only")
                         : page.kind == PageKind::Text ? QStringLiteral("text: ")
                                                       : QStringLiteral("numeric: ");
    pages << QStringList{QString::number(heard->baud), QString::number(page.capcode),
                         QString(FunctionLetter(page.function)), kind + page.message}
                 .join(u' ');
  }
  return pages;
}

class PageCommands : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return dir.filePath(QLatin1String(name)); }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(PageCommands, EncodeWritesCodewordsBitsAndAudio) {
  const QStringList page{QStringLiteral("--capcode"), QStringLiteral("1234567"), QStringLiteral("--text"),
                         QStringLiteral("Hello")};
  for (const char* name : {"page.txt", "page.bits", "page.wav"})
    EXPECT_EQ(M84(QStringList{QStringLiteral("encode")} + page + QStringList{Path(name)}).exitCode, 0) << name;

  const QStringList words = QString::fromLatin1(Read(Path("page.txt"))).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(words.size(), 2 * (kCodewordsPerBatch + 1));
  EXPECT_EQ(words[0], QStringLiteral("7CD215D8"));
  EXPECT_EQ(words[15], QStringLiteral("4B5A1A25"));  // capcode 1234567, function D, frame 7's first codeword
  EXPECT_EQ(words[17], QStringLiteral("7CD215D8"));

  const QStringList lines = QString::fromLatin1(Read(Path("page.bits"))).split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1 + words.size());
  EXPECT_EQ(lines[0], QStringLiteral("10").repeated(kPreambleBits / 2));
  for (int i = 0; i < words.size(); ++i) EXPECT_EQ(lines[i + 1].toUInt(nullptr, 2), words[i].toUInt(nullptr, 16)) << i;

  // The audio's header as another program reads it.
  const Ran python = RunProgram(QStringLiteral("python3"), {QStringLiteral("-c"),
                                                            QStringLiteral("import wave,sys; w=wave.open(sys.argv[1]); "
                                                                           "print(w.getnchannels(), w.getsampwidth(), "
                                                                           "w.getframerate(), w.getnframes() > 0)"),
                                                            Path("page.wav")});
  EXPECT_EQ(python.out.trimmed(), QStringLiteral("1 2 22050 True")) << python.err.toStdString();
}

// Pages at the three rates one after another, with the receiver's noise between and over them:
// our decoder and multimon-ng hear the same pages, from the file and from raw samples on
// standard input.
TEST_F(PageCommands, DecodeHearsWhatMultimonHears) {
  const std::vector<std::pair<int, Page>> sent = {
      {512, {8, 0, PageKind::Numeric, QStringLiteral("0123456789")}},
      {1200, {2097151, 3, PageKind::Text, QStringLiteral("Fire alarm, building 7, call 555-0134")}},
      {2400, {1234565, 1, PageKind::Tone, {}}},
      {1200, {400011, 0, PageKind::Tone, {}}},
      {2400, {1000003, 2, PageKind::Text, QStringLiteral("x")}},
  };
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0, 2500);
  std::vector<int16_t> audio;
  for (const auto& [baud, page] : sent) {
    audio.resize(audio.size() + kSampleRate / 3);
    const std::vector<int16_t> transmission =
        DiscriminatorAudio(TransmissionBits(*TransmissionCodewords({page})), baud);
    audio.insert(audio.end(), transmission.begin(), transmission.end());
  }
  for (int16_t& sample : audio) sample = static_cast<int16_t>(std::clamp(sample + noise(random), -32768.0, 32767.0));
  const QByteArray wav = WavFile(audio);
  QFile file(Path("air.wav"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(wav);
  file.close();

  const Ran fromFile = M84({QStringLiteral("decode"), Path("air.wav")});
  EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err.toStdString();
  const QSet<QString> ours = OurPages(fromFile.out);
  EXPECT_EQ(ours.size(), sent.size()) << fromFile.out.toStdString();
  EXPECT_TRUE(ours.contains(QStringLiteral("1200 2097151 D text: Fire alarm, building 7, call 555-0134")));
  EXPECT_TRUE(ours.contains(QStringLiteral("512 8 A numeric: 0123456789")));

  const Ran fromRaw = M84({QStringLiteral("decode"), QStringLiteral("-")}, wav.mid(44));
  EXPECT_EQ(fromRaw.out, fromFile.out);

  const QString multimon = QStandardPaths::findExecutable(QStringLiteral("multimon-ng"));
  if (multimon.isEmpty()) GTEST_SKIP() << "multimon-ng is not installed (Debian package multimon-ng)";
  // The same samples as raw input: read from the WAVE file through sox, they come with sox's
  // random dither, and multimon-ng then hears a page that was never sent now and then.
  const Ran theirs =
      RunProgram(multimon,
                 {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-a"),
                  QStringLiteral("POCSAG512"), QStringLiteral("-a"), QStringLiteral("POCSAG1200"), QStringLiteral("-a"),
                  QStringLiteral("POCSAG2400"), QStringLiteral("-")},
                 wav.mid(44));
  EXPECT_EQ(MultimonPages(theirs.out), ours) << theirs.out.toStdString();
}

TEST_F(PageCommands, RefuseWhatCannotBeSentOrRead) {
  struct Case {
    QStringList arguments;
    int exitCode;
    const char* says;
  };
  QFile notAudio(Path("notes.wav"));
  ASSERT_TRUE(notAudio.open(QIODevice::WriteOnly));
  notAudio.write("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0data", 40);
  notAudio.close();
  const Case cases[] = {
      {{"encode", "--capcode", "2097152", Path("a.wav")}, 2, "--capcode needs a number from 0 to 2097151"},
      {{"encode", "--capcode", "8", "--baud", "600", Path("a.wav")}, 2, "--baud is 512, 1200 or 2400"},
      {{"encode", "--capcode", "8", Path("a.mp3")}, 2, "OUT ends in .txt, .bits or .wav"},
      {{"encode", "--capcode", "8", "--function", "E", Path("a.wav")}, 2, "--function is A, B, C or D"},
      {{"encode", "--capcode", "8", "--text", "a", "--tone", Path("a.wav")}, 2, "exclude each other"},
      {{"encode", "--capcode", "8", "--numeric", "12a", Path("a.wav")}, 1, "'a' cannot be sent in a numeric page"},
      {{"decode", Path("missing.wav")}, 1, "No such file or directory"},
      {{"decode", Path("notes.wav")}, 1, "44100 Hz, 2 channels"},
      {{"decode", "-"}, 1, "no page heard"},
      {{"transmit"}, 2, "unknown subcommand 'transmit'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(u' ').toStdString());
    const Ran ran = M84(c.arguments);
    EXPECT_EQ(ran.exitCode, c.exitCode);
    EXPECT_TRUE(ran.err.contains(QLatin1String(c.says))) << ran.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Path("a.wav")));
}

namespace {

// "m84dpt simulate --terminal ...": its first line is where it listens.
class SimulatedTerminal {
 public:
  explicit SimulatedTerminal(const QStringList& arguments) {
    process_.start(QStringLiteral(M84DPT_PROGRAM), QStringList{QStringLiteral("simulate")} + arguments);
    const QDeadlineTimer deadline(kPatienceMs);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning && !deadline.hasExpired())
      process_.waitForReadyRead(int(deadline.remainingTime()));
    address_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
  }
  ~SimulatedTerminal() {
    process_.terminate();
    process_.waitForFinished(kPatienceMs);
  }
  const QString& Address() const { return address_; }
  // What it said on standard error: a line for each page it took.
  QString Said() { return QString::fromLocal8Bit(process_.readAllStandardError()); }

 private:
  QProcess process_;
  QString address_;
};

}  // namespace

// The page through each protocol to the simulated terminal, whose transmission our decoder and
// multimon-ng then read back; and each refusal, which exits 1 with the terminal's reason.
TEST_F(PageCommands, SendGoesThroughTheTerminalOrSaysWhyNot) {
  struct Case {
    const char* protocol;
    const char* refuse;
    int exitCode;
    const char* says;
  };
  const Case cases[] = {
      {"snpp", nullptr, 0, "Page sent to capcode 1234567\n"},
      {"tap", nullptr, 0, "Page sent to capcode 1234567\n"},
      {"snpp", "wrong-id", 1, "the terminal refused pager id 1234567: 550 Error, Invalid Pager ID"},
      {"snpp", "busy", 1, "the terminal refused the call: 421 Too busy, try again later"},
      {"snpp", "hang-up", 1, "the terminal hung up"},
      {"tap", "wrong-id", 1, "the terminal refused pager id 1234567 (\"511 Invalid pager ID\")"},
      {"tap", "busy", 1, "the terminal refused the logon (\"Terminal busy, try again later\")"},
      {"tap", "bad-checksum", 1, "the terminal found the page's checksum wrong 3 times"},
      {"tap", "hang-up", 1, "the terminal hung up"},
  };
  const QString multimon = QStandardPaths::findExecutable(QStringLiteral("multimon-ng"));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.protocol << ", " << (c.refuse ? c.refuse : "no refusal"));
    QFile::remove(Path("air.wav"));
    QStringList arguments{QStringLiteral("--terminal"), QLatin1String(c.protocol),
                          QStringLiteral("--air"),      Path("air.wav"),
                          QStringLiteral("--baud"),     QStringLiteral("2400")};
    if (c.refuse) arguments << QStringLiteral("--refuse") << QLatin1String(c.refuse);
    SimulatedTerminal terminal(arguments);
    ASSERT_FALSE(terminal.Address().isEmpty());
    const bool snpp = QLatin1String(c.protocol) == QLatin1String("snpp");
    const Ran sent =
        M84({QStringLiteral("send"), QStringLiteral("--capcode"), QStringLiteral("1234567"),
             snpp ? QStringLiteral("--snpp") : QStringLiteral("--tap"), terminal.Address(), QStringLiteral("TEST 7")});
    EXPECT_EQ(sent.exitCode, c.exitCode);
    EXPECT_TRUE((c.exitCode == 0 ? sent.out : sent.err).contains(QLatin1String(c.says)))
        << sent.out.toStdString() << sent.err.toStdString();
    if (c.exitCode != 0) {
      EXPECT_TRUE(sent.err.startsWith(QStringLiteral("m84dpt: Page not sent: "))) << sent.err.toStdString();
      EXPECT_FALSE(QFile::exists(Path("air.wav")));
      continue;
    }
    const Ran decoded = M84({QStringLiteral("decode"), Path("air.wav")});
    EXPECT_EQ(OurPages(decoded.out), QSet<QString>{QStringLiteral("2400 1234567 D text: TEST 7")});
    if (multimon.isEmpty()) continue;
    const Ran theirs = RunProgram(multimon,
                                  {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("raw"),
                                   QStringLiteral("-a"), QStringLiteral("POCSAG2400"), QStringLiteral("-")},
                                  Read(Path("air.wav")).mid(44));
    EXPECT_EQ(MultimonPages(theirs.out), OurPages(decoded.out)) << theirs.out.toStdString();
  }
}
