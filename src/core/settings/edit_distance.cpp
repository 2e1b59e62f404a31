#include "core/settings/edit_distance.h"

#include <algorithm>
#include <vector>

namespace m84 {

int EditDistance(const QString& a, const QString& b) {
  std::vector<int> row(static_cast<size_t>(b.size()) + 1);
  for (size_t j = 0; j < row.size(); ++j) row[j] = static_cast<int>(j);
  for (qsizetype i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (qsizetype j = 1; j <= b.size(); ++j) {
      const int above = row[static_cast<size_t>(j)];
      const int substitution = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[static_cast<size_t>(j)] = std::min({above + 1, row[static_cast<size_t>(j - 1)] + 1, substitution});
      diagonal = above;
    }
  }
  return row.back();
}

}  // namespace m84
