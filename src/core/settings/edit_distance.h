#pragma once
// How far apart two names are, for "did you mean": a mistyped command, or a settings text's key.

#include <QString>

namespace m84 {

// Levenshtein distance: the fewest single-character insertions, deletions and substitutions.
int EditDistance(const QString& a, const QString& b);

}  // namespace m84
