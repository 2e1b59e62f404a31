#pragma once
// Reading a report back in tests: a section of the text report, and the pages of a printed PDF.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace m84 {

// A section of a text report: from its heading up to the gap after it.
inline QStringList SectionLines(const QString& report, const QString& heading) {
  const QStringList lines = report.split(QLatin1Char('\n'));
  const qsizetype first = lines.indexOf(heading);
  if (first < 0) return {};
  qsizetype end = first;
  while (end < lines.size() && !lines[end].isEmpty()) ++end;
  return lines.mid(first, end - first);
}

// The printed pages as text. pdftotext may widen runs of blanks, so every run is cut to one.
inline QStringList PdfPages(const QString& path) {
  QProcess pdftotext;
  pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
  if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0) return {};
  QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
  text.replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" "));
  QStringList pages = text.split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  return pages;
}

}  // namespace m84
