#pragma once
// Settings in and out of files, in the form the file's extension names: the scrambled data file
// (.DAT, and any other name), the raw 2048-byte image (.BIN) or the settings text (.yaml, .yml).
// Every command and the window load and save through here.

#include <QString>

#include "core/image/operation_host.h"
#include "core/image/pager_image.h"

namespace m84 {

enum class SettingsFileForm { DataFile, RawImage, Text };

SettingsFileForm SettingsFileFormOf(const QString& path);
// What a save adds to a name typed without one: only a data file has a default extension.
QString DefaultExtensionOf(const QString& path);

// Replaces data with the file's settings and has the pages load them. A settings text is read
// over base; a refused one names its line and column beside the status text. Nothing changes
// on a failure.
bool LoadSettingsFile(const QString& path, PagerData& data, OperationHost& host, const PagerData& base = PagerData());
// Has the pages store, then writes data in the file's form.
bool SaveSettingsFile(const QString& path, PagerData& data, OperationHost& host);

}  // namespace m84
