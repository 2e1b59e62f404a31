#pragma once
// Inside the settings text: what a document says to turn one set of settings into another, the
// settings in words and the bytes no setting gives.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <optional>
#include <vector>

#include "core/settings/settings_catalog.h"

namespace m84::settings_text {

// One entry of `carried:`: bytes from an offset on.
struct CarriedBytes {
  int offset = 0;
  QByteArray bytes;
};

struct Plan {
  std::vector<Assignment> assignments;
  QHash<Binding, QString> refused;  // the settings given as read, with the window's reason
  // The base with the bytes that no setting gives (the carried bytes and the selection block).
  PagerData background;
  // The carried entries in the order a document gives them: none changes a setting.
  std::vector<CarriedBytes> carried;
};

// A setting of a page, named as a document names it: "display.startup_text",
// "general.capcodes[2].capcode".
struct SettingPlace {
  const CatalogPage* page = nullptr;
  Binding binding = nullptr;
  QString Key() const;
};

// The settings a document gives as read from a pager: the only ones carried bytes may change.
using AsReadSettings = QSet<Binding>;
AsReadSettings AsReadOf(const std::vector<Assignment>& assignments);

// The first setting (but those given as read) whose value, as the pages load `after`, differs
// from `loaded`; none when there is none.
std::optional<SettingPlace> FirstSettingChanged(PageRunner& runner, const LoadedValues& loaded, const PagerData& after,
                                                const AsReadSettings& asRead);

// The first setting whose value, as the pages load it, the carried bytes would change when
// written over the background (whose loaded values are `loaded`); none when they land only in
// bytes no setting reads, or change only settings given as read. Carried bytes may never change
// another setting: the window's checks would be got round.
std::optional<SettingPlace> SettingUnder(PageRunner& runner, const LoadedValues& loaded, const PagerData& background,
                                         const CarriedBytes& carried, const AsReadSettings& asRead = {});

// The byte at offset made as like `wanted` as it may be without changing a setting loaded from
// the background: wanted itself, or the background's byte with only the bits no setting reads
// taken from wanted.
uint8_t FreeBitsTowards(PageRunner& runner, const LoadedValues& loaded, const PagerData& background, int offset,
                        uint8_t wanted, const AsReadSettings& asRead = {});

// What a reader makes of a document: the pages load the background (the base with the carried
// bytes), take the assignments and store. A page's store writes some bytes its own way whatever
// they held (a padding byte, a bit it always sets, a copy of another field): there the carried
// bytes are laid again over what the store made, wherever they change no setting and the store
// would have written the same from the background's own settings, so that a text gives back the
// image it was written from while a setting changed in it still has the store's bytes that
// follow it. A setting given in words always wins.
PagerData ReadThrough(PageRunner& runner, const PagerData& background, const std::vector<Assignment>& assignments,
                      const std::vector<CarriedBytes>& carried);

enum class Extent { Whole, Differences };

// What a document says to turn `base` into `target`: every setting, or only those that differ.
Plan MakePlan(const PagerData& target, const PagerData& base, Extent extent);

}  // namespace m84::settings_text
