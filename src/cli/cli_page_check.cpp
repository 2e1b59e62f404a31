// "page check": whether a programmed pager alerts for a page and what its settings make of it, and
// with --site, which of its rows would not hear the site's paging system. "--site" itself, which
// fleet check and write --review take too.
#include <cstdio>

#include "cli/cli_history.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "cli/link_options.h"
#include "cli/site_option.h"
#include "cli/transfer_interrupt.h"
#include "core/link/pager_transfer.h"
#include "core/pages/capcode.h"
#include "core/paging/page_check.h"

namespace m84 {

namespace {

using namespace paging;

constexpr int kAlerts = 0;
constexpr int kSilent = 1;

void PrintLine(FILE* stream, const QString& line) {
  std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// Standard output carries the verdict: the load's status text stays back.
class QuietHost : public ConsoleHost {
 public:
  void ShowStatus(const QString&) override {}
};

struct PageCheckOptions {
  QCommandLineOption port = PortOption(
      QStringLiteral("Read the pager through the adapter on DEVICE rather than from PAGER (\"\" or $M84DPT_PORT: "
                     "the adapter's usual device)."));
  QCommandLineOption capcode{QStringLiteral("capcode"),
                             QStringLiteral("The page's capcode, 8 to 2097151, or a capcode's name in the --site "
                                            "profile."),
                             QStringLiteral("C")};
  QCommandLineOption function{QStringLiteral("function"),
                              QStringLiteral("The page's function (tone code) A to D; default: D for a text page, "
                                             "else A."),
                              QStringLiteral("F")};
  QCommandLineOption baud{QStringLiteral("baud"),
                          QStringLiteral("The speed the page is sent at: 512, 1200 or 2400; default: the site's, "
                                         "else not checked."),
                          QStringLiteral("B")};
  QCommandLineOption polarity{QStringLiteral("polarity"),
                              QStringLiteral("The POCSAG polarity the page is sent with: standard or negative; "
                                             "default: the site's, else not checked."),
                              QStringLiteral("P")};
  QCommandLineOption frequency{QStringLiteral("frequency"),
                               QStringLiteral("The frequency the page is sent on, in MHz (457.575); default: the "
                                              "site's, else not checked."),
                               QStringLiteral("MHZ")};
  QCommandLineOption numeric{QStringLiteral("numeric"), QStringLiteral("A numeric page of these digits."),
                             QStringLiteral("TEXT")};
  QCommandLineOption text{QStringLiteral("text"), QStringLiteral("A text (alphanumeric) page of this text."),
                          QStringLiteral("TEXT")};
  QCommandLineOption tone{QStringLiteral("tone"), QStringLiteral("A tone-only page (the default).")};
};

// The page the options describe over the site's transmitter, or the usage error's text.
struct PageChoice {
  std::optional<TestPage> page;
  QString refusal;
};

PageChoice ChosenPage(const CommandParser& parser, const PageCheckOptions& options, const SiteProfile* site) {
  TestPage page;
  const QString capcode = parser.value(options.capcode);
  bool number = false;
  const long long given = capcode.toLongLong(&number);
  if (number && IsValidCapcode(given))
    page.capcode = int(given);
  else if (const std::optional<int> named = site ? site->CapcodeNamed(capcode) : std::nullopt)
    page.capcode = *named;
  else
    return {
        std::nullopt,
        site ? QStringLiteral("--capcode takes 8 to 2097151 or a capcode's name in %1").arg(parser.value(SiteOption()))
             : QStringLiteral("--capcode takes 8 to 2097151")};
  if (parser.isSet(options.numeric)) {
    page.content = PageContent::Numeric;
    page.message = parser.value(options.numeric);
  } else if (parser.isSet(options.text)) {
    page.content = PageContent::Text;
    page.message = parser.value(options.text);
  }
  page.function = DefaultPageFunction(page.content);
  if (parser.isSet(options.function)) {
    const std::optional<PageFunction> function = PageFunctionNamed(parser.value(options.function));
    if (!function) return {std::nullopt, QStringLiteral("--function takes A, B, C or D")};
    page.function = *function;
  }
  if (site) page.transmitter = site->transmitter;
  if (parser.isSet(options.baud)) {
    page.transmitter.baud = PocsagBaudNamed(parser.value(options.baud));
    if (!page.transmitter.baud) return {std::nullopt, QStringLiteral("--baud takes 512, 1200 or 2400")};
  }
  if (parser.isSet(options.polarity)) {
    page.transmitter.polarity = PocsagPolarityNamed(parser.value(options.polarity));
    if (!page.transmitter.polarity) return {std::nullopt, QStringLiteral("--polarity takes standard or negative")};
  }
  if (parser.isSet(options.frequency)) {
    page.transmitter.frequency = FrequencyFromMegahertz(parser.value(options.frequency));
    if (!page.transmitter.frequency)
      return {std::nullopt, QStringLiteral("--frequency takes MHz with up to four decimals, such as 457.575")};
  }
  return {page, QString()};
}

// The pager's settings from its file, or read through the adapter (and kept in the history as a
// read, as every read is).
bool LoadPager(const CommandParser& parser, const PageCheckOptions& options, PagerData& data) {
  QuietHost host;
  if (!parser.isSet(options.port)) {
    return bool(LoadSettingsInput(QString(), parser.positionalArguments().value(0), data, host, true));
  }
  SerialPort port(AdapterPortName(parser.value(options.port)));
  AdapterLink link(port);
  TransferInterrupts interrupts(InterruptRule::StopAfterBlock);
  host.SetInterrupts(&interrupts);
  const Result<PagerImage> read = link.ReadPager(host);
  if (read) TakeRead(*read, data.image);
  PagerHistory history = CommandHistory(parser, kSourceCommandLine);
  const int exitCode = read ? 0 : link.Interrupted() ? kInterruptedExitCode : 1;
  RecordTransfer(history, {HistoryOperation::Read, bool(read), read ? &data : nullptr, exitCode, QString()}, link);
  if (!read) {
    PrintReason(link.LastFailure().isEmpty() ? QStringLiteral("the pager could not be read") : link.LastFailure());
    return false;
  }
  return true;
}

}  // namespace

int RunPageCheckCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("page check"));
  parser.addPositionalArgument(QStringLiteral("PAGER"),
                               QStringLiteral("The pager's settings: a data file, raw image (.BIN) or settings text "
                                              "(.yaml); - : standard input. Not with --port."),
                               true);
  const PageCheckOptions options;
  for (const QCommandLineOption& option :
       {options.port, options.capcode, options.function, options.baud, options.polarity, options.frequency,
        options.numeric, options.text, options.tone})
    parser.addOption(option);
  parser.ExcludeEachOther(options.numeric, options.text);
  parser.ExcludeEachOther(options.numeric, options.tone);
  parser.ExcludeEachOther(options.text, options.tone);
  parser.addOption(SiteOption());
  parser.addOption(NoHistoryOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const bool fromFile = !parser.positionalArguments().isEmpty();
  if (fromFile == parser.isSet(options.port))
    return parser.UsageError(fromFile ? QStringLiteral("PAGER and --port exclude each other")
                                      : QStringLiteral("missing PAGER (or --port DEVICE)"));
  const SiteChoice site = ChosenSite(parser);
  if (!site.read) return kSilent;
  if (!parser.isSet(options.capcode) && !site.site)
    return parser.UsageError(QStringLiteral("missing --capcode (or --site, to check every row against it)"));
  std::optional<TestPage> page;
  if (parser.isSet(options.capcode)) {
    const PageChoice chosen = ChosenPage(parser, options, site.site ? &*site.site : nullptr);
    if (!chosen.page) return parser.UsageError(chosen.refusal);
    page = chosen.page;
  }
  PagerData data;
  if (!LoadPager(parser, options, data)) return kSilent;
  bool heard = true;
  if (page) {
    const PageVerdict verdict = CheckPage(data, *page);
    for (const QString& line : verdict.Lines()) PrintLine(stdout, line);
    heard = verdict.alerts;
  }
  if (site.site && PrintSiteFindings(*site.site, data, QStringLiteral("site"), stdout) > 0) heard = false;
  return heard ? kAlerts : kSilent;
}

QCommandLineOption SiteOption() {
  return {QStringLiteral("site"),
          QStringLiteral("A site profile (YAML: name, frequency, baud, polarity, capcodes by name): report every "
                         "row that would not hear the site's paging system."),
          QStringLiteral("FILE")};
}

SiteChoice ChosenSite(const CommandParser& parser) {
  if (!parser.isSet(SiteOption())) return {};
  Result<SiteProfile> site = LoadSiteProfile(parser.value(SiteOption()));
  if (!site) {
    PrintReason(site.failure().reason);
    return {false, std::nullopt};
  }
  return {true, std::move(site).value()};
}

int PrintSiteFindings(const SiteProfile& site, const PagerData& data, const QString& where, FILE* stream) {
  const QStringList findings = SiteFindings(data, site);
  for (const QString& finding : findings)
    PrintLine(stream, where.isEmpty() ? finding : where + QStringLiteral(": ") + finding);
  return int(findings.size());
}

}  // namespace m84
