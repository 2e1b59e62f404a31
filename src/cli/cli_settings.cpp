// "diff": what differs between the settings of two files, in words or as a patch.
#include <cstdio>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "core/control_characters.h"
#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_file.h"

namespace m84 {

namespace {

// diff's own convention.
constexpr int kSame = 0;
constexpr int kDifferent = 1;
constexpr int kTrouble = 2;

// Standard output carries the differences: the loads' status texts stay back, while the reason a
// load failed still goes to standard error.
class QuietHost : public ConsoleHost {
 public:
  using ConsoleHost::ConsoleHost;
  void ShowStatus(const QString&) override {}
  void ShowFileSaved(const QString&) override {}
};

// The file's settings as convert would save them: loaded, then stored by the pages.
bool LoadNormalised(const QString& path, const QString& basePath, PagerData& data) {
  QuietHost host;
  if (!LoadSettingsInput(basePath, path, data, host, true)) return false;
  data = StoredByThePages(data);
  return true;
}

void PrintUtf8(const QByteArray& text) {
  std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
  std::fflush(stdout);
}

}  // namespace

int RunDiffCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("diff"));
  parser.addPositionalArgument(QStringLiteral("A"),
                               QStringLiteral("The first data file, raw image (.BIN) or settings text (.yaml); - "
                                              "or a pipe (<(...)): read from it, its form told by its bytes."));
  parser.addPositionalArgument(QStringLiteral("B"), QStringLiteral("The second, compared with the first."));
  const QCommandLineOption yaml(
      QStringLiteral("yaml"),
      QStringLiteral("Print B's differing settings as a settings text that gives B when read over A."));
  parser.addOption(yaml);
  parser.addOption(BaseOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString basePath = parser.value(QStringLiteral("base"));
  if (parser.positionalArguments()[0] == kStandardInputName && parser.positionalArguments()[1] == kStandardInputName)
    return parser.UsageError(QStringLiteral("standard input (-) can be read once: give it for A or for B"));
  PagerData a;
  PagerData b;
  if (!LoadNormalised(parser.positionalArguments()[0], basePath, a) ||
      !LoadNormalised(parser.positionalArguments()[1], basePath, b))
    return kTrouble;
  const bool same = a.image == b.image && a.selection == b.selection;
  if (parser.isSet(yaml)) {
    // Printed when empty as well: a patch that changes nothing is still one to read over A.
    PrintUtf8(WriteSettingsPatch(a, b));
  } else {
    QString text;
    // The lines quote the files' texts, which may hold any byte.
    for (const QString& line : SettingsDifferences(a, b)) text += EscapeControlCharacters(line) + QLatin1Char('\n');
    PrintUtf8(text.toUtf8());
  }
  return same ? kSame : kDifferent;
}

}  // namespace m84
