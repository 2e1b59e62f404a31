#pragma once
// Inside the settings text: what a document says to turn one set of settings into another, the
// settings in words and the bytes no setting gives.

#include <QHash>
#include <QString>
#include <vector>

#include "core/settings/settings_catalog.h"

namespace m84::settings_text {

struct Plan {
  std::vector<Assignment> assignments;
  QHash<Binding, QString> refused;  // settings the window would not show as they are
  // The base with the bytes that no setting gives (the carried bytes and the selection block).
  PagerData background;
};

enum class Extent { Whole, Differences };

// What a document says to turn `base` into `target`: every setting, or only those that differ.
Plan MakePlan(const PagerData& target, const PagerData& base, Extent extent);

}  // namespace m84::settings_text
