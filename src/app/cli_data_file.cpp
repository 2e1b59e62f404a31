// "new" and "convert": data files and raw images without the window.
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include "app/commands.h"
#include "app/console_host.h"
#include "image/dat_file.h"

namespace m84 {

namespace {

const QString kBinExtension = QStringLiteral("BIN");

bool IsRawImage(const QString& path) { return QFileInfo(path).suffix().compare(kBinExtension, Qt::CaseInsensitive) == 0; }

// A raw image: the first 2048 bytes of the file; the selection block keeps its defaults.
bool LoadRawImage(const QString& path, PagerData& data, OperationHost& host) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    host.ShowStatus(QStringLiteral("Open data file error"));
    return false;
  }
  const QByteArray bytes = file.read(kImageSize);
  if (bytes.size() != kImageSize) {
    host.ShowStatus(QStringLiteral("File Loaded error"));
    return false;
  }
  std::copy(bytes.begin(), bytes.end(), data.image.data());
  host.ShowStatus(QStringLiteral("File Loaded ok"));
  host.ExchangeAllPages(Direction::Load);
  return true;
}

bool SaveRawImage(const QString& path, PagerData& data, OperationHost& host) {
  host.ExchangeAllPages(Direction::Store);
  const QByteArray bytes(reinterpret_cast<const char*>(data.image.data()), kImageSize);
  if (!WriteFileAtomically(path, bytes)) {
    host.ShowStatus(QStringLiteral("Save data file error"));
    return false;
  }
  host.ShowStatus(QStringLiteral("File Saved ok"));
  return true;
}

bool ParsePositional(QCommandLineParser& parser, const QStringList& arguments, int count) {
  return parser.parse(QStringList{QStringLiteral("m84dpt")} + arguments) &&
         parser.positionalArguments().size() == count;
}

}  // namespace

int RunNewCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  if (!ParsePositional(parser, arguments, 1)) return UsageError(QStringLiteral("usage: m84dpt new FILE"));
  PagerData data;
  ConsoleHost host(data, DisplayMode::Advanced);
  return SaveDataFile(parser.positionalArguments()[0], data, host) ? 0 : 1;
}

int RunConvertCommand(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.addOption({QStringLiteral("basic"), QStringLiteral("Run the Basic page alone, as in basic mode.")});
  if (!ParsePositional(parser, arguments, 2))
    return UsageError(QStringLiteral("usage: m84dpt convert IN OUT [--basic]"));
  const QString in = parser.positionalArguments()[0];
  const QString out = parser.positionalArguments()[1];
  PagerData data;
  ConsoleHost host(data, parser.isSet(QStringLiteral("basic")) ? DisplayMode::Basic : DisplayMode::Advanced);
  const bool loaded = IsRawImage(in) ? LoadRawImage(in, data, host) : LoadDataFile(in, data, host);
  if (!loaded) return 1;
  const bool saved = IsRawImage(out) ? SaveRawImage(out, data, host) : SaveDataFile(out, data, host);
  return saved ? 0 : 1;
}

}  // namespace m84
