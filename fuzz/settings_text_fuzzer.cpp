// The settings text loses nothing a data file keeps. The input is an image and a selection block
// (what it does not reach keeps the defaults); the pages load and store it as `convert` does. The
// document written from that reads back over the default settings as exactly those 2048 bytes
// and 16 bytes, whatever they hold: a setting the window would refuse is given as read, never
// left out. A patch from the defaults to the image, read over the defaults, gives the same.

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
  Require(!document.contains("not kept"), "the document leaves a setting out", document);
  const SettingsReadResult read = ReadSettingsDocument(document, PagerData());
  Require(read.data.has_value(), qPrintable(read.error.Text()), document);
  Require(SameData(*read.data, data), "the document did not give back the image", document);

  const QByteArray patch = WriteSettingsPatch(PagerData(), data);
  const SettingsReadResult patched = ReadSettingsDocument(patch, PagerData());
  Require(patched.data.has_value(), qPrintable(patched.error.Text()), patch);
  Require(SameData(*patched.data, data), "the patch did not give the image", patch);
  return 0;
}
