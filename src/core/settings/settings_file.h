#pragma once
// Settings in and out of files, in the form the file's extension names: the scrambled data file
// (.DAT, and any other name), the raw 2048-byte image (.BIN) or the settings text (.yaml, .yml).
// Every command and the window load and save through here.

#include <QString>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"
#include "core/pages/model_page_set.h"
#include "core/result.h"

namespace m84 {

enum class SettingsFileForm { DataFile, RawImage, Text };

SettingsFileForm SettingsFileFormOf(const QString& path);
// What a save adds to a name typed without one: only a data file has a default extension.
QString DefaultExtensionOf(const QString& path);

// Replaces data with the file's settings (a raw image replaces the image alone); the caller loads
// its pages from data after. A settings text is read over base; a refused one names its line and
// column beside the status text. Nothing changes on a failure, which carries the status text
// the host was shown and its reason.
Outcome LoadSettingsFile(const QString& path, PagerData& data, OperationHost& host,
                         const PagerData& base = PagerData());
// The most a stream given as a settings input (standard input, a pipe) is read for: the longest
// settings text, or a data file if that is longer. More is refused.
qint64 LargestSettingsInput();
// Settings from bytes that came without an extension to name their form (standard input, a
// pipe), under `name` in messages: a raw image by its size, a data file by its tag and check,
// anything else a settings text, read over base. As LoadSettingsFile otherwise.
Outcome LoadSettingsBytes(const QString& name, const QByteArray& bytes, PagerData& data, OperationHost& host,
                          const PagerData& base = PagerData());

// Writes data in the file's form; the caller stores its pages into data first.
Outcome SaveSettingsFile(const QString& path, const PagerData& data, OperationHost& host);

// The same with the caller's pages around them, as the window and the commands run them: the
// pages load from the file's settings after a load that worked, and store into data before a
// save.
Outcome LoadSettingsIntoPages(const QString& path, PagerData& data, PageExchange& pages, OperationHost& host,
                              const PagerData& base = PagerData());
Outcome SaveSettingsFromPages(const QString& path, PagerData& data, PageExchange& pages, OperationHost& host);

}  // namespace m84
