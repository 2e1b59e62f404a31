#pragma once
// multimon-ng's line for a POCSAG page ("POCSAG1200: Address: 1234567  Function: 3  Alpha:   Hi"),
// read as one of our pages. It shows our text's closing end-of-text character and the fill after
// it as "<EOT>" and "<NUL>", and a numeric page's fill as blanks: all are dropped, as our decoder
// drops them.

#include <QRegularExpression>
#include <QString>
#include <optional>

#include "core/paging/pocsag_decoder.h"

inline std::optional<m84::pocsag::HeardPage> MultimonPage(const QString& line) {
  using m84::pocsag::PageKind;
  static const QRegularExpression pattern(
      QStringLiteral("^POCSAG(\\d+): Address:\\s*(\\d+)\\s+Function: (\\d)\\s*(?:(Alpha|Numeric):(.*))?$"));
  static const QRegularExpression fill(QStringLiteral("(<EOT>|<NUL>)+$"));
  const QRegularExpressionMatch match = pattern.match(line);
  if (!match.hasMatch()) return std::nullopt;
  m84::pocsag::HeardPage heard;
  heard.baud = match.captured(1).toInt();
  heard.page.capcode = match.captured(2).toUInt();
  heard.page.function = match.captured(3).toInt();
  const QString kind = match.captured(4);
  heard.page.kind = kind.isEmpty()                   ? PageKind::Tone
                    : kind == QLatin1String("Alpha") ? PageKind::Text
                                                     : PageKind::Numeric;
  // "Alpha:   " and "Numeric: " before the message.
  QString message = match.captured(5).mid(heard.page.kind == PageKind::Text ? 3 : 1);
  message.remove(fill);
  heard.page.message = heard.page.kind == PageKind::Numeric ? message.trimmed() : message;
  return heard;
}
