// "page": a POCSAG page made into what a transmitter sends, read back from a receiver's audio,
// and sent through a paging terminal. Each subcommand parses its own arguments.
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFile>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "core/paging/paging_terminal.h"
#include "core/paging/pocsag_audio_input.h"
#include "core/paging/pocsag_codeword.h"
#include "core/paging/pocsag_decoder.h"
#include "core/paging/pocsag_transmission.h"

namespace m84 {

namespace {

using namespace pocsag;

constexpr int kDefaultBaud = 1200;

constexpr char kEncodeSummary[] = "Make the transmission of a POCSAG page, as codewords, bits or audio.";
constexpr char kSendSummary[] =
    "Send a text page through the site's paging terminal, by SNPP over the network or TAP over a serial line.";
constexpr char kCheckSummary[] =
    "Say whether a programmed pager alerts for a page, why not, and what its settings make of it. Exit 0 when "
    "it alerts, 1 when not.";
constexpr char kDecodeSummary[] =
    "Print every POCSAG page heard in a receiver's audio, at any of the three bit rates. Exit 0 when a page was "
    "heard, 1 when none was.";

QCommandLineOption CapcodeOption() {
  return {QStringLiteral("capcode"), QStringLiteral("The pager's capcode (0 to 2097151)."), QStringLiteral("C")};
}

QCommandLineOption FunctionOption() {
  return {QStringLiteral("function"),
          QStringLiteral("The function: A, B, C or D (default: A for digits and tone only, D for text)."),
          QStringLiteral("F")};
}

// The capcode as typed, or an empty result after the usage error was printed.
std::optional<uint32_t> ParseCapcode(const CommandParser& parser, const QCommandLineOption& option, int& exitCode) {
  bool ok = false;
  const uint32_t capcode = parser.value(option).toUInt(&ok);
  if (!parser.isSet(option) || !ok || capcode > kLargestCapcode) {
    exitCode = parser.UsageError(QStringLiteral("--capcode needs a number from 0 to %1").arg(kLargestCapcode));
    return std::nullopt;
  }
  return capcode;
}

std::optional<int> ParseFunction(const CommandParser& parser, const QCommandLineOption& option, PageKind kind,
                                 int& exitCode) {
  if (!parser.isSet(option)) return DefaultFunction(kind);
  const int function = FunctionFromLetter(parser.value(option));
  if (function < 0) {
    exitCode = parser.UsageError(QStringLiteral("--function is A, B, C or D"));
    return std::nullopt;
  }
  return function;
}

int RunPageEncode(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("page encode"), QLatin1String(kEncodeSummary));
  parser.addPositionalArgument(
      QStringLiteral("OUT"),
      QStringLiteral("The transmission to write: .txt the codewords one a line in hex, .bits the bits as 0 and 1, "
                     ".wav the FM discriminator's audio (22,050 Hz, mono, 16-bit), as decoders take it."));
  const QCommandLineOption capcode = CapcodeOption();
  const QCommandLineOption function = FunctionOption();
  const QCommandLineOption numeric(QStringLiteral("numeric"),
                                   QStringLiteral("A numeric page: digits, space, U, -, *, ( and )."),
                                   QStringLiteral("TEXT"));
  const QCommandLineOption text(QStringLiteral("text"), QStringLiteral("A text page (7-bit ASCII)."),
                                QStringLiteral("TEXT"));
  const QCommandLineOption tone(QStringLiteral("tone"), QStringLiteral("A tone-only page (the default)."));
  const QCommandLineOption baud(QStringLiteral("baud"),
                                QStringLiteral("The bit rate of the audio: 512, 1200 (default) or 2400."),
                                QStringLiteral("RATE"));
  for (const QCommandLineOption* option : {&capcode, &function, &numeric, &text, &tone, &baud})
    parser.addOption(*option);
  parser.ExcludeEachOther(numeric, text);
  parser.ExcludeEachOther(numeric, tone);
  parser.ExcludeEachOther(text, tone);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;

  int exitCode = 2;
  Page page;
  page.kind = parser.isSet(numeric) ? PageKind::Numeric : parser.isSet(text) ? PageKind::Text : PageKind::Tone;
  page.message = parser.isSet(numeric) ? parser.value(numeric) : parser.value(text);
  const std::optional<uint32_t> capcodeValue = ParseCapcode(parser, capcode, exitCode);
  if (!capcodeValue) return exitCode;
  page.capcode = *capcodeValue;
  const std::optional<int> functionValue = ParseFunction(parser, function, page.kind, exitCode);
  if (!functionValue) return exitCode;
  page.function = *functionValue;
  const int rate = parser.isSet(baud) ? parser.value(baud).toInt() : kDefaultBaud;
  if (!IsBaudRate(rate)) return parser.UsageError(QStringLiteral("--baud is 512, 1200 or 2400"));
  const QString out = parser.positionalArguments()[0];
  const std::optional<TransmissionForm> form = TransmissionFormOf(out);
  if (!form) return parser.UsageError(QStringLiteral("OUT ends in .txt, .bits or .wav"));

  const Result<std::vector<uint32_t>> codewords = TransmissionCodewords({page});
  if (!codewords) {
    PrintReason(codewords.failure().Text());
    return 1;
  }
  const QByteArray bytes = TransmissionFile(*codewords, *form, rate);
  if (const Outcome saved = SaveOutput(out, bytes); !saved) {
    PrintReason(QStringLiteral("%1: %2").arg(out, saved.failure().Text()));
    return 1;
  }
  return 0;
}

int RunPageDecode(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("page decode"), QLatin1String(kDecodeSummary));
  parser.addPositionalArgument(
      QStringLiteral("AUDIO"),
      QStringLiteral("A .wav file (16-bit PCM, mono, 22,050 Hz), or - for standard input: WAVE, or raw signed "
                     "16-bit little-endian mono samples at 22,050 Hz as rtl_fm writes them "
                     "(rtl_fm -f 457.575M -s 22050 - | m84dpt page decode -)."));
  const QCommandLineOption reading(QStringLiteral("as"),
                                   QStringLiteral("Read every message as numeric or as text (default: by function, "
                                                  "A numeric, B to D text)."),
                                   QStringLiteral("KIND"));
  parser.addOption(reading);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  MessageReading how = MessageReading::ByFunction;
  if (parser.isSet(reading)) {
    const QString kind = parser.value(reading);
    if (kind == QLatin1String("numeric"))
      how = MessageReading::Numeric;
    else if (kind == QLatin1String("text"))
      how = MessageReading::Text;
    else
      return parser.UsageError(QStringLiteral("--as is numeric or text"));
  }
  const QString path = parser.positionalArguments()[0];
  int fd = STDIN_FILENO;
  if (path != kStandardInputName) {
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      PrintReason(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
      return 1;
    }
  }
  int heard = 0;
  PocsagDecoder decoder(
      [&heard](const HeardPage& page) {
        ++heard;
        std::printf("%s\n", HeardPageLine(page).toUtf8().constData());
        std::fflush(stdout);
      },
      how);
  const Outcome listened = ListenTo(fd, decoder);
  if (fd != STDIN_FILENO) ::close(fd);
  if (!listened) {
    PrintReason(QStringLiteral("%1: %2").arg(path, listened.failure().Text()));
    return 1;
  }
  if (heard == 0) PrintReason(QStringLiteral("no page heard"));
  return heard > 0 ? 0 : 1;
}

// "host", "host:port" or "[v6]:port"; the port is SNPP's own when none is given.
std::optional<std::pair<QString, quint16>> SnppAddress(const QString& text) {
  const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
  if (colon < 0 || text.count(QLatin1Char(':')) > 1 && !text.startsWith(QLatin1Char('[')))
    return std::make_pair(text, paging::kSnppPort);
  bool ok = false;
  const uint port = text.mid(colon + 1).toUInt(&ok);
  QString host = text.left(colon);
  if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
  if (!ok || port == 0 || port > 65535 || host.isEmpty()) return std::nullopt;
  return std::make_pair(host, quint16(port));
}

int RunPageSend(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("page send"), QLatin1String(kSendSummary));
  parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The message (printable ASCII)."));
  const QCommandLineOption capcode = CapcodeOption();
  const QCommandLineOption snpp(QStringLiteral("snpp"),
                                QStringLiteral("The terminal's SNPP (RFC 1861) address; the port is 444 unless given."),
                                QStringLiteral("HOST[:PORT]"));
  const QCommandLineOption tap(QStringLiteral("tap"),
                               QStringLiteral("The serial line to the terminal's TAP port (1200 baud, 7E1)."),
                               QStringLiteral("DEVICE"));
  const QCommandLineOption password(QStringLiteral("password"),
                                    QStringLiteral("The TAP terminal's password, where it asks for one (up to 6 "
                                                   "characters)."),
                                    QStringLiteral("PASSWORD"));
  for (const QCommandLineOption* option : {&capcode, &snpp, &tap, &password}) parser.addOption(*option);
  parser.ExcludeEachOther(snpp, tap);
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  int exitCode = 2;
  const std::optional<uint32_t> capcodeValue = ParseCapcode(parser, capcode, exitCode);
  if (!capcodeValue) return exitCode;
  if (!parser.isSet(snpp) && !parser.isSet(tap))
    return parser.UsageError(QStringLiteral("name the terminal: --snpp or --tap"));
  if (parser.isSet(password) && !parser.isSet(tap)) return parser.UsageError(QStringLiteral("--password is for --tap"));
  const paging::TerminalPage page{QString::number(*capcodeValue), parser.positionalArguments()[0]};
  Outcome sent = Succeeded();
  if (parser.isSet(snpp)) {
    const auto address = SnppAddress(parser.value(snpp));
    if (!address) return parser.UsageError(QStringLiteral("--snpp is HOST or HOST:PORT"));
    sent = paging::SendBySnpp(address->first, address->second, page);
  } else {
    sent = paging::SendByTap(parser.value(tap), page, parser.value(password));
  }
  if (!sent) {
    PrintReason(sent.failure().Text());
    return 1;
  }
  std::printf("Page sent to capcode %s\n", qPrintable(page.pagerId));
  return 0;
}

struct PageSubcommand {
  const char* name;
  const char* summary;
  int (*run)(const QStringList& arguments);
};

// One row per subcommand: "m84dpt page NAME ..." runs it with the arguments after NAME.
const PageSubcommand kPageSubcommands[] = {
    {"encode", kEncodeSummary, RunPageEncode},
    {"decode", kDecodeSummary, RunPageDecode},
    {"send", kSendSummary, RunPageSend},
    {"check", kCheckSummary, RunPageCheckCommand},
};

QString PageUsage() {
  QStringList names;
  for (const PageSubcommand& subcommand : kPageSubcommands) names << QLatin1String(subcommand.name);
  return QStringLiteral("%1 page %2 [arguments] [options]").arg(kProgramName, names.join(QLatin1Char('|')));
}

QString PageSummary() { return QLatin1String(FindCommandNamed(QStringLiteral("page"))->summary); }

QString SubcommandRows() {
  QString rows;
  for (const PageSubcommand& subcommand : kPageSubcommands)
    rows += QStringLiteral("  %1  %2\n")
                .arg(QString::fromLatin1(subcommand.name).leftJustified(8), QLatin1String(subcommand.summary));
  return rows;
}

}  // namespace

int RunPageCommand(const QStringList& arguments) {
  const QString name = arguments.value(0);
  for (const PageSubcommand& subcommand : kPageSubcommands)
    if (name == QLatin1String(subcommand.name)) return subcommand.run(arguments.mid(1));
  // The program's --help-all, and so the man page: this command's section, then each subcommand's.
  if (name == QLatin1String("--help-all")) {
    std::printf("\nCommand page:\n  %s\n\n  %s\n\n%s", qPrintable(PageUsage()), qPrintable(PageSummary()),
                qPrintable(SubcommandRows()));
    std::fflush(stdout);
    for (const PageSubcommand& subcommand : kPageSubcommands) subcommand.run({name});
    return 0;
  }
  if (name == QLatin1String("-h") || name == QLatin1String("--help")) {
    std::printf("Usage: %s\n\n%s\n\nSubcommands:\n%s\nRun '%s page SUBCOMMAND --help' for its arguments and options.\n",
                qPrintable(PageUsage()), qPrintable(PageSummary()), qPrintable(SubcommandRows()),
                qPrintable(kProgramName));
    return 0;
  }
  std::fprintf(stderr, "%s page: %s\nUsage: %s\nTry '%s page --help' for more.\n", qPrintable(kProgramName),
               name.isEmpty() ? "missing subcommand" : qPrintable(QStringLiteral("unknown subcommand '%1'").arg(name)),
               qPrintable(PageUsage()), qPrintable(kProgramName));
  return 2;
}

}  // namespace m84
