#pragma once
// An order's table as a spreadsheet exports it: RFC 4180 comma-separated values in UTF-8.
// Fields may be quoted ("a ""quoted"" word", commas and line breaks inside); records end in CRLF
// or LF alone; a byte order mark at the start is skipped. Rows whose fields are all empty (the
// blank rows below a spreadsheet's table) are left out.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace m84::fleet {

// A fault the table itself has, before any column means anything: row counts records from 1
// (the header is row 1, as a spreadsheet numbers them), field counts fields from 1.
struct CsvFault {
  int row = 0;
  int field = 0;
  QString message;
};

struct CsvRecord {
  int row = 0;  // as a spreadsheet numbers it: the header is row 1
  QStringList fields;
};

struct CsvTable {
  std::vector<CsvRecord> records;  // the header first
  std::vector<CsvFault> faults;    // every one found, in order; a field that is not UTF-8 stays empty
};

CsvTable ParseCsv(const QByteArray& bytes);

// One field as a CSV writer puts it: quoted when it holds a comma, a quote or a line break.
QByteArray CsvField(const QString& text);
// A record with its CRLF.
QByteArray CsvLine(const QStringList& fields);

// A field of a file that a spreadsheet will open (the delivery list, the history's CSV): as
// CsvField, and a field that a spreadsheet would take for a formula ("=HYPERLINK(...)", "+1+1",
// "-1+1", "@SUM(1)", a tab or carriage return first) starts with a single quote, which makes it
// text there.
QString SpreadsheetField(QString field);
// A record of such fields with its CRLF, in UTF-8.
QByteArray SpreadsheetLine(const QStringList& fields);

}  // namespace m84::fleet
