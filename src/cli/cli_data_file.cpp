// "new" and "convert": data files, raw images and settings texts without the window.
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console_host.h"
#include "core/image/dat_file.h"
#include "core/pages/model_page_set.h"
#include "core/settings/settings_file.h"
#include "core/status_texts.h"

namespace m84 {

int RunNewCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("new"));
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to write; "
                                              "\".DAT\" is added to a name without extension."));
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  PagerData data;
  ModelPageSet pages(data, DisplayMode::Advanced);
  ConsoleHost host;
  return SaveSettingsFromPages(parser.positionalArguments()[0], data, pages, host) ? 0 : 1;
}

int RunConvertCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("convert"));
  parser.addPositionalArgument(
      QStringLiteral("IN"),
      QStringLiteral("The data file, raw image of 2048 bytes (.BIN) or settings text (.yaml, .yml) to load; - : "
                     "read standard input, its form told by its bytes."));
  parser.addPositionalArgument(QStringLiteral("OUT"),
                               QStringLiteral("The data file, raw image (.BIN) or settings text (.yaml) to save."));
  parser.addOption({QStringLiteral("basic"), QStringLiteral("Run the Basic page alone, as in basic mode.")});
  parser.addOption(BaseOption());
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString in = parser.positionalArguments()[0];
  const QString out = parser.positionalArguments()[1];
  if (RefuseOutput(out, DefaultExtensionOf(out), kSaveDataFileError)) return 1;
  PagerData data;
  ModelPageSet pages(data, parser.isSet(QStringLiteral("basic")) ? DisplayMode::Basic : DisplayMode::Advanced);
  ConsoleHost host;
  if (!LoadSettingsInput(parser.value(QStringLiteral("base")), in, data, host)) return 1;
  pages.ExchangeAllPages(Direction::Load);
  return SaveSettingsFromPages(out, data, pages, host) ? 0 : 1;
}

}  // namespace m84
