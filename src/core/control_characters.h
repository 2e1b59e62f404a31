#pragma once
// Texts of a pager image may hold any byte, and keys of a settings text any character. On a
// terminal a raw escape, carriage return or CSI would retitle or clear the screen, or overwrite
// what was said, so every human-readable output shows them as "\x1B".

#include <QString>

namespace m84 {

inline bool IsControlCharacter(QChar c) {
  const char16_t u = c.unicode();
  return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// Every control character as "\xHH"; line breaks and tabs too unless `keepLayout` (a message of
// several lines, as a database driver gives).
inline QString EscapeControlCharacters(const QString& text, bool keepLayout = false) {
  QString shown;
  shown.reserve(text.size());
  for (const QChar c : text) {
    if (IsControlCharacter(c) && !(keepLayout && (c == QLatin1Char('\n') || c == QLatin1Char('\t'))))
      shown += QStringLiteral("\\x") + QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    else
      shown += c;
  }
  return shown;
}

}  // namespace m84
