// "new" and "convert": data files and raw images without the window.
#include <QFile>
#include <QFileInfo>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/console_host.h"
#include "image/dat_file.h"

namespace m84 {

namespace {

bool SaveRawImage(const QString& path, PagerData& data, OperationHost& host) {
  host.ExchangeAllPages(Direction::Store);
  const QByteArray bytes(reinterpret_cast<const char*>(data.image.data()), kImageSize);
  if (const FileResult saved = WriteFileAtomically(path, bytes); !saved) {
    host.ShowStatus(QStringLiteral("Save data file error"));
    host.ShowFileProblem(path, saved.failure);
    return false;
  }
  host.ShowStatus(QStringLiteral("File Saved ok"));
  host.ShowFileSaved(path);
  return true;
}

}  // namespace

bool LoadSettingsFile(const QString& path, PagerData& data, OperationHost& host) {
  return IsRawImage(path) ? LoadRawImage(path, data, host) : LoadDataFile(path, data, host);
}

int RunNewCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("new"));
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("The data file to write; \".DAT\" is added to a name without extension."));
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  PagerData data;
  ConsoleHost host(data, DisplayMode::Advanced);
  return SaveDataFile(parser.positionalArguments()[0], data, host) ? 0 : 1;
}

int RunConvertCommand(const QStringList& arguments) {
  CommandParser parser(QStringLiteral("convert"));
  parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("The data file, or a raw image of 2048 bytes (.BIN), to load."));
  parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("The data file, or raw image (.BIN), to save."));
  parser.addOption({QStringLiteral("basic"), QStringLiteral("Run the Basic page alone, as in basic mode.")});
  if (const std::optional<int> exitCode = parser.Parse(arguments)) return *exitCode;
  const QString in = parser.positionalArguments()[0];
  const QString out = parser.positionalArguments()[1];
  if (RefuseOutput(out, IsRawImage(out) ? QString() : kDatExtension, QStringLiteral("Save data file error"))) return 1;
  PagerData data;
  ConsoleHost host(data, parser.isSet(QStringLiteral("basic")) ? DisplayMode::Basic : DisplayMode::Advanced);
  if (!LoadSettingsFile(in, data, host)) return 1;
  const bool saved = IsRawImage(out) ? SaveRawImage(out, data, host) : SaveDataFile(out, data, host);
  return saved ? 0 : 1;
}

}  // namespace m84
