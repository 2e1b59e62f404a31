// The settings text loses nothing the window takes. The input is an image and a selection block
// (what it does not reach keeps the defaults); the pages load and store it as `convert` does. The
// document written from that always reads back over the default settings: as exactly those 2048
// bytes and 16 bytes when its header names no setting as not kept (one the window refuses as the
// image holds it, which carried bytes may not stand in for); otherwise as settings that give their
// own document again, byte for byte, with nothing left out. A patch from the defaults to the image,
// read over the defaults, gives what the document gave.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/pages/model_page_set.h"
#include "core/settings/settings_document.h"

using namespace m84;

namespace {

void Require(bool holds, const char* what, const QByteArray& document) {
  if (holds) return;
  std::fprintf(stderr, "settings text fuzzer: %s\n%s\n", what, document.constData());
  std::abort();
}

bool SameData(const PagerData& a, const PagerData& b) { return a.image == b.image && a.selection == b.selection; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  PagerData data;
  const size_t imageBytes = std::min(size, size_t(kImageSize));
  std::copy_n(bytes, imageBytes, data.image.data());
  std::copy_n(bytes + imageBytes, std::min(size - imageBytes, size_t(kSelectionSize)), data.selection.data());
  ModelPageSet pages(data);
  pages.ExchangeAllPages(Direction::Load);
  pages.ExchangeAllPages(Direction::Store);

  const QByteArray document = WriteSettingsDocument(data);
  const SettingsReadResult read = ReadSettingsDocument(document, PagerData());
  Require(read.data.has_value(), qPrintable(read.error.Text()), document);
  if (!document.contains("\n# not kept, the window refuses it: ")) {
    Require(SameData(*read.data, data), "the document did not give back the image", document);
  } else {
    const QByteArray again = WriteSettingsDocument(*read.data);
    Require(!again.contains("# not kept"), "what came back still holds a refused setting", again);
    const SettingsReadResult reread = ReadSettingsDocument(again, PagerData());
    Require(reread.data.has_value(), qPrintable(reread.error.Text()), again);
    Require(SameData(*reread.data, *read.data), "what came back did not come back again", again);
  }

  const QByteArray patch = WriteSettingsPatch(PagerData(), data);
  const SettingsReadResult patched = ReadSettingsDocument(patch, PagerData());
  Require(patched.data.has_value(), qPrintable(patched.error.Text()), patch);
  Require(SameData(*patched.data, *read.data), "the patch did not give what the document gave", patch);
  return 0;
}
